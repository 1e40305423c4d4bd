#include "hub/nOrvex.h"

#include <cmath>
#include <cstdint>
#include <new>

#include <sys/resource.h>

#include "core/nClock.h"
#include "core/nList.h"
#include "core/nLog.h"
#include "core/nRandom.h"
#include "hub/nCoreListener.h"
#include "render/nNull_Renderer.h"
#include "audio/mixer/nNull_Mixer.h"

int32_t g_debugChannel = -1;

namespace {

const int32_t kResetFrameTime = 166;  // ticks: one frame at 60 Hz

// The int32 nearest to v: values outside the range saturate, NaN gives 0.
int32_t SaturateToInt32(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return (int32_t)v;
}

int32_t SaturateToInt32(int64_t v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_t)v;
}

}

nOrvex::nOrvex() : nOrvex(nOrvexParts())
{
}

nOrvex::nOrvex(const nOrvexParts& parts)
    : m_paused(false),
      m_fixedFrameTime(-1),
      m_targetRate(-1),
      m_correctionRemainder(0),
      m_totalClock(0),
      m_lastTime(0),
      m_speed(1000),
      m_frameTime(0),
      m_rawFrameTime(0),
      m_drawNesting(0),
      m_toolMode(NoTool),
      m_resourceAutoSetup(true),
      m_loadingGeometry(0),
      m_eventInterface(0),
      m_baseCache(0),
      m_currentCache(0),
      m_clock(0),
      m_parts(parts)
{
    m_eventInterface = &m_defaultEventInterface;
    for (int32_t i = 0; i < OrvexHookCount; ++i) m_hooks[i] = 0;
    m_cullingTimer = &m_queueTimer;
    // The null renderer makes itself current, so a fresh engine always has a renderer.
    m_nullRenderer = new (std::nothrow) nNull_Renderer(this, true);
    if (!m_nullRenderer) *g_log << "[!] Failed to allocate null renderer.\n";
    // Likewise the null mixer: sounds always find a current mixer.
    m_nullMixer = new (std::nothrow) nNull_Mixer(this, true);
    if (!m_nullMixer) *g_log << "[!] Failed to allocate null mixer.\n";
    if (m_parts.caches) {
        m_baseCache = m_parts.caches->create();
        if (!m_baseCache) *g_log << "[!] Failed to allocate base resource cache.\n";
    }
    m_currentCache = m_baseCache;
    nRandSeed(77);
}

nOrvex::~nOrvex()
{
    if (m_drawNesting != 0)
        *g_log << "[*] Not all BeginDraw() were closed by calling EndDraw().\n";
    // Caches go first: releasing their resources frees them on the current devices. Pushed
    // caches that FreeResourceCaches never saw are deleted too rather than leaked.
    while (nListNode<nResourceCache*>* node = m_pushedCaches.GetHead()) {
        nResourceCache* cache = node->value;
        delete m_pushedCaches.Unlink(node);
        if (cache && m_parts.caches) m_parts.caches->destroy(cache);
    }
    if (m_baseCache && m_parts.caches) m_parts.caches->destroy(m_baseCache);
    m_baseCache = 0;
    m_currentCache = 0;
    // Deleting the null renderer while it is current leaves the engine without a renderer.
    delete m_nullRenderer;
    m_nullRenderer = 0;
    delete m_nullMixer;
    m_nullMixer = 0;
}

int32_t nOrvex::ReadClock() const
{
    return (int32_t)(m_clock ? m_clock() : nGetClock32());
}

void nOrvex::ResetClock()
{
    m_lastTime = ReadClock();
    m_frameTime = kResetFrameTime;
}

// Integer arithmetic truncating toward zero, as the frame times have always been computed.
// Products are formed in 64 bits and the results saturate at the 32-bit range, so a long
// stall or an extreme scale cannot overflow; the correction remainder saturates below, and
// a negative remainder is never corrected.
int32_t nOrvex::TickClock()
{
    if (m_paused) {
        m_frameTime = 0;
        m_lastTime = 0;
        return ReadClock();
    }

    int32_t now = ReadClock();
    int32_t raw = (int32_t)((uint32_t)now - (uint32_t)m_lastTime);  // wraps with the 32-bit clock
    int64_t dt = (int64_t)m_speed * raw / 1000;

    if (m_fixedFrameTime > 0) {
        dt = (int64_t)m_fixedFrameTime * m_speed / 1000;
        if (m_targetRate > 0) {
            int64_t remainder = (int64_t)m_correctionRemainder + 1000000000 / m_targetRate - dt * 100000;
            if (remainder > 100000) {
                int32_t n = SaturateToInt32(remainder / 100000);
                *g_log << "Applying clock correction of " << n << " units.\n";
                dt += n;
                remainder -= (int64_t)n * 100000;
            }
            m_correctionRemainder = SaturateToInt32(remainder);
        }
    }

    int32_t frame = SaturateToInt32(dt);
    if (m_lastTime != 0) {
        m_totalClock = (int32_t)((uint32_t)m_totalClock + (uint32_t)frame);
        m_rawFrameTime = raw;
        m_frameTime = frame;
    } else {
        m_rawFrameTime = 0;
        m_frameTime = 0;
    }
    if (m_frameTime < 0) m_frameTime = 0;

    m_lastTime = now;
    return now;
}

void nOrvex::SetClockScale(float scale)
{
    m_speed = SaturateToInt32((double)(scale * 1000.0f));
}

void nOrvex::SetFixedDeltaFrame(float seconds)
{
    m_fixedFrameTime = seconds >= 0.0f ? SaturateToInt32((double)(seconds * 10000.0f)) : -1;
    m_targetRate = -1;
    m_correctionRemainder = 0;
}

void nOrvex::SetFixedFramerateCorrection(int32_t rate)
{
    m_targetRate = rate;
    m_correctionRemainder = 0;
}

nResourceCache* nOrvex::SetResourceCache(nResourceCache* cache)
{
    nResourceCache* previous = m_currentCache;
    m_currentCache = cache ? cache : m_baseCache;
    return previous;
}

nResourceCache* nOrvex::NewResourceCache()
{
    if (!m_parts.caches) return 0;
    nResourceCache* cache = m_parts.caches->create();
    if (!cache) return 0;
    // A cache whose node cannot be made is still handed out; its owner is then the caller.
    m_pushedCaches.InsertAfter(cache, 0);
    return cache;
}

void nOrvex::FreeResourceCaches()
{
    *g_log << "Freeing " << (int32_t)(m_pushedCaches.GetCount() + 1) << " resource cache(s)...\n";
    m_currentCache = m_baseCache;
    while (nListNode<nResourceCache*>* node = m_pushedCaches.GetHead()) {
        nResourceCache* cache = node->value;
        delete m_pushedCaches.Unlink(node);
        if (cache && m_parts.caches) m_parts.caches->destroy(cache);
    }
    if (m_baseCache && m_parts.caches) m_parts.caches->clear(m_baseCache);
    *g_log << "Done.\n";
}

void nOrvex::UpdateStreamedTextures(int32_t dt)
{
    if (m_currentCache && m_parts.caches && m_parts.caches->updateStreams)
        m_parts.caches->updateStreams(m_currentCache, dt);
}

void nOrvex::BeginDraw(bool updateStreams, bool resetTimers)
{
    if (m_drawNesting == 0 && m_renderer) m_renderer->BeginFrame();
    ++m_drawNesting;
    if (updateStreams) UpdateStreamedTextures(m_frameTime);
    if (resetTimers) {
        m_frameTimer.Stop();
        m_frameTimer.Start();
        m_queueTimer.BeginFrame();
        if (m_renderer) m_renderer->GetRenderQueueTimer().BeginFrame();
    }
}

void nOrvex::EndDraw(bool force, bool keepQueue, bool tickClock)
{
    if (m_drawNesting > 0) --m_drawNesting;
    if (m_drawNesting == 0 || force) {
        if (m_renderer) m_renderer->EndFrame();
        if (m_mixer) m_mixer->Update();
        if (m_renderer) m_renderer->Present();
        CallHook(OrvexHookEndOfFrame, 0);
        if (tickClock) TickClock();
    }
    if (!keepQueue && m_renderer) m_renderer->ResetRenderQueue();
}

// Normal maps to nice 0; high and real-time raise the priority (nice -10 and -20), which the
// system grants only to a privileged process.
bool nOrvex::SetProcessPriority(int32_t priority)
{
    int nice;
    switch (priority) {
        case ProcessPriorityNormal: nice = 0; break;
        case ProcessPriorityHigh: nice = -10; break;
        case ProcessPriorityRealtime: nice = -20; break;
        default: return true;
    }
    return setpriority(PRIO_PROCESS, 0, nice) == 0;
}

nOrvexHook nOrvex::GetHook(int32_t slot) const
{
    if (slot < 0 || slot >= OrvexHookCount) return 0;
    return m_hooks[slot];
}

nOrvexHook nOrvex::SetHook(int32_t slot, nOrvexHook hook)
{
    if (slot < 0 || slot >= OrvexHookCount) return 0;
    nOrvexHook previous = m_hooks[slot];
    m_hooks[slot] = hook;
    return previous;
}

bool nOrvex::CallHook(int32_t slot, void* argument) const
{
    nOrvexHook hook = GetHook(slot);
    if (!hook) return false;
    hook(argument);
    return true;
}

bool nOrvex::AddCoreListener(nCoreListener* listener)
{
    return m_coreListeners.InsertAfter(listener, 0) != 0;
}

bool nOrvex::RemoveCoreListener(nCoreListener* listener)
{
    return m_coreListeners.Remove(listener);
}

void nOrvex::NotifyCoreListeners(int32_t code, nCoreEventRecord* record)
{
    nList<nCoreListener*>::Iterator it;
    while (nCoreListener* listener = m_coreListeners.Iterate(it))
        listener->OnCoreEvent(code, record);
}
