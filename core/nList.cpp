#include "core/nList.h"

#include "core/nString.h"

bool nListValueMatches(const nString& value, const nString& key)
{
    return value == key.GetCStr();
}

bool nListValueMatches(const nString& value, const char* key)
{
    return value == key;
}
