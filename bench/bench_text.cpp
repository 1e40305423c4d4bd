// Laying out and drawing a page of text (about 2,000 characters in paragraphs, justified, with
// colour and size commands and some UTF-8) into a 640 x 480 picture: with the fonts' glyph cache,
// beside the same page with every glyph looked up, loaded and rendered by FreeType each time.
// The page is measured and drawn whole in every round; the picture is cleared outside the timing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/nLog.h"
#include "resources/nPicture.h"
#include "ui/nTextLayout.h"
#include "ui/nWindowSystemFont.h"

namespace {

std::string Page()
{
    std::string page;
    const char* sentences[] = {
        "The quick brown fox jumps over the lazy dog. ",
        "~~Color(200,40,40,255)Pack my box with five dozen liquor jugs.~~Color(20,20,20,255) ",
        "Caf\xc3\xa9 cr\xc3\xa8me br\xc3\xbbl\xc3\xa9\x65 for 4 \xe2\x82\xac, AVAWAT kerned pairs. ",
        "~~Size(20)Sphinx of black quartz, judge my vow.~~Size(14) ",
    };
    for (int paragraph = 0; paragraph < 8; ++paragraph) {
        for (int i = 0; i < 6; ++i) page += sentences[(paragraph + i) % 4];
        page += "\n";
    }
    return page;
}

void DrawPage(benchmark::State& state, bool cached)
{
    nWindowSystemFonts fonts;
    g_log->SetMask(0);
    if (!fonts.OpenWindowSystemFonts()) {
        state.SkipWithError("no system font beside the benchmark");
        return;
    }
    nWindowSystemFont* font = fonts.GetSystemFont();
    font->SetGlyphCacheEnabled(cached);
    const std::string page = Page();
    nTextParameters parameters;
    parameters.font = font;
    parameters.size = 14;
    parameters.format = TextFormatParagraph;
    parameters.alignment = TextAlignJustify;
    nTextBox box;
    box.x0 = 10;
    box.y0 = 10;
    box.x1 = 630;
    box.y1 = 470;
    nTextBox clip;
    clip.x1 = 640;
    clip.y1 = 480;
    nPicture picture;
    picture.Allocate(640, 480, PixelFormatRGBA8);
    nTextLayout layout;
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(picture.GetPixels(), 0xff, picture.GetByteSize());
        state.ResumeTiming();
        MeasureText(layout, page.c_str(), parameters, box);
        RenderText(&picture, layout, box, clip);
        benchmark::DoNotOptimize(picture.GetPixels());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(page.size()));
}

void BM_TextPageGlyphCache(benchmark::State& state) { DrawPage(state, true); }
void BM_TextPageFreeTypeEveryGlyph(benchmark::State& state) { DrawPage(state, false); }

}

BENCHMARK(BM_TextPageGlyphCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextPageFreeTypeEveryGlyph)->Unit(benchmark::kMillisecond);
