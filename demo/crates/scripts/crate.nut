// Each falling thing reports its first touch with something else (with a thud); the ball jumps when the
// player kicks it (::g_kick, set by the yard's script from the keyboard and the mouse), and its colour
// runs round red, green and blue while the game runs: the script changes the ball's material.
Include("scripts/sounds.nut");

class Crate {
  landed = false;
  paint = null;        // the ball's material
  paint_clock = 0.0;   // seconds

  function OnSetup(item) {
    print("A body waits to fall");
    if (ItemGetName(item) != "ball") return;
    paint = GeometryGetMaterial(ItemGetGeometry(item), "ball");
    print("Ball: colour cycling on material '" + MaterialGetName(paint) + "'");
  }

  function OnUpdate(item) {
    if (paint != null) Repaint();
    if (!("g_kick" in getroottable()) || !::g_kick || ItemGetName(item) != "ball") return;
    ItemSetLinearVelocity(item, Vector(0.0, 6.0, 0.0));
    print("Ball: kicked up");
    DemoPlaySound("kick", 1.0);
  }

  // One round of the colours every three seconds; the new diffuse colour reaches the renderer
  // with the material's update.
  function Repaint() {
    paint_clock += ::g_dt_frame;
    local turn = paint_clock * 2.0 * PI / 3.0;
    MaterialSetDiffuse(paint, Vector(0.6 + 0.4 * sin(turn), 0.6 + 0.4 * sin(turn + 2.0944),
                                     0.6 + 0.4 * sin(turn + 4.1888), 1.0));
    MaterialUpdate(paint);
  }

  function OnCollision(item, other) {
    if (landed) return;
    landed = true;
    print("A body landed");
    DemoPlaySound("thud", 0.9);
  }
}
