// The panel: a button window in the middle of an 800 x 600 layer (300, 250 to 500, 350). A left
// click on it says so and retitles it; entering and leaving it are counted.
class Panel {
  button = null;
  visits = 0;

  function OnSetup(ui) {
    UISetInternalResolution(ui, 800, 600);
    button = UIAddWindow(ui, 1, 300, 250, 200, 100);
    WindowSetBackgroundColor(button, 0xFF804020);
    WindowSetTitle(button, "Click me");
    WindowSetEventHandler(button, EventMouseEnter, function(id, e) { visits++; }.bindenv(this));
    WindowSetEventHandlerWithContext(button, EventLeftMouseClick, this, OnClick);
    print("Panel: button ready");
  }

  function OnClick(id, e) {
    WindowSetTitle(e.window, "Clicked");
    print("Panel: button clicked (" + WindowGetTitle(button) + ", entered " + visits + " time(s))");
  }
}
