// The 2D layer's script: says when the layer's fade-in has run its course.
class CratesHud {
  faded = false;

  function OnUpdate(ui) {
    if (!faded && ui.isCommandListDone()) {
      faded = true;
      print("Hud: faded in");
    }
  }
}
