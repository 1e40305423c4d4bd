#include "audio/mivox/mvx_MPADemuxer.h"

#include <cstdlib>
#include <cstring>

#include "audio/mivox/mvx_Stream.h"
#include "core/nIOFile.h"
#include "core/nLog.h"

mvx_MPADemuxer::~mvx_MPADemuxer()
{
    Close();
}

void mvx_MPADemuxer::Close()
{
    std::free(m_buffer);
    m_buffer = 0;
}

bool mvx_MPADemuxer::SkipID3Tag(bool log)
{
    const int32_t position = m_file->Tell();
    uint8_t header[10];
    if (m_file->Read(header, 10) != 10 || std::memcmp(header, "ID3", 3) != 0) {
        m_file->Seek(position, 0);
        return false;
    }
    if (log)
        *g_log << "[H] Skipping ID3 tag v2." << (int32_t)header[3] << "." << (int32_t)header[4] << "\n";
    int32_t size = ((header[6] & 0x7f) << 21) | ((header[7] & 0x7f) << 14) | ((header[8] & 0x7f) << 7) | (header[9] & 0x7f);
    if (header[5] & 0x10) size += 10;
    m_file->Seek(size, 1);
    return true;
}

bool mvx_MPADemuxer::Open(mvx_Stream*)
{
    SkipID3Tag(true);
    uint8_t sync[2];
    const int32_t got = m_file->Read(sync, 2);
    if (got > 0) m_file->Seek(-got, 1);
    if (got != 2 || sync[0] != 0xFF || sync[1] < 0xF0) return false;
    *g_log << "[H] Stream appears to be elementary MPEG audio.\n";
    if (!(sync[1] & 0x08)) *g_log << "[!] Elementary MPEG-2 Audio stream unsupported.\n";
    if (!(sync[1] & 0x06)) *g_log << "[!] Invalid layer.\n";
    return true;
}

bool mvx_MPADemuxer::Demux(mvx_Stream* stream)
{
    if (!m_buffer) m_buffer = static_cast<uint8_t*>(std::malloc(kMPAPacketBytes));
    if (!m_buffer) return true;
    const int32_t got = m_file->Read(m_buffer, kMPAPacketBytes);
    if (got > 0) stream->PushAudioPacket(2, m_buffer, m_buffer + got, 0);
    return got < kMPAPacketBytes;
}

bool mvx_MPADemuxer::Seek(mvx_Stream*, int32_t)
{
    Reset();
    SkipID3Tag(false);
    return false;
}
