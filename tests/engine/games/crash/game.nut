// Fails in its third update with an error no script catches.
class Game {
  frames = 0;
  function OnUpdate(project) {
    frames++;
    if (frames == 3) {
      local missing = null;
      missing.boom();
    }
  }
}
