#ifndef N_WINDOW_H
#define N_WINDOW_H

#include <cstdint>

#include "core/nString.h"
#include "core/nVector.h"
#include "resources/nPicture.h"
#include "ui/nSprite2D.h"

class nWindow;
class nWidget;

// What writes a window's title text into its cache picture, inside the title rectangle; the
// window-system fonts provide the real one. The scene's default writes nothing.
class nWindowTitleWriter
{
public:
    virtual ~nWindowTitleWriter() {}
    virtual void WriteTitle(const nWindow& window, nPicture& target, const nRect2D& area) {}
};

// A sprite whose texture is a cache picture composed on the CPU from a background (a picture,
// the scene's eight-piece skin with its fill and gradient, or a plain colour) and a title,
// and uploaded to the renderer when it changed. The cache picture has power-of-two edges and
// may be larger than the window: the quad samples only its top-left width x height pixels.
class nWindow : public nSprite2D
{
public:
    static const int32_t kMaxEdge = 4096;  // a larger size is refused down to this (logged)

    // Title "Window" when none is given; position (0.5, 0.5) and size 320 x 200 when missing.
    // The title takes the scene's title size, colour and font name; the cache texture keeps
    // its pixels (the renderer makes no mipmaps for it).
    nWindow(nScene2D* scene, nSprite2D* parent, const char* id, const char* title, const nVector2* position,
            const nVector2* size);
    ~nWindow() override;

    void SetSize(float width, float height) override;               // the cache grows to the next powers of two; recomposed
    nRect2D GetRect() const override;                               // the title-bar height while shaded
    void Render(nRenderer* renderer) override;                      // NULL: composes without drawing
    bool Deserialize(nMetaFile* document, nMetaTag* tag) override;  // "Window"
    nMetaTag* Serialize(nMetaFile* document) const override;
    void SetTexture(nTexture* texture) override {}  // a window draws its cache only

    void SetBackgroundColor(const nVector& rgba);
    // Loads the picture: on success the window shows it and sets NoDecoration; on failure (one
    // log line) it clears NoDecoration. Either way it is recomposed.
    bool SetBackgroundPicture(const char* name);
    void SetTitle(const char* text);
    void Invalidate();                      // recomposed and uploaded at the next Render
    void Compose();                         // the background into the cache picture
    void UploadCache(nRenderer* renderer);  // the whole cache picture; compose-needed cleared
    // Shading shows the title bar only: the last ten rows of the title bar fade out, and the
    // picture is uploaded at once. A window without title or without a loaded skin (so without
    // a title bar) is not shaded. Unshading recomposes the whole window at the next Render.
    void Shade(bool shade);
    nRect2D GetClientRect() const;      // inside the skin's edges
    int32_t GetTitleBarHeight() const;  // the skin's top edge; 0 without a loaded skin

    const nVector& GetBackgroundColor() const { return m_backgroundColor; }
    nPicture* GetBackgroundPicture() const { return m_backgroundPicture.Get(); }
    const nString& GetBackgroundPictureName() const { return m_backgroundPictureName; }
    const nString& GetTitle() const { return m_title; }
    int32_t GetTitleSize() const { return m_titleSize; }
    uint32_t GetTitleColor() const { return m_titleColor; }
    const nString& GetTitleFont() const { return m_titleFont; }
    nPicture* GetCachePicture() const { return m_texture.Get(); }
    int32_t GetComposeCount() const { return m_composeCount; }

    // Widgets: the window holds a reference to its base widget, composes the tree into its
    // client rectangle, and recomposes when the tree reports that it needs layout.
    void SetBaseWidget(nWidget* widget);  // NULL: no widgets; the widget leaves its parent or other window; a part or a widget of another scene: logged, refused
    nWidget* GetBaseWidget() const { return m_baseWidget; }
    void ForgetWidget(nWidget* widget);  // a widget of its tree being deleted

private:
    float ShadedHeight() const;  // the title bar's, at most the window's
    void ComposeSkin(nPicture& cache, int32_t width, int32_t height);
    void ComposeTitle(nPicture& cache);
    void ComposeWidgets(nPicture& cache);  // the whole tree, laid out again

    nString m_title;
    int32_t m_titleSize;
    uint32_t m_titleColor;
    nString m_titleFont;
    nVector m_backgroundColor;
    nSharedPtr<nPicture> m_backgroundPicture;  // a reference of its own: the cache may be cleared first
    nString m_backgroundPictureName;
    int32_t m_composeCount;  // composes so far (for tests and statistics)
    nWidget* m_baseWidget;   // one reference
};

// Pixel steps of the compose on RGBA8 pictures; every write is clipped to the target.
namespace nWindowPixels {
void FillRect(nPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t packedColor);
void Blit(nPicture& target, const nPicture& source, int32_t x, int32_t y);
// Rows y0 to y1 - 1 at x, each the next row of source (its first row again after its last),
// width pixels of it (at most its width).
void TileRows(nPicture& target, const nPicture& source, int32_t x, int32_t y0, int32_t y1);
// Rows y to y + source height - 1 from x0 to x1 - 1, each row of source repeated across.
void TileColumns(nPicture& target, const nPicture& source, int32_t x0, int32_t x1, int32_t y);
// The alpha gradient of a skinned window over rows first to first + count - 1, width wide.
void Gradient(nPicture& target, int32_t first, int32_t count, int32_t width);
// The shading fade: the ten rows ending at row end - 1 (rows below 0 skipped).
void ShadeFade(nPicture& target, int32_t end);
bool IsUsable(const nPicture* picture);  // RGBA8 pixels with a size
}

#endif
