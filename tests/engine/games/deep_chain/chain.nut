// The deep-chain game: 20,000 items, each the child of the next, the leaf first in the file
// (make_deep_chain writes chain.nms at build time). The leaf reports where the chain puts it;
// the root then moves ten units along X, which the leaf must follow.
class Leaf {
  frames = 0;
  function OnSetup(item) { print("Leaf set up\n"); }
  function OnUpdate(item) {
    frames++;
    if (frames == 2) print("Leaf at " + ItemGetWorldPosition(item).x.tointeger() + "\n");
    if (frames == 4) print("Leaf moved to " + ItemGetWorldPosition(item).x.tointeger() + "\n");
  }
}

class Root {
  frames = 0;
  function OnUpdate(item) {
    frames++;
    if (frames == 3) ItemSetPosition(item, Vector(11.0, 0.0, 0.0));
  }
}
