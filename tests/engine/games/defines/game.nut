// Fails unless the command line's includes ran and its definitions arrived with their types.
class Game {
  function OnUpdate(project) {
    if (!("g_booted" in getroottable())) throw "boot library not run";
    if (!("g_extra" in getroottable()) || ::g_extra != "extra") throw "-I script not run";
    if (!("g_fromlib" in getroottable()) || ::g_fromlib != 2) throw "-I script not found through -S";
    if (typeof ::s != "string" || ::s != "some text") throw "bad -Ds";
    if (typeof ::i != "integer" || ::i != 42) throw "bad -Di";
    if (typeof ::f != "float" || ::f != 5.5) throw "bad -Df";
  }
}
