#include "input/nInterfaceFunction.h"

bool nInterfaceFunction::Push(int32_t value)
{
    if (m_filter) {
        if (value != 0 && m_lastNonZero) return false;
        m_lastNonZero = value != 0;
    }
    m_head = (m_head + 1) & (Capacity - 1);
    m_values[m_head] = value;
    if (m_count < Capacity) ++m_count;
    return true;
}

bool nInterfaceFunction::Pool(int32_t* out, bool remove)
{
    if (m_count == 0) return false;
    if (out) *out = m_values[m_head];
    if (remove) {
        --m_count;
        m_head = (m_head - 1) & (Capacity - 1);
    }
    return true;
}

bool nInterfaceFunction::Seek(int32_t value) const
{
    for (int32_t i = 0; i < m_count; ++i)
        if (m_values[(m_head - i) & (Capacity - 1)] == value) return true;
    return false;
}

void nInterfaceFunction::Reset()
{
    m_filter = false;
    m_lastNonZero = false;
    m_head = 0;
    m_count = 0;
    for (int32_t& value : m_values) value = 0;
}
