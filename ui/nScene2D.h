#ifndef N_SCENE2D_H
#define N_SCENE2D_H

#include <cstdint>

#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "hub/nCoreListener.h"
#include "ace/nACEManager.h"
#include "ace/nACEUnit.h"
#include "scriptiface/nScriptUnit.h"

class nOrvex;
class nScriptVM;
class nScene2DScriptEventDispatcher;

// Commands of the 2D command vocabulary.
enum nACE2DCommand
{
    ACE2DToAlpha    = 0,   // 1 parameter: target opacity
    ACE2DToPosition = 1,   // 2: target x, y
    ACE2DToScale    = 2,   // 2: target scale x, y
    ACE2DToAngle    = 3,   // 1: target angle in degrees
    ACE2DShow       = 4,
    ACE2DHide       = 5,
    ACE2DGlobalFade = 6    // 1: target global fade; run by the scene's own list
};

// A 2D scene ("Window System" to scripts): drawn over whatever was rendered before it. It is
// its own script unit (owner type 12), the manager of the 2D command vocabulary and the
// executor of its own command list. Every 3D scene embeds one as its user-interface layer.
// Main thread only.
class nScene2D : public nSharedObject,
                 public nScene2DScriptUnit,
                 public nCoreListener,
                 public nACEManager,
                 public nACEUnit
{
public:
    // Registers as a core listener of the engine, binds its unit to the script machine with
    // itself as owner and defines the seven 2D commands.
    nScene2D(nOrvex* engine, nScriptVM* vm);
    ~nScene2D() override;               // leaves the core listeners, then Clear

    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override { return 0; } // ignores every event
    bool    ExecuteCommand(nACECommand* record, float slice) override;   // "globalfade"; other codes to the base

    bool Setup() override;              // sets the unit up; OnSetup when that succeeded
    void Reset();                       // OnReset
    void Clear();                       // OnDelete, then the content and the fade are cleared
    // One frame: the script update (unless skipScript), the command lists, then drawing with
    // the internal aspect ratio kept whatever the output's shape, and the full-screen fade.
    void Render(bool skipScript);

    void  SetGlobalFade(float fade);    // clamped to [0, 1]
    float GetGlobalFade() const                         { return m_globalFade; }
    void  SetFadeColour(const nVector& colour)          { m_fadeColour = colour; }
    const nVector& GetFadeColour() const                { return m_fadeColour; }
    void  GetInternalResolution(float* width, float* height) const;
    void  SetInternalResolution(float width, float height) { m_internalWidth = width; m_internalHeight = height; }
    void  SetUseRawClock(bool raw)                      { m_useRawClock = raw; }
    const nMatrix3& GetTransform() const                { return m_transform; }
    void  SetTransform(const nMatrix3& transform)       { m_transform = transform; }
    nOrvex*        GetEngine() const                    { return m_engine; }
    const nString& GetName() const                      { return m_name; }
    void           SetName(const char* name)            { m_name.Set(name); }

private:
    nOrvex*  m_engine;
    bool     m_useRawClock;
    int32_t  m_nextSpriteUid;
    float    m_internalWidth;
    float    m_internalHeight;
    float    m_globalFade;
    nString  m_name;
    nVector  m_fadeColour;
    nMatrix3 m_transform;
};

#endif
