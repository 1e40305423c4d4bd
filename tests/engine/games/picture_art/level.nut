// Paints a 32 x 16 picture: blue, a red square in the top-left corner softened by a 3 x 3 box
// blur, a green line along row 12, a white corner pixel and a caption in the bottom-left
// corner. Saves it, loads it back and compares every pixel; the first frame ends the scene.

class Rect {
  sx = 0; sy = 0; ex = 0; ey = 0;
  constructor(a = 0, b = 0, c = 0, d = 0) { sx = a; sy = b; ex = c; ey = d; }
}

function SamePixels(a, b) {
  local r = PictureGetRect(a);
  for (local y = 0; y < r.ey; y++)
    for (local x = 0; x < r.ex; x++) {
      local p = PictureGetPixel(a, x, y), q = PictureGetPixel(b, x, y);
      if (p.x != q.x || p.y != q.y || p.z != q.z || p.w != q.w) return false;
    }
  return true;
}

class Level {
  function OnSetup(scene) {
    local art = PictureNew();
    PictureAlloc(art, 32, 16);
    PictureFill(art, Vector(0, 0, 1, 1));
    PictureFillRect(art, Vector(1, 0, 0, 1), Rect(0, 0, 8, 8));
    local blurred = PictureApplyConvolution(art, 3, 3, [1, 1, 1, 1, 1, 1, 1, 1, 1]);
    local refused = PictureApplyConvolution(art, 33, 32, []);
    print("Art: blurred " + blurred + ", a 33x32 kernel " + refused);
    PictureLine(art, 16, 12, 25, 12, Vector(0, 1, 0, 1));
    PictureSetPixel(art, 31, 15, Vector(1, 1, 1, 1));
    PictureTextRender(art, Rect(0, 9, 12, 16), "Hi", "Default", {size = 7, color = 0xFFFF00FF});
    local edge = PictureGetPixel(art, 8, 4);
    print("Art: the square's edge reads " + (edge.x * 255).tointeger() + " red, " + (edge.z * 255).tointeger() + " blue");

    local saved = PictureSaveTGA(art, "art.tga");
    local back = PictureNew();
    local loaded = PictureLoadContent(back, "art.tga");
    local r = PictureGetRect(back);
    print("Art: saved " + saved + ", loaded " + loaded + " at " + r.ex + "x" + r.ey + ", same pixels " + SamePixels(art, back));
  }

  function OnUpdate(scene) {
    print("Art: ending");
    SceneEnd(scene);
  }
}
