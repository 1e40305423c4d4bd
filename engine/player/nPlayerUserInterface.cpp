#include "engine/player/nPlayerUserInterface.h"

nPlayerUserInterface::nPlayerUserInterface() : m_titleWriter(&m_fonts)
{
    m_devices.pointer = &m_pointer;
    m_devices.titleWriter = &m_titleWriter;
    m_devices.fonts = &m_fonts;
}
