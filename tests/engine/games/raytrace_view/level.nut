// Raytraces the level's view on the CPU into a 16 x 8 TGA file: the level holds nothing but its
// camera, so every pixel is the background colour. A trace of 0 pixels a side is refused.

class Level {
  function OnSetup(scene) {
    SceneSetBackgroundColor(scene, Vector(0.2, 0.4, 0.6, 1));
  }

  function OnUpdate(scene) {
    local camera = SceneGetCurrentCamera(scene);
    local tracer = EngineNewRaytracer(ItemGetEngine(CameraGetItem(camera)));
    print("Trace: bound " + RaytracerSetScene(tracer, scene));
    print("Trace: a 0 x 8 trace " + RaytracerTrace(tracer, "none.tga", 0, 8));
    print("Trace: traced " + RaytracerTrace(tracer, "view.tga", 16, 8));
    print("Trace: ending");
    SceneEnd(scene);
  }
}
