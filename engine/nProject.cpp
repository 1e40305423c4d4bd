#include "engine/nProject.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "core/nVector.h"
#include "engine/nProjectScriptAPI.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nRasterFont.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nScriptAPI.h"
#include "ui/nScene2D.h"

namespace {

typedef nListNode<nProjectLayer*> LayerNode;
typedef nListNode<nProjectSceneInstance*> InstanceNode;

// Every child of tag whose value is a string, appended at the tail (duplicates kept).
void ReadStrings(nMetaTag* tag, const char* childName, nList<nString>& out)
{
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        const char* text = 0;
        if (childName && !IsTagNamed(child, childName)) continue;
        if (child->GetValue().GetString(&text)) out.InsertAfter(nString(text), 0);
    }
}

nMetaTag* StringList(const char* name, const char* childName, const nList<nString>& list)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag(name);
    if (!tag) return 0;
    for (const nListNode<nString>* n = list.GetHead(); n; n = n->next)
        AppendTag(tag, new (std::nothrow) nMetaTag(childName, n->value.GetCStr()));
    return tag;
}

}

// ---------------------------------------------------------------------------------------------
// Instances

void nProjectSceneInstance::Release()
{
    if (nScene* scene = GetScene3D()) {
        scene->SetScriptGlobals(0);
        delete scene;
    } else if (nScene2D* scene = GetScene2D()) {
        delete scene;
    }
    m_type = ProjectSceneTypeNone;
    m_scene = 0;
}

nString nProjectSceneInstance::GetName() const
{
    if (nScene* scene = GetScene3D()) return scene->GetName();
    if (nScene2D* scene = GetScene2D()) return scene->GetName();
    return nString("Empty");
}

// ---------------------------------------------------------------------------------------------
// Project

nProject::nProject(nOrvex* engine)
    : nScriptUnit(&m_machine),
      m_engine(engine),
      m_machine(engine),
      m_busy(false),
      m_name("New Project"),
      m_authors("Authors"),
      m_description("New project"),
      m_copyright("Empty Notice"),
      m_quit(0),
      m_onSetup(0),
      m_onUpdate(0),
      m_layerWalks(0),
      m_font(0)
{
    SetOwner(static_cast<void*>(this), ScriptUnitOwnerProject);
}

nProject::~nProject()
{
    m_busy = false;
    Close(true);
}

bool nProject::CheckIdle(const char* operation) const
{
    if (!m_busy) return true;
    *g_log << "[!] Cannot call '" << operation << "' while rendering or evaluating the project scene stack.\n";
    return false;
}

// NML.

bool nProject::Deserialize(nMetaFile* document, nMetaTag* root)
{
    if (!root) return false;
    if (!nMLCheckRoot(root, "Environment", "environment")) return false;
    m_name.Clear();
    m_searchPaths.Clear();
    m_scriptPath.Clear();
    m_className.Clear();
    m_includes.Clear();
    *g_log << "Parsing NML environment...\n";

    typedef nProject P;
    static const nMLTagRule<P> kTags[] = {
        {"Name", nMLField<&P::m_name>},
        {"Authors", nMLField<&P::m_authors>},
        {"Description", nMLField<&P::m_description>},
        {"Copyright", nMLField<&P::m_copyright>},
        {"Include", [](P& p, nMetaFile*, nMetaTag* t) { ReadStrings(t, "URI", p.m_includes); }},
        {"SearchPaths", [](P& p, nMetaFile*, nMetaTag* t) { ReadStrings(t, 0, p.m_searchPaths); }},
        {"ScriptUnit", [](P& p, nMetaFile* d, nMetaTag* t) { p.nScriptUnit::Deserialize(d, t); }},
    };
    nMLReadChildren(*this, document, root, kTags, 0);  // others are passed over silently
    m_fileName = document ? document->GetFileName() : nString();
    return true;
}

nMetaTag* nProject::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Environment");
    if (!root) {
        *g_log << "[!] Could not create environment root tag to serialize.\n";
        return 0;
    }
    AppendTag(root, new (std::nothrow) nMetaTag("Name", m_name.GetCStr()));
    AppendTag(root, new (std::nothrow) nMetaTag("Authors", m_authors.GetCStr()));
    AppendTag(root, new (std::nothrow) nMetaTag("Description", m_description.GetCStr()));
    AppendTag(root, new (std::nothrow) nMetaTag("Copyright", m_copyright.GetCStr()));
    AppendTag(root, StringList("Include", "URI", m_includes));
    AppendTag(root, StringList("SearchPaths", "Path", m_searchPaths));
    return root;
}

// Script unit.

bool nProject::CreateScriptInstance()
{
    if (!nScriptUnit::Setup()) return false;
    m_onSetup = LookUp("OnSetup");
    m_onUpdate = LookUp("OnUpdate");
    return true;
}

void nProject::Release()
{
    delete m_onSetup;
    m_onSetup = 0;
    delete m_onUpdate;
    m_onUpdate = 0;
    nScriptUnit::Release();
}

void nProject::RaiseEvent(const char* name, nScriptObject* cached)
{
    if (BeginCall(name, cached)) ExecuteCall(0);
}

// Life cycle.

bool nProject::Open(bool isProject)
{
    if (!CheckIdle("nProject::Open")) return false;
    if (!SetScriptGlobals()) return false;
    CreateScriptInstance();
    m_machine.SetValue("g_context_project", nScriptValue(isProject), 0);
    return true;
}

bool nProject::SetScriptGlobals()
{
    if (!m_machine.Open()) return false;
    RegisterScriptAPI(m_machine.GetHandle());
    RegisterThreadedLoadScriptAPI(m_machine.GetHandle());
    RegisterProjectScriptAPI(m_machine.GetHandle());
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    nVector2 size(0.0f, 0.0f);
    if (renderer) renderer->GetOutputSize(size);
    m_machine.SetValue("g_engine", nScriptValue((int32_t)objectTypeEngine, static_cast<void*>(m_engine)), 0);
    m_machine.SetValue("g_project", nScriptValue((int32_t)objectTypeProject, static_cast<void*>(this)), 0);
    m_machine.SetValue("g_mixer", nScriptValue((int32_t)objectTypeMixer, m_engine ? static_cast<void*>(m_engine->GetMixer()) : 0), 0);
    m_machine.SetValue("g_render", nScriptValue((int32_t)objectTypeRenderer, static_cast<void*>(renderer)), 0);
    m_machine.SetValue("g_width", nScriptValue(size.x), 0);
    m_machine.SetValue("g_height", nScriptValue(size.y), 0);
    m_machine.SetValue("g_dt_frame", nScriptValue(1.0f / 60.0f), 0);
    m_machine.SetValue("g_raw_dt_frame", nScriptValue(1.0f / 60.0f), 0);
    m_machine.SetValue("g_clock", nScriptValue(m_engine ? (float)m_engine->GetTotalClock() : 0.0f), 0);
    for (nListNode<nString>* n = m_includes.GetHead(); n; n = n->next) m_machine.RunFile(n->value.GetCStr(), 0);
    return true;
}

bool nProject::Setup()
{
    if (!CheckIdle("nProject::Setup")) return false;
    if (m_onSetup) RaiseEvent("OnSetup", m_onSetup);
    return true;
}

void nProject::Close(bool closeMachine)
{
    if (!CheckIdle("nProject::Close")) return;
    RaiseEvent("OnClose", 0);
    m_fileName.Clear();
    for (LayerNode* n = m_layers.GetHead(); n;) {
        LayerNode* next = n->next;
        if (!n->value->m_removed) DeleteLayer(n);
        n = next;
    }
    while (InstanceNode* n = m_instances.GetHead()) {
        nProjectSceneInstance* instance = n->value;
        delete m_instances.Unlink(n);
        m_machine.InvalidateNativeObject(instance);
        delete instance;
    }
    m_scriptPath.Clear();
    m_className.Clear();
    m_quit = 0;
    Release();
    // The font's page textures go before the renderer that holds them.
    delete m_font;
    m_font = 0;
    if (closeMachine) m_machine.Close();
}

void nProject::UpdateScriptClock()
{
    if (!m_engine) return;
    m_machine.SetValue("g_dt_frame", nScriptValue((float)m_engine->GetFrameTime() / 10000.0f), 0);
    m_machine.SetValue("g_raw_dt_frame", nScriptValue((float)m_engine->GetRawFrameTime() / 10000.0f), 0);
    m_machine.SetValue("g_clock", nScriptValue((float)m_engine->GetTotalClock()), 0);
}

// Frames.

void nProject::Evaluate(uint32_t flags)
{
    if (!CheckIdle("nProject::Evaluate")) return;
    UpdateScriptClock();
    if (m_onUpdate) RaiseEvent("OnUpdate", m_onUpdate);
    // Nothing can load or unload an instance while busy: the list stays as it is.
    m_busy = true;
    for (InstanceNode* n = m_instances.GetHead(); n; n = n->next) {
        nScene* scene = n->value->IsActive() ? n->value->GetScene3D() : 0;
        if (!scene) continue;
        scene->SetScriptGlobals(0);
        scene->Evaluate(flags);
    }
    m_busy = false;
}

void nProject::Render(uint32_t flags)
{
    if (!CheckIdle("nProject::Render")) return;
    SortLayers();
    RaiseEvent("OnRender", 0);

    // Layers dropped by OnRenderScene handlers stay in the list, marked, until the walk ends;
    // layers added meanwhile are drawn when the walk reaches them.
    ++m_layerWalks;
    bool first = true;
    for (LayerNode* n = m_layers.GetHead(); n; n = n->next) {
        nProjectLayer* layer = n->value;
        nProjectSceneInstance* instance = layer->m_instance;
        if (layer->m_removed || !instance || !instance->IsActive()) continue;
        if (!(flags & 1)) {
            if (BeginCall("OnRenderScene", 0)) {
                if (nScene* scene = instance->GetScene3D())
                    PushArgument(nScriptValue((int32_t)objectTypeScene, static_cast<void*>(scene)));
                else
                    PushArgument(nScriptValue((int32_t)objectTypeWindowSystem, static_cast<void*>(instance->GetScene2D())));
                PushArgument(nScriptValue((int32_t)objectTypeProjectLayer, static_cast<void*>(layer)));
                ExecuteCall(0);
            }
            // The handler may have unloaded the instance or deactivated it.
            if (layer->m_removed || !layer->m_instance || !layer->m_instance->IsActive()) continue;
        }
        DrawLayer(layer, first, flags);
        first = false;
    }
    if (--m_layerWalks == 0) SweepLayers();
}

void nProject::DrawLayer(nProjectLayer* layer, bool first, uint32_t flags)
{
    nProjectSceneInstance* instance = layer->m_instance;
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    nScene* scene = instance->GetScene3D();
    nScene2D* scene2D = instance->GetScene2D();
    if (!renderer || (!scene && !scene2D)) return;

    nVector colour(0.0f, 0.0f, 0.0f, 1.0f);
    if (scene) colour = scene->GetBackgroundColour();
    // Later layers keep what the deeper ones drew and clear only the depth buffer.
    renderer->Clear(colour.x, colour.y, colour.z, 1.0f, !first);

    m_busy = true;
    if (scene) {
        scene->RegisterAsPropertyCallback(renderer);
        scene->RenderSetup(SceneRenderFlagNone);
        if (!(flags & 1)) {
            scene->SetScriptGlobals(0);
            scene->RenderToQueue(SceneRenderFlagDefault);
        } else {
            scene->RenderToQueue(SceneRenderFlagDisableScript);
        }
        renderer->RenderQueue();
        renderer->ResetRenderQueue();
        scene->RenderUI(SceneRenderFlagNone);
    } else {
        scene2D->Render((flags & 1) != 0);
    }
    m_busy = false;
}

// Instances and layers.

nProjectSceneInstance* nProject::Instantiate(const char* path)
{
    if (!CheckIdle("nProject::Instantiate")) return 0;
    if (!path) path = "";
    if (nProjectSceneInstance* existing = FindInstanceByName(path)) return existing;

    nMetaFile document;
    if (!document.Load(path)) {
        *g_log << "[!] Could not instantiate scene '" << path << "', file not found.\n";
        return 0;
    }
    nProjectSceneInstance* instance = 0;
    if (document.FindPath("Scene;")) {
        nScene* scene = new (std::nothrow) nScene(m_engine, &m_machine);
        if (!scene) {
            *g_log << "[!] Failed to allocate scene object.\n";
            return 0;
        }
        instance = new (std::nothrow) nProjectSceneInstance(ProjectSceneTypeScene3d, scene);
        if (!instance) {
            *g_log << "[!] Failed to allocate project scene instance.\n";
            delete scene;
            return 0;
        }
        scene->CreatePhysicWorld();
        scene->SetScriptGlobals(0);
        scene->ReadDocument(&document, 0, FlagLoadAll, 0);
        scene->Setup(true, 1024);
        scene->Reset();
    } else if (nMetaTag* root = document.FindPath("Scene2d;")) {
        nScene2D* scene = new (std::nothrow) nScene2D(m_engine, &m_machine);
        if (!scene) {
            *g_log << "[!] Failed to allocate scene 2D object.\n";
            return 0;
        }
        instance = new (std::nothrow) nProjectSceneInstance(ProjectSceneTypeScene2d, scene);
        if (!instance) {
            *g_log << "[!] Failed to allocate project scene instance.\n";
            delete scene;
            return 0;
        }
        scene->Deserialize(&document, root);
        scene->Setup();
        scene->Reset();
    } else {
        return 0;
    }
    if (!m_instances.InsertAfter(instance, 0)) {
        *g_log << "[!] Failed to allocate project scene instance.\n";
        delete instance;
        return 0;
    }
    return instance;
}

void nProject::Unload(nProjectSceneInstance* instance)
{
    if (!CheckIdle("nProject::Unload") || !instance) return;
    for (LayerNode* n = m_layers.GetHead(); n;) {
        LayerNode* next = n->next;
        if (!n->value->m_removed && n->value->m_instance == instance) DeleteLayer(n);
        n = next;
    }
    for (InstanceNode* n = m_instances.GetHead(); n; n = n->next) {
        if (n->value != instance) continue;
        delete m_instances.Unlink(n);
        m_machine.InvalidateNativeObject(instance);
        delete instance;
        return;
    }
    *g_log << "[*] Trying to unload an invalid scene instance.\n";
}

nProjectLayer* nProject::NewLayer(nProjectSceneInstance* instance, float depth)
{
    nProjectLayer* layer = new (std::nothrow) nProjectLayer(instance, depth);
    if (!layer || !m_layers.InsertAfter(layer, 0)) {
        delete layer;
        *g_log << "[!] Failed to allocate a new project scene layer.\n";
        return 0;
    }
    return layer;
}

void nProject::DeleteLayer(nListNode<nProjectLayer*>* node)
{
    nProjectLayer* layer = node->value;
    m_machine.InvalidateNativeObject(layer);
    if (m_layerWalks > 0) {
        layer->m_removed = true;
        layer->m_instance = 0;
        return;
    }
    delete m_layers.Unlink(node);
    delete layer;
}

void nProject::SweepLayers()
{
    for (LayerNode* n = m_layers.GetHead(); n;) {
        LayerNode* next = n->next;
        if (n->value->m_removed) {
            nProjectLayer* layer = n->value;
            delete m_layers.Unlink(n);
            delete layer;
        }
        n = next;
    }
}

void nProject::SortLayers()
{
    // A walk under way holds its place by node: the order stays until it ends.
    if (m_layerWalks > 0) return;
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (LayerNode* n = m_layers.GetHead(); n && n->next; n = n->next) {
            if (n->value->m_depth < n->next->value->m_depth) {
                nProjectLayer* t = n->value;
                n->value = n->next->value;
                n->next->value = t;
                swapped = true;
            }
        }
    }
}

void nProject::ActivateScene(nProjectSceneInstance* instance, bool active)
{
    if (!instance) return;
    if (BeginCall("OnActivateScene", 0)) {
        PushArgument(nScriptValue((int32_t)objectTypeProjectScene, static_cast<void*>(instance)));
        ExecuteCall(0);
        // The handler may have unloaded the instance.
        bool kept = false;
        for (InstanceNode* n = m_instances.GetHead(); n && !kept; n = n->next) kept = n->value == instance;
        if (!kept) return;
    }
    instance->SetActive(active);
}

nProjectSceneInstance* nProject::FindInstanceByName(const char* name) const
{
    if (!name) return 0;
    for (const InstanceNode* n = m_instances.GetHead(); n; n = n->next) {
        const nProjectSceneInstance* instance = n->value;
        if (nScene* scene = instance->GetScene3D()) {
            if (scene->GetName() == name) return n->value;
        } else if (nScene2D* scene = instance->GetScene2D()) {
            if (scene->GetName() == name) return n->value;
        }
    }
    return 0;
}

int32_t nProject::CountActiveInstances() const
{
    int32_t count = 0;
    for (const InstanceNode* n = m_instances.GetHead(); n; n = n->next)
        if (n->value->IsActive()) ++count;
    return count;
}
