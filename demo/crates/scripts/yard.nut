// The scene's script: greets, counts frames and reports the time now and then.
class Yard {
  frames = 0;
  elapsed = 0.0;
  next_report = 1.0;

  function OnSetup(scene) {
    print("Crates yard set up (demo version " + ::g_demo_version + ")");
  }

  function OnReset(scene) {
    frames = 0;
    elapsed = 0.0;
    next_report = 1.0;
  }

  function OnUpdate(scene) {
    frames++;
    elapsed += ::g_dt_frame;
    if (elapsed >= next_report) {
      print("Yard: " + frames + " frames in " + DemoSeconds(elapsed) + " s");
      next_report += 1.0;
    }
  }
}
