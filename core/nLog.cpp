#include "core/nLog.h"

#include <cstdio>
#include <cstring>

namespace {

// The line being assembled on this thread. Keeping it per thread (rather than in the log, under
// the mutex between pieces) is what keeps lines of concurrent threads whole.
struct nPendingLine
{
    size_t length;                      // characters before the terminator
    char text[nLog::LineCapacity + 1];  // content, newline, terminator
};
thread_local nPendingLine t_pending;  // zero-initialised: empty

const size_t kMaxContent = nLog::LineCapacity - 1;  // leaves room for the newline

// Constant-initialised, so it exists before any dynamic initialisation; the empty destructor keeps
// the log alive through every other global's destructor.
union nLogStorage
{
    nLog log;
    constexpr nLogStorage() : log() {}
    ~nLogStorage() {}
};
nLogStorage s_log_storage;

}  // namespace

nLog* g_log = &s_log_storage.log;

nLogLevel nLogGetLineClass(const char* line)
{
    if (!line || line[0] != '[' || line[1] == '\0' || line[2] != ']')
        return LogLevelStandard;
    switch (line[1]) {
        case '!': return LogLevelError;
        case '*': return LogLevelWarning;
        case 'H': return LogLevelHeading;
        case 'S': return LogLevelScript;
        default: return LogLevelNone;
    }
}

uint8_t nLogMaskFromLetters(const char* letters)
{
    uint8_t mask = 0;
    if (!letters)
        return mask;
    for (const char* p = letters; *p; ++p) {
        switch (*p) {
            case '!': mask |= LogLevelError; break;
            case '*': mask |= LogLevelWarning; break;
            case 'H': mask |= LogLevelHeading; break;
            case 'S': mask |= LogLevelScript; break;
            case 's': mask |= LogLevelStandard; break;
            case 'a': mask = LogLevelAll; break;
            case 'n': mask = LogLevelNone; break;
            default: break;
        }
    }
    return mask;
}

nLog::~nLog() = default;

void nLog::SetMask(uint8_t mask)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mask = mask;
}

uint8_t nLog::GetMask() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mask;
}

void nLog::Print(const char* line)
{
    if (!line)
        return;
    nLogLevel level = nLogGetLineClass(line);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (level != LogLevelNone && !(m_mask & level))
        return;
    Write(line, std::strlen(line));
}

void nLog::Write(const char* line, size_t length)
{
    // Never a format string: '%' in a line is literal.
    std::fwrite(line, 1, length, stdout);
    std::fflush(stdout);
}

void nLog::Append(const char* text, size_t length, bool may_complete)
{
    nPendingLine& pending = t_pending;
    const char* p = text;
    const char* end = text + length;
    while (p < end) {
        const char* newline = may_complete
                                  ? static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))
                                  : nullptr;
        const char* stop = newline ? newline : end;
        size_t room = kMaxContent - pending.length;
        size_t count = static_cast<size_t>(stop - p);
        if (count > room)
            count = room;  // the rest of an over-long line is dropped
        std::memcpy(pending.text + pending.length, p, count);
        pending.length += count;
        pending.text[pending.length] = '\0';
        if (!newline)
            return;
        pending.text[pending.length] = '\n';
        pending.text[pending.length + 1] = '\0';
        Print(pending.text);
        pending.length = 0;
        pending.text[0] = '\0';
        p = newline + 1;
    }
}

nLog& nLog::operator<<(const char* text)
{
    if (text)
        Append(text, std::strlen(text), true);
    return *this;
}

nLog& nLog::operator<<(int32_t value)
{
    char buffer[16];
    int n = std::snprintf(buffer, sizeof(buffer), "%d", static_cast<int>(value));
    Append(buffer, static_cast<size_t>(n), false);
    return *this;
}

nLog& nLog::operator<<(signed char value) { return *this << static_cast<int32_t>(value); }

nLog& nLog::operator<<(unsigned char value) { return *this << static_cast<int32_t>(value); }

nLog& nLog::operator<<(float value)
{
    char buffer[64];  // the largest float is 39 digits before the point
    int n = std::snprintf(buffer, sizeof(buffer), "%.3f", static_cast<double>(value));
    if (n < 0)
        return *this;
    if (static_cast<size_t>(n) >= sizeof(buffer))
        n = sizeof(buffer) - 1;
    Append(buffer, static_cast<size_t>(n), false);
    return *this;
}

nLog& nLog::operator<<(bool value)
{
    const char* text = value ? "TRUE" : "FALSE";
    Append(text, std::strlen(text), false);
    return *this;
}
