// A falling body: reports its first touch and, once it has stayed still for half a second,
// where it rests (one decimal).
class Body {
  touched = false;
  still = 0.0;
  rested = false;

  function OnCollision(item, other) {
    if (touched) return;
    touched = true;
    print(ItemGetName(item) + " lands on " + ItemGetName(other));
  }

  function OnUpdate(item) {
    if (rested) return;
    if (ItemGetLinearVelocity(item).Len() < 0.01) still += ::g_dt_frame; else still = 0.0;
    if (still < 0.5) return;
    rested = true;
    local p = ItemGetWorldPosition(item);
    print(ItemGetName(item) + " rests at " + format("%.1f %.1f %.1f", p.x, p.y, p.z));
  }
}
