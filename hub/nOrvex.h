#ifndef N_ORVEX_H
#define N_ORVEX_H

#include <cstdint>

#include "core/nList.h"
#include "core/nTimer.h"
#include "audio/mixer/nMixerSlot.h"
#include "physics/nPhysicWorld.h"
#include "render/nRendererSlot.h"

class nResourceCache;
struct nUIDevices;
class nGeometry;
class nCoreListener;
class nMetaFile;
struct nCoreEventRecord;

// A hook: a plain function given one pointer (the end-of-frame hook gets NULL). Each hook
// slot holds one function or NULL; a slot without a function is skipped.
typedef void (*nOrvexHook)(void* argument);

// The hook slots and what each one is handed.
enum nOrvexHookSlot
{
    OrvexHookGeometryMissing = 0,       // nString* file name; the hook may change it
    OrvexHookTextureMissing = 1,        // nString* file name; the hook may change it
    OrvexHookShaderLibraryMissing = 2,  // nString* file path; the loader retries from the path the hook leaves
    OrvexHookSoundMissing = 3,          // nString* file name; the hook may change it
    OrvexHookGeometryLoaded = 4,        // nGeometry*
    OrvexHookTextureContent = 5,        // nTexture*
    OrvexHookPictureLoaded = 6,         // nPicture*
    OrvexHookShaderLibraryRead = 7,     // nString* file path
    OrvexHookSoundLoaded = 8,           // nSound*
    OrvexHookScriptError = 9,           // nString* error report
    OrvexHookEndOfFrame = 10,           // none
    OrvexHookCount = 11
};

// Tool modes: only ToolEdit changes behaviour elsewhere.
enum nToolMode
{
    NoTool = 0,  // the player
    ToolEdit = 1,
    ToolPreview = 2,
    ToolProjectPreview = 3
};

// What the engine needs of its resource caches. The cache type belongs to the resources layer
// above the hub, which supplies these operations (nResourceCache::GetEngineOps); an engine
// made without them has no caches at all (every loader then works uncached) and the cache
// operations below do nothing.
struct nResourceCacheOps
{
    nResourceCache* (*create)();                               // a new empty cache, NULL when out of memory
    void (*destroy)(nResourceCache* cache);                    // releases everything the cache holds, then the cache
    void (*clear)(nResourceCache* cache);                      // releases everything, keeps the cache
    void (*updateStreams)(nResourceCache* cache, int32_t dt);  // advances the video textures by dt ticks; may be NULL
};

// What the layers above the hub lend an engine, given once to its constructor. Each may be
// NULL. The player's engine is made from PlayerEngineParts (engine/player/nEngineWiring.h).
struct nOrvexParts
{
    const nResourceCacheOps* caches = 0;   // NULL: no resource caches
    nPhysicWorldFactory physicWorlds = 0;  // the world every scene of the engine simulates with; NULL: none
    const nUIDevices* userInterface = 0;   // lent to every 2D scene of the engine (ui/nUIDevices.h); NULL: none
};

// Process priorities of nOrvex::SetProcessPriority.
enum nProcessPriority
{
    ProcessPriorityNormal = 0,
    ProcessPriorityHigh = 1,
    ProcessPriorityRealtime = 2
};

// Process-wide debug channel read by material set-up: -1 (off) by default; otherwise only the
// texture stage of that channel is shown.
extern int32_t g_debugChannel;

// The engine hub every other part reaches through the pointer it was given at construction:
// the clock in ticks of 1/10000 s, the current renderer and mixer, the resource caches, the
// hooks, the core listeners and the progress interface of the loaders.
// Main thread only; nothing here is locked. The current renderer and mixer are kept in the
// slots below the hub, which renderers and mixers reach without knowing the hub.
class nOrvex : public nRendererSlot, public nMixerSlot
{
public:
    // Progress interface of the loaders; the engine's own instance does nothing.
    class EventInterface
    {
    public:
        virtual void OnBegin() {}                                  // before a loader creates a resource
        virtual void OnProgress(const char* text, float value) {}  // the loader's progress line (value -1)
        virtual void OnEnd() {}
        virtual void OnMessage(const char* text) {}  // a set-up stage name ("Geometry Setup")
        virtual ~EventInterface() {}
    };

    typedef uint32_t (*ClockFunc)();  // a 32-bit tick source (1/10000 s)

    nOrvex();                                   // no parts: no caches, scenes without physics
    explicit nOrvex(const nOrvexParts& parts);  // seeds the random generator with 77; every clock field 0; the base cache
    ~nOrvex();                                  // warns when a BeginDraw was left open
    nOrvex(const nOrvex&) = delete;
    nOrvex& operator=(const nOrvex&) = delete;

    static const char* GetVersion() { return "1.1.7"; }

    // Clock. Frame times are ticks, never negative; the first tick after construction, a
    // reset of last time to 0, or a pause yields a frame time of 0 and starts the clock.
    void ResetClock();    // last time := now; frame time := 166 ticks; total unchanged
    int32_t TickClock();  // advances by the measured (or fixed) frame time; returns the reading
    void SetPause(bool paused) { m_paused = paused; }
    bool IsPaused() const { return m_paused; }
    void SetClockScale(float scale);  // speed := scale * 1000, truncated
    float GetClockScale() const { return m_speed / 1000.0f; }
    void SetFixedDeltaFrame(float seconds);                         // seconds >= 0: fixed frame time in ticks; negative: off; drops the rate correction
    void SetFixedFramerateCorrection(int32_t rate);                 // target frames per second for the fixed frame time; remainder 0
    int32_t GetFixedFrameTime() const { return m_fixedFrameTime; }  // -1 off
    int32_t GetTargetRate() const { return m_targetRate; }          // -1 off
    int32_t GetFrameTime() const { return m_frameTime; }            // scaled ticks of the last frame
    int32_t GetRawFrameTime() const { return m_rawFrameTime; }      // unscaled ticks between the last two readings
    int32_t GetTotalClock() const { return m_totalClock; }          // sum of the frame times
    void SetClockSource(ClockFunc clock) { m_clock = clock; }       // NULL: the engine clock; tests inject a fake one

    // Draw bracket. Only the outermost BeginDraw begins a renderer frame, and only the
    // outermost EndDraw (or a forced one) ends it: end frame, mixer update, present, hook 10,
    // clock tick when asked. Unless keepQueue, every EndDraw empties the render queue. An
    // EndDraw without a BeginDraw leaves the nesting at 0 and still ends the frame.
    void BeginDraw(bool updateStreams, bool resetTimers);
    void EndDraw(bool force, bool keepQueue, bool tickClock);
    uint32_t GetDrawNesting() const { return m_drawNesting; }
    void UpdateStreamedTextures(int32_t dt);  // video textures of the current cache advance by dt ticks

    // Current renderer and mixer (GetRenderer, SetRenderer, GetMixer, SetMixer of the slots);
    // the engine owns only their null fallbacks (GetNullRenderer, GetNullMixer), both made
    // current by the constructor.

    // Resource caches: the base cache and the current one.
    nResourceCache* GetResourceCache() const { return m_currentCache; }
    nResourceCache* SetResourceCache(nResourceCache* cache);  // NULL selects the base cache; returns the previous one
    nResourceCache* GetBaseResourceCache() const { return m_baseCache; }
    nResourceCache* NewResourceCache();  // appended to the pushed caches, not made current; NULL when it cannot be made
    void FreeResourceCaches();           // base cache current, pushed caches deleted oldest first, base cache cleared
    int32_t GetPushedCacheCount() const { return m_pushedCaches.GetCount(); }
    const nResourceCacheOps* GetResourceCacheOps() const { return m_parts.caches; }  // NULL: no caches

    // The world a scene of this engine simulates with (nScene::CreatePhysicWorld); NULL: none.
    nPhysicWorldFactory GetPhysicWorldFactory() const { return m_parts.physicWorlds; }
    // What every 2D scene of this engine is given when it is made (the pointer, the writer of
    // window titles) and what the scripts' font functions use; NULL: none.
    const nUIDevices* GetUIDevices() const { return m_parts.userInterface; }

    // Renderer switches from a configuration tree ("engine.cfg"): each of the 19 renderer keys
    // sets its bit when it holds the bool true and clears it otherwise; then "DebugChannel".
    // With a tree the path is ignored; without one the file at path is read, and a file that
    // cannot be read changes nothing and gives false.
    bool LoadConfig(const char* path, nMetaFile* tree);

    // Scheduling priority of the process (nProcessPriority); false when the system refuses.
    // Any other value changes nothing and gives true.
    bool SetProcessPriority(int32_t priority);

    // Loader state.
    bool GetResourceAutoSetup() const { return m_resourceAutoSetup; }
    void SetResourceAutoSetup(bool on) { m_resourceAutoSetup = on; }
    nGeometry* GetLoadingGeometry() const { return m_loadingGeometry; }
    void SetLoadingGeometry(nGeometry* g) { m_loadingGeometry = g; }
    int32_t GetToolMode() const { return m_toolMode; }
    void SetToolMode(int32_t mode) { m_toolMode = mode; }

    // Stage timers: the frame timer, and the second one, which the queue operations of
    // objects and emitters run.
    nTimer& GetFrameTimer() { return m_frameTimer; }
    nTimer& GetQueueTimer() { return m_queueTimer; }

    // Progress interface: the active one may be NULL (no progress calls).
    EventInterface* GetEventInterface() const { return m_eventInterface; }
    void SetEventInterface(EventInterface* e) { m_eventInterface = e; }
    EventInterface* GetDefaultEventInterface() { return &m_defaultEventInterface; }

    // Hooks.
    nOrvexHook GetHook(int32_t slot) const;             // NULL for an empty slot or one outside 0..10
    nOrvexHook SetHook(int32_t slot, nOrvexHook hook);  // returns the previous hook; a slot outside 0..10 changes nothing
    bool CallHook(int32_t slot, void* argument) const;  // true when a hook was installed and called

    // Core listeners, called in registration order; not owned.
    bool AddCoreListener(nCoreListener* listener);     // appends at the tail; false when out of memory
    bool RemoveCoreListener(nCoreListener* listener);  // false when it was not registered
    void NotifyCoreListeners(int32_t code, nCoreEventRecord* record);

private:
    int32_t ReadClock() const;

    bool m_paused;
    int32_t m_fixedFrameTime;       // ticks, -1 off
    int32_t m_targetRate;           // frames per second, -1 off
    int32_t m_correctionRemainder;  // 1/100000 tick
    int32_t m_totalClock;
    int32_t m_lastTime;  // reading of the previous tick, 0 none
    int32_t m_speed;     // thousandths
    int32_t m_frameTime;
    int32_t m_rawFrameTime;
    uint32_t m_drawNesting;
    int32_t m_toolMode;
    bool m_resourceAutoSetup;
    nTimer m_frameTimer;
    nTimer m_queueTimer;
    nGeometry* m_loadingGeometry;
    EventInterface m_defaultEventInterface;
    EventInterface* m_eventInterface;
    nList<nResourceCache*> m_pushedCaches;  // oldest first; owned
    nResourceCache* m_baseCache;            // owned
    nResourceCache* m_currentCache;
    nOrvexHook m_hooks[OrvexHookCount];
    nList<nCoreListener*> m_coreListeners;  // not owned
    ClockFunc m_clock;
    nOrvexParts m_parts;
};

#endif
