#include "resources/nRenderMap.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace {

const char* const kChannelNames[RenderMapChannelCount] = {
    "Normal", "Diffuse", "Modulate", "Specular", "Glossiness", "Constant", "Opacity"};

bool IsChannel(int32_t channel)
{
    return channel >= 0 && channel < RenderMapChannelCount;
}

}

const char* GetRenderMapChannelName(int32_t channel)
{
    return IsChannel(channel) ? kChannelNames[channel] : 0;
}

nRenderMap::nRenderMap() : posX(0.0f), posY(0.0f), m_roots{0, 0, 0, 0, 0, 0, 0}
{
}

nRenderMap::~nRenderMap()
{
    Clear();
}

void nRenderMap::Clear()
{
    for (nShaderBlock* block : CollectBlocks(true))
        delete block;
    for (nShaderBlock*& root : m_roots)
        root = 0;
}

nShaderBlock* nRenderMap::GetRoot(int32_t channel) const
{
    return IsChannel(channel) ? m_roots[channel] : 0;
}

void nRenderMap::SetRoot(int32_t channel, nShaderBlock* block)
{
    if (IsChannel(channel))
        m_roots[channel] = block;
}

bool nRenderMap::IsEmpty() const
{
    return std::all_of(m_roots, m_roots + RenderMapChannelCount, [](const nShaderBlock* b) { return !b; });
}

std::vector<nShaderBlock*> nRenderMap::CollectBlocks(bool inputsFirst) const
{
    std::vector<nShaderBlock*> order;
    std::unordered_set<const nShaderBlock*> seen;
    // Each stack entry is a block and whether its inputs have been pushed already.
    std::vector<std::pair<nShaderBlock*, bool>> stack;
    for (nShaderBlock* root : m_roots) {
        if (!root)
            continue;
        stack.emplace_back(root, false);
        while (!stack.empty()) {
            std::pair<nShaderBlock*, bool> top = stack.back();
            stack.pop_back();
            nShaderBlock* block = top.first;
            if (top.second) {
                order.push_back(block);
                continue;
            }
            if (!seen.insert(block).second)
                continue;
            if (inputsFirst)
                stack.emplace_back(block, true);
            else
                order.push_back(block);
            for (unsigned i = block->GetInputCount(); i-- > 0;)
                if (nShaderBlock* input = block->GetInput(i))
                    if (!seen.count(input))
                        stack.emplace_back(input, false);
        }
    }
    return order;
}
