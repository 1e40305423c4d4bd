#include "tests/kit/nCallLog.h"

#include <cstdio>
#include <cstdlib>

std::vector<std::string> nCallLog::With(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& c : m_calls)
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    return out;
}

std::vector<std::string> nCallLog::Containing(const std::string& text) const
{
    std::vector<std::string> out;
    for (const std::string& c : m_calls)
        if (c.find(text) != std::string::npos) out.push_back(c);
    return out;
}

size_t nCallLog::Count(const std::string& call) const
{
    size_t n = 0;
    for (const std::string& c : m_calls)
        if (c == call) ++n;
    return n;
}

std::string FormatFloat(float v)
{
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        snprintf(text, sizeof(text), "%.*g", digits, (double)v);
        if (strtof(text, 0) == v) break;
    }
    return text;
}
