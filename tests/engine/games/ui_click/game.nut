// The project's script: puts the panel on the draw stack.
class ClickGame {
  function OnSetup(project) {
    ProjectAddLayer(project, ProjectInstantiateScene(project, "panel.nml"), 1);
    print("Click game set up");
  }
}
