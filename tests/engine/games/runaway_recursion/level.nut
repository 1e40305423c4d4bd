// Recurses without end in its third update.
class Level {
  frames = 0;
  function Down(n) {
    return Down(n + 1) + 1;
  }
  function OnUpdate(scene) {
    frames++;
    if (frames == 3) {
      print("Going down");
      Down(0);
    }
  }
}
