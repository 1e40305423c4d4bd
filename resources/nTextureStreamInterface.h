#ifndef N_TEXTURESTREAMINTERFACE_H
#define N_TEXTURESTREAMINTERFACE_H

#include <cstdint>

#include "audio/mivox/mvx_VideoOutput.h"

class mvx_Stream;
class nTexture;

// nStreamState: whether a video texture's stream advances.
enum nStreamState
{
    StreamPlaying = 0,
    StreamPaused = 1
};

// The video output that feeds a streamed texture: frames land in the texture's picture and are
// uploaded once per frame period, only when a new frame arrived. The texture owns it; it owns
// its stream.
class nTextureStreamInterface : public mvx_VideoOutput
{
public:
    explicit nTextureStreamInterface(nTexture* texture);
    ~nTextureStreamInterface() override;  // closes and deletes the stream

    bool SetFormat(const mvx_VideoFormat& format) override;  // (re)allocates the picture on a new size
    bool PutFrame(const uint8_t* const planes[3]) override;  // format 1: three planes; 2: B, G, R, A in place
    bool FramePending() override { return m_frameReady; }
    void ClearPresentation() override { m_frameReady = false; }
    bool Present() override;  // uploads the picture when a frame is ready

    void SetStream(mvx_Stream* stream) { m_stream = stream; }  // owned
    mvx_Stream* GetStream() const { return m_stream; }
    int32_t GetStreamState() const { return m_streamState; }
    void SetStreamState(int32_t state) { m_streamState = state; }
    nTexture* GetTexture() const { return m_texture; }

private:
    nTexture* m_texture;  // not owned
    mvx_Stream* m_stream;
    bool m_frameReady;
    int32_t m_width;
    int32_t m_height;
    int32_t m_streamState;
};

#endif
