#include "ui/nEventTable.h"

#include <cstddef>

#include "core/nScriptObject.h"

namespace {
void ReleaseScriptObjects(nEventHandler& handler)
{
    delete handler.closure;
    delete handler.context;
    handler.closure = 0;
    handler.context = 0;
}
}

void nEventTable::SetHandler(int32_t id, nScriptObject* closure, nScriptObject* context)
{
    for (size_t i = 0; i < m_handlers.size(); ++i)
        if (m_handlers[i].id == id) {
            ReleaseScriptObjects(m_handlers[i]);
            m_handlers[i].closure = closure;
            m_handlers[i].context = context;
            return;
        }
    m_handlers.push_back(nEventHandler{id, closure, context});
}

const nEventHandler* nEventTable::Find(int32_t id) const
{
    for (size_t i = 0; i < m_handlers.size(); ++i)
        if (m_handlers[i].id == id)
            return &m_handlers[i];
    return 0;
}

void nEventTable::RemoveHandler(int32_t id)
{
    for (size_t i = 0; i < m_handlers.size(); ++i)
        if (m_handlers[i].id == id) {
            ReleaseScriptObjects(m_handlers[i]);
            m_handlers.erase(m_handlers.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
}

void nEventTable::Clear()
{
    std::vector<nEventHandler> handlers;
    handlers.swap(m_handlers);
    for (size_t i = 0; i < handlers.size(); ++i)
        ReleaseScriptObjects(handlers[i]);
}
