// The "ShaderMap" NML tag: reading and writing of nRenderMap. The blocks are a flat list of
// "Entry" tags in "Map"; each root is a tree of "Block" tags that name entries by index and give
// their inputs, so a block reached from several places is one entry and one object.
#include "resources/nRenderMap.h"

#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"
#include "core/nVector.h"
#include "resources/nMaterial.h"

namespace {

// Graph levels a branch may nest; deeper Block tags are refused with a line.
const int kMaxBranchDepth = 256;

const char kSwizzleLetters[] = "nxyzw";  // codes 0 to 4
const char kBuildLetters[] = "01xyzw";   // modes 0 to 5

bool ReadInt(nMetaTag* tag, const char* name, int32_t* out)
{
    nMetaTag* child = FirstChildNamed(tag, name);
    return child && ReadTagInt(child, *out);
}

// Characters of text read as codes through letters, up to four; a character not among the
// letters (the end of a shorter text included) logs message and stops.
void ReadMask(nMetaTag* tag, const char* letters, int32_t* codes, const char* message)
{
    const char* text = "";
    if (tag->GetType() == TagType_String && tag->GetValue().GetText().GetCStr())
        text = tag->GetValue().GetText().GetCStr();
    for (int i = 0; i < 4; ++i) {
        const char* found = text[i] ? strchr(letters, text[i]) : 0;
        if (!found) {
            *g_log << "[!] " << message;
            return;
        }
        codes[i] = (int32_t)(found - letters);
    }
}

// How each kind reads the children of its "Param" tag: one row per parameter, read when the
// child is there.
struct ParamRule
{
    int32_t kind;
    const char* tag;
    void (*read)(nOrvex* engine, nShaderBlock& block, nMetaTag* child);
};

void ReadWrap(nMetaTag* child, uint8_t& wrap)
{
    bool flag = false;
    if (child->GetType() != TagType_Real && ReadTagBool(child, flag))
        wrap = flag ? 1 : 0;
}

// Four values in the Vector form; a missing W keeps the one given.
void ReadValues(nMetaTag* child, float* values, float w)
{
    nVector v(values[0], values[1], values[2], w);
    ReadTagVector(child, v);
    values[0] = v.x, values[1] = v.y, values[2] = v.z, values[3] = v.w;
}

const ParamRule kParamRules[] = {
    {ShaderBlockUV, "Channel", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadTagInt(t, b.index); }},
    {ShaderBlockRenderBuffer, "Buffer", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadTagInt(t, b.index); }},
    {ShaderBlockMaterialParam, "Param", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadTagInt(t, b.index); }},
    {ShaderBlockTexture, "Texture", [](nOrvex* e, nShaderBlock& b, nMetaTag* t) {
         if (const char* name = ReadTagString(t))
             b.texture = LoadMaterialTexture(e, name);
     }},
    {ShaderBlockSampler2D, "WrapU", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadWrap(t, b.wrapU); }},
    {ShaderBlockSampler2D, "WrapV", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadWrap(t, b.wrapV); }},
    {ShaderBlockConstant, "Type", [](nOrvex*, nShaderBlock& b, nMetaTag* t) {
         int32_t type = 0;
         if (ReadTagInt(t, type))
             b.constantType = (uint32_t)type;
     }},
    {ShaderBlockConstant, "Value", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadValues(t, b.values, 1.0f); }},
    {ShaderBlockColor, "Color", [](nOrvex*, nShaderBlock& b, nMetaTag* t) { ReadValues(t, b.values, 1.0f); }},
    {ShaderBlockSwizzle, "Swizzle", [](nOrvex*, nShaderBlock& b, nMetaTag* t) {
         ReadMask(t, kSwizzleLetters, b.codes, "Unexpected end of swizzle mask.\n");
     }},
    {ShaderBlockBuild, "Build", [](nOrvex*, nShaderBlock& b, nMetaTag* t) {
         ReadMask(t, kBuildLetters, b.codes, "Unexpected end of build mask.\n");
     }},
};

void ReadParams(nOrvex* engine, nShaderBlock* block, nMetaTag* param)
{
    // A Constant given parameters starts from (0, 0, 0, 1).
    if (block->GetKind() == ShaderBlockConstant)
        block->values[3] = 1.0f;
    for (const ParamRule& rule : kParamRules)
        if (rule.kind == block->GetKind())
            if (nMetaTag* child = FirstChildNamed(param, rule.tag))
                rule.read(engine, *block, child);
}

// The entries of a "Map" tag, one slot per Entry (NULL where the entry could not be read).
// Every block made is also recorded in made, whatever becomes of it.
bool ParseShaderBlockMap(nOrvex* engine, nMetaTag* map, std::vector<nShaderBlock*>& blocks,
                         std::vector<nShaderBlock*>& made)
{
    if (!IsTagNamed(map, "Map")) {
        nMLLogWrongRoot(map, "Could not parse map. Root tag id is incorrect (");
        return false;
    }
    blocks.clear();
    nMetaTagIterator it;
    while (nMetaTag* entry = map->NextChild(it)) {
        if (!IsTagNamed(entry, "Entry")) {
            *g_log << "[*] Unexpected tag '" << entry->GetName().GetCStr() << "' in shader map.\n";
            continue;
        }
        const int32_t slot = (int32_t)blocks.size();
        blocks.push_back(0);
        nMetaTag* type = FirstChildNamed(entry, "Type");
        if (!type) {
            *g_log << "[*] Shader map entry " << slot << " has no type.\n";
            continue;
        }
        const char* name = ReadTagString(type);
        const int32_t kind = FindShaderBlockKind(name ? name : "");
        if (kind == ShaderBlockNone) {
            *g_log << "[!] Invalid block type '" << (name ? name : "") << "'.\n";
            continue;
        }
        nShaderBlock* block = nShaderBlock::New(kind);
        if (!block) {
            *g_log << "[!] Failed to allocate shader block.\n";
            continue;
        }
        made.push_back(block);
        if (nMetaTag* param = FirstChildNamed(entry, "Param"))
            ReadParams(engine, block, param);
        nVector2 pos;
        if (nMetaTag* posTag = FirstChildNamed(entry, "Pos"))
            if (ReadTagVector(posTag, pos))
                block->posX = pos.x, block->posY = pos.y;
        blocks[slot] = block;
    }
    return true;
}

const char* RefusalText(ShaderInputCheck check)
{
    switch (check) {
        case ShaderInputNoSlot: return "it has no such input";
        case ShaderInputWrongType: return "the types do not match";
        case ShaderInputCycle: return "the link would close a cycle";
        default: return "";
    }
}

struct BranchReader
{
    nOrvex* engine;
    std::vector<nShaderBlock*> made;  // every block read, reachable or not

    nShaderBlock* Build(nMetaTag* tag, const std::vector<nShaderBlock*>* blocks, int depth);
};

nShaderBlock* BranchReader::Build(nMetaTag* tag, const std::vector<nShaderBlock*>* blocks, int depth)
{
    std::vector<nShaderBlock*> own;
    if (!blocks) {
        nMetaTag* map = FirstChildNamed(tag, "Map");
        if (!map) {
            *g_log << "[!] No map to build shader branch.\n";
            return 0;
        }
        if (!ParseShaderBlockMap(engine, map, own, made))
            return 0;
        blocks = &own;
    }
    if (depth > kMaxBranchDepth) {
        *g_log << "[!] Shader branch nested deeper than " << (int32_t)kMaxBranchDepth << " blocks.\n";
        return 0;
    }
    int32_t index = 0;
    if (!ReadInt(tag, "Index", &index)) {
        *g_log << "[!] No block index found.\n";
        return 0;
    }
    if (index < 0 || index >= (int32_t)blocks->size()) {
        *g_log << "[*] Block index " << index << " is past the end of the shader map.\n";
        return 0;
    }
    nShaderBlock* block = (*blocks)[index];
    if (!block || block->GetInputCount() == 0)
        return block;
    nMetaTag* inputs = FirstChildNamed(tag, "Input");
    if (!inputs)
        return block;
    unsigned slot = 0;
    nMetaTagIterator it;
    while (nMetaTag* child = inputs->NextChild(it)) {
        if (IsTagNamed(child, "None")) {
            block->SetInput(slot, 0);
        } else {
            nShaderBlock* input = Build(child, blocks, depth + 1);
            const ShaderInputCheck check = block->CheckInput(slot, input);
            if (check == ShaderInputAccepted)
                block->SetInput(slot, input);
            else
                *g_log << "[*] Shader map block " << index << " ('" << GetShaderBlockKindName(block->GetKind())
                       << "') refuses input " << (int32_t)slot << ": " << RefusalText(check) << ".\n";
        }
        ++slot;
    }
    return block;
}

nMetaTag* NewParams(const nShaderBlock* block)
{
    nMetaTag* param = new (std::nothrow) nMetaTag("Param");
    if (!param)
        return 0;
    const nVector values(block->values[0], block->values[1], block->values[2], block->values[3]);
    char mask[5] = {0, 0, 0, 0, 0};
    switch (block->GetKind()) {
        case ShaderBlockUV:
            AppendTag(param, new (std::nothrow) nMetaTag("Channel", block->index));
            break;
        case ShaderBlockRenderBuffer:
            AppendTag(param, new (std::nothrow) nMetaTag("Buffer", block->index));
            break;
        case ShaderBlockMaterialParam:
            AppendTag(param, new (std::nothrow) nMetaTag("Param", block->index));
            break;
        case ShaderBlockTexture:
            if (block->texture.IsValid() && !block->texture->GetName().IsEmpty())
                AppendTag(param, new (std::nothrow) nMetaTag("Texture", block->texture->GetName().GetCStr()));
            break;
        case ShaderBlockSampler2D:
            AppendTag(param, new (std::nothrow) nMetaTag("WrapU", block->wrapU != 0));
            AppendTag(param, new (std::nothrow) nMetaTag("WrapV", block->wrapV != 0));
            break;
        case ShaderBlockConstant:
            AppendTag(param, new (std::nothrow) nMetaTag("Type", (int32_t)block->constantType));
            AppendTag(param, values.ToMetaTag("Value", true));
            break;
        case ShaderBlockColor:
            AppendTag(param, values.ToMetaTag("Color", true));
            break;
        case ShaderBlockSwizzle:
        case ShaderBlockBuild: {
            const bool swizzle = block->GetKind() == ShaderBlockSwizzle;
            const char* letters = swizzle ? kSwizzleLetters : kBuildLetters;
            const int32_t count = swizzle ? 5 : 6;
            for (int i = 0; i < 4; ++i)
                mask[i] = (block->codes[i] >= 0 && block->codes[i] < count) ? letters[block->codes[i]] : letters[0];
            AppendTag(param, new (std::nothrow) nMetaTag(swizzle ? "Swizzle" : "Build", mask));
            break;
        }
        default:
            break;
    }
    return param;
}

int32_t IndexOf(const std::vector<nShaderBlock*>& blocks, const nShaderBlock* block)
{
    for (size_t i = 0; i < blocks.size(); ++i)
        if (blocks[i] == block)
            return (int32_t)i;
    return -1;
}

// The Block tag of block and, below it, of every connected input. A block already written
// elsewhere is written as its index alone: the reader keeps the inputs it read the first time,
// and a graph whose blocks share inputs level after level stays the size of the graph instead of
// doubling with every level.
nMetaTag* NewBranch(const std::vector<nShaderBlock*>& blocks, const nShaderBlock* block,
                    std::unordered_set<const nShaderBlock*>& written)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag("Block");
    if (!tag)
        return 0;
    AppendTag(tag, new (std::nothrow) nMetaTag("Index", IndexOf(blocks, block)));
    if (block->GetInputCount() == 0 || !written.insert(block).second)
        return tag;
    nMetaTag* inputs = new (std::nothrow) nMetaTag("Input");
    if (!AppendTag(tag, inputs))
        return tag;
    for (unsigned i = 0; i < block->GetInputCount(); ++i) {
        const nShaderBlock* input = block->GetInput(i);
        AppendTag(inputs, input ? NewBranch(blocks, input, written) : new (std::nothrow) nMetaTag("None"));
    }
    return tag;
}

}

bool nRenderMap::Parse(nOrvex* engine, nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "ShaderMap", "shader map"))
        return false;
    Clear();
    BranchReader reader{engine, {}};
    std::vector<nShaderBlock*> blocks;
    bool haveMap = false;
    if (nMetaTag* map = FirstChildNamed(tag, "Map"))
        haveMap = ParseShaderBlockMap(engine, map, blocks, reader.made);
    nVector2 pos;
    if (nMetaTag* posTag = FirstChildNamed(tag, "Pos"))
        if (ReadTagVector(posTag, pos))
            posX = pos.x, posY = pos.y;
    for (int32_t channel = 0; channel < RenderMapChannelCount; ++channel) {
        nMetaTag* root = FirstChildNamed(tag, GetRenderMapChannelName(channel));
        nMetaTag* branch = root ? FirstChildNamed(root, "Block") : 0;
        if (branch)
            m_roots[channel] = reader.Build(branch, haveMap ? &blocks : 0, 0);
    }
    // Only the blocks the roots reach belong to the map.
    const std::vector<nShaderBlock*> kept = CollectBlocks(true);
    const std::unordered_set<nShaderBlock*> reachable(kept.begin(), kept.end());
    for (nShaderBlock* block : reader.made)
        if (!reachable.count(block))
            delete block;
    return true;
}

nMetaTag* nRenderMap::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("ShaderMap");
    if (!root) {
        *g_log << "[!] Could not serialize shader map. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, nVector2(posX, posY).ToMetaTag("Pos"));
    const std::vector<nShaderBlock*> blocks = CollectBlocks(false);
    nMetaTag* map = new (std::nothrow) nMetaTag("Map");
    if (AppendTag(root, map)) {
        for (const nShaderBlock* block : blocks) {
            nMetaTag* entry = new (std::nothrow) nMetaTag("Entry");
            if (!AppendTag(map, entry))
                continue;
            AppendTag(entry, new (std::nothrow) nMetaTag("Type", GetShaderBlockKindName(block->GetKind())));
            AppendTag(entry, nVector2(block->posX, block->posY).ToMetaTag("Pos"));
            AppendTag(entry, NewParams(block));
        }
    } else {
        *g_log << "[!] Failed to allocate root tag.\n";
    }
    std::unordered_set<const nShaderBlock*> written;
    for (int32_t channel = 0; channel < RenderMapChannelCount; ++channel) {
        if (!m_roots[channel])
            continue;
        nMetaTag* tag = new (std::nothrow) nMetaTag(GetRenderMapChannelName(channel));
        if (AppendTag(root, tag))
            AppendTag(tag, NewBranch(blocks, m_roots[channel], written));
    }
    return root;
}
