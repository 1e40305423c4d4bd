#include "scene/nItemTags.h"

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "scene/nMItem.h"

bool ReadTagFloat(const nMetaTag* tag, float& out)
{
    const nVariant& value = tag->GetValue();
    if (value.GetFloat(&out)) return true;
    int32_t i = 0;
    if (!value.GetInt(&i)) return false;
    out = (float)i;
    return true;
}

bool ReadTagBool(const nMetaTag* tag, bool& out)
{
    return tag->GetValue().GetBool(&out);
}

const char* ReadTagString(const nMetaTag* tag)
{
    const char* text = 0;
    return tag->GetValue().GetString(&text) ? text : 0;
}

bool DeserializeManagedTag(nMItem* item, nMetaFile* document, nMetaTag* tag, const char* rootName,
                           const char* nodeName, const char* rootError, nNodeTagReader readNode)
{
    if (!item || !tag) return false;
    if (!IsTagNamed(tag, rootName)) {
        *g_log << "[!] " << rootError << tag->GetName().GetCStr() << ").\n";
        return false;
    }
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (IsTagNamed(child, "MItem")) item->Deserialize(document, child);
        else if (IsTagNamed(child, nodeName)) readNode(item, document, child);
        else *g_log << "[*] " << "Unknown tag '" << child->GetName().GetCStr() << "' in <" << rootName << ">.\n";
    }
    return true;
}

nMetaTag* SerializeManagedTag(nMItem* item, nMetaFile* document, const char* rootName, nMetaTag* node,
                              const char* failure)
{
    nMetaTag* root = new (std::nothrow) nMetaTag(rootName);
    if (!root) {
        *g_log << "[!] " << failure;
        delete node;
        return 0;
    }
    AppendTag(root, item->Serialize(document));
    AppendTag(root, node);
    return root;
}
