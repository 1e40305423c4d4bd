// The level's script: finds its items by name, then over a few frames moves the camera, adds a
// light, deletes the crate, casts a ray at the floor and ends its scene.
class Level {
  frames = 0;
  crate = null;
  eye = null;

  function OnSetup(scene) {
    crate = SceneFindItem(scene, "crate");
    local floor = SceneFindItem(scene, "floor");
    eye = SceneGetCurrentCamera(scene);
    print("Level: found " + ItemGetName(crate) + ", " + ItemGetName(floor) + " and camera " +
          ItemGetName(CameraGetItem(eye)));
    print("Level: group boxes holds " + GroupGetItemList(SceneFindGroup(scene, "boxes")).len() + " items");
  }

  function OnUpdate(scene) {
    frames++;
    if (frames == 2) {
      ItemSetPosition(CameraGetItem(eye), Vector(0, 2, -10));
      local spot = CameraWorldToScreen(eye, Vector(0, 2, 0));
      print("Level: camera moved, the point ahead shows at " + spot.x + " " + spot.y);
      local lamp = SceneAddLight(scene, "lamp");
      LightSetDiffuseColor(lamp, Vector(1, 0.5, 0.25));
      local lights = 0;
      foreach (item in SceneGetItemList(scene)) if (ItemGetType(item) == ItemTypeLight) lights++;
      print("Level: added light " + ItemGetName(LightGetItem(lamp)) + ", " + lights + " lights now");
    }
    if (frames == 4) {
      SceneDeleteItem(scene, crate);
      print("Level: crate queued for deletion, still valid " + ObjectIsValid(crate));
    }
    if (frames == 5) {
      print("Level: crate valid " + ObjectIsValid(crate) + ", items left " + SceneGetItemList(scene).len());
      local hit = SceneCollisionRaytrace(scene, Vector(0, 10, 0), Vector(0, -1, 0), -1, 0, 50);
      print("Level: the ray hits " + ItemGetName(hit.item) + " at height " + hit.p.y);
      print("Level: ending");
      SceneEnd(scene);
    }
    if (frames > 5) print("Level: still running after the end");
  }
}
