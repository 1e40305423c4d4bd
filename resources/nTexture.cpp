#include "resources/nTexture.h"

#include <new>

#include "audio/mivox/mvx_Stream.h"
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
        *g_log << "[!] No renderer to set up texture '" << GetName().GetCStr() << "'.\n";
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

bool nTexture::OpenStream(const char* name)
{
    CloseStream();
    nTextureStreamInterface* output = new (std::nothrow) nTextureStreamInterface(this);
    if (!output) {
        *g_log << "[!] Failed to allocate texture stream interface.\n";
        return false;
    }
    m_stream = output;
    mvx_Stream* stream = new (std::nothrow) mvx_Stream(output, 0);
    output->SetStream(stream);
    *g_log << "Open texture stream interface: '" << (name ? name : "") << "'\n";
    if (!stream || !stream->Open(name, false)) {
        *g_log << "[!] Failed to open content stream.\n";
        return false;
    }
    return true;
}

void nTexture::UpdateStream(int32_t ticks)
{
    mvx_Stream* stream = m_stream ? m_stream->GetStream() : 0;
    if (!stream || m_stream->GetStreamState() == StreamPaused) return;
    if (stream->GetState() == StreamEnded) {
        if (stream->IsVideoUndecodable()) return;
        stream->Rewind();
    }
    stream->Decode(ticks);
}

void nTexture::CloseStream()
{
    delete m_stream;
    m_stream = 0;
}

void nTexture::SetStreamState(int32_t state)
{
    if (m_stream) m_stream->SetStreamState(state);
}
