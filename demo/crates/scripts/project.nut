// The project's script: builds the stack the player draws (the yard, with its 2D overlay over
// it), greets and counts its frames.
class CratesProject {
  frames = 0;
  yard = null;
  hud = null;

  function OnSetup(project) {
    yard = ProjectInstantiateScene(project, "crates.nms");
    hud = ProjectInstantiateScene(project, "hud.nml");
    ProjectAddLayer(project, yard, 10);
    ProjectAddLayer(project, hud, 1);
    print(::g_title + " project set up");
  }

  function OnUpdate(project) {
    frames++;
    if (frames == 100) print(::g_title + " project: 100 frames");
  }
}
