// The 2D layer's script: adds a small badge window beside the panel, and says when the
// layer's fade-in has run its course (the badge's title tells it too).
class CratesHud {
  faded = false;
  badge = null;

  function OnUpdate(ui) {
    if (badge == null) {
      badge = UIAddWindow(ui, 20, 420, 40, 180, 48);
      WindowAddStyle(badge, StyleMovable);
      WindowSetOpacity(badge, 0.85);
      WindowSetTitle(badge, "Fading in");
    }
    if (!faded && ui.isCommandListDone()) {
      faded = true;
      WindowSetTitle(badge, "Yard ready");
      print("Hud: faded in, badge '" + WindowGetTitle(badge) + "'");
    }
  }
}
