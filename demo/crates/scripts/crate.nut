// Each falling thing reports its first touch with something else.
class Crate {
  landed = false;

  function OnSetup(item) {
    print("A body waits to fall");
  }

  function OnCollision(item, other) {
    if (landed) return;
    landed = true;
    print("A body landed");
  }
}
