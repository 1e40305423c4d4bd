#include "core/nMetaObject.h"

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"

bool nMetaObject::SerializeToMetaFile(nMetaFile* document)
{
    if (!document)
        return false;
    nMetaTag* root = Serialize(document);
    return root && document->AddRoot(root);
}

bool nMetaObject::Save(const char* path)
{
    nMetaFile document;
    if (!SerializeToMetaFile(&document))
        return false;
    return document.Save(path);
}

bool nMetaObject::DeserializeFromMetaFile(nMetaFile* document)
{
    if (!document)
        return false;
    nMetaTagIterator it;
    nMetaTag* root = document->NextRoot(it);
    if (!root) {
        *g_log << "[!] No root tag in '" << document->GetFileName().GetCStr() << "'.\n";
        return false;
    }
    return Deserialize(document, root);
}

bool nMetaObject::Load(const char* path)
{
    nMetaFile document;
    if (!document.Load(path))
        return false;
    return DeserializeFromMetaFile(&document);
}
