#ifndef N_RECORDINGEVENTS_H
#define N_RECORDINGEVENTS_H

#include <vector>

#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"

class nCallLog;

// A core listener that writes every core event into a call log with the names of what its
// record holds ("core.Event(5) texture wall.tga", "core.Event(6) geometry crate sound hit"; a
// load about to start: "core.Event(3) geometry"), and keeps the records. It registers itself with the engine for its lifetime.
class nRecordingCoreListener : public nCoreListener
{
public:
    nRecordingCoreListener(nOrvex* engine, nCallLog* log);
    ~nRecordingCoreListener() override;
    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override;

    std::vector<nCoreEventRecord> records;

private:
    nOrvex* m_engine;
    nCallLog* m_log;
};

// The engine's event interface writing into a call log: "engine.Begin",
// "engine.Progress(<text>,<value>)", "engine.End", "engine.Message(<text>)". Installed on the
// engine for its lifetime.
class nRecordingEventInterface : public nOrvex::EventInterface
{
public:
    nRecordingEventInterface(nOrvex* engine, nCallLog* log);
    ~nRecordingEventInterface() override;
    void OnBegin() override;
    void OnProgress(const char* text, float value) override;
    void OnEnd() override;
    void OnMessage(const char* text) override;

private:
    nOrvex* m_engine;
    nCallLog* m_log;
};

#endif
