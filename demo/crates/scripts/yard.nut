// The scene's script: greets, counts frames and reports the time now and then, and ends the
// scene once the show is over. It also reads the keyboard and the mouse once a frame: the
// space bar or a left click kicks the ball up (the ball's own script does the kick, Crate in
// crate.nut).
Include("scripts/sounds.nut");

class Yard {
  frames = 0;
  elapsed = 0.0;
  next_report = 1.0;
  show_length = 8.0;   // seconds

  function OnSetup(scene) {
    print("Crates yard set up (demo version " + ::g_demo_version + ")");
    ::g_kick <- false;
    KeyboardSetKeyBounceFilter(KeySpace, true);
    DeviceSetFunctionBounceFilter(GetMouseDevice(), DeviceButton0, true);
    DemoStartMusic();
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
    if (elapsed >= show_length && elapsed - ::g_dt_frame < show_length) {
      print("Yard: the show is over");
      SceneEnd(scene);
    }
    ReadInput();
  }

  // A mouse axis (0 to 65535 across the window) in whole percent.
  function Percent(v) {
    return (v * 100 + 32767) / 65535;
  }

  // Sets ::g_kick for this frame when the space bar went down or the left button was clicked.
  function ReadInput() {
    ::g_kick = false;
    KeyboardUpdate();
    if (KeyboardSeekFunction(DeviceKeyPress, KeySpace)) {
      print("Yard: space bar pressed");
      ::g_kick = true;
    }
    MouseUpdate();
    local x = MousePoolFunction(DeviceAxisX);
    local y = MousePoolFunction(DeviceAxisY);
    if (MousePoolFunction(DeviceButton0)) {
      print("Yard: left click at " + Percent(x) + "% across, " + Percent(y) + "% down");
      ::g_kick = true;
    }
  }
}
