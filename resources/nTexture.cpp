#include "resources/nTexture.h"

#include "core/nLog.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nTextureStreamInterface.h"

nTexture::nTexture(nOrvex* engine, int32_t usage, int32_t storageKind)
    : m_flags(0), m_storageKind(storageKind), m_usage(usage), m_engine(engine), m_stream(0),
      m_renderData(0), m_translucent(false)
{
}

nTexture::~nTexture()
{
    nCoreEventRecord record;
    record.texture = this;
    if (m_engine)
        m_engine->NotifyCoreListeners(CoreEventResourceDestroying, &record);
    Free();
    if (m_engine)
        m_engine->NotifyCoreListeners(CoreEventResourceDestroyed, &record);
    delete m_stream;
    m_stream = 0;
}

bool nTexture::Setup()
{
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer) {
        *g_log << "[!] " << "No renderer to set up texture '" << GetName().GetCStr() << "'.\n";
        return false;
    }
    // The renderer may turn the picture into a size-only one; keep what readers of the
    // content still need to know.
    if (GetPixels())
        m_translucent = HasTranslucentPixels();
    if (nOrvex::EventInterface* progress = m_engine->GetEventInterface())
        progress->OnMessage("Texture Setup");
    return renderer->SetupTexture(this);
}

void nTexture::Free()
{
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (renderer)
        renderer->FreeTexture(this);
}

void nTexture::SetRenderTarget(bool on)
{
    SetFlag(TextureRenderTarget, on);
}

bool nTexture::HasTranslucentContent() const
{
    return GetPixels() ? HasTranslucentPixels() : m_translucent;
}

void nTexture::SetStreamInterface(nTextureStreamInterface* stream)
{
    if (stream == m_stream)
        return;
    delete m_stream;
    m_stream = stream;
}
