#ifndef N_CALLLOG_H
#define N_CALLLOG_H

#include <string>
#include <vector>

// One ordered record of the calls the kit's fakes receive, shared by all of them so that a
// test sees the order across the renderer, the physics world and the script events.
class nCallLog
{
public:
    void Add(const std::string& call) { m_calls.push_back(call); }
    void Clear() { m_calls.clear(); }
    const std::vector<std::string>& Calls() const { return m_calls; }
    // The calls that start with prefix, in order.
    std::vector<std::string> With(const std::string& prefix) const;
    // The calls that contain text, in order.
    std::vector<std::string> Containing(const std::string& text) const;
    size_t Count(const std::string& call) const;  // exact matches

private:
    std::vector<std::string> m_calls;
};

std::string FormatFloat(float v);  // shortest text that reads back as v ("0.2", "0.0666667")

#endif
