#include "tests/support/nMLTestSupport.h"

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"

#include <cstdio>

std::string nMLDumpTag(const nMetaTag* tag)
{
    std::string out = tag->GetName().GetCStr() ? tag->GetName().GetCStr() : "";
    if (tag->GetChildCount() > 0) {
        out += '{';
        bool first = true;
        for (const nLinkedListEntry* e = const_cast<nMetaTag*>(tag)->GetChildren().GetHead(); e; e = e->GetNext()) {
            if (!first)
                out += ',';
            first = false;
            out += nMLDumpTag(static_cast<const nMetaTag*>(e));
        }
        out += '}';
    }
    const nVariant& value = tag->GetValue();
    char text[64];
    switch (value.GetType()) {
        case TagType_Real: {
            float f = 0;
            value.GetFloat(&f);
            snprintf(text, sizeof(text), "=f%.9g", static_cast<double>(f));
            out += text;
            break;
        }
        case TagType_Bool: {
            bool b = false;
            value.GetBool(&b);
            out += b ? "=b1" : "=b0";
            break;
        }
        case TagType_Integer: {
            int32_t i = 0;
            value.GetInt(&i);
            snprintf(text, sizeof(text), "=i%d", static_cast<int>(i));
            out += text;
            break;
        }
        case TagType_String: {
            const char* s = "";
            value.GetString(&s);
            out += "=s\"";
            out += s;
            out += '"';
            break;
        }
        case TagType_Binary:
            out += "=x";
            for (int32_t i = 0; i < value.GetBinaryLength(); ++i) {
                snprintf(text, sizeof(text), "%02x", value.GetBinaryData()[i]);
                out += text;
            }
            break;
        case TagType_List:
            out += "=list";
            break;
        default:
            break;
    }
    return out;
}

std::string nMLDump(nMetaFile& document)
{
    std::string out;
    nMetaTagIterator it;
    bool first = true;
    while (nMetaTag* root = document.NextRoot(it)) {
        if (!first)
            out += ',';
        first = false;
        out += nMLDumpTag(root);
    }
    return out;
}

bool nMLPutMemoryFile(const char* name, const std::string& text)
{
    nIOMemoryFS* memory = nIO::GetMemoryFS();
    nIOHandle* handle = memory->Open(name, false, true, false);
    if (!handle)
        return false;
    int32_t written = memory->Write(handle, text.data(), static_cast<int32_t>(text.size()));
    return memory->Close(handle) && written == static_cast<int32_t>(text.size());
}

std::string nMLGetMemoryFile(const char* name)
{
    nIOMemoryFS* memory = nIO::GetMemoryFS();
    nIOHandle* handle = memory->Exists(name) ? memory->Open(name, true, false, false) : nullptr;
    if (!handle)
        return "";
    std::string text(static_cast<size_t>(memory->GetSize(handle)), '\0');
    memory->Read(handle, &text[0], static_cast<int32_t>(text.size()));
    memory->Close(handle);
    return text;
}

nMetaTag* nMLParseRoot(nMetaFile& document, const std::string& body)
{
    std::string text = "<NML=1.0>\n" + body;
    if (!document.Parse(text.data(), (int32_t)text.size())) return nullptr;
    nMetaTagIterator it;
    return document.NextRoot(it);
}

std::vector<std::string> nMLChildNames(nMetaTag* tag)
{
    std::vector<std::string> names;
    if (!tag) return names;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        names.push_back(child->GetName().GetCStr() ? child->GetName().GetCStr() : "");
    return names;
}
