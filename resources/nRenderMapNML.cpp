// The "ShaderMap" NML tag: reading and writing of nRenderMap. The blocks are a flat list of
// "Entry" tags in "Map"; each root is a tree of "Block" tags that name entries by index and give
// their inputs, so a block reached from several places is one entry and one object.
#include "resources/nRenderMap.h"

#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "core/nVector.h"
#include "resources/nMaterial.h"

namespace {

// Graph levels a branch may nest; deeper Block tags are refused with a line.
const int kMaxBranchDepth = 256;

const char kSwizzleLetters[] = "nxyzw";     // codes 0 to 4
const char kBuildLetters[] = "01xyzw";      // modes 0 to 5

nMetaTag* FindChild(nMetaTag* tag, const char* name)
{
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        if (child->GetName() == name)
            return child;
    return 0;
}

// Appends child to parent; false (child deleted) when it could not be made or added.
bool Append(nMetaTag* parent, nMetaTag* child)
{
    if (child && parent->AddChild(child))
        return true;
    delete child;
    return false;
}

bool ReadInt(nMetaTag* tag, const char* name, int32_t* out)
{
    nMetaTag* child = FindChild(tag, name);
    return child && child->GetValue().GetInt(out);
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

void ReadParams(nOrvex* engine, nShaderBlock* block, nMetaTag* param)
{
    int32_t value = 0;
    nMetaTag* child = 0;
    switch (block->GetKind()) {
    case ShaderBlockUV:
        ReadInt(param, "Channel", &block->index);
        break;
    case ShaderBlockRenderBuffer:
        ReadInt(param, "Buffer", &block->index);
        break;
    case ShaderBlockMaterialParam:
        ReadInt(param, "Param", &block->index);
        break;
    case ShaderBlockTexture:
        if ((child = FindChild(param, "Texture")) && child->GetType() == TagType_String)
            block->texture = LoadMaterialTexture(engine, child->GetValue().GetText().GetCStr());
        break;
    case ShaderBlockSampler2D: {
        bool flag = false;
        if ((child = FindChild(param, "WrapU")) && child->GetType() != TagType_Real && child->GetValue().GetBool(&flag))
            block->wrapU = flag ? 1 : 0;
        if ((child = FindChild(param, "WrapV")) && child->GetType() != TagType_Real && child->GetValue().GetBool(&flag))
            block->wrapV = flag ? 1 : 0;
        break;
    }
    case ShaderBlockConstant: {
        if (ReadInt(param, "Type", &value))
            block->constantType = (uint32_t)value;
        nVector v(0.0f, 0.0f, 0.0f, 1.0f);
        if ((child = FindChild(param, "Value")))
            v.FromMetaTag(child);
        block->values[0] = v.x, block->values[1] = v.y, block->values[2] = v.z, block->values[3] = v.w;
        break;
    }
    case ShaderBlockColor: {
        nVector v(block->values[0], block->values[1], block->values[2], 1.0f);
        if ((child = FindChild(param, "Color")))
            v.FromMetaTag(child);
        block->values[0] = v.x, block->values[1] = v.y, block->values[2] = v.z, block->values[3] = v.w;
        break;
    }
    case ShaderBlockSwizzle:
        if ((child = FindChild(param, "Swizzle")))
            ReadMask(child, kSwizzleLetters, block->codes, "Unexpected end of swizzle mask.\n");
        break;
    case ShaderBlockBuild:
        if ((child = FindChild(param, "Build")))
            ReadMask(child, kBuildLetters, block->codes, "Unexpected end of build mask.\n");
        break;
    default:
        break;
    }
}

// The entries of a "Map" tag, one slot per Entry (NULL where the entry could not be read).
// Every block made is also recorded in made, whatever becomes of it.
bool ParseShaderBlockMap(nOrvex* engine, nMetaTag* map, std::vector<nShaderBlock*>& blocks,
                         std::vector<nShaderBlock*>& made)
{
    if (!(map->GetName() == "Map")) {
        *g_log << "[!] " << "Could not parse map. Root tag id is incorrect (" << map->GetName().GetCStr() << ").\n";
        return false;
    }
    blocks.clear();
    nMetaTagIterator it;
    while (nMetaTag* entry = map->NextChild(it)) {
        if (!(entry->GetName() == "Entry")) {
            *g_log << "[*] " << "Unexpected tag '" << entry->GetName().GetCStr() << "' in shader map.\n";
            continue;
        }
        const int32_t slot = (int32_t)blocks.size();
        blocks.push_back(0);
        nMetaTag* type = FindChild(entry, "Type");
        if (!type) {
            *g_log << "[*] " << "Shader map entry " << slot << " has no type.\n";
            continue;
        }
        const char* name = type->GetType() == TagType_String ? type->GetValue().GetText().GetCStr() : 0;
        const int32_t kind = FindShaderBlockKind(name ? name : "");
        if (kind == ShaderBlockNone) {
            *g_log << "[!] " << "Invalid block type '" << (name ? name : "") << "'.\n";
            continue;
        }
        nShaderBlock* block = nShaderBlock::New(kind);
        if (!block) {
            *g_log << "[!] " << "Failed to allocate shader block.\n";
            continue;
        }
        made.push_back(block);
        if (nMetaTag* param = FindChild(entry, "Param"))
            ReadParams(engine, block, param);
        if (nMetaTag* pos = FindChild(entry, "Pos")) {
            nVector2 p;
            if (p.FromMetaTag(pos))
                block->posX = p.x, block->posY = p.y;
        }
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
    nOrvex*                     engine;
    std::vector<nShaderBlock*>  made;       // every block read, reachable or not

    nShaderBlock* Build(nMetaTag* tag, const std::vector<nShaderBlock*>* blocks, int depth);
};

nShaderBlock* BranchReader::Build(nMetaTag* tag, const std::vector<nShaderBlock*>* blocks, int depth)
{
    std::vector<nShaderBlock*> own;
    if (!blocks) {
        nMetaTag* map = FindChild(tag, "Map");
        if (!map) {
            *g_log << "[!] " << "No map to build shader branch.\n";
            return 0;
        }
        if (!ParseShaderBlockMap(engine, map, own, made))
            return 0;
        blocks = &own;
    }
    if (depth > kMaxBranchDepth) {
        *g_log << "[!] " << "Shader branch nested deeper than " << (int32_t)kMaxBranchDepth << " blocks.\n";
        return 0;
    }
    int32_t index = 0;
    if (!ReadInt(tag, "Index", &index)) {
        *g_log << "[!] " << "No block index found.\n";
        return 0;
    }
    if (index < 0 || index >= (int32_t)blocks->size()) {
        *g_log << "[*] " << "Block index " << index << " is past the end of the shader map.\n";
        return 0;
    }
    nShaderBlock* block = (*blocks)[index];
    if (!block || block->GetInputCount() == 0)
        return block;
    nMetaTag* inputs = FindChild(tag, "Input");
    if (!inputs)
        return block;
    unsigned slot = 0;
    nMetaTagIterator it;
    while (nMetaTag* child = inputs->NextChild(it)) {
        if (child->GetName() == "None") {
            block->SetInput(slot, 0);
        } else {
            nShaderBlock* input = Build(child, blocks, depth + 1);
            const ShaderInputCheck check = block->CheckInput(slot, input);
            if (check == ShaderInputAccepted)
                block->SetInput(slot, input);
            else
                *g_log << "[*] " << "Shader map block " << index << " ('" << GetShaderBlockKindName(block->GetKind())
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
        Append(param, new (std::nothrow) nMetaTag("Channel", block->index));
        break;
    case ShaderBlockRenderBuffer:
        Append(param, new (std::nothrow) nMetaTag("Buffer", block->index));
        break;
    case ShaderBlockMaterialParam:
        Append(param, new (std::nothrow) nMetaTag("Param", block->index));
        break;
    case ShaderBlockTexture:
        if (block->texture.IsValid() && !block->texture->GetName().IsEmpty())
            Append(param, new (std::nothrow) nMetaTag("Texture", block->texture->GetName().GetCStr()));
        break;
    case ShaderBlockSampler2D:
        Append(param, new (std::nothrow) nMetaTag("WrapU", block->wrapU != 0));
        Append(param, new (std::nothrow) nMetaTag("WrapV", block->wrapV != 0));
        break;
    case ShaderBlockConstant:
        Append(param, new (std::nothrow) nMetaTag("Type", (int32_t)block->constantType));
        Append(param, values.ToMetaTag("Value", true));
        break;
    case ShaderBlockColor:
        Append(param, values.ToMetaTag("Color", true));
        break;
    case ShaderBlockSwizzle:
    case ShaderBlockBuild: {
        const bool swizzle = block->GetKind() == ShaderBlockSwizzle;
        const char* letters = swizzle ? kSwizzleLetters : kBuildLetters;
        const int32_t count = swizzle ? 5 : 6;
        for (int i = 0; i < 4; ++i)
            mask[i] = (block->codes[i] >= 0 && block->codes[i] < count) ? letters[block->codes[i]] : letters[0];
        Append(param, new (std::nothrow) nMetaTag(swizzle ? "Swizzle" : "Build", mask));
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
    Append(tag, new (std::nothrow) nMetaTag("Index", IndexOf(blocks, block)));
    if (block->GetInputCount() == 0 || !written.insert(block).second)
        return tag;
    nMetaTag* inputs = new (std::nothrow) nMetaTag("Input");
    if (!Append(tag, inputs))
        return tag;
    for (unsigned i = 0; i < block->GetInputCount(); ++i) {
        const nShaderBlock* input = block->GetInput(i);
        Append(inputs, input ? NewBranch(blocks, input, written) : new (std::nothrow) nMetaTag("None"));
    }
    return tag;
}

}

bool nRenderMap::Parse(nOrvex* engine, nMetaFile* document, nMetaTag* tag)
{
    if (!tag || !(tag->GetName() == "ShaderMap")) {
        *g_log << "[!] " << "Could not parse shader map. Root tag id is incorrect ("
               << (tag ? tag->GetName().GetCStr() : "") << ").\n";
        return false;
    }
    Clear();
    BranchReader reader{engine, {}};
    std::vector<nShaderBlock*> blocks;
    bool haveMap = false;
    if (nMetaTag* map = FindChild(tag, "Map"))
        haveMap = ParseShaderBlockMap(engine, map, blocks, reader.made);
    if (nMetaTag* pos = FindChild(tag, "Pos")) {
        nVector2 p;
        if (p.FromMetaTag(pos))
            posX = p.x, posY = p.y;
    }
    for (int32_t channel = 0; channel < RenderMapChannelCount; ++channel) {
        nMetaTag* root = FindChild(tag, GetRenderMapChannelName(channel));
        nMetaTag* branch = root ? FindChild(root, "Block") : 0;
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
        *g_log << "[!] " << "Could not serialize shader map. Failed to create root tag.\n";
        return 0;
    }
    Append(root, nVector2(posX, posY).ToMetaTag("Pos"));
    const std::vector<nShaderBlock*> blocks = CollectBlocks(false);
    nMetaTag* map = new (std::nothrow) nMetaTag("Map");
    if (Append(root, map)) {
        for (const nShaderBlock* block : blocks) {
            nMetaTag* entry = new (std::nothrow) nMetaTag("Entry");
            if (!Append(map, entry))
                continue;
            Append(entry, new (std::nothrow) nMetaTag("Type", GetShaderBlockKindName(block->GetKind())));
            Append(entry, nVector2(block->posX, block->posY).ToMetaTag("Pos"));
            Append(entry, NewParams(block));
        }
    } else {
        *g_log << "[!] " << "Failed to allocate root tag.\n";
    }
    std::unordered_set<const nShaderBlock*> written;
    for (int32_t channel = 0; channel < RenderMapChannelCount; ++channel) {
        if (!m_roots[channel])
            continue;
        nMetaTag* tag = new (std::nothrow) nMetaTag(GetRenderMapChannelName(channel));
        if (Append(root, tag))
            Append(tag, NewBranch(blocks, m_roots[channel], written));
    }
    return root;
}
