#include "tests/kit/nRecordingEvents.h"

#include <cstdint>
#include <string>

#include "resources/nGeometry.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"
#include "tests/kit/nCallLog.h"

namespace {

// " <kind> <name>" for a record's slot; " <kind>" alone for an unnamed resource and for the
// placeholder 1 of a load about to start; nothing for NULL.
template<class T>
std::string Named(const char* kind, const T* resource)
{
    if (!resource) return "";
    if (resource == reinterpret_cast<const T*>(uintptr_t(1))) return std::string(" ") + kind;
    const char* text = resource->GetName().GetCStr();
    return std::string(" ") + kind + (text && *text ? std::string(" ") + text : "");
}

}

nRecordingCoreListener::nRecordingCoreListener(nOrvex* engine, nCallLog* log) : m_engine(engine), m_log(log)
{
    m_engine->AddCoreListener(this);
}

nRecordingCoreListener::~nRecordingCoreListener()
{
    m_engine->RemoveCoreListener(this);
}

int32_t nRecordingCoreListener::OnCoreEvent(int32_t code, nCoreEventRecord* record)
{
    nCoreEventRecord held = record ? *record : nCoreEventRecord();
    records.push_back(held);
    m_log->Add("core.Event(" + std::to_string(code) + ")" + Named("geometry", held.geometry) + Named("texture", held.texture) + Named("sound", held.sound) + (held.reserved ? " reserved" : ""));
    return 0;
}

nRecordingEventInterface::nRecordingEventInterface(nOrvex* engine, nCallLog* log) : m_engine(engine), m_log(log)
{
    m_engine->SetEventInterface(this);
}

nRecordingEventInterface::~nRecordingEventInterface()
{
    if (m_engine->GetEventInterface() == this) m_engine->SetEventInterface(0);
}

void nRecordingEventInterface::OnBegin()
{
    m_log->Add("engine.Begin");
}

void nRecordingEventInterface::OnProgress(const char* text, float value)
{
    m_log->Add(std::string("engine.Progress(") + (text ? text : "") + "," + FormatFloat(value) + ")");
}

void nRecordingEventInterface::OnEnd()
{
    m_log->Add("engine.End");
}

void nRecordingEventInterface::OnMessage(const char* text)
{
    m_log->Add(std::string("engine.Message(") + (text ? text : "") + ")");
}
