#include "core/nMLReader.h"

#include "core/nLog.h"
#include "core/nString.h"
#include "core/nVector.h"

bool nMLCheckRoot(const nMetaTag* tag, std::initializer_list<const char*> rootNames, const char* what)
{
    if (tag)
        for (const char* name : rootNames)
            if (IsTagNamed(tag, name)) return true;
    return nMLRefuseRoot(tag, what);
}

bool nMLRefuseRoot(const nMetaTag* tag, const char* what)
{
    *g_log << "[!] Could not parse " << what << ". Root tag id is incorrect ("
           << (tag ? tag->GetName().GetCStr() : "") << ").\n";
    return false;
}

void nMLLogWrongRoot(const nMetaTag* tag, const char* errorStart)
{
    *g_log << "[!] " << errorStart << (tag ? tag->GetName().GetCStr() : "") << ").\n";
}

void nMLWarnUnknownTag(const nMetaTag* tag, const char* record)
{
    *g_log << "[*] Unknown tag '" << tag->GetName().GetCStr() << "' in <" << record << ">.\n";
}

bool ReadTagInt(const nMetaTag* tag, int32_t& out)
{
    return tag->GetValue().GetInt(&out);
}

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

bool ReadTagString(const nMetaTag* tag, nString& out)
{
    const char* text = ReadTagString(tag);
    if (!text) return false;
    out.Set(text);
    return true;
}

bool ReadTagVector(const nMetaTag* tag, nVector& out)
{
    return out.FromMetaTag(tag);
}

bool ReadTagVector(const nMetaTag* tag, nVector2& out)
{
    return out.FromMetaTag(tag);
}
