// Arbitrary bytes as text with inline commands: laid out in every format and alignment the first
// bytes choose, walked line by line and drawn into a picture whose pixels outside the clip must
// stay as they were. Lines must move forward through the text, and drawing must place every
// character layout counted, ending where layout measured.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/nLog.h"
#include "resources/nPicture.h"
#include "ui/nTextLayout.h"
#include "ui/nWindowSystemFont.h"

namespace {

const uint32_t kCanary = 0xa5c35a3cu;

nWindowSystemFont* SystemFont()
{
    static nWindowSystemFonts* fonts = [] {
        g_log->SetMask(0);
        nWindowSystemFonts* f = new nWindowSystemFonts();
        if (!f->OpenWindowSystemFonts()) abort();  // "default.ttf" is installed beside the fuzzer
        return f;
    }();
    return fonts->GetSystemFont();
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4 || size > 4096) return 0;
    nTextParameters parameters;
    parameters.font = SystemFont();
    parameters.format = data[0] % 3;
    parameters.alignment = (data[0] / 3) % 4;
    parameters.size = 1 + data[1] % 48;
    parameters.columnWidth = int32_t(data[2] % 12) - 1;
    parameters.tracking = (data[0] & 0x80) ? 1 : 0;
    const int32_t boxWidth = int32_t(data[3]) - 8;
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
    const char* base = text.c_str();
    const size_t length = std::strlen(base);  // the text ends at its first NUL, as a C string does

    nTextBox box;
    box.x0 = -4;
    box.y0 = -6;
    box.x1 = box.x0 + boxWidth;
    box.y1 = 60;
    nTextLayout layout;
    const nTextBox measured = MeasureText(layout, base, parameters, box);
    const std::vector<nTextLine>& lines = layout.GetLines();
    if (length && lines.empty()) abort();
    int32_t previousStart = -1, widest = 0;
    for (const nTextLine& line : lines) {
        if (line.start <= previousStart || line.start > int32_t(length) || line.end < line.start ||
            line.end > int32_t(length) || line.characters > line.end - line.start || line.spaces > line.characters)
            abort();
        previousStart = line.start;
        widest = line.width > widest ? line.width : widest;
    }
    if (measured.x1 != widest / 64) abort();

    nTextParameters state = parameters;
    std::vector<nTextGlyphStep> steps;
    for (size_t i = 0; i < lines.size(); ++i) {
        WalkTextLine(layout, i, box.Width(), state, steps);
        if (int32_t(steps.size()) != lines[i].characters) abort();
        if (parameters.alignment == TextAlignLeft && !steps.empty() && steps.back().pen + steps.back().advance != lines[i].width)
            abort();
    }

    nPicture picture;
    if (!picture.Allocate(48, 40, PixelFormatRGBA8)) abort();
    uint32_t* pixels = reinterpret_cast<uint32_t*>(picture.GetPixels());
    for (int32_t i = 0; i < 48 * 40; ++i) pixels[i] = kCanary;
    nTextBox clip;
    clip.x0 = 6;
    clip.y0 = 5;
    clip.x1 = 40;
    clip.y1 = 33;
    RenderText(&picture, layout, box, clip);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 48; ++x)
            if ((x < clip.x0 || x >= clip.x1 || y < clip.y0 || y >= clip.y1) && pixels[y * 48 + x] != kCanary) abort();

    MeasureFontText(base, parameters.font, parameters.size);
    return 0;
}
