#include "scene/nItemTags.h"

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "scene/nMItem.h"

bool DeserializeManagedTag(nMItem* item, nMetaFile* document, nMetaTag* tag, const char* rootName,
                           const char* nodeName, const char* rootError, nNodeTagReader readNode)
{
    if (!item || !tag) return false;
    if (!IsTagNamed(tag, rootName)) {
        nMLLogWrongRoot(tag, rootError);
        return false;
    }
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (IsTagNamed(child, "MItem")) item->Deserialize(document, child);
        else if (IsTagNamed(child, nodeName)) readNode(item, document, child);
        else nMLWarnUnknownTag(child, rootName);
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
