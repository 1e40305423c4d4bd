// Runs until the player stops it; counts its frames.
class Game {
  frames = 0;
  function OnSetup(project) { print("Game set up\n"); }
  function OnUpdate(project) { frames++; }
}
