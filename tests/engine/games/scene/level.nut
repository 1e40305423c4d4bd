// Runs until the player stops it; counts its frames.
class Level {
  frames = 0;
  function OnSetup(scene) { print("Level set up\n"); }
  function OnUpdate(scene) { frames++; }
}
