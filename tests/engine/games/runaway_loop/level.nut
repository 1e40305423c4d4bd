// Never returns from its third update.
class Level {
  frames = 0;
  function OnUpdate(scene) {
    frames++;
    if (frames == 3) {
      print("Looping");
      local i = 0;
      while (true) {
        i++;
      }
    }
  }
}
