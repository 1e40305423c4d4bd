// A falling body: once it has stayed still for half a second, reports the height it rests
// at (one decimal).
class Body {
  still = 0.0;
  rested = false;

  function OnUpdate(item) {
    if (rested) return;
    if (ItemGetLinearVelocity(item).Len() < 0.01) still += ::g_dt_frame; else still = 0.0;
    if (still < 0.5) return;
    rested = true;
    local p = ItemGetWorldPosition(item);
    print(ItemGetName(item) + " rests at height " + format("%.1f", p.y));
  }
}
