#ifndef MVX_DEMUXER_H
#define MVX_DEMUXER_H

#include <cstdint>

class mvx_Stream;
class nIOFile;

// Path flags of a demuxer: which side of the stream it feeds.
enum mvx_DemuxerPath
{
    DemuxerFeedsAudio = 0x1,
    DemuxerFeedsVideo = 0x2
};

// Reads one media format from its file, a block at a time, into the stream's outputs or packet
// pushes. Open is the probe: it looks at the start of the file and answers whether it reads it.
class mvx_Demuxer
{
public:
    explicit mvx_Demuxer(nIOFile* file) : m_blockSize(4096), m_end(false), m_file(file), m_path(0) {}
    virtual bool Seek(mvx_Stream* stream, int32_t ms) = 0;  // true when the target was reached
    virtual const char* GetName() const = 0;
    virtual bool Open(mvx_Stream* stream) { return true; }
    virtual bool Demux(mvx_Stream* stream) = 0;  // true at the end of the data
    virtual bool Setup(mvx_Stream* stream, bool scan) { return true; }
    virtual void Close() {}
    virtual ~mvx_Demuxer() {}

    void Reset();  // rewinds the file, clears the end flag
    int32_t GetPath() const { return m_path; }
    void AddPath(int32_t bits) { m_path |= bits; }
    bool FeedsAudio() const { return (m_path & DemuxerFeedsAudio) != 0; }
    bool FeedsVideo() const { return (m_path & DemuxerFeedsVideo) != 0; }
    nIOFile* GetFile() const { return m_file; }
    int32_t GetBlockSize() const { return m_blockSize; }

protected:
    int32_t m_blockSize;
    bool m_end;
    nIOFile* m_file;  // not owned
    int32_t m_path;
};

#endif
