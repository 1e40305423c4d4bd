// Runs until the player stops it.
class Level {
  function OnSetup(scene) { print("Level set up\n"); }
}
