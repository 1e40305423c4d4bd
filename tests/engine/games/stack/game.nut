// Builds a stack of a 3D scene and a 2D layer from the project's script, checks what the
// project lists, unloads the level and ends the run from OnUpdate.
class Stack {
  frame = 0;
  level = null;
  hud = null;

  function OnSetup(project) {
    level = ProjectInstantiateScene(project, "level.nms");
    hud = ProjectInstantiateScene(project, "hud.nml");
    ProjectAddLayer(project, level, 10);
    ProjectAddLayer(project, level, 5);
    ProjectAddLayer(project, hud, 1);
    print("Stack: level type " + ProjectSceneGetType(level) + ", hud type " + ProjectSceneGetType(hud) + "\n");
    print("Stack: level has " + ProjectGetSceneLayerList(project, level).len() + " layers\n");
  }

  function OnUpdate(project) {
    frame++;
    if (frame == 3) {
      local found = ProjectFindScene(project, "level.nms");
      local scene = ProjectSceneGetInstance(found);
      print("Stack: found " + scene.name() + ", updated " + ProjectSceneGetScriptInstance(found).updates + " times\n");
      ProjectRender(project);
      ProjectUnloadScene(project, level);
      print("Stack: after unload " + ProjectGetSceneLayerList(project, hud).len() + " layer, level found " +
            ProjectFindScene(project, "level.nms").isValid() + ", old object valid " + level.isValid() + "\n");
    }
    if (frame == 5) {
      print("Stack: ending\n");
      ProjectEnd(project);
    }
  }
}
