// The turntable plays its "spin" motion from the start and reports each half turn.
class Turntable {
  half_turns = 0;
  past_half = false;

  function OnSetup(item) {
    ItemSetMotion(item, 0, ItemGetMotion(item, "spin"), 0.0, 1.0, 0.0, 1.0);
    print("Turntable: spinning");
  }

  function OnUpdate(item) {
    // The motion turns about y from 0 to a full turn and starts again at 0.
    local angle = ItemGetRotation(item).y;
    if (!past_half && angle > 3.14) {
      past_half = true;
      half_turns++;
      print("Turntable: half a turn");
    } else if (past_half && angle < 3.14) {
      past_half = false;
      half_turns++;
      local turns = half_turns / 2;
      print("Turntable: " + turns + (turns == 1 ? " full turn" : " full turns"));
    }
  }
}
