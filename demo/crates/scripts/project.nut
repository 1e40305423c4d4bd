// The project's script: greets and counts its frames.
class CratesProject {
  frames = 0;

  function OnSetup(project) {
    print(::g_title + " project set up");
  }

  function OnUpdate(project) {
    frames++;
    if (frames == 100) print(::g_title + " project: 100 frames");
  }
}
