#pragma once
// nLogCapture: records the exact lines the log writes while the capture is alive.
//
//     nLogCapture cap;                         // g_log now points at the capture (mask 0xff)
//     *g_log << "[!] bad " << 3 << "\n";       // recorded instead of printed
//     EXPECT_EQ(cap.Lines(), (std::vector<std::string>{"[!] bad 3\n"}));
//
// - Lines() holds every line that passed the mask, in order, each as written (with its "\n").
// - The mask works as on the real log: g_log->SetMask(...) (or cap.SetMask) filters what is kept.
// - The destructor restores the previous g_log; captures nest.
// - Lines from every thread are recorded. Create the capture before starting threads that log and
//   destroy it after joining them (g_log itself is a plain pointer).
// - A line begun on this thread before the capture (without its newline) completes into it.

#include "core/nLog.h"

#include <mutex>
#include <string>
#include <vector>

class nLogCapture : public nLog
{
public:
    nLogCapture();
    ~nLogCapture() override;

    std::vector<std::string> Lines() const;  // recorded lines, in order
    std::string Text() const;                // recorded lines joined
    void Clear();                            // forgets what was recorded

protected:
    void Write(const char* line, size_t length) override;

private:
    nLog* m_previous;
    mutable std::mutex m_lines_mutex;  // leaf lock: taken inside the log's mutex, takes none
    std::vector<std::string> m_lines;
};
