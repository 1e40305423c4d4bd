#ifndef N_TEXTURE_H
#define N_TEXTURE_H

#include <cstdint>

#include "resources/nPicture.h"

class nOrvex;
class nTextureStreamInterface;
struct nRenderData;

// Texture flag bits.
enum nTextureFlag
{
    TextureKeepPixels = 0x1,    // the CPU pixels stay valid after set-up: the texture is updated from the CPU
    TextureRenderTarget = 0x2,  // rendering goes into the texture
    TextureNormalMap = 0x4,     // bound to the Normal channel of a material
    TextureExact = 0x8          // sampled texel for texel: nearest filter, no mipmaps, never compressed
};

// A picture the renderer can draw with. Filled in memory first, then set up on the engine's
// current renderer, and freed from the current renderer when its last reference goes.
class nTexture : public nPicture
{
public:
    nTexture(nOrvex* engine, int32_t usage, int32_t storageKind);  // empty picture, flags 0, no stream interface, no renderer data
    // Core event 5 with {NULL, this, NULL, NULL}, the current renderer's FreeTexture, core event
    // 6 with the same record, then the stream interface is deleted and the picture part destroyed.
    ~nTexture() override;
    nTexture(const nTexture&) = delete;
    nTexture& operator=(const nTexture&) = delete;

    // The progress message "Texture Setup", then the current renderer's SetupTexture; returns its
    // answer. False with an error line when there is no engine or no current renderer.
    bool Setup();
    void Free();                    // the current renderer's FreeTexture; nothing without one
    void SetRenderTarget(bool on);  // sets or clears TextureRenderTarget only

    // Whether the content has a pixel whose alpha is below full: read from the pixels while they
    // exist, else as recorded by the last Setup, before the renderer could drop the pixels.
    bool HasTranslucentContent() const;

    nOrvex* GetEngine() const { return m_engine; }
    uint32_t GetFlags() const { return m_flags; }
    void SetFlags(uint32_t flags) { m_flags = flags; }
    void SetFlag(uint32_t bits, bool on) { m_flags = on ? (m_flags | bits) : (m_flags & ~bits); }
    bool TestFlag(uint32_t bits) const { return (m_flags & bits) != 0; }  // any of the bits
    int32_t GetStorageKind() const { return m_storageKind; }
    void SetStorageKind(int32_t kind) { m_storageKind = kind; }
    int32_t GetUsage() const { return m_usage; }
    nTextureStreamInterface* GetStreamInterface() const { return m_stream; }
    void SetStreamInterface(nTextureStreamInterface* stream);  // owned; deletes the previous one
    nRenderData* GetRenderData() const { return m_renderData; }

    // Video streams ("mpg" textures). OpenStream replaces the interface, opens name on a stream
    // with this texture as its video output and logs "Open texture stream interface: '<name>'";
    // on failure "Failed to open content stream." and false, the interface kept. UpdateStream
    // advances a playing stream by ticks and rewinds an ended one (video textures loop), unless
    // its video has no decoder: it then stays as it is.
    bool OpenStream(const char* name);
    void UpdateStream(int32_t ticks);
    void CloseStream();                                             // deletes the interface and its stream
    void SetStreamState(int32_t state);                             // nStreamState; nothing without an interface
    void SetRenderData(nRenderData* data) { m_renderData = data; }  // the renderer's alone

private:
    uint32_t m_flags;
    int32_t m_storageKind;  // 0 from loaders; the renderer sets 2 for a float upload
    int32_t m_usage;        // 1 for the renderer's render targets
    nOrvex* m_engine;
    nTextureStreamInterface* m_stream;  // owned, NULL without a video stream
    nRenderData* m_renderData;          // NULL until set up
    bool m_translucent;                 // recorded by Setup
};

#endif
