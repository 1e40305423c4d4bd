#include "resources/nTextureStreamInterface.h"

#include "audio/mivox/mvx_Stream.h"
#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nPictureFormat.h"
#include "resources/nTexture.h"

nTextureStreamInterface::nTextureStreamInterface(nTexture* texture)
    : m_texture(texture), m_stream(0), m_frameReady(false), m_width(0), m_height(0), m_streamState(StreamPlaying)
{
}

nTextureStreamInterface::~nTextureStreamInterface()
{
    if (m_stream) {
        m_stream->StreamClose();
        delete m_stream;
    }
    m_stream = 0;
    m_frameReady = false;
}

bool nTextureStreamInterface::SetFormat(const mvx_VideoFormat& format)
{
    if (format.format == m_frameFormat && format.width == m_width && format.height == m_height) return true;
    m_frameFormat = format.format;
    m_width = format.width;
    m_height = format.height;
    m_texture->Free();
    *g_log << "TextureStreamInterface::SetFormat(" << m_width << ", " << m_height << ").\n";
    m_texture->SetFlag(TextureKeepPixels, true);
    if (m_width <= 0 || m_height <= 0 || !m_texture->Allocate((uint32_t)m_width, (uint32_t)m_height, PixelFormatRGBA8))
        return false;
    return m_texture->Setup();
}

bool nTextureStreamInterface::PutFrame(const uint8_t* const planes[3])
{
    uint8_t* pixels = m_texture->GetPixels();
    const int64_t count = pixels ? (int64_t)m_texture->GetWidth() * m_texture->GetHeight() : 0;
    if (m_frameFormat == 1 && planes && planes[0] && planes[1] && planes[2]) {
        for (int64_t i = 0; i < count; ++i) {
            pixels[i * 4] = planes[0][i];
            pixels[i * 4 + 1] = planes[1][i];
            pixels[i * 4 + 2] = planes[2][i];
        }
    } else if (m_frameFormat == 2) {
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t b = pixels[i * 4];
            pixels[i * 4] = pixels[i * 4 + 2];
            pixels[i * 4 + 2] = b;
        }
    }
    m_frameReady = true;
    return true;
}

// Without a new frame there is nothing to upload: the texture keeps what it shows.
bool nTextureStreamInterface::Present()
{
    if (!m_frameReady) return true;
    nOrvex* engine = m_texture->GetEngine();
    nRenderer* renderer = engine ? engine->GetRenderer() : 0;
    if (renderer && m_texture->GetPixels())
        renderer->UpdateTexture(m_texture, m_texture->GetPixels(), (int32_t)m_texture->GetWidth(), (int32_t)m_texture->GetHeight(), 0, 0);
    m_frameReady = false;
    return true;
}
