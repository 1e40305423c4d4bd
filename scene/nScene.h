#ifndef N_SCENE_H
#define N_SCENE_H

#include <cstdint>

#include "core/nLinkedList.h"
#include "core/nList.h"
#include "core/nMetaObject.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nTimer.h"
#include "core/nVector.h"
#include "hub/nCoreListener.h"
#include "physics/nPhysicWorld.h"
#include "render/nPropertyRequest.h"
#include "ace/nACEManager.h"
#include "scene/nMItem.h"
#include "scene/nScenePhysicWorldCallback.h"
#include "scriptiface/nScriptedObject.h"
#include "ui/nScene2D.h"

class nAIPath;
class nAnimationSourceList;
class nGeometry;
class nGroup;
class nItem;
class nMetaFile;
class nMetaTag;
class nMinMax;
class nOBB;
class nOrvex;
class nRenderer;
class nSceneScriptEventDispatcher;
class nScriptVM;

// Scene events told to the scene's listeners, with what the data pointer addresses.
enum nSceneEvent
{
    SceneEventItemCreating = 1,  // NULL
    SceneEventItemCreated = 2,   // the item pointer
    SceneEventItemDeleting = 3,  // the item pointer
    SceneEventItemDeleted = 4,   // the (now dangling) item pointer
    SceneEventGroupCreating = 5,
    SceneEventGroupCreated = 6,
    SceneEventGroupRemoving = 7,
    SceneEventGroupRemoved = 8,
    SceneEventContentDeleting = 9,
    SceneEventContentDeleted = 10,
    SceneEventReadBegin = 11,
    SceneEventReadEnd = 12,
    SceneEventParentChanging = 13,
    SceneEventParentChanged = 14
};

// What a scene file read or write selects.
enum nSceneLoadFlag : int32_t
{
    FlagLoadCamera = 0x1,
    FlagLoadLight = 0x2,
    FlagLoadObject = 0x4,
    FlagLoadTrigger = 0x8,
    FlagLoadInstance = 0x10,
    FlagLoadGroup = 0x20,
    FlagLoadMotion = 0x40,
    FlagLoadSettings = 0x80,
    FlagLoadGlobals = 0x100,
    FlagLoadCollision = 0x200,
    FlagLoadPhysic = 0x400,
    FlagLoadPath = 0x800,
    FlagLoadHelper = 0x1000,
    FlagLoadScript = 0x2000,
    FlagLoadEmitter = 0x4000,
    FlagLoadTerrain = 0x8000,
    FlagLoadAll = -1
};

// Stages of one evaluation.
enum nSceneEvaluateFlag
{
    SceneEvaluateTransform = 0x01,  // transform hooks and billboards
    SceneEvaluateAnimation = 0x02,  // animation players
    SceneEvaluatePhysic = 0x08,     // physics step and write-back
    SceneEvaluateScript = 0x10,     // script updates and fixed-rate logic
    SceneEvaluateTrigger = 0x20,    // trigger tests
    SceneEvaluateAll = 0x3f
};

// Options of the render passes.
enum nSceneRenderFlag
{
    SceneRenderFlagNone = 0,
    SceneRenderFlagClearViewport = 0x1,
    SceneRenderFlagDefault = 0x1,
    SceneRenderFlagDisableScript = 0x2
};

// Bits of the scene's flag word.
enum nSceneFlag
{
    SceneFlagQuit = 0x1,       // the player leaves its frame loop
    SceneFlagRenderless = 0x2  // the render passes draw nothing
};

// The stage timers, in the order the profiler shows them.
enum nSceneTimer
{
    SceneTimerEvaluate = 0,
    SceneTimerPhysic,
    SceneTimerSendToRender,
    SceneTimerUserInterface,
    SceneTimerScript,
    SceneTimerLogicCallback,
    SceneTimerCollisionCallback,
    SceneTimerCount
};

// Debug shape slots of the scene (SetDebugShapes), and the bits of DrawDebug's flag word.
enum nSceneDebugShape
{
    DebugShapePointLight = 0,
    DebugShapeSpotLight,
    DebugShapeParallelLight,
    DebugShapeCamera,
    DebugShapeUnused,  // loaded, drawn by nothing
    DebugShapeTrigger
};
enum nSceneDebugFlag : uint32_t
{
    DebugDrawBones = 0x2,
    DebugDrawObjectBounds = 0x4,
    DebugDrawAll = 0xffffffff
};

// Observer of scene events.
class nSceneListener
{
public:
    virtual void OnSceneEvent(int32_t code, void* data) = 0;
    virtual ~nSceneListener() {}
};

// The 3D world: owns its managed items, its physics world, its 2D user-interface layer and
// its own script units, and advances all of them one frame per evaluation. Activating,
// deactivating and deleting items are queued and take effect at the start of the next
// evaluation (or an explicit deletion flush), so script handlers may ask for them while the
// scene walks its lists. Main thread only.
class nRasterFont;

class nScene : public nSharedObject, public nScriptedObject, public nCoreListener, public nMetaObject, public nACEManager
{
public:
    // Every field at its initial value; the UI layer is made with the same engine and script
    // machine; the six item commands are defined.
    nScene(nOrvex* engine, nScriptVM* vm);
    // Publishes itself as g_scene for the delete events, deletes the content and the physics
    // world, and leaves the renderer's callback when it is still this scene's. Script objects
    // of the scene read as deleted afterwards.
    ~nScene() override;

    nScriptUnit* CreateScriptUnit() override;                                           // a scene unit, appended; NULL (logged) on failure
    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override { return 0; }  // resource events are ignored

    // Deletes the content and the current world, then makes and initialises a new one with
    // the engine's physics world factory (nOrvexParts) and installs the scene's physics hook in
    // it. False (logged, no world kept) when none can be made or it does not initialise.
    bool CreatePhysicWorld();

    // Empties the scene: items, pending requests, uids, fog, camera, the UI layer and, unless
    // keepScripts, the scene's units; every group is destroyed. Refused (logged) while the
    // scene evaluates, sets up, resets or deletes.
    void DeleteContent(bool keepScripts);

    // One frame, in a fixed order of stages; flags choose the optional ones.
    void Evaluate(uint32_t flags);
    void UpdateItem(nMItem* item, nItem* node, uint32_t flags);  // animation, billboard and transform hook of one item

    // Registry (called by the managed items themselves).
    void RegisterItem(nMItem* item);      // appends to the active and all-items lists
    void UnregisterItem(nMItem* item);    // leaves the world, the scripts and every scene list
    nMItem* AssignItemUid(nMItem* item);  // next uid, unless the item already has one (logged)
    // The part of creation every item factory shares once the item is built: name, typed
    // list, uid and listener event 2. Factories tell event 1 before constructing.
    void AddCreatedItem(nMItem* item, const char* name);

    // Item factories, in the shared creation order; NULL (logged) when out of memory.
    nMItem* CreateCamera(const char* name);
    nMItem* CreateObject(const char* name, nGeometry* geometry);          // the geometry is set and skinned before listing
    nMItem* CreateLight(const char* name, int32_t type, float priority);  // appended unsorted
    nMItem* CreateTrigger(const char* name);
    nMItem* CreateInstance(const char* name, const char* templatePath);  // NULL path: no template (nInstance.h)
    nMItem* CreateEmitter(const char* name);
    nMItem* CreateTerrain(const char* name);

    // Scene file (nSceneFile.cpp). Reading adds to the scene and never removes items; the
    // items of the file get fresh uids and the uids the file links them by are translated.
    // outGroup, when given and pointing at NULL, receives a new group holding every loaded
    // item. False only for a wrong root tag or when the uid table cannot be made.
    bool Deserialize(nMetaFile* document, nMetaTag* tag, nGroup** outGroup, int32_t flags, int32_t level);
    bool Deserialize(nMetaFile* document, nMetaTag* root) override;  // no group, every flag, level 0
    // The one way a scene file is loaded, by the player, projects and tests alike: the file
    // parsed and its "Scene" root read (ReadDocument); false when the file does not parse or
    // the read fails (logged). An output group is named after the path.
    bool LoadFile(const char* path, nGroup** outGroup, int32_t flags, int32_t level);
    bool Load(const char* path) override;  // LoadFile: no group, every flag, level 0
    // The first "Scene" root of a parsed file read. Without one, false: the first root, when
    // there is one, is refused as the wrong tag, then "No <Scene> tag in '<file>'." (logged).
    bool ReadDocument(nMetaFile* document, nGroup** outGroup, int32_t flags, int32_t level);
    // A new "Scene" tag of what the flags select (groupFilter: its members only, no scene
    // settings); NULL (logged) when a tag cannot be made.
    nMetaTag* Serialize(nMetaFile* document, nGroup* groupFilter, int32_t flags);
    nMetaTag* Serialize(nMetaFile* document) override;                                                 // no filter, every flag
    bool AcceptItemTag(nMetaTag* itemTag, int32_t toolMode, int32_t flags, int32_t level);             // the helper filter
    nMetaTag* SerializeLink(nMItem* item, nGroup* groupFilter, int32_t flags);                         // NULL: no link
    nMetaTag* SerializeSkin(nMetaFile* document, nMItem* object, nGroup* groupFilter, int32_t flags);  // NULL: no skin
    bool PreloadResources(const char* path);                                                           // the geometries of the file's objects into the cache
    // Source uids above this are refused (the item keeps its creation uid, with a warning).
    static const int32_t kMaxSourceUid = (1 << 20) - 1;

    // AI paths (nScenePaths.cpp), in load order; the scene owns them.
    bool LoadAIPaths(const char* path);                  // appends the paths of "Scene:Paths;" (or "Scene:Motions;") of a file
    nAIPath* FindAIPath(const char* name);               // first path of that name; NULL (warned)
    void DrawAIPaths(nRenderer* renderer);               // debug lines of every path
    bool ReadPaths(nMetaFile* document, nMetaTag* tag);  // a "Paths" tag: each "Motion" a new path; true
    nMetaTag* WritePaths(nMetaFile* document);           // "Paths" with every path's motion; NULL when out of memory
    nLinkedList& GetAIPaths() { return m_aiPaths; }

    // Set-up and reset (nSceneSetup.cpp), in their fixed orders; tool mode 1 raises no set-up
    // events and no item reset events. Deletions asked for by their handlers wait for the next
    // evaluation; both are refused (logged) while the scene evaluates or deletes.
    void Setup(bool optimize, int32_t minimumLeafPolygons);
    void Reset();
    // Drops LOD and shadow proxies that point at their own geometry and warns about large
    // geometries shared by several objects, which cannot be cut into one object's octree.
    void OptimizeGeometries(int32_t minimumLeafPolygons);

    // Groups. The scene owns them; a group taken out of the list stays alive (and is purged
    // of deleted members) until the content is deleted, so holders never see a freed group.
    nGroup* CreateGroup(const char* name);    // listeners 5 and 6; NULL (logged) when out of memory
    void RemoveGroup(nGroup* group);          // listeners 7 and 8; not destroyed
    void DeleteGroup(nGroup* group);          // members queued for deletion, then RemoveGroup
    void RemoveItemFromGroups(nMItem* item);  // from every group, listed or removed
    nList<nGroup*>& GetGroups() { return m_groups; }

    // Lookups (nSceneLookup.cpp); names compare case-sensitively, lists walk head to tail.
    nMItem* FindItem(const char* path, nMItem* parent);  // "a/b": b in the template group of instance a; NULL (warned)
    nMItem* FindItemByUid(int32_t uid);                  // first of the all-items list; NULL (warned)
    nMItem* FindCamera(const char* name);                // typed finders: silent
    nMItem* FindLight(const char* name);
    nMItem* FindObject(const char* name);
    nMItem* FindTrigger(const char* name);
    nMItem* FindEmitter(const char* name);
    nMItem* FindInstance(const char* name);
    nGroup* FindGroup(const char* name);             // silent
    int32_t GetItemKind(nItem* node, nMItem** out);  // kind of the node's item; 0 (warned unless NULL) when none
    void GetObjectBounds(nMinMax& out);              // world box of every object with geometry; out unchanged without
    void RecordLocation();                           // every item's start position
    // First trigger whose unit box the ray (length -1: vector is a direction) or the segment
    // origin .. origin + length * vector meets, active or not; hit in world space.
    nMItem* RaytraceTriggers(const nVector& origin, const nVector& vector, float length, nVector* hit);
    // A copy of a camera, object, light, trigger or instance through its NML form, hung under
    // the source's parent; it keeps the uid it was created with. An instance's copy loads its
    // template and is set up. NULL for other kinds.
    nMItem* DuplicateItem(nMItem* item);
    // The motion on every active item that has it; a list asked for is created first.
    void SetMotion(const char* motion, nAnimationSourceList** out, float fadeTime, bool keepOthers, float weight);

    // Render passes (nSceneRender.cpp) on the engine's current renderer; a hidden scene draws
    // nothing but still raises its script hooks unless flag 0x2 says otherwise.
    void RenderSetup(uint32_t flags);    // clear, exposure, fog, camera
    void RenderToQueue(uint32_t flags);  // active objects, emitters and terrains; OnRenderDone
    void RenderUI(uint32_t flags);       // the 2D layer; OnRenderUI

    // Debug drawing (nSceneDebug.cpp), in world space on the given renderer, inside the frame
    // being drawn. DrawDebug walks lights, objects, cameras and triggers (members of hidden
    // skipped), then puts corners round the selected objects.
    static const int32_t kDebugShapeCount = 6;
    bool SetDebugShapes(const char* const names[kDebugShapeCount]);  // collision-list geometries; a NULL name empties its slot; true
    void SetDebugShape(int32_t slot, nGeometry* geometry);           // takes a reference; a slot outside 0..5 does nothing
    nGeometry* GetDebugShape(int32_t slot) const { return slot >= 0 && slot < kDebugShapeCount ? m_debugShapes[slot].Get() : 0; }
    void DrawDebug(nRenderer* renderer, nGroup* selected, nGroup* hidden, uint32_t flags);
    // A cross at the item's origin (its pivot left out, nothing changed on the item); a bone
    // with a parent as a pyramid (DebugDrawBones) or nothing; an object's bounds with
    // DebugDrawObjectBounds. NULL colour: the default marker colour.
    void DrawItemMarker(nRenderer* renderer, nMItem* item, uint32_t flags, const nVector* colour);
    void DrawDebugShape(nRenderer* renderer, nGeometry* geometry, const nMatrix4& matrix, const nVector& colour);                        // polygon outlines under matrix x visualisation scale
    static void DrawBone(nRenderer* renderer, const nVector& base, const nVector& direction, const nVector& up, const nVector& colour);  // 12 lines
    static void DrawBoxCorners(const nOBB& box, nRenderer* renderer, const nMatrix4& matrix);                                            // 24 lines, a fifth of each edge at each end
    static void DrawEdgeCorners(const nVector& a, const nVector& b, nRenderer* renderer);
    // The item's kind and name in a bubble below its place on screen, written with the
    // profiler font; nothing without a camera, the font, or a viewport height.
    void DrawItemLabel(nRenderer* renderer, nMItem* item);
    static const char* GetLabelPrefix(int32_t kind);                                                                       // "Camera: " .. "Trigger: "; NULL for other kinds
    static void DrawLabelBubble(nRenderer* renderer, float x, float y, float width, float height, const nVector& colour);  // 34 triangles
    static void DrawScreenTriangle(nRenderer* renderer, const nVector2& a, const nVector2& b, const nVector2& c, const nVector& colour);

    // Content reports (nSceneReports.cpp) on the log; both only read the scene.
    void PrintItemList();  // cameras, objects, lights, groups, active items
    void Audit();          // geometry use and objects that look placed twice

    // Queues.
    void RequestActivation(nMItem* item, bool active);    // pending activation (leaving deactivation) or the reverse
    void ProcessPendingActivations();                     // activations, then deactivations; an item in both ends inactive
    bool ApplyItemActivation(nMItem* item, bool active);  // active list and body; true
    bool QueueDeletion(nMItem* item);                     // true when queued or already queued
    // Deletes every queued item, also those queued by handlers during the flush. A flush
    // asked for while one runs or while content is cleared is left to the running loop; one
    // asked for while the scene evaluates, sets up or resets is refused (logged) and left to
    // the next evaluation.
    void FlushDeletionQueue();
    void SetDeletionQueueHeld(bool held) { m_deletionHeld = held; }
    // True while the scene evaluates, sets up, resets, deletes items or raises its render
    // events: the calls of its own handlers that would walk or empty its lists again (render,
    // update, set-up, content and queue deletion) are refused then.
    bool IsBusy() const { return m_evaluating || m_flushing || m_clearing || m_rendering; }
    bool IsDeletionQueueHeld() const { return m_deletionHeld; }

    // Script globals g_scene and g_clock_fq on the given machine (NULL: the scene's own), when
    // it is open.
    void SetScriptGlobals(nScriptVM* vm);

    // Renderer binding: the renderer asks this scene for lights and the ambient colour.
    nRenderer* RegisterAsPropertyCallback(nRenderer* renderer);
    bool ProcessPropertyRequest(int32_t kind, nPropertyRequest* request);
    static bool PropertyRequestCallback(int32_t kind, nPropertyRequest* request);  // the installed function
    void SortLightsByPriority();                                                   // stable, highest priority first

    // Listeners, in registration order; not owned.
    void AddListener(nSceneListener* listener);
    void RemoveListener(nSceneListener* listener);
    void NotifyListeners(int32_t code, void* data);

    // Lists. The typed list of a kind holds the items of that kind in creation order. Callers
    // only read them: the lists of all items, the active ones and each kind link nodes that
    // live inside the items, which the scene alone links and unlinks.
    const nList<nMItem*>& GetActiveItems() const { return m_activeItems; }
    const nList<nMItem*>& GetAllItems() const { return m_allItems; }
    const nList<nMItem*>& GetKindList(int32_t kind) const;  // kinds outside 1..7 give an empty list
    const nList<nMItem*>& GetCameras() const { return m_kindLists[ManagedItemCamera]; }
    const nList<nMItem*>& GetObjects() const { return m_kindLists[ManagedItemObject]; }
    const nList<nMItem*>& GetLights() const { return m_kindLists[ManagedItemLight]; }
    const nList<nMItem*>& GetTriggers() const { return m_kindLists[ManagedItemTrigger]; }
    const nList<nMItem*>& GetEmitters() const { return m_kindLists[ManagedItemEmitter]; }
    const nList<nMItem*>& GetInstances() const { return m_kindLists[ManagedItemInstance]; }
    const nList<nMItem*>& GetTerrains() const { return m_kindLists[ManagedItemTerrain]; }
    const nList<nMItem*>& GetDeletionQueue() const { return m_deletionQueue; }
    const nList<nMItem*>& GetPendingActivations() const { return m_pendingActivations; }
    const nList<nMItem*>& GetPendingDeactivations() const { return m_pendingDeactivations; }

    // State.
    nOrvex* GetEngine() const { return m_engine; }
    nScriptVM* GetVM() const { return m_vm; }
    nRenderer* GetRenderer() const { return m_renderer; }
    nPhysicWorld* GetPhysicWorld() const { return m_physicWorld; }
    nScene2D& GetUI() { return m_ui; }
    nItem* GetCurrentCamera() const { return m_currentCamera; }
    void SetCurrentCamera(nItem* camera) { m_currentCamera = camera; }
    const nString& GetPath() const { return m_path; }
    void SetPath(const char* path) { m_path.Set(path); }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    uint32_t GetFlags() const { return m_flags; }
    void SetFlags(uint32_t flags) { m_flags = flags; }
    int32_t GetNextUid() const { return m_nextUid; }
    void SetNextUid(int32_t uid) { m_nextUid = uid; }
    float GetVisualisationScale() const { return m_visualisationScale; }
    void SetVisualisationScale(float s) { m_visualisationScale = s; }
    // The on-screen profiler: the scene's own raster font (owned), and its block of timings
    // and counts written at (x, y) with font (NULL: the profiler font); gives the y below it.
    bool LoadProfilerFont(const char* path, const char* pageBase);  // false (logged) when it does not load
    nRasterFont* GetProfilerFont() const { return m_profilerFont; }
    float DrawProfiler(float x, float y, bool full, nRasterFont* font);
    nTimer& GetTimer(int32_t timer) { return m_timers[timer < 0 || timer >= SceneTimerCount ? 0 : timer]; }
    static const char* GetTimerLabel(int32_t timer);  // "Evaluate", "Physic", ...
    const nVector& GetBackgroundColour() const { return m_backgroundColour; }
    void SetBackgroundColour(const nVector& c) { m_backgroundColour = c; }
    const nVector& GetAmbientColour() const { return m_ambientColour; }
    void SetAmbientColour(const nVector& c) { m_ambientColour = c; }
    float GetAmbientIntensity() const { return m_ambientIntensity; }
    void SetAmbientIntensity(float i) { m_ambientIntensity = i; }
    float GetTargetExposure() const { return m_targetExposure; }
    void SetTargetExposure(float e) { m_targetExposure = e; }
    float GetFogNear() const { return m_fogNear; }
    float GetFogFar() const { return m_fogFar; }
    const nVector& GetFogColour() const { return m_fogColour; }
    void SetFog(float nearZ, float farZ, const nVector& colour)
    {
        m_fogNear = nearZ;
        m_fogFar = farZ;
        m_fogColour = colour;
    }
    nSceneScriptEventDispatcher* GetEvents() const { return m_events; }
    void SetEvents(nSceneScriptEventDispatcher* e) { m_events = e; }

    // Fixed-rate logic catch-up: at most this many logic events per item and evaluation;
    // a backlog beyond it is dropped.
    static const int32_t kMaxLogicStepsPerEvaluation = 64;

    // Bit i set: some active item has a unit with its cached event i (the numbering of
    // nManagerScriptUnit), so the evaluation skips the walks for an event no active item has.
    // Taken anew after the active list changed or any unit was set up, released, moved or
    // destroyed.
    uint32_t GetActiveCachedEvents();

private:
    // The sections of a scene file, read in the order Deserialize lists them (nSceneFile.cpp);
    // FileRead holds what the sections of one read share.
    struct FileRead;
    void BeginRead(FileRead& read);    // heading, listeners, progress, name, output group
    bool ReserveUids(FileRead& read);  // the uid table; false when it cannot be made
    void ReadItems(FileRead& read);
    void ReadLinks(FileRead& read);
    void ReadSkins(FileRead& read);
    void ReadGroups(FileRead& read);
    void ReadScriptUnits(FileRead& read);
    void ReadGlobals(FileRead& read);
    void ReadPaths(FileRead& read);
    void ReadPhysics(FileRead& read);
    void ReadCurrentCamera(FileRead& read);
    void CreateDefaultCamera(FileRead& read);
    void EndRead(FileRead& read);  // progress end, listeners

    // The phases of one evaluation (nSceneEvaluate.cpp), in their order.
    void RememberPreviousWorldMatrices();  // every item's, active or not
    void RaiseSceneUpdate();               // the scene's OnUpdate
    float FrameStep() const;               // the engine's frame time in seconds, within [0, 0.2]
    void StepPhysicWorld(float dt);
    void CopyBodiesToItems();  // dynamic bodies onto their items' world matrices
    void AdvanceCommandLists(float dt);
    void RaiseItemUpdates();  // every active item's OnUpdate
    void RunLogic(float dt);  // fixed-rate logic, then interpolation, of every active item
    void StepLogic(float dt);
    void InterpolateLogicStates();
    void EvaluateItems();              // each kind's per-frame work
    void UpdateItems(uint32_t flags);  // UpdateItem of every active item
    void UpdateSkinning();             // every active skinned object

    // A list of items copied into an array, rebuilt only when the list has changed since: the
    // evaluation walks its lists many times per frame.
    struct ItemArray
    {
        nMItem** items;
        int32_t count;
        int32_t capacity;
        uint32_t version;  // the list version the copy was taken at
    };
    // f on every item of the list as it stands now; Policy (nEvaluationPrefetch.h) says what
    // to ask the cache for ahead of the item f works on.
    template<class Policy, class F> void Walk(ItemArray& array, nList<nMItem*>& list, uint32_t version, F f);
    template<class Policy, class F> void WalkAll(F f) { Walk<Policy>(m_allWalk, m_allItems, m_allVersion, f); }
    template<class Policy, class F> void WalkActive(F f) { Walk<Policy>(m_activeWalk, m_activeItems, m_activeVersion, f); }
    static bool Snapshot(ItemArray& array, nList<nMItem*>& list, uint32_t version);        // false when out of memory
    void Enlist(nList<nMItem*>& list, nListNode<nMItem*>& node);                           // joins a list through the item's own node, at the tail; nothing when in it
    void Delist(nList<nMItem*>& list, nListNode<nMItem*>& node);                           // leaves it; nothing when not in it
    void ReleaseList(nList<nMItem*>& list);                                                // empties a list of the items' own nodes
    void Unlink(nList<nMItem*>& list, nListNode<nMItem*>*& node);                          // leaves a queue through the item's own link
    void ClearQueue(nList<nMItem*>& list, nListNode<nMItem*>* nMItem::SceneLinks::*link);  // empties a queue and its links
    void ListChanged(const nList<nMItem*>& list);                                          // the version of the active or all-items list moves on
    void DestroyGroups();                                                                  // every group, listed or removed

    nOrvex* m_engine;
    nRenderer* m_renderer;
    nItem* m_currentCamera;
    nString m_path;
    nString m_name;
    nScriptVM* m_vm;
    nScenePhysicWorldCallback m_physicsHook;
    nPhysicWorld* m_physicWorld;
    nScene2D m_ui;
    nList<nMItem*> m_activeItems;
    nList<nMItem*> m_allItems;
    bool m_deletionHeld;
    nList<nMItem*> m_deletionQueue;
    nList<nMItem*> m_pendingActivations;
    nList<nMItem*> m_pendingDeactivations;
    uint32_t m_flags;
    float m_visualisationScale;
    int32_t m_nextUid;
    nTimer m_timers[SceneTimerCount];
    nRasterFont* m_profilerFont = 0;  // owned; NULL until loaded
    nVector m_backgroundColour;
    nVector m_ambientColour;
    float m_ambientIntensity;
    float m_targetExposure;
    float m_fogNear;
    float m_fogFar;
    nVector m_fogColour;
    nSceneScriptEventDispatcher* m_events;
    nList<nSceneListener*> m_listeners;
    nList<nMItem*> m_kindLists[ManagedItemKindCount];  // index 0 stays empty
    nList<nGroup*> m_groups;
    nList<nGroup*> m_retiredGroups;  // removed from the list, destroyed with the content
    nLinkedList m_aiPaths;           // nAIPath, owned
    nSharedPtr<nGeometry> m_debugShapes[kDebugShapeCount];

    ItemArray m_activeWalk;
    ItemArray m_allWalk;
    uint32_t m_activeVersion;        // changes with every change of the active list
    uint32_t m_allVersion;           // changes with every change of the all-items list
    uint32_t m_activeEvents;         // GetActiveCachedEvents, as taken at
    uint32_t m_activeEventsVersion;  // this active-list version
    uint64_t m_activeEventsEpoch;    // and this unit epoch

    // Guards against handlers re-entering the scene while it walks or empties its lists.
    bool m_evaluating;
    bool m_flushing;
    bool m_clearing;
    bool m_rendering;
};

#endif
