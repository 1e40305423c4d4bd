// Raytraces the level's view on the CPU into a 16 x 8 TGA file after the second frame, when
// the OpenGL renderer has uploaded the panel's texture and let its pixels go: the panel in the
// middle shows the picture's gold, the background colour (0.2, 0.4, 0.6) is left and right.

class Level {
  frames = 0;

  function OnUpdate(scene) {
    frames++;
    if (frames < 3) return;
    local camera = SceneGetCurrentCamera(scene);
    local tracer = EngineNewRaytracer(ItemGetEngine(CameraGetItem(camera)));
    print("Trace: bound " + RaytracerSetScene(tracer, scene));
    print("Trace: traced " + RaytracerTrace(tracer, "view.tga", 16, 8));
    print("Trace: ending");
    SceneEnd(scene);
  }
}
