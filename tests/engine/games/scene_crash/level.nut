// Fails in its fifth update with an error no script catches.
class Level {
  frames = 0;
  function OnUpdate(scene) {
    frames++;
    if (frames == 5) {
      local missing = null;
      missing.boom();
    }
  }
}
