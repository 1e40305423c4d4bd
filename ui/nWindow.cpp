#include "ui/nWindow.h"

#include <cstring>
#include <new>

#include "core/nCategory.h"
#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nResourceLoader.h"
#include "ui/nScene2D.h"
#include "ui/nWidget.h"

namespace {

// Rows the shading fades, ending at the title bar's last row.
const int32_t kShadeRows = 10;

int32_t EdgeFor(float size)
{
    int32_t edge = (int32_t)size;
    if (edge < 1) edge = 1;
    return ComputeTextureSize(edge, true);
}

}

nWindow::nWindow(nScene2D* scene, nSprite2D* parent, const char* id, const char* title, const nVector2* position,
                 const nVector2* size)
    : nSprite2D(scene, true, 0, parent, id, position, 0),
      m_title(title ? title : "Window"),
      m_titleSize(scene ? scene->GetTitleSize() : 28),
      m_titleColor(scene ? scene->GetTitleColor() : 0xFFFFFFFFu),
      m_titleFont(scene ? scene->GetTitleFont().GetCStr() : "Default"),
      m_backgroundColor(0.0f, 0.0f, 0.0f, 0.0f),
      m_composeCount(0),
      m_baseWidget(0)
{
    nCategoryScope category(CategoryScene2D);
    nTexture* cache = new (std::nothrow) nTexture(scene ? scene->GetEngine() : 0, 0, 0);
    if (cache) {
        cache->SetFlag(TextureKeepPixels, true);
        cache->SetName(nString::Format("window cache %d", m_uid).GetCStr());
        m_texture = cache;
    } else {
        *g_log << "[!] Failed to allocate the cache texture of window " << m_uid << ".\n";
    }
    nVector2 wanted = size ? *size : nVector2(320.0f, 200.0f);
    SetSize(wanted.x, wanted.y);
}

nWindow::~nWindow()
{
    SetBaseWidget(0);
    if (m_texture.IsValid()) m_texture->Free();
}

void nWindow::SetSize(float width, float height)
{
    if (width > (float)kMaxEdge || height > (float)kMaxEdge) {
        *g_log << "[*] Window '" << (m_id.GetCStr() ? m_id.GetCStr() : "") << "' is larger than "
               << kMaxEdge << " pixels: its size is limited to that.\n";
        width = width > (float)kMaxEdge ? (float)kMaxEdge : width;
        height = height > (float)kMaxEdge ? (float)kMaxEdge : height;
    }
    StoreSize(width, height);
    nTexture* cache = m_texture.Get();
    if (cache) {
        const uint32_t w = (uint32_t)EdgeFor(m_size.x), h = (uint32_t)EdgeFor(m_size.y);
        if (!cache->GetPixels() || cache->GetWidth() < w || cache->GetHeight() < h) {
            cache->Free();
            cache->FreePixels();
            if (cache->Allocate(w, h, PixelFormatRGBA8)) cache->Setup();
        }
    }
    Invalidate();
}

nRect2D nWindow::GetRect() const
{
    nRect2D r = nSprite2D::GetRect();
    if (TestState(Sprite2DStateShaded)) r.y1 = (int32_t)ShadedHeight();
    return r;
}

float nWindow::ShadedHeight() const
{
    // A window lower than its title bar keeps its own height.
    const float titleBar = (float)GetTitleBarHeight();
    return titleBar < m_size.y ? titleBar : m_size.y;
}

int32_t nWindow::GetTitleBarHeight() const
{
    nPicture* top = m_scene ? m_scene->GetSkinPicture(SkinTop) : 0;
    return top ? (int32_t)top->GetHeight() : 0;
}

nRect2D nWindow::GetClientRect() const
{
    nRect2D r = GetRect();
    if (!m_scene || !m_scene->IsSkinLoaded()) return r;
    const nPicture* left = m_scene->GetSkinPicture(SkinLeft);
    const nPicture* right = m_scene->GetSkinPicture(SkinRight);
    const nPicture* bottomRight = m_scene->GetSkinPicture(SkinBottomRight);
    const nPicture* topLeft = m_scene->GetSkinPicture(SkinTopLeft);
    return nRect2D{(int32_t)left->GetWidth(), (int32_t)topLeft->GetHeight(), r.x1 - (int32_t)right->GetWidth(),
                   TestState(Sprite2DStateShaded) ? 0 : r.y1 - (int32_t)bottomRight->GetHeight()};
}

void nWindow::Invalidate()
{
    SetState(Sprite2DStateComposeNeeded, true);
}

void nWindow::SetBackgroundColor(const nVector& rgba)
{
    m_backgroundColor = rgba;
    Invalidate();
}

bool nWindow::SetBackgroundPicture(const char* name)
{
    // Held while it is judged: an engine without a resource cache hands over a picture no one
    // else holds, and one that is not kept goes with this reference.
    nSharedPtr<nPicture> picture(name && m_scene ? LoadPicture(m_scene->GetEngine(), name, false) : 0);
    const bool loaded = nWindowPixels::IsUsable(picture.Get());
    if (loaded) {
        m_backgroundPicture = picture;
        m_backgroundPictureName.Set(name);
    } else {
        *g_log << "[!] Could not load the background picture '" << (name ? name : "") << "' of window '"
               << (m_id.GetCStr() ? m_id.GetCStr() : "") << "'.\n";
    }
    SetStyle(Sprite2DStyleNoDecoration, loaded);
    Invalidate();
    return loaded;
}

void nWindow::SetTitle(const char* text)
{
    m_title.Set(text);
    Invalidate();
}

void nWindow::Compose()
{
    nPicture* cache = m_texture.Get();
    if (!nWindowPixels::IsUsable(cache)) return;
    ++m_composeCount;
    const nRect2D r = GetRect();
    if (m_backgroundPicture.IsValid()) {
        nWindowPixels::FillRect(*cache, 0, 0, (int32_t)cache->GetWidth(), (int32_t)cache->GetHeight(), 0);
        nWindowPixels::Blit(*cache, *m_backgroundPicture, 0, 0);
        return;
    }
    if (!TestStyle(Sprite2DStyleNoDecoration) && m_scene && m_scene->IsSkinLoaded()) {
        ComposeSkin(*cache, r.x1, r.y1);
        return;
    }
    nWindowPixels::FillRect(*cache, 0, 0, (int32_t)cache->GetWidth(), (int32_t)cache->GetHeight(),
                            m_backgroundColor.PackColor());
}

void nWindow::ComposeSkin(nPicture& cache, int32_t w, int32_t h)
{
    using namespace nWindowPixels;
    const nPicture& top = *m_scene->GetSkinPicture(SkinTop);
    const nPicture& left = *m_scene->GetSkinPicture(SkinLeft);
    const nPicture& right = *m_scene->GetSkinPicture(SkinRight);
    const nPicture& bottom = *m_scene->GetSkinPicture(SkinBottom);
    const nPicture& topLeft = *m_scene->GetSkinPicture(SkinTopLeft);
    const nPicture& topRight = *m_scene->GetSkinPicture(SkinTopRight);
    const nPicture& bottomLeft = *m_scene->GetSkinPicture(SkinBottomLeft);
    const nPicture& bottomRight = *m_scene->GetSkinPicture(SkinBottomRight);
    const int32_t tlw = (int32_t)topLeft.GetWidth(), tlh = (int32_t)topLeft.GetHeight();
    const int32_t trw = (int32_t)topRight.GetWidth(), trh = (int32_t)topRight.GetHeight();
    const int32_t blw = (int32_t)bottomLeft.GetWidth(), blh = (int32_t)bottomLeft.GetHeight();
    const int32_t brw = (int32_t)bottomRight.GetWidth(), brh = (int32_t)bottomRight.GetHeight();

    FillRect(cache, 0, 0, (int32_t)cache.GetWidth(), (int32_t)cache.GetHeight(), 0);
    FillRect(cache, tlw, tlh, w - brw, h - brh, m_scene->GetSkinFillColor());
    Blit(cache, topLeft, 0, 0);
    Blit(cache, topRight, w - trw, 0);
    Blit(cache, bottomLeft, 0, h - blh);
    Blit(cache, bottomRight, w - brw, h - brh);
    TileRows(cache, left, 0, tlh, h - blh);
    TileRows(cache, right, w - (int32_t)right.GetWidth(), trh, h - brh);
    TileColumns(cache, top, tlw, w - trw, 0);
    TileColumns(cache, bottom, blw, w - brw, h - (int32_t)bottom.GetHeight());
    Gradient(cache, tlh, h - tlh - brh, w);
}

void nWindow::ComposeTitle(nPicture& cache)
{
    if (!m_scene || !m_scene->GetTitleWriter()) return;
    const nPicture* topLeft = m_scene->GetSkinPicture(SkinTopLeft);
    const nPicture* topRight = m_scene->GetSkinPicture(SkinTopRight);
    if (!topLeft || !topRight) return;
    const nRect2D r = GetRect();
    const nRect2D area{(int32_t)topLeft->GetWidth(), m_scene->GetTitleTop(), r.x1 - (int32_t)topRight->GetWidth(),
                       m_scene->GetTitleBottom()};
    m_scene->GetTitleWriter()->WriteTitle(*this, cache, area);
}

void nWindow::UploadCache(nRenderer* renderer)
{
    nPicture* cache = m_texture.Get();
    if (renderer && cache && cache->GetPixels() && cache->GetWidth() && cache->GetHeight())
        renderer->UpdateTexture(m_texture.Get(), cache->GetPixels(), (int32_t)cache->GetWidth(),
                                (int32_t)cache->GetHeight(), 0, 0);
    SetState(Sprite2DStateComposeNeeded, false);
}

void nWindow::SetBaseWidget(nWidget* widget)
{
    if (widget == m_baseWidget) return;
    // A part lives in its whole and a widget of another scene would outlive it here.
    if (widget && (widget->IsPart() || widget->GetScene() != GetScene())) {
        *g_log << "[!] Widget " << widget->GetId() << " cannot be the base widget of window '" << GetId().GetCStr() << "'.\n";
        return;
    }
    nWidget* previous = m_baseWidget;
    if (widget) {
        widget->AddRef();  // this window's reference, taken before the widget leaves where it was
        // A widget has one place: it leaves its parent, or the window whose base it was, which
        // would otherwise keep it as well and lose it when it is deleted.
        widget->Detach();
        nWindow* other = widget->GetOwnerWindow();
        if (other && other != this && other->GetBaseWidget() == widget) other->SetBaseWidget(0);
        widget->SetOwnerWindow(this);
        widget->Invalidate();
    }
    m_baseWidget = widget;
    if (previous) {
        previous->SetOwnerWindow(0);
        previous->Release();
    }
    Invalidate();
}

void nWindow::ForgetWidget(nWidget* widget)
{
    if (widget == m_baseWidget) m_baseWidget = 0;  // it is being deleted: no reference to drop
    Invalidate();
}

void nWindow::ComposeWidgets(nPicture& cache)
{
    if (!m_baseWidget || TestState(Sprite2DStateShaded)) return;
    const nRect2D client = GetClientRect();
    m_baseWidget->Invalidate();
    m_baseWidget->Refresh();
    m_baseWidget->Compose(&cache, client.x0, client.y0, client.x1, client.y1);
}

void nWindow::Render(nRenderer* renderer)
{
    if (!TestState(Sprite2DStateVisible)) return;
    if (m_baseWidget) {
        m_baseWidget->Refresh();
        if (m_baseWidget->NeedsLayout()) Invalidate();
    }
    const bool decorated = !TestStyle(Sprite2DStyleNoTitle) && !m_backgroundPicture.IsValid();
    if (TestState(Sprite2DStateComposeNeeded)) {
        Compose();
        // The title goes over a background composed just now, never over one that already
        // holds it: written again every frame, its soft edges would thicken at each upload.
        if (decorated && m_scene && m_scene->GetSkinPicture(SkinTopLeft) && m_texture.IsValid())
            ComposeTitle(*m_texture);
        if (m_texture.IsValid()) ComposeWidgets(*m_texture);
    }
    if (!renderer) return;
    if (TestState(Sprite2DStateComposeNeeded)) UploadCache(renderer);
    if (m_opacity == 0.0f) return;
    float alpha = 1.0f;
    const bool shown = UpdateTransforms(renderer, &alpha);
    if (!m_texture.IsValid() || !shown) return;
    const bool shaded = TestState(Sprite2DStateShaded);
    DrawQuad(renderer, shaded ? ShadedHeight() : m_size.y, shaded ? alpha * 0.5f : alpha);
}

void nWindow::Shade(bool shade)
{
    const bool shaded = TestState(Sprite2DStateShaded);
    if (!shade) {
        if (shaded) {
            SetState(Sprite2DStateShaded, false);
            Invalidate();
        }
        return;
    }
    if (shaded) return;
    const int32_t titleBar = GetTitleBarHeight();
    if (TestStyle(Sprite2DStyleNoTitle) || !m_scene || !m_scene->IsSkinLoaded() || titleBar <= 0) return;
    nPicture* cache = m_texture.Get();
    if (nWindowPixels::IsUsable(cache)) {
        nWindowPixels::ShadeFade(*cache, titleBar);
        nRenderer* renderer = m_scene->GetEngine() ? m_scene->GetEngine()->GetRenderer() : 0;
        UploadCache(renderer);
    }
    SetState(Sprite2DStateShaded, true);
}

bool nWindow::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag || !IsTagNamed(tag, "Window")) {
        nMLLogWrongRoot(tag, "Could not parse window. Root tag id is incorrect (");
        return false;
    }
    static const nMLTagRule<nWindow> kTags[] = {
        {"Sprite2d", [](nWindow& w, nMetaFile* d, nMetaTag* t) { w.nSprite2D::Deserialize(d, t); }},
        {"Title", [](nWindow& w, nMetaFile*, nMetaTag* t) {
             if (const char* text = ReadTagString(t)) w.SetTitle(text);
         }},
        {"BackgroundColor", [](nWindow& w, nMetaFile*, nMetaTag* t) {
             nVector colour = w.m_backgroundColor;
             if (ReadTagVector(t, colour)) w.SetBackgroundColor(colour);
         }},
        {"BackgroundPicture", [](nWindow& w, nMetaFile*, nMetaTag* t) {
             if (const char* name = ReadTagString(t)) w.SetBackgroundPicture(name);
         }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Window");
    return true;
}

nMetaTag* nWindow::Serialize(nMetaFile* document) const
{
    nMetaTag* tag = new (std::nothrow) nMetaTag("Window");
    nMetaTag* sprite = tag ? nSprite2D::Serialize(document) : 0;
    if (!tag || !sprite) {
        if (!tag) *g_log << "[!] Could not create managed root tag to serialize.\n";
        delete tag;
        delete sprite;
        return 0;
    }
    AppendTag(tag, sprite);
    if (!(m_title == "Window")) AppendTag(tag, new (std::nothrow) nMetaTag("Title", m_title.GetCStr() ? m_title.GetCStr() : ""));
    if (m_backgroundColor.x != 0.0f || m_backgroundColor.y != 0.0f || m_backgroundColor.z != 0.0f ||
        m_backgroundColor.w != 0.0f)
        AppendTag(tag, m_backgroundColor.ToMetaTag("BackgroundColor", true));
    if (m_backgroundPicture.IsValid())
        AppendTag(tag, new (std::nothrow) nMetaTag("BackgroundPicture", m_backgroundPictureName.GetCStr()));
    return tag;
}

// ---- Pixel steps

namespace nWindowPixels {

namespace {

inline uint8_t* At(nPicture& p, int32_t x, int32_t y)
{
    return p.GetPixels() + ((size_t)y * p.GetWidth() + (size_t)x) * 4;
}

inline const uint8_t* At(const nPicture& p, int32_t x, int32_t y)
{
    return p.GetPixels() + ((size_t)y * p.GetWidth() + (size_t)x) * 4;
}

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// A pixel as one word: its bytes R, G, B, A in memory are the packed colour (red low).
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words are read little-endian");
inline uint32_t PixelWord(uint32_t packedColor) { return packedColor; }

// Every alpha of count pixels becomes alpha x k / 256 (divide false) or alpha x k / 255
// (divide true), colours unchanged. Two pixels a 64-bit word: their alphas sit 32 bits apart,
// so both products (at most 255 x 255) are made by one multiplication.
inline void ScaleAlpha(uint8_t* pixels, int32_t count, uint32_t k, bool divide)
{
    const uint64_t alphas = 0xFF000000FF000000ull;
    int32_t x = 0;
    for (; x + 2 <= count; x += 2) {
        uint64_t v;
        std::memcpy(&v, pixels + (size_t)x * 4, 8);
        uint64_t a = ((v & alphas) >> 24) * k;  // two products in their own 32-bit lanes
        if (divide) {
            const uint64_t a0 = (a & 0xFFFFFFFFull) / 255u, a1 = (a >> 32) / 255u;
            a = a0 | (a1 << 32);
        } else {
            a = (a >> 8) & 0x000000FF000000FFull;
        }
        v = (v & ~alphas) | (a << 24);
        std::memcpy(pixels + (size_t)x * 4, &v, 8);
    }
    for (; x < count; ++x) {
        uint8_t& alpha = pixels[(size_t)x * 4 + 3];
        alpha = (uint8_t)(divide ? alpha * k / 255u : (alpha * k) >> 8);
    }
}

}

bool IsUsable(const nPicture* picture)
{
    return picture && picture->GetPixels() && picture->GetWidth() && picture->GetHeight() &&
           picture->GetFormat() == PixelFormatRGBA8;
}

void FillRect(nPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t packedColor)
{
    if (!IsUsable(&target)) return;
    x0 = Clamp(x0, 0, (int32_t)target.GetWidth());
    x1 = Clamp(x1, 0, (int32_t)target.GetWidth());
    y0 = Clamp(y0, 0, (int32_t)target.GetHeight());
    y1 = Clamp(y1, 0, (int32_t)target.GetHeight());
    if (x0 >= x1 || y0 >= y1) return;
    const size_t rowBytes = (size_t)(x1 - x0) * 4;
    if (packedColor == 0 && x0 == 0 && x1 == (int32_t)target.GetWidth()) {
        std::memset(At(target, 0, y0), 0, rowBytes * (size_t)(y1 - y0));  // whole rows: one block
        return;
    }
    // One row of the colour, then copies of it.
    const uint32_t word = PixelWord(packedColor);
    uint8_t* first = At(target, x0, y0);
    for (int32_t x = 0; x < x1 - x0; ++x) std::memcpy(first + (size_t)x * 4, &word, 4);
    for (int32_t y = y0 + 1; y < y1; ++y) std::memcpy(At(target, x0, y), first, rowBytes);
}

void Blit(nPicture& target, const nPicture& source, int32_t x, int32_t y)
{
    if (!IsUsable(&target) || !IsUsable(&source)) return;
    const int32_t sx0 = x < 0 ? -x : 0, sy0 = y < 0 ? -y : 0;
    const int32_t sx1 = Clamp((int32_t)target.GetWidth() - x, 0, (int32_t)source.GetWidth());
    const int32_t sy1 = Clamp((int32_t)target.GetHeight() - y, 0, (int32_t)source.GetHeight());
    if (sx0 >= sx1) return;
    for (int32_t sy = sy0; sy < sy1; ++sy)
        std::memcpy(At(target, x + sx0, y + sy), At(source, sx0, sy), (size_t)(sx1 - sx0) * 4);
}

void TileRows(nPicture& target, const nPicture& source, int32_t x, int32_t y0, int32_t y1)
{
    if (!IsUsable(&target) || !IsUsable(&source)) return;
    const int32_t rows = (int32_t)source.GetHeight();
    const int32_t first = y0 < 0 ? 0 : y0;
    const int32_t last = y1 < (int32_t)target.GetHeight() ? y1 : (int32_t)target.GetHeight();
    const int32_t sx0 = x < 0 ? -x : 0;
    const int32_t sx1 = Clamp((int32_t)target.GetWidth() - x, 0, (int32_t)source.GetWidth());
    if (sx0 >= sx1) return;
    for (int32_t y = first; y < last; ++y)
        std::memcpy(At(target, x + sx0, y), At(source, sx0, (y - y0) % rows), (size_t)(sx1 - sx0) * 4);
}

void TileColumns(nPicture& target, const nPicture& source, int32_t x0, int32_t x1, int32_t y)
{
    if (!IsUsable(&target) || !IsUsable(&source)) return;
    const int32_t columns = (int32_t)source.GetWidth();
    const int32_t first = x0 < 0 ? 0 : x0;
    const int32_t last = x1 < (int32_t)target.GetWidth() ? x1 : (int32_t)target.GetWidth();
    if (first >= last) return;
    const int32_t phase = (first - x0) % columns;  // the source column the first pixel takes
    for (int32_t sy = 0; sy < (int32_t)source.GetHeight(); ++sy) {
        const int32_t ty = y + sy;
        if (ty < 0 || ty >= (int32_t)target.GetHeight()) continue;
        // One period from the phase on, then the row doubles what it already holds.
        uint8_t* row = At(target, first, ty);
        const size_t total = (size_t)(last - first) * 4;
        size_t done = 0;
        for (int32_t x = phase; x < columns && done < total; ++x, done += 4) std::memcpy(row + done, At(source, x, sy), 4);
        for (int32_t x = 0; x < phase && done < total; ++x, done += 4) std::memcpy(row + done, At(source, x, sy), 4);
        const size_t period = done;
        while (done < total) {
            // Whole periods only, so that every copy starts at the phase.
            size_t chunk = done - done % period;
            if (chunk > total - done) chunk = total - done;
            std::memcpy(row + done, row, chunk);
            done += chunk;
        }
    }
}

void Gradient(nPicture& target, int32_t first, int32_t count, int32_t width)
{
    if (!IsUsable(&target) || count <= 0) return;
    const int32_t falling = count * 70 / 100;
    const int32_t right = Clamp(width, 0, (int32_t)target.GetWidth());
    float factor = 1.0f;
    float step = falling > 0 ? -0.15f / (float)falling : 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        if (i == falling) step = (1.0f - factor) / (float)(count - falling);
        const int32_t y = first + i;
        const uint32_t k = (uint32_t)(uint8_t)(factor * 255.0f);
        factor += step;
        if (y < 0 || y >= (int32_t)target.GetHeight()) continue;
        ScaleAlpha(At(target, 0, y), right, k, false);
    }
}

void ShadeFade(nPicture& target, int32_t end)
{
    if (!IsUsable(&target)) return;
    for (int32_t i = 0; i < kShadeRows; ++i) {
        const int32_t y = end - kShadeRows + i;
        if (y < 0 || y >= (int32_t)target.GetHeight()) continue;
        ScaleAlpha(At(target, 0, y), (int32_t)target.GetWidth(), 255u - 25u * (uint32_t)i, true);
    }
}

}
