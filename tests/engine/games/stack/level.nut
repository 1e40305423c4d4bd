// The 3D scene of the stack: counts its updates for the project to read.
class Level {
  updates = 0;
  function OnUpdate(scene) { updates++; }
}
