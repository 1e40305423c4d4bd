// Allocates without bound in its third update, all on one line.
class Level {
  frames = 0;
  function OnUpdate(scene) {
    frames++;
    if (frames == 3) {
      print("Growing");
      local s = "grow"; while (true) s += s;
    }
  }
}
