// The lift rides up and down for ever on a looping command list and says when it arrives.
Include("scripts/sounds.nut");

class Lift {
  at_top = false;

  function OnSetup(item) {
    ItemSetCommandList(item, "loop 0.001;"
                           + "toposition 1.5, -5.0, 2.5, 3.0; nop 0.5;"
                           + "toposition 1.5, -5.0, 0.25, 3.0; nop 0.5;"
                           + "next 0.001;");
    print("Lift: running");
  }

  function OnUpdate(item) {
    local y = ItemGetPosition(item).y;
    if (!at_top && y > 2.49) {
      at_top = true;
      print("Lift: at the top");
      DemoPlaySound("lift", 0.6);
    } else if (at_top && y < 0.26) {
      at_top = false;
      print("Lift: at the bottom");
      DemoPlaySound("lift", 0.6);
    }
  }
}
