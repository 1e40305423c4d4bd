#ifndef MVX_PSDEMUXER_H
#define MVX_PSDEMUXER_H

#include <cstdint>

#include "audio/mivox/mvx_Demuxer.h"

const int32_t kPSBlockBytes = 4096;
const int32_t kPSCarryBytes = 264;  // the longest header: 9 + 255 bytes

// Resume states of the program-stream parser between blocks.
enum mvx_PSResume
{
    PSResumeHeader = 0,  // a header continues in the carry area
    PSResumeAudio = 1,   // an audio payload continues
    PSResumeVideo = 2,   // a video payload continues
    PSResumeSkip = 3     // bytes are being skipped (none: scanning)
};

// MPEG-1 and MPEG-2 program streams: packs and PES packets, read a 4096-byte block at a time.
// The payloads of one video stream (0xE0) and one audio stream (0xC0) go to the stream's packet
// pushes with their decoder id (2 MPEG-1, 3 MPEG-2) and the last time stamp in ticks (90 kHz
// units / 9). A header cut by the end of a block waits in the carry area for the next one; a
// payload cut by it resumes there. A packet whose header is longer than the packet is skipped.
class mvx_PSDemuxer : public mvx_Demuxer
{
public:
    explicit mvx_PSDemuxer(nIOFile* file);

    bool Seek(mvx_Stream* stream, int32_t ms) override;  // forward only, from the file position
    const char* GetName() const override { return "MPEG-PS demuxer"; }
    bool Open(mvx_Stream* stream) override;
    bool Demux(mvx_Stream* stream) override;
    bool Setup(mvx_Stream* stream, bool scan) override;

    // Parses one block; true at the program end code. Delivers payloads when deliver is set.
    bool Parse(mvx_Stream* stream, const uint8_t* block, int32_t bytes, bool deliver);

    uint32_t GetVideoTime() const { return m_videoTime; }
    uint32_t GetAudioTime() const { return m_audioTime; }
    int32_t GetResumeState() const { return m_resume; }
    int32_t GetRemaining() const { return m_remaining; }

private:
    struct Header
    {
        int32_t length;
        int32_t decoderId;
        bool timed;
        uint32_t time;
    };

    bool ReadPacketHeader(const uint8_t* p, int32_t available, Header* header) const;  // false: needs more bytes
    void Deliver(mvx_Stream* stream, int32_t side, const uint8_t* start, int32_t bytes, bool deliver);
    void Carry(const uint8_t* p, int32_t bytes);
    bool ReadBlock(int32_t* bytes);  // false on a short read

    int32_t m_videoId;
    int32_t m_audioId;
    uint32_t m_videoTime;
    uint32_t m_audioTime;
    int32_t m_resume;
    int32_t m_remaining;
    int32_t m_decoderId;
    int32_t m_carryBytes;
    uint8_t m_carry[kPSCarryBytes];
    uint8_t m_block[kPSBlockBytes];
    uint8_t m_scratch[kPSCarryBytes + kPSBlockBytes];
};

#endif
