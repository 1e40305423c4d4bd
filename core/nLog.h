#pragma once
// nLog: the console log, the system's only diagnostic channel, reached through g_log.
//
// A line is appended piece by piece and completed by a text piece holding a newline:
//     *g_log << "[!] Could not open '" << name << "' (" << code << ").\n";
// The line's first characters choose its class (see nLogLevel); a finished line is written to
// standard output, whole and flushed, when its class is enabled in the mask.
//
// Pieces are gathered per thread, so lines logged at the same time on several threads never mix.
// A printed line holds at most LineCapacity characters including its newline; a longer line keeps
// its first LineCapacity - 1 characters and the newline. Text after a newline starts the next line.
//
// The log's mutex is innermost: code may log while holding any other lock, and the log takes no
// other lock while it holds its own. Derived classes override Write to send lines elsewhere.

#include <cstddef>
#include <cstdint>
#include <mutex>

// Line classes and their mask bits.
enum nLogLevel : uint8_t
{
    LogLevelNone = 0x00,
    LogLevelStandard = 0x01,  // no bracketed prefix, including an empty line
    LogLevelHeading = 0x02,   // "[H] " heading and progress
    LogLevelWarning = 0x04,   // "[*] "
    LogLevelError = 0x08,     // "[!] "
    LogLevelScript = 0x10,    // "[S] " script output
    LogLevelAll = 0xff,
};

// The class bit of a finished line: "[x]" prefixes select by x; any other bracketed three-character
// prefix (such as "[|] ") gives LogLevelNone, which is written whatever the mask.
nLogLevel nLogGetLineClass(const char* line);

// The mask named by -log_level letters, left to right from 0: '!' '*' 'H' 'S' 's' add their class,
// 'a' sets all, 'n' clears all, anything else is ignored. NULL gives 0.
uint8_t nLogMaskFromLetters(const char* letters);

class nLog
{
public:
    static constexpr int LineCapacity = 4095;  // characters of a printed line, newline included

    constexpr nLog() {}
    nLog(const nLog&) = delete;
    nLog& operator=(const nLog&) = delete;

    // Writes one finished line (as given, '%' included) when its class is enabled; under the mutex.
    virtual void Print(const char* line);
    virtual ~nLog();

    nLog& operator<<(const char* text);     // as is; each newline completes a line; NULL: nothing
    nLog& operator<<(int32_t value);        // decimal
    nLog& operator<<(signed char value);    // decimal, -128..127
    nLog& operator<<(unsigned char value);  // decimal, 0..255
    nLog& operator<<(float value);          // three decimals: 1.5 gives "1.500"
    nLog& operator<<(bool value);           // "TRUE" or "FALSE"
    nLog& operator<<(char) = delete;        // ambiguous (character or number): append a text

    void SetMask(uint8_t mask);  // whole byte; 0xff at start
    uint8_t GetMask() const;

protected:
    // Sends one finished, enabled line to its destination: standard output, flushed.
    // Called with the mutex held; must not log.
    virtual void Write(const char* line, size_t length);

private:
    void Append(const char* text, size_t length, bool may_complete);

    mutable std::mutex m_mutex;
    uint8_t m_mask = LogLevelAll;
};

// The single log, built before any other global and never destroyed, so that code running in
// other globals' constructors and destructors can log.
extern nLog* g_log;
