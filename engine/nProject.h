#ifndef N_PROJECT_H
#define N_PROJECT_H

#include <cstdint>

#include "core/nList.h"
#include "core/nMetaObject.h"
#include "core/nString.h"
#include "scriptiface/nScriptUnit.h"
#include "script/nSquirrelVM.h"

class nMetaFile;
class nMetaTag;
class nOrvex;
class nRasterFont;
class nScene;
class nScene2D;
class nScriptObject;

// Kinds of scene a project instance holds.
enum nProjectSceneType
{
    ProjectSceneTypeNone = 0,
    ProjectSceneTypeScene3d = 1,
    ProjectSceneTypeScene2d = 2
};

// One scene a project has loaded; it owns the scene. Only active instances are evaluated and
// drawn.
class nProjectSceneInstance
{
public:
    nProjectSceneInstance(int32_t type, void* scene) : m_active(true), m_type(type), m_scene(scene) {}
    ~nProjectSceneInstance() { Release(); }
    nProjectSceneInstance(const nProjectSceneInstance&) = delete;
    nProjectSceneInstance& operator=(const nProjectSceneInstance&) = delete;

    // Deletes the scene (a 3D scene first publishes itself as g_scene, so that its scripts see
    // it while it is deleted); afterwards the instance is empty (type 0).
    void Release();
    nString GetName() const;  // the scene's name; "Empty" without a scene

    bool IsActive() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    int32_t GetType() const { return m_type; }
    nScene* GetScene3D() const { return m_type == ProjectSceneTypeScene3d ? static_cast<nScene*>(m_scene) : 0; }
    nScene2D* GetScene2D() const { return m_type == ProjectSceneTypeScene2d ? static_cast<nScene2D*>(m_scene) : 0; }

private:
    bool m_active;
    int32_t m_type;
    void* m_scene;
};

// One entry of the project's draw stack: which instance is drawn at which depth. Several
// layers may draw the same instance.
class nProjectLayer
{
public:
    nProjectLayer(nProjectSceneInstance* instance, float depth) : m_instance(instance), m_depth(depth), m_removed(false) {}

    nProjectSceneInstance* GetInstance() const { return m_instance; }  // not owned
    float GetDepth() const { return m_depth; }
    void SetDepth(float depth) { m_depth = depth; }

private:
    friend class nProject;
    nProjectSceneInstance* m_instance;
    float m_depth;
    bool m_removed;  // dropped while the draw walk held it; freed after the walk
};

// The document of project mode: the program's one script machine, the project's own script
// (the project is a script unit itself, owner type 5), the scene instances it loaded and the
// stack of layers drawn each frame. Project files are "Environment" NML.
//
// Re-entrancy: while the project evaluates its scenes or draws a layer it is busy, and Open,
// Setup, Close, Instantiate, Unload, Render and Evaluate are refused with one log line. The
// project's own OnUpdate, OnRender and OnRenderScene run while it is not busy, so they may
// load and unload scenes; layers an OnRenderScene removes are freed once the draw walk ends.
// Main thread only.
class nProject : public nMetaObject, public nScriptUnit
{
public:
    explicit nProject(nOrvex* engine);  // "New Project", machine closed
    ~nProject() override;               // closes, with the machine

    // "Environment" NML. Reading clears name, search paths, script and includes first; the
    // writer leaves the script unit out.
    bool Deserialize(nMetaFile* document, nMetaTag* root) override;
    nMetaTag* Serialize(nMetaFile* document) override;  // NULL (logged) when the root cannot be made

    // The project's set-up: "OnSetup" when the class has it; false only when refused. (The
    // unit's own set-up, which makes the script instance, is CreateScriptInstance: the
    // project is never set up through a dispatcher.)
    bool Setup() override;
    void Release() override;  // cached OnSetup and OnUpdate, then the instance

    bool Open(bool isProject);      // machine, script API, globals, includes, script instance
    bool SetScriptGlobals();        // false when the machine does not open
    bool CreateScriptInstance();    // the unit's set-up, then OnSetup and OnUpdate cached
    void Close(bool closeMachine);  // "OnClose", layers, instances, script instance
    void UpdateScriptClock();       // g_dt_frame, g_raw_dt_frame, g_clock
    void Evaluate(uint32_t flags);  // "OnUpdate", then every active 3D scene
    void Render(uint32_t flags);    // bit 0: scripts off; the layers, deepest first

    nProjectSceneInstance* Instantiate(const char* path);                   // an instance of that name, else the loaded file; NULL (logged) on failure
    void Unload(nProjectSceneInstance* instance);                           // with every layer that draws it
    nProjectLayer* NewLayer(nProjectSceneInstance* instance, float depth);  // appended; NULL (logged) when out of memory
    void ActivateScene(nProjectSceneInstance* instance, bool active);       // "OnActivateScene" sees the old state
    nProjectSceneInstance* FindInstanceByName(const char* name) const;      // first in list order; case-sensitive
    int32_t CountActiveInstances() const;
    void SortLayers();  // stable, greatest depth first

    // The on-screen profiler's overlay: the frame rate, the scene list, the layer stack (top
    // layer first) and each active instance's own block, written with the project's raster
    // font. LoadFont replaces that font (false, logged, when it does not load: no overlay).
    bool LoadFont(const char* path, const char* pageBase);
    nRasterFont* GetFont() const { return m_font; }
    void DrawProfiler();

    nOrvex* GetEngine() const { return m_engine; }
    nSquirrelVM& GetScriptVM() { return m_machine; }
    bool IsBusy() const { return m_busy; }
    bool IsRendering() const { return m_layerWalks > 0; }  // a Render walk is under way
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    const nString& GetFileName() const { return m_fileName; }
    const nString& GetAuthors() const { return m_authors; }
    const nString& GetDescription() const { return m_description; }
    const nString& GetCopyright() const { return m_copyright; }
    int32_t GetQuit() const { return m_quit; }
    void SetQuit(int32_t quit) { m_quit = quit; }
    nList<nProjectSceneInstance*>& GetInstances() { return m_instances; }
    nList<nProjectLayer*>& GetLayers() { return m_layers; }
    nList<nString>& GetIncludes() { return m_includes; }
    nList<nString>& GetSearchPaths() { return m_searchPaths; }

private:
    bool CheckIdle(const char* operation) const;               // false (logged) while busy
    void RaiseEvent(const char* name, nScriptObject* cached);  // the owner only; skipped when the class lacks it
    void DrawLayer(nProjectLayer* layer, bool first, uint32_t flags);
    void DeleteLayer(nListNode<nProjectLayer*>* node);  // freed now, or marked while the draw walk runs
    void SweepLayers();                                 // frees the layers marked during the walk

    nOrvex* m_engine;
    nSquirrelVM m_machine;
    nList<nProjectSceneInstance*> m_instances;  // creation order, owned
    bool m_busy;
    nString m_name;
    nString m_fileName;
    nString m_authors;
    nString m_description;
    nString m_copyright;
    int32_t m_quit;
    nList<nProjectLayer*> m_layers;  // owned
    nList<nString> m_includes;
    nList<nString> m_searchPaths;
    nScriptObject* m_onSetup;
    nScriptObject* m_onUpdate;
    int32_t m_layerWalks;  // draw walks under way
    nRasterFont* m_font;   // owned; NULL until loaded
};

#endif
