// The yard's script: builds every collision shape of the scene at set-up, then, after two
// seconds, checks where the bodies are. A failed check stops the game (exit code 3).
class Yard {
  clock = 0.0;
  checked = false;

  // One shape on the item's body, the body rebuilt from it in mode.
  function Build(item, mode, shape) {
    local s = ItemAddCollisionShape(item);
    shape(s);
    ItemSetPhysicMode(item, mode);
    ItemUpdateInertiaTensorFromCollision(item);
    return s;
  }

  function OnSetup(scene) {
    local floor = scene.findItem("floor"), ball = scene.findItem("ball");
    local post = scene.findItem("post"), ghost = scene.findItem("ghost");

    // A static slab 20 x 1 x 20: its top face is at y = 0.5.
    Build(floor, PhysicModeStatic, function(s) { ShapeSetBox(s, Vector(20, 1, 20)); ShapeSetMass(s, 1); });
    // A ball of radius 0.5.
    Build(ball, PhysicModeDynamic, function(s) {
      ShapeSetSphere(s, 0.5); ShapeSetMass(s, 1); ShapeSetRestitution(s, 0); ShapeSetFriction(s, 0, 0.8);
    });
    // A cylinder of diameter 1 and height 2, turned to stand on its flat end.
    Build(post, PhysicModeDynamic, function(s) {
      ShapeSetCylinder(s, 1, 2); ShapeSetRotation(s, Vector(3.14159265 / 2, 0, 0)); ShapeSetMass(s, 3);
      ShapeSetRestitution(s, 0);
    });
    // A ball that collides with nothing of the floor's group.
    Build(ghost, PhysicModeDynamic, function(s) { ShapeSetSphere(s, 0.5); ShapeSetMass(s, 1); });
    ItemSetCollisionMask(ghost, 2);

    local shape = ItemGetShapeFromIndex(post, 0);
    print("Post shape: mass " + ShapeGetMass(shape) + ", turned " + format("%.2f", ShapeGetRotation(shape).x));
    if (ItemGetShapeFromIndex(post, 1) != null) throw "a second shape on the post";

    // The engine has no constraints: the constructor answers a null object that every
    // constraint function refuses.
    local hinge = PositionConstraintNew(scene, floor, ball, Vector(0, 0.5, 0), Vector(0, -0.5, 0));
    local refused = "";
    try { ConstraintEnable(hinge, true); } catch (e) { refused = e; }
    print("Constraint: " + (ObjectIsValid(hinge) ? "made" : "none") + ", enable refused with '" + refused + "'");
    print("Shape yard set up");
  }

  function OnUpdate(scene) {
    clock += ::g_dt_frame;
    if (checked || clock < 2.5) return;
    checked = true;
    Expect(scene, "ball", 1.0);     // on the floor's top, one radius up
    Expect(scene, "post", 1.5);     // on its flat end, half its height up
    local ghost = ItemGetWorldPosition(scene.findItem("ghost")).y;
    __Assert(ghost < -5.0, "the ghost ball fell through the floor (at " + ghost + ")");
    print("Shape yard checked");
  }

  function Expect(scene, name, height) {
    local y = ItemGetWorldPosition(scene.findItem(name)).y;
    __Assert(fabs(y - height) < 0.05, name + " at height " + y + ", expected " + height);
  }
}
