#include "audio/mixer/nNull_Mixer.h"

bool nNull_Mixer::Open()
{
    m_open = true;
    return true;
}

void nNull_Mixer::Close()
{
    m_open = false;
}
