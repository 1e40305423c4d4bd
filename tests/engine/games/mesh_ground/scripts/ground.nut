// The scene's script: says the ground is ready.
class Ground {
  function OnSetup(scene) { print("Mesh ground set up"); }
}
