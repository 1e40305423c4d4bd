#ifndef MVX_MPADEMUXER_H
#define MVX_MPADEMUXER_H

#include <cstdint>

#include "audio/mivox/mvx_Demuxer.h"

const int32_t kMPAPacketBytes = 1024;

// Elementary MPEG audio: an optional ID3v2 tag, then frames starting with a 12-bit sync. The
// file is handed on in 1024-byte packets to decoder 2; with no MPEG audio decoder in the
// system they are dropped. Seek rewinds past the tag and answers false: no decoder can say
// where a time lies, so a looping channel ends instead of re-reading its file every frame.
class mvx_MPADemuxer : public mvx_Demuxer
{
public:
    explicit mvx_MPADemuxer(nIOFile* file) : mvx_Demuxer(file), m_buffer(0) {}
    ~mvx_MPADemuxer() override;

    bool Seek(mvx_Stream* stream, int32_t ms) override;
    const char* GetName() const override { return "MPEG-Audio elementary stream demuxer"; }
    bool Open(mvx_Stream* stream) override;
    bool Demux(mvx_Stream* stream) override;
    void Close() override;

    // Moves the file past an ID3v2 tag at its position; false (position kept) without one.
    bool SkipID3Tag(bool log);

private:
    uint8_t* m_buffer;
};

#endif
