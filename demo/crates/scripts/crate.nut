// Each falling thing reports its first touch with something else (with a thud); the ball jumps when the
// player kicks it (::g_kick, set by the yard's script from the keyboard and the mouse).
Include("scripts/sounds.nut");

class Crate {
  landed = false;

  function OnSetup(item) {
    print("A body waits to fall");
  }

  function OnUpdate(item) {
    if (!("g_kick" in getroottable()) || !::g_kick || ItemGetName(item) != "ball") return;
    ItemSetLinearVelocity(item, Vector(0.0, 6.0, 0.0));
    print("Ball: kicked up");
    DemoPlaySound("kick", 1.0);
  }

  function OnCollision(item, other) {
    if (landed) return;
    landed = true;
    print("A body landed");
    DemoPlaySound("thud", 0.9);
  }
}
