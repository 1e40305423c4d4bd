#include "audio/mivox/mvx_Demuxer.h"

#include "core/nIOFile.h"

void mvx_Demuxer::Reset()
{
    if (m_file) m_file->Seek(0, 0);
    m_end = false;
}
