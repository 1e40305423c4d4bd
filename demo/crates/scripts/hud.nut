// The 2D layer's script: adds a small badge window beside the panel and a settings window
// built of widgets (a text, a sound check box and a button), answers clicks on them, and says
// when the layer's fade-in has run its course (the badge's title tells it too).
class CratesHud {
  faded = false;
  badge = null;
  settings = null;
  sound = null;

  // The settings window: a text, a check box that turns when clicked, and a button (a picture
  // with its label over it) that says when it is pressed.
  function BuildSettings(ui) {
    settings = UIAddWindow(ui, 30, 960, 40, 260, 170);
    WindowSetTitle(settings, "Settings");
    local column = UIAddVerticalSizerWidget(ui, 31);
    SizerAddWidget(column, UIAddStaticTextWidget(ui, 32, "Yard settings", "Default"));
    sound = UIAddCheckWidget(ui, 33, "Sound", "Default", true);
    SizerAddWidget(column, sound);
    local button = UIAddContainerWidget(ui, 34);
    ContainerAddWidget(button, UIAddBitmapWidget(ui, 35, "pictures/hud_button.tga"), 0, 0, 96, 24);
    local label = UIAddStaticTextWidget(ui, 36, "Kick", "Default");
    TextSetParameters(label, {size = 14, color = 0xFFFFFFFF, align = "center"});
    ContainerAddWidget(button, label, 0, 0, 96, 24);
    SizerAddWidget(column, button);
    WidgetSetEventHandler(sound, EventLeftMouseClick, function(id, event) {
      CheckWidgetSetState(::hud.sound, !CheckWidgetGetState(::hud.sound));
      print("Hud: sound " + (CheckWidgetGetState(::hud.sound) ? "on" : "off"));
    });
    WidgetSetEventHandler(button, EventLeftMouseClick, function(id, event) { print("Hud: button pressed"); });
    if ("WindowSetBaseWidget" in getroottable()) WindowSetBaseWidget(settings, column);
    ::hud <- this;
    print("Hud: settings window built, sound " + (CheckWidgetGetState(sound) ? "on" : "off"));
  }

  function OnUpdate(ui) {
    if (settings == null) BuildSettings(ui);
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
