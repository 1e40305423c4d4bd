#pragma once
// A render map as one compact line, for tests: each root as "Channel=" and its tree, each block by
// its prefix without the trailing '_' and its inputs in parentheses ("-" for an empty slot). A
// block reached more than once is written in full the first time with "#n" after its prefix and
// as "#n" alone afterwards, so that sharing shows.

#include <map>
#include <string>

#include "resources/nRenderMap.h"

namespace nRenderMapDumpDetail {

inline void CountUses(const nShaderBlock* b, std::map<const nShaderBlock*, int>& uses)
{
    if (++uses[b] > 1)
        return;
    for (unsigned i = 0; i < b->GetInputCount(); ++i)
        if (b->GetInput(i))
            CountUses(b->GetInput(i), uses);
}

inline std::string Block(const nShaderBlock* b, std::map<const nShaderBlock*, int>& uses,
                         std::map<const nShaderBlock*, int>& labels)
{
    auto label = labels.find(b);
    if (label != labels.end())
        return "#" + std::to_string(label->second);
    std::string prefix = b->GetPrefix().GetCStr();
    if (!prefix.empty() && prefix.back() == '_')
        prefix.pop_back();
    if (uses[b] > 1) {
        const int n = (int)labels.size() + 1;
        labels[b] = n;
        prefix += "#" + std::to_string(n);
    }
    if (b->GetInputCount() == 0)
        return prefix;
    std::string text = prefix + "(";
    for (unsigned i = 0; i < b->GetInputCount(); ++i) {
        if (i)
            text += ",";
        text += b->GetInput(i) ? Block(b->GetInput(i), uses, labels) : "-";
    }
    return text + ")";
}

}

inline std::string DumpRenderMap(const nRenderMap* map)
{
    if (!map)
        return "(null)";
    std::map<const nShaderBlock*, int> uses, labels;
    for (int c = 0; c < RenderMapChannelCount; ++c)
        if (map->GetRoot(c))
            nRenderMapDumpDetail::CountUses(map->GetRoot(c), uses);
    std::string text;
    for (int c = 0; c < RenderMapChannelCount; ++c) {
        if (!map->GetRoot(c))
            continue;
        if (!text.empty())
            text += " ";
        text += std::string(GetRenderMapChannelName(c)) + "=" + nRenderMapDumpDetail::Block(map->GetRoot(c), uses, labels);
    }
    return text;
}
