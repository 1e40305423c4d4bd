// The landing zone counts what enters and leaves it.
class Zone {
  inside = 0;

  function OnItemEnter(trigger, item) {
    inside++;
    print("Landing zone: something entered, " + inside + " inside");
  }

  function OnItemExit(trigger, item) {
    inside--;
    print("Landing zone: something left, " + inside + " inside");
  }
}
