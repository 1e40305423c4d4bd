#include "core/nArchiveIndex.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nVariant.h"

namespace {

// The slot where the probe for a hash starts. The string hash always has its lowest bit set;
// multiplying spreads it over the bits the mask keeps.
uint32_t SlotOf(uint32_t hash, uint32_t tableSize)
{
    return (hash * 2654435761u >> 7) & (tableSize - 1);
}

// Names compare by their characters; an unset name is the empty name.
bool NameEquals(const nString& name, const char* text)
{
    const char* own = name.GetCStr();
    return strcmp(own ? own : "", text) == 0;
}

}  // namespace

void nArchiveIndex::Clear()
{
    nList<nArchiveEntry*>::Iterator it;
    while (nArchiveEntry* entry = m_entries.Iterate(it))
        delete entry;
    m_entries.Clear();
    delete[] m_table;
    m_table = 0;
    m_tableSize = 0;
}

void nArchiveIndex::Rebuild(uint32_t size)
{
    delete[] m_table;
    m_table = new (std::nothrow) nArchiveEntry*[size]();
    m_tableSize = m_table ? size : 0;
    if (!m_table)
        return;
    for (nList<nArchiveEntry*>::Node* node = m_entries.GetHead(); node; node = node->next)
        Insert(node->value);
}

void nArchiveIndex::Insert(nArchiveEntry* entry)
{
    const char* name = entry->name.GetCStr() ? entry->name.GetCStr() : "";
    for (uint32_t i = SlotOf(entry->nameHash, m_tableSize);; i = (i + 1) & (m_tableSize - 1)) {
        nArchiveEntry* slot = m_table[i];
        if (!slot) {
            m_table[i] = entry;
            return;
        }
        if (slot->nameHash == entry->nameHash && NameEquals(slot->name, name))
            return;  // the earlier entry of this name keeps answering lookups
    }
}

bool nArchiveIndex::Add(nArchiveEntry* entry)
{
    if (!entry)
        return false;
    entry->nameHash = nStringHash(entry->name.GetCStr());
    if (!m_entries.InsertAfter(entry, 0))
        return false;
    // At most half full; a failed growth leaves lookups to the list.
    const uint32_t count = uint32_t(m_entries.GetCount());
    if (count * 2 > m_tableSize)
        Rebuild(m_tableSize ? m_tableSize * 2 : 64);
    else if (m_table)
        Insert(entry);
    return true;
}

bool nArchiveIndex::Remove(nArchiveEntry* entry)
{
    if (!entry || !m_entries.Remove(entry))
        return false;
    delete entry;
    if (m_table)
        Rebuild(m_tableSize);
    return true;
}

nArchiveEntry* nArchiveIndex::Find(const char* name) const
{
    if (!name)
        return 0;
    const uint32_t hash = nStringHash(name);
    if (m_table) {
        for (uint32_t i = SlotOf(hash, m_tableSize); m_table[i]; i = (i + 1) & (m_tableSize - 1))
            if (m_table[i]->nameHash == hash && NameEquals(m_table[i]->name, name))
                return m_table[i];
        return 0;
    }
    for (nList<nArchiveEntry*>::Node* node = m_entries.GetHead(); node; node = node->next)
        if (node->value->nameHash == hash && NameEquals(node->value->name, name))
            return node->value;
    return 0;
}

bool nArchiveIndex::Load(const char* path)
{
    Clear();
    *g_log << "[|] Loading archive index '" << path << "'...\n";
    nMetaFile document;
    if (!document.Load(path))
        return false;
    nMetaTag* index = document.FindPath("Index;");
    if (!index) {
        *g_log << "[!] No archive index tag found in '" << path << "'.\n";
        return false;
    }
    nMetaTagIterator it;
    while (nMetaTag* tag = index->NextChild(it)) {
        if (!NameEquals(tag->GetName(), "Entry")) {
            *g_log << "[*] Unexpected tag <" << tag->GetName().GetCStr() << "> in <Index>.\n";
            continue;
        }
        nMetaTag* id = tag->FindTypedPath("ID;", TagType_String);
        nMetaTag* compressedLength = tag->FindTypedPath("CompLen;", TagType_Integer);
        nMetaTag* length = tag->FindTypedPath("Len;", TagType_Integer);
        nMetaTag* offset = tag->FindTypedPath("Offset;", TagType_Integer);
        nMetaTag* method = tag->FindTypedPath("Method;", TagType_String);
        if (!id || !compressedLength || !length || !offset || !method) {
            *g_log << "[!] Incomplete index entry.\n";
            continue;
        }
        const char* name = "";
        const char* methodName = "";
        int32_t values[3] = {0, 0, 0};
        id->GetValue().GetString(&name);
        method->GetValue().GetString(&methodName);
        compressedLength->GetValue().GetInt(&values[0]);
        length->GetValue().GetInt(&values[1]);
        offset->GetValue().GetInt(&values[2]);
        uint8_t code;
        if (strcmp(methodName, "Raw") == 0)
            code = ArchiveMethodRaw;
        else if (strcmp(methodName, "Zlib") == 0)
            code = ArchiveMethodZlib;
        else {
            *g_log << "[!] Unknown method '" << methodName << "' in index entry '" << name << "'.\n";
            continue;
        }
        if (values[0] < 0 || values[1] < 0 || values[2] < 0) {
            *g_log << "[!] Negative size or offset in index entry '" << name << "'.\n";
            continue;
        }
        nArchiveEntry* entry = new (std::nothrow) nArchiveEntry;
        if (entry) {
            entry->name.Set(name);
            entry->method = code;
            entry->compressedLength = uint32_t(values[0]);
            entry->length = uint32_t(values[1]);
            entry->offset = uint32_t(values[2]);
        }
        if (!entry || !Add(entry)) {
            delete entry;
            *g_log << "[!] Failed to allocate new archive index entry.\n";
        }
    }
    *g_log << "[|] Done, found " << GetCount() << " entries.\n";
    return true;
}

bool nArchiveIndex::Save(const char* path) const
{
    nMetaFile document;
    nMetaTag* index = new (std::nothrow) nMetaTag("Index");
    if (!index || !document.AddRoot(index)) {
        delete index;
        *g_log << "[!] Failed to allocate archive index tag.\n";
        return false;
    }
    for (nList<nArchiveEntry*>::Node* node = m_entries.GetHead(); node; node = node->next) {
        const nArchiveEntry* entry = node->value;
        nMetaTag* tag = new (std::nothrow) nMetaTag("Entry");
        if (!tag || !index->AddChild(tag)) {
            delete tag;
            *g_log << "[!] Failed to allocate archive index tag.\n";
            return false;
        }
        const char* name = entry->name.GetCStr();
        const char* method = entry->method == ArchiveMethodRaw    ? "Raw"
                             : entry->method == ArchiveMethodZlib ? "Zlib"
                                                                  : 0;
        nMetaTag* children[5] = {
            new (std::nothrow) nMetaTag("ID", name ? name : ""),
            new (std::nothrow) nMetaTag("CompLen", int32_t(entry->compressedLength)),
            new (std::nothrow) nMetaTag("Len", int32_t(entry->length)),
            new (std::nothrow) nMetaTag("Offset", int32_t(entry->offset)),
            method ? new (std::nothrow) nMetaTag("Method", method) : 0,
        };
        bool complete = true;
        for (int i = 0; i < 5; ++i) {
            if (i == 4 && !method)
                break;
            if (!children[i] || !tag->AddChild(children[i])) {
                delete children[i];
                complete = false;
            }
        }
        if (!complete) {
            *g_log << "[!] Failed to allocate archive index tag.\n";
            return false;
        }
    }
    return document.Save(path);
}
