// The level's script: finds the sheds' crates through their instances, moves one shed, and
// asks the patrol path where it goes, then ends its scene.
class Level {
  frames = 0;

  function OnSetup(scene) {
    local crate = SceneFindItem(scene, "west/crate");
    print("Level: west crate at x " + ItemGetWorldPosition(crate).x + ", lid above it at y " +
          ItemGetWorldPosition(SceneFindItem(scene, "west/lid")).y);
    local patrol = SceneFindAIPath(scene, "patrol");
    print("Level: patrol at 2.5 s is at x " + AIPathGetPosition(patrol, 2.5).x);
    print("Level: closest time to the pause " + AIPathGetClosestTime(patrol, Vector(10, 3, 0)));
    print("Level: closest point to (15, 2, 0) at x " + AIPathGetClosestPoint(patrol, Vector(15, 2, 0)).x);
  }

  function OnUpdate(scene) {
    frames++;
    if (frames == 3) {
      ItemSetPosition(SceneFindItem(scene, "east"), Vector(9, 0, 0));
      print("Level: east moved, its crate at x " + ItemGetWorldPosition(SceneFindItem(scene, "east/crate")).x);
      print("Level: ending");
      SceneEnd(scene);
    }
  }
}
