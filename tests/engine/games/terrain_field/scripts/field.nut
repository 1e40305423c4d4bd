// The scene's script: on the first frame, rays straight down onto the field at a few points
// (a sample in the rolling ground, the plateau beside the box, and the strip by the far row) print the
// heights they meet; a ray beside the field meets nothing.
class Field {
  done = false;

  function Probe(scene, x, z) {
    local hit = SceneCollisionRaytrace(scene, Vector(x, 100.0, z), Vector(0.0, -1.0, 0.0), 1, 0, 0.0);
    if (!hit.hit) return "nothing";
    return format("%.2f", hit.p.y);
  }

  function OnUpdate(scene) {
    if (done) return;
    done = true;
    print("Field: ground at 10 -10 is " + Probe(scene, 10.0, -10.0));
    print("Field: ground at 36 -44 is " + Probe(scene, 36.0, -44.0));
    print("Field: ground at 10 -127 is " + Probe(scene, 10.0, -127.0));
    print("Field: ground at -5 -10 is " + Probe(scene, -5.0, -10.0));
  }
}
