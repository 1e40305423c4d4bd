#include "tests/support/nLogCapture.h"

nLogCapture::nLogCapture() : m_previous(g_log) { g_log = this; }

nLogCapture::~nLogCapture() { g_log = m_previous; }

std::vector<std::string> nLogCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(m_lines_mutex);
    return m_lines;
}

std::string nLogCapture::Text() const
{
    std::lock_guard<std::mutex> lock(m_lines_mutex);
    std::string text;
    for (const std::string& line : m_lines)
        text += line;
    return text;
}

void nLogCapture::Clear()
{
    std::lock_guard<std::mutex> lock(m_lines_mutex);
    m_lines.clear();
}

void nLogCapture::Write(const char* line, size_t length)
{
    std::lock_guard<std::mutex> lock(m_lines_mutex);
    m_lines.emplace_back(line, length);
}
