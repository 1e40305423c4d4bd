// The scene file: the "Scene" NML tag read into a scene (filtered by load flags, uids rebased
// through a remap table) and written back, and the file operations around them.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nTimer.h"
#include "hub/nOrvex.h"
#include "resources/nResourceLoader.h"
#include "scene/nCamera.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nItemTags.h"
#include "scene/nEmitter.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTerrain.h"
#include "scene/nTrigger.h"
#include "scriptiface/nScriptUnit.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

// The item kinds a scene file holds, in the order the writer emits them.
struct ItemTagKind
{
    constexpr ItemTagKind(const char* tag, int32_t kind, int32_t flag) : tag(tag), length(nMLNameLength(tag)), kind(kind), flag(flag) {}

    const char* tag;
    size_t length;  // of tag
    int32_t kind;
    int32_t flag;
};

const ItemTagKind kItemTags[] = {
    {"MCamera", ManagedItemCamera, FlagLoadCamera},
    {"MObject", ManagedItemObject, FlagLoadObject},
    {"MLight", ManagedItemLight, FlagLoadLight},
    {"Trigger", ManagedItemTrigger, FlagLoadTrigger},
    {"Instance", ManagedItemInstance, FlagLoadInstance},
    {"MEmitter", ManagedItemEmitter, FlagLoadEmitter},
    {"MTerrain", ManagedItemTerrain, FlagLoadTerrain},
};

const ItemTagKind* KindOfTag(const nMetaTag* tag)
{
    for (const ItemTagKind& k : kItemTags)
        if (IsTagNamed(tag, k.tag, k.length)) return &k;
    return 0;
}

// The load flag that selects a kind when links are written.
int32_t FlagOfKind(int32_t kind)
{
    switch (kind) {
        case ManagedItemCamera: return FlagLoadCamera;
        case ManagedItemObject: return FlagLoadObject;
        case ManagedItemLight: return FlagLoadLight;
        case ManagedItemTrigger: return FlagLoadTrigger;
        case ManagedItemEmitter: return FlagLoadEmitter;
        case ManagedItemInstance: return FlagLoadInstance;
        case ManagedItemTerrain: return FlagLoadTerrain;
    }
    return 0;
}

bool ReadItem(nMItem* item, nMetaFile* document, nMetaTag* tag)
{
    switch (item->GetKind()) {
        case ManagedItemCamera: return static_cast<nMCamera*>(item)->Deserialize(document, tag);
        case ManagedItemObject: return static_cast<nMObject*>(item)->Deserialize(document, tag);
        case ManagedItemLight: return static_cast<nMLight*>(item)->Deserialize(document, tag);
        case ManagedItemTrigger: return static_cast<nTrigger*>(item)->Deserialize(document, tag);
        case ManagedItemInstance: return static_cast<nInstance*>(item)->Deserialize(document, tag);
        case ManagedItemEmitter: return static_cast<nMEmitter*>(item)->Deserialize(document, tag);
        case ManagedItemTerrain: return static_cast<nMTerrain*>(item)->Deserialize(document, tag);
    }
    return false;
}

// NULL for items of kinds the file does not hold (or not of the scene's own classes).
nMetaTag* WriteItem(nMItem* item, nMetaFile* document)
{
    switch (item->GetKind()) {
        case ManagedItemCamera:
            if (nMCamera* camera = dynamic_cast<nMCamera*>(item)) return camera->Serialize(document);
            break;
        case ManagedItemObject:
            if (nMObject* object = dynamic_cast<nMObject*>(item)) return object->Serialize(document);
            break;
        case ManagedItemLight:
            if (nMLight* light = dynamic_cast<nMLight*>(item)) return light->Serialize(document);
            break;
        case ManagedItemTrigger:
            if (nTrigger* trigger = dynamic_cast<nTrigger*>(item)) return trigger->Serialize(document);
            break;
        case ManagedItemInstance:
            if (nInstance* instance = dynamic_cast<nInstance*>(item)) return instance->Serialize(document);
            break;
        case ManagedItemEmitter:
            if (nMEmitter* emitter = dynamic_cast<nMEmitter*>(item)) return emitter->Serialize(document);
            break;
        case ManagedItemTerrain:
            if (nMTerrain* terrain = dynamic_cast<nMTerrain*>(item)) return terrain->Serialize(document);
            break;
    }
    return 0;
}

bool ReadInt(nMetaTag* tag, int32_t& out)
{
    return tag && tag->GetValue().GetInt(&out);
}

// The uid remap of one read: for every source uid below size, the uid given to its item and
// the first item read with it (NULL and -1 when none was made).
struct UidTable
{
    int32_t size;
    int32_t* remap;
    nMItem** items;

    UidTable() : size(0), remap(0), items(0) {}
    ~UidTable()
    {
        delete[] remap;
        delete[] items;
    }
    bool Allocate(int32_t entries)
    {
        remap = new (std::nothrow) int32_t[(size_t)entries];
        items = new (std::nothrow) nMItem*[(size_t)entries];
        if (!remap || !items) return false;
        size = entries;
        for (int32_t i = 0; i < size; ++i) {
            remap[i] = -1;
            items[i] = 0;
        }
        return true;
    }
    bool InRange(int32_t uid) const { return uid >= 0 && uid < size; }
    nMItem* Item(int32_t uid) const { return InRange(uid) && remap[uid] != -1 ? items[uid] : 0; }
};

nMetaTag* NewTag(const char* name, const char* failure)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag(name);
    if (!tag) *g_log << "[!] " << failure;
    return tag;
}

// What the reader needs of an item tag's "MItem" child, found in one walk over its children
// (files hold thousands of items; path lookups would walk them once per key).
struct ManagedTagKeys
{
    bool hasUid;
    int32_t uid;
    const char* id;  // NULL when absent or not a string
    bool helper;     // a "Helper" or "ToolSpecific" child

    ManagedTagKeys() : hasUid(false), uid(0), id(0), helper(false) {}
};

ManagedTagKeys ReadManagedKeys(nMetaTag* itemTag)
{
    ManagedTagKeys keys;
    nMetaTag* managed = FirstChildNamed(itemTag, "MItem");
    if (!managed) return keys;
    bool uidSeen = false, idSeen = false;
    nMetaTagIterator sub;
    while (nMetaTag* child = managed->NextChild(sub)) {
        if (!uidSeen && IsTagNamed(child, "UId")) {
            uidSeen = true;
            keys.hasUid = ReadInt(child, keys.uid);
        } else if (!idSeen && IsTagNamed(child, "Id")) {
            idSeen = true;
            keys.id = ReadTagString(child);
        } else if (IsTagNamed(child, "Helper") || IsTagNamed(child, "ToolSpecific")) keys.helper = true;
    }
    return keys;
}

// The first "UId" of the item tag's "MItem" child; the walk stops there.
bool ReadManagedUid(nMetaTag* itemTag, int32_t& uid)
{
    nMetaTagIterator it;
    while (nMetaTag* child = itemTag->NextChild(it)) {
        if (!IsTagNamed(child, "MItem")) continue;
        nMetaTagIterator sub;
        while (nMetaTag* key = child->NextChild(sub))
            if (IsTagNamed(key, "UId")) return ReadInt(key, uid);
        return false;
    }
    return false;
}

bool AcceptHelper(bool helper, int32_t toolMode, int32_t flags, int32_t level)
{
    return !helper || ((flags & FlagLoadHelper) && toolMode != NoTool && toolMode != ToolProjectPreview && level <= 0);
}

// Globals colours: three components written, a fourth read when present.
const char* const kColourTags[] = {"BackgroundColor", "AmbientColor", "FogColor"};

}

bool nScene::AcceptItemTag(nMetaTag* itemTag, int32_t toolMode, int32_t flags, int32_t level)
{
    return itemTag && AcceptHelper(ReadManagedKeys(itemTag).helper, toolMode, flags, level);
}

bool nScene::Deserialize(nMetaFile* document, nMetaTag* root)
{
    return Deserialize(document, root, 0, FlagLoadAll, 0);
}

// What the sections of one read share.
struct nScene::FileRead
{
    FileRead(nMetaFile* document, nMetaTag* tag, nGroup** outGroup, int32_t flags, int32_t level)
        : document(document), tag(tag), outGroup(outGroup), flags(flags), level(level), fileName(""),
          toolMode(NoTool), progress(0), group(0), base(0), progressTotal(1)
    {
    }

    nMetaFile* document;
    nMetaTag* tag;
    nGroup** outGroup;
    int32_t flags;
    int32_t level;
    const char* fileName;
    int32_t toolMode;
    nOrvex::EventInterface* progress;
    nGroup* group;  // receives every loaded item, when asked for
    UidTable table;
    int32_t base;  // the scene uid of source uid 0
    int32_t progressTotal;
};

// The sections of the "Scene" tag, read in this order.
bool nScene::Deserialize(nMetaFile* document, nMetaTag* tag, nGroup** outGroup, int32_t flags, int32_t level)
{
    nTimer timer;
    timer.Start();
    if (!tag) return false;
    if (!IsTagNamed(tag, "Scene")) {
        *g_log << "[!] Could not parse scene. Root tag id is incorrect (" << tag->GetName().GetCStr() << ").\n";
        return false;
    }
    FileRead read(document, tag, outGroup, flags, level);
    BeginRead(read);
    if (!ReserveUids(read)) {
        EndRead(read);
        return false;
    }
    ReadItems(read);
    if (read.progress) read.progress->OnProgress("Parsing scene globals...", 1.0f);
    ReadLinks(read);
    ReadSkins(read);
    if (flags & FlagLoadGroup) ReadGroups(read);
    if (flags & FlagLoadScript) ReadScriptUnits(read);
    ReadGlobals(read);
    if (flags & FlagLoadPath) ReadPaths(read);
    if (flags & FlagLoadPhysic) ReadPhysics(read);
    if (read.group)
        *g_log << "Group '" << read.group->GetName().GetCStr() << "': " << read.group->GetItems().GetCount() << " item(s).\n";
    if ((flags & FlagLoadSettings) && (flags & FlagLoadCamera)) ReadCurrentCamera(read);
    if (!m_currentCamera && read.toolMode != ToolEdit) CreateDefaultCamera(read);

    timer.Stop();
    char ms[32];
    std::snprintf(ms, sizeof(ms), "%.3f", timer.GetLastMs());
    *g_log << "Done loading scene in " << ms << "ms.\n";
    EndRead(read);
    return true;
}

// The heading, listeners 11, the progress interface, the scene's path and name (with the
// globals), and the output group.
void nScene::BeginRead(FileRead& read)
{
    nMetaFile* document = read.document;
    read.fileName = document && document->GetFileName().GetCStr() ? document->GetFileName().GetCStr() : "";
    read.toolMode = m_engine ? m_engine->GetToolMode() : NoTool;
    *g_log << "[H] "
           << "Parsing metascene '" << read.fileName << "'\n";
    NotifyListeners(SceneEventReadBegin, 0);
    read.progress = m_engine ? m_engine->GetEventInterface() : 0;
    if (read.progress) read.progress->OnBegin();

    if (read.flags & FlagLoadGlobals) {
        m_path.Set(read.fileName);
        nString name(read.fileName);
        nIO::StripSearchPath(name);
        m_name.Set(name.GetCStr());
    }
    m_ui.ResetCommandList();

    if (read.outGroup) {
        if (!*read.outGroup) *read.outGroup = CreateGroup(read.fileName);
        read.group = *read.outGroup;
    }
}

// Pre-scan: the largest source uid sizes the table. Uids beyond the bound are left out of it
// (their items keep their creation uids), and the reserved range must fit in an int32. False
// (logged) when the table cannot be made.
bool nScene::ReserveUids(FileRead& read)
{
    nMetaTag* items = read.tag->FindPath("Items;");
    int32_t maxUid = 0;
    if (items) {
        nMetaTagIterator it;
        while (nMetaTag* child = items->NextChild(it)) {
            int32_t uid = 0;
            if (ReadManagedUid(child, uid) && uid > maxUid && uid <= kMaxSourceUid) {
                maxUid = uid;
                ++read.progressTotal;
            }
        }
    }
    const int32_t tableSize = maxUid + 1;
    read.base = m_nextUid;
    if (read.base < 0 || read.base > INT32_MAX - tableSize || !read.table.Allocate(tableSize)) {
        *g_log << "[!] Could not allocate item uid remap array.\n";
        return false;
    }
    m_nextUid = read.base + tableSize;
    return true;
}

// Items: each made by its kind's factory and read by its kind's reader, its source uid
// translated.
void nScene::ReadItems(FileRead& read)
{
    nMetaTag* items = read.tag->FindPath("Items;");
    if (!items) return;
    UidTable& table = read.table;
    int32_t reported = 0;
    nMetaTagIterator it;
    while (nMetaTag* child = items->NextChild(it)) {
        const ItemTagKind* kind = KindOfTag(child);
        if (!kind) {
            *g_log << "[*] Unexpected <" << child->GetName().GetCStr() << "> sub-tag in <Items>.\n";
            continue;
        }
        if (!(read.flags & kind->flag)) continue;
        // Read just before the item's own reader walks the same tags.
        const ManagedTagKeys keys = ReadManagedKeys(child);
        if (!AcceptHelper(keys.helper, read.toolMode, read.flags, read.level)) continue;
        nMItem* item = 0;
        switch (kind->kind) {
            case ManagedItemCamera: item = CreateCamera(""); break;
            case ManagedItemObject: item = CreateObject("", 0); break;
            case ManagedItemLight: item = CreateLight("", LightTypePoint, 0.5f); break;
            case ManagedItemTrigger: item = CreateTrigger(""); break;
            case ManagedItemInstance: item = CreateInstance("", 0); break;
            case ManagedItemEmitter: item = CreateEmitter(""); break;
            case ManagedItemTerrain: item = CreateTerrain(""); break;
        }
        if (!item) continue;

        if (read.progress && read.progress == (m_engine ? m_engine->GetDefaultEventInterface() : 0)) {
            // "Loading item '<id>'...", the id cut to fit.
            char text[256];
            if (keys.id) {
                static const char kHead[] = "Loading item '";
                static const char kTail[] = "'...";
                size_t length = std::strlen(keys.id);
                const size_t room = sizeof(text) - sizeof(kHead) - sizeof(kTail) + 1;
                if (length > room) length = room;
                std::memcpy(text, kHead, sizeof(kHead) - 1);
                std::memcpy(text + sizeof(kHead) - 1, keys.id, length);
                std::memcpy(text + sizeof(kHead) - 1 + length, kTail, sizeof(kTail));
            } else {
                std::memcpy(text, "Loading items...", sizeof("Loading items..."));
            }
            read.progress->OnProgress(text, (float)reported++ / (float)read.progressTotal);
        }

        const int32_t creationUid = item->GetUid();
        if (ReadItem(item, read.document, child)) {
            const int32_t source = item->GetUid();
            if (table.InRange(source)) {
                item->SetUid(read.base + source);
                table.remap[source] = read.base + source;
                if (!table.items[source]) table.items[source] = item;
                --m_nextUid;  // the creation uid is given back
            } else {
                *g_log << "[*] Corrupt item '" << item->GetName().GetCStr() << "' source UID (" << source << "/"
                       << table.size << ") while loading scene '" << read.fileName << "'.\n";
                item->SetUid(creationUid);
            }
        } else {
            // Uids stay unique in the scene: a failed item keeps the one it was made with.
            item->SetUid(creationUid);
        }
        if (read.group) read.group->AddItem(item, false);
        // The active byte decides, not IsActive: a light read at zero intensity stays
        // active and comes back when its intensity does.
        if (!item->nMItem::IsActive()) Delist(m_activeItems, item->m_links.active);
    }
}

// Links: each item hung under its parent, both named by source uid.
void nScene::ReadLinks(FileRead& read)
{
    nMetaTag* links = read.tag->FindPath("Links;");
    if (!links) return;
    const UidTable& table = read.table;
    nMetaTagIterator it;
    while (nMetaTag* link = links->NextChild(it)) {
        if (!IsTagNamed(link, "Link")) {
            *g_log << "[*] Unexpected <" << link->GetName().GetCStr() << "> sub-tag in <Links>.\n";
            continue;
        }
        int32_t child = 0, parent = 0;
        bool hasChild = false, hasParent = false;
        nMetaTagIterator sub;
        while (nMetaTag* part = link->NextChild(sub)) {
            if (IsTagNamed(part, "Item")) hasChild = ReadInt(part, child);
            else if (IsTagNamed(part, "Link")) hasParent = ReadInt(part, parent);
            else *g_log << "[*] Unexpected <" << part->GetName().GetCStr() << "> sub-tag in <Link>.\n";
        }
        if (!hasChild || !hasParent) {
            *g_log << "[*] Incomplete link tag.\n";
            continue;
        }
        if (!table.InRange(child) || !table.InRange(parent)) {
            *g_log << "[*] Invalid link information, item Uid out of bound.\n";
            continue;
        }
        nMItem* childItem = table.Item(child);
        nMItem* parentItem = table.Item(parent);
        if (childItem && parentItem) childItem->SetParentNotified(parentItem->GetItem());
    }
}

// Skins: the bones of skinned objects, each driven by an item named by source uid.
void nScene::ReadSkins(FileRead& read)
{
    nMetaTag* skins = read.tag->FindPath("Skins;");
    if (!skins) return;
    const UidTable& table = read.table;
    nMetaTagIterator it;
    while (nMetaTag* skin = skins->NextChild(it)) {
        if (!IsTagNamed(skin, "Skin")) continue;
        int32_t uid = 0;
        if (!ReadInt(skin->FindPath("UId;"), uid)) {
            *g_log << "[!] Incomplete skin information, object Uid is missing.\n";
            continue;
        }
        if ((uint32_t)uid >= (uint32_t)table.size) {
            *g_log << "[!] Invalid skin information, item Uid out of bound.\n";
            continue;
        }
        nMItem* item = table.Item(uid);
        if (!item) {
            *g_log << "[!] Incomplete skin information, item Uid does not exist (" << uid << ").\n";
            continue;
        }
        nObject* object = nMObject::FromItem(item);
        if (!object) {
            *g_log << "[!] Invalid skin information, item Uid does not refer to a skinned object ('"
                   << item->GetName().GetCStr() << "').\n";
            continue;
        }
        if (object->GetBoneCount() == 0) {
            *g_log << "[!] Invalid skin information, object '" << item->GetName().GetCStr()
                   << "' is not bound to a skinned geometry.\n";
            continue;
        }
        nMetaTagIterator bones;
        while (nMetaTag* bone = skin->NextChild(bones)) {
            if (!IsTagNamed(bone, "Bone")) continue;
            int32_t index = 0, boneUid = 0;
            if (!ReadInt(bone->FindPath("Index;"), index) || !ReadInt(bone->FindPath("UId;"), boneUid)) {
                *g_log << "[!] Invalid bone information, incomplete bone tag.\n";
                continue;
            }
            if (index < 0 || index >= object->GetBoneCount()) {
                *g_log << "[!] Invalid bone information, bone index out of bound.\n";
                continue;
            }
            if ((uint32_t)boneUid >= (uint32_t)table.size) {
                *g_log << "[!] Invalid bone information, item Uid out of bound.\n";
                continue;
            }
            nMItem* driver = table.Item(boneUid);
            if (!driver) {
                *g_log << "[!] Invalid bone information, item Uid does not exist.\n";
                continue;
            }
            object->SetBone(index, driver->GetItem());
        }
    }
}

// Groups: each made anew, its members named by source uid; each added to the output group.
void nScene::ReadGroups(FileRead& read)
{
    nMetaTag* groups = read.tag->FindPath("Groups;");
    if (!groups) return;
    const UidTable& table = read.table;
    nMetaTagIterator it;
    while (nMetaTag* entry = groups->NextChild(it)) {
        if (!IsTagNamed(entry, "Group")) continue;
        nMetaTag* idTag = entry->FindPath("Id;");
        if (!idTag) {
            *g_log << "[*] Could not read group, no identifier found.\n";
            continue;
        }
        const char* id = ReadTagString(idTag);
        if (!id) id = "";
        nGroup* created = CreateGroup(id);
        if (!created) {
            *g_log << "[!] Failed to allocate group '" << id << "'.\n";
            continue;
        }
        nMetaTagIterator members;
        while (nMetaTag* member = entry->NextChild(members)) {
            if (!IsTagNamed(member, "Item")) continue;
            int32_t uid = -1;
            if (!ReadInt(member, uid) || !table.InRange(uid)) {
                *g_log << "[*] Invalid group information, item Uid out of bound.\n";
                continue;
            }
            if (table.remap[uid] == -1) {
                *g_log << "[*] Group member masked out during import.\n";
                continue;
            }
            created->AddItem(table.Item(uid), false);
        }
        if (read.group) read.group->AddGroup(created, false);
    }
}

// The scene's own script units: a "ScriptedObject" list, or one older "ScriptUnit".
void nScene::ReadScriptUnits(FileRead& read)
{
    if (nMetaTag* scripted = read.tag->FindPath("ScriptedObject;")) {
        nScriptedObject::Deserialize(read.document, scripted);
    } else if (nMetaTag* unitTag = read.tag->FindPath("ScriptUnit;")) {
        if (nScriptUnit* unit = CreateScriptUnit()) unit->Deserialize(read.document, unitTag);
    }
}

// Globals: colours, intensities and fog; a read into a group takes them only when asked to.
void nScene::ReadGlobals(FileRead& read)
{
    nMetaTag* globals = read.tag->FindPath("Globals;");
    if (!globals || (read.outGroup && !(read.flags & FlagLoadGlobals))) return;
    m_visualisationScale = 1.0f;
    nMetaTagIterator it;
    while (nMetaTag* setting = globals->NextChild(it)) {
        if (IsTagNamed(setting, "BackgroundColor")) m_backgroundColour.FromMetaTag(setting);
        else if (IsTagNamed(setting, "AmbientColor")) m_ambientColour.FromMetaTag(setting);
        else if (IsTagNamed(setting, "FogColor")) m_fogColour.FromMetaTag(setting);
        else if (IsTagNamed(setting, "AmbientIntensity")) setting->GetValue().GetFloat(&m_ambientIntensity);
        else if (IsTagNamed(setting, "TargetExposure")) setting->GetValue().GetFloat(&m_targetExposure);
        else if (IsTagNamed(setting, "VisualisationScale")) setting->GetValue().GetFloat(&m_visualisationScale);
        else if (IsTagNamed(setting, "FogNear")) setting->GetValue().GetFloat(&m_fogNear);
        else if (IsTagNamed(setting, "FogFar")) setting->GetValue().GetFloat(&m_fogFar);
    }
}

// AI paths, into the scene's list (nScenePaths.cpp).
void nScene::ReadPaths(FileRead& read)
{
    if (nMetaTag* paths = read.tag->FindPath("Paths;")) ReadPaths(read.document, paths);
}

// Physics (or its older name "Tau"): the world's fixed step, from its frequency.
void nScene::ReadPhysics(FileRead& read)
{
    if (!m_physicWorld) return;
    nMetaTag* physics = read.tag->FindPath("Physics;");
    if (!physics) physics = read.tag->FindPath("Tau;");
    if (!physics) return;
    nMetaTagIterator it;
    while (nMetaTag* setting = physics->NextChild(it)) {
        float frequency = 0.0f;
        if (!IsTagNamed(setting, "Frequency") || !ReadTagFloat(setting, frequency)) continue;
        // The world steps by its inverse: only a finite, positive rate makes a step.
        if (!(frequency > 0.0f) || !std::isfinite(1.0f / frequency)) {
            *g_log << "[*] Invalid physic frequency (" << frequency << "), ignored.\n";
            continue;
        }
        m_physicWorld->SetFixedStep(1.0f / frequency);
    }
}

// The current camera, by name; a name that is not a camera's is ignored.
void nScene::ReadCurrentCamera(FileRead& read)
{
    nMetaTag* current = read.tag->FindPath("CurrentCamera;");
    if (!current) return;
    const char* name = ReadTagString(current);
    nMItem* camera = name ? FindItem(name, 0) : 0;
    if (camera && camera->GetKind() == ManagedItemCamera) m_currentCamera = camera->GetItem();
}

// The end of the progress report and listeners 12, whether the read went through or not.
void nScene::EndRead(FileRead& read)
{
    if (read.progress) read.progress->OnEnd();
    NotifyListeners(SceneEventReadEnd, 0);
}

// A scene read without a current camera gets one, "Default", placed by the file's view
// matrix when it has one.
void nScene::CreateDefaultCamera(FileRead& read)
{
    nMItem* camera = CreateCamera("Default");
    if (!camera) return;
    m_currentCamera = camera->GetItem();
    nMatrix4 view;
    nMetaTag* viewTag = read.tag->FindPath("ViewMatrix;");
    if (viewTag && view.FromMetaTag(viewTag) && camera->GetItem()) camera->GetItem()->SetMatrix(view);
}

bool nScene::LoadFile(const char* path, nGroup** outGroup, int32_t flags, int32_t level)
{
    nMetaFile document;
    if (!path || !document.Load(path)) return false;
    const bool read = ReadDocument(&document, outGroup, flags, level);
    if (outGroup && *outGroup) (*outGroup)->SetName(path);
    return read;
}

bool nScene::Load(const char* path)
{
    return LoadFile(path, 0, FlagLoadAll, 0);
}

bool nScene::ReadDocument(nMetaFile* document, nGroup** outGroup, int32_t flags, int32_t level)
{
    if (!document) return false;
    nMetaTag* first = 0;
    nMetaTagIterator it;
    while (nMetaTag* tag = document->NextRoot(it)) {
        if (IsTagNamed(tag, "Scene")) return Deserialize(document, tag, outGroup, flags, level);
        if (!first) first = tag;
    }
    // The first root refuses itself as the wrong tag, naming what the file holds instead.
    if (first) Deserialize(document, first, outGroup, flags, level);
    *g_log << "[!] No <Scene> tag in '" << document->GetFileName().GetCStr() << "'.\n";
    return false;
}

bool nScene::PreloadResources(const char* path)
{
    *g_log << "[H] "
           << "Preloading scene '" << (path ? path : "") << "' resources...\n";
    nMetaFile document;
    if (!path || !document.Load(path)) return false;
    if (nMetaTag* items = document.FindPath("Scene:Items;")) {
        nMetaTagIterator it;
        while (nMetaTag* child = items->NextChild(it)) {
            if (!IsTagNamed(child, "MObject")) continue;
            nMetaTag* geometry = child->FindPath("Object:Geometry;");
            const char* name = geometry ? ReadTagString(geometry) : 0;
            if (name) LoadGeometry(m_engine, name, false, false);
        }
    }
    return true;
}

// Writing.

nMetaTag* nScene::Serialize(nMetaFile* document)
{
    return Serialize(document, 0, FlagLoadAll);
}

nMetaTag* nScene::SerializeLink(nMItem* item, nGroup* groupFilter, int32_t flags)
{
    nItem* node = item ? item->GetItem() : 0;
    if (!node || !node->GetParent()) return 0;
    nMItem* parent = node->GetParent()->GetManagedItem();
    if (!parent) {
        *g_log << "[!] Internal error, the scene database seems to be corrupt.\n";
        return 0;
    }
    if (groupFilter && (!groupFilter->ContainsItem(item) || !groupFilter->ContainsItem(parent))) return 0;
    if (!(flags & FlagOfKind(item->GetKind())) || !(flags & FlagOfKind(parent->GetKind()))) return 0;
    nMetaTag* link = new (std::nothrow) nMetaTag("Link");
    if (!link) return 0;
    AppendTag(link, new (std::nothrow) nMetaTag("Item", item->GetUid()));
    AppendTag(link, new (std::nothrow) nMetaTag("Link", parent->GetUid()));
    return link;
}

nMetaTag* nScene::SerializeSkin(nMetaFile* document, nMItem* item, nGroup* groupFilter, int32_t flags)
{
    nObject* object = nMObject::FromItem(item);
    if (!object || (groupFilter && !groupFilter->ContainsItem(item)) || object->GetBoneCount() == 0) return 0;
    nMetaTag* skin = NewTag("Skin", "Failed to allocate skin tag.\n");
    if (!skin) return 0;
    AppendTag(skin, new (std::nothrow) nMetaTag("UId", item->GetUid()));
    for (int32_t i = 0; i < object->GetBoneCount(); ++i) {
        nItem* boneNode = object->GetBone(i);
        nMItem* bone = boneNode ? boneNode->GetManagedItem() : 0;
        if (!bone || (groupFilter && !groupFilter->ContainsItem(bone))) continue;
        nMetaTag* tag = NewTag("Bone", "Failed to allocate bone tag.\n");
        if (!tag) continue;
        AppendTag(tag, new (std::nothrow) nMetaTag("Index", i));
        AppendTag(tag, new (std::nothrow) nMetaTag("UId", bone->GetUid()));
        AppendTag(tag, object->GetBindMatrix(i).ToMetaTag("BindMatrix"));
        AppendTag(skin, tag);
    }
    return skin;
}

nMetaTag* nScene::Serialize(nMetaFile* document, nGroup* groupFilter, int32_t flags)
{
    nMetaTag* root = NewTag("Scene", "Could not create scene root tag to serialize.\n");
    if (!root) return 0;
    if (!groupFilter) {
        AppendTag(root, nScriptedObject::Serialize(document));
        if (m_units.GetHead()) AppendTag(root, m_units.GetHead()->value->Serialize(document));
    }

    nMetaTag* items = NewTag("Items", "Failed to allocate <Items> root tag.\n");
    if (!items) {
        delete root;
        return 0;
    }
    AppendTag(root, items);
    for (const ItemTagKind& kind : kItemTags) {
        if (!(flags & kind.flag)) continue;
        for (ItemNode* n = m_kindLists[kind.kind].GetHead(); n; n = n->next)
            if (!groupFilter || groupFilter->ContainsItem(n->value)) AppendTag(items, WriteItem(n->value, document));
    }

    nMetaTag* links = NewTag("Links", "Failed to allocate <Links> root tag.\n");
    if (!links) {
        delete root;
        return 0;
    }
    AppendTag(root, links);
    for (ItemNode* n = m_allItems.GetHead(); n; n = n->next) AppendTag(links, SerializeLink(n->value, groupFilter, flags));

    nMetaTag* skins = NewTag("Skins", "Failed to allocate <Skins> root tag.\n");
    if (!skins) {
        delete root;
        return 0;
    }
    AppendTag(root, skins);
    for (ItemNode* n = m_kindLists[ManagedItemObject].GetHead(); n; n = n->next)
        AppendTag(skins, SerializeSkin(document, n->value, groupFilter, flags));

    if (flags & FlagLoadPath) AppendTag(root, WritePaths(document));

    if (groupFilter) return root;

    if ((flags & FlagLoadGroup) && m_groups.GetCount() > 0) {
        nMetaTag* groups = NewTag("Groups", "Failed to allocate <Groups> root tag.\n");
        if (!groups) {
            delete root;
            return 0;
        }
        AppendTag(root, groups);
        for (nListNode<nGroup*>* n = m_groups.GetHead(); n; n = n->next) {
            nMetaTag* entry = new (std::nothrow) nMetaTag("Group");
            if (!entry) continue;
            AppendTag(entry, new (std::nothrow) nMetaTag("Id", n->value->GetName().GetCStr() ? n->value->GetName().GetCStr() : ""));
            for (ItemNode* m = n->value->GetItems().GetHead(); m; m = m->next)
                AppendTag(entry, new (std::nothrow) nMetaTag("Item", m->value->GetUid()));
            AppendTag(groups, entry);
        }
    }

    if (flags & FlagLoadGlobals) {
        nMetaTag* globals = NewTag("Globals", "Failed to allocate <Globals> root tag.\n");
        if (!globals) {
            delete root;
            return 0;
        }
        AppendTag(root, globals);
        AppendTag(globals, m_backgroundColour.ToMetaTag(kColourTags[0], false));
        AppendTag(globals, m_ambientColour.ToMetaTag(kColourTags[1], false));
        AppendTag(globals, new (std::nothrow) nMetaTag("AmbientIntensity", m_ambientIntensity));
        AppendTag(globals, new (std::nothrow) nMetaTag("TargetExposure", m_targetExposure));
        if (m_visualisationScale != 1.0f)
            AppendTag(globals, new (std::nothrow) nMetaTag("VisualisationScale", m_visualisationScale));
        AppendTag(globals, new (std::nothrow) nMetaTag("FogNear", m_fogNear));
        AppendTag(globals, new (std::nothrow) nMetaTag("FogFar", m_fogFar));
        AppendTag(globals, m_fogColour.ToMetaTag(kColourTags[2], false));
    }

    if ((flags & FlagLoadPhysic) && m_physicWorld) {
        nMetaTag* physics = new (std::nothrow) nMetaTag("Physics");
        if (physics) {
            AppendTag(physics, new (std::nothrow) nMetaTag("Frequency", 1.0f / m_physicWorld->GetFixedStep()));
            AppendTag(root, physics);
        }
    }

    nMItem* camera = m_currentCamera ? m_currentCamera->GetManagedItem() : 0;
    if (camera) AppendTag(root, new (std::nothrow) nMetaTag("CurrentCamera", camera->GetName().GetCStr() ? camera->GetName().GetCStr() : ""));
    return root;
}
