#ifndef N_EVENTTABLE_H
#define N_EVENTTABLE_H
// Script handlers of the user-interface events, attached to widgets and sprites.
#include <cstdint>
#include <vector>

class nScriptObject;

enum nUIEvent
{
    EventLeftMouseClick = 1,
    EventRightMouseClick = 2,
    EventMiddleMouseClick = 3,
    EventLeftMouseDown = 4,
    EventRightMouseDown = 5,
    EventMiddleMouseDown = 6,
    EventLeftMouseUp = 7,
    EventRightMouseUp = 8,
    EventMiddleMouseUp = 9,
    EventMouseEnter = 10,
    EventMouseLeave = 11,
    EventMouseMove = 12,
    EventMove = 13,
    EventShade = 14,
    EventUnshade = 15
};

// One handler: the closure called as handler(id, event) with context as 'this' (NULL: the
// root table). Both script objects are owned by the table.
struct nEventHandler
{
    int32_t id;
    nScriptObject* closure;
    nScriptObject* context;
};

class nEventTable
{
public:
    nEventTable() : m_sensitive(1) {}
    virtual ~nEventTable() { Clear(); }

    // Replaces the handler of that id (its old script objects deleted) or appends a new one.
    void SetHandler(int32_t id, nScriptObject* closure, nScriptObject* context);
    const nEventHandler* Find(int32_t id) const;
    void RemoveHandler(int32_t id);
    void Clear();
    void SetSensitive(int32_t sensitive) { m_sensitive = sensitive; }
    int32_t GetSensitive() const { return m_sensitive; }

private:
    nEventTable(const nEventTable&) = delete;
    nEventTable& operator=(const nEventTable&) = delete;

    int32_t m_sensitive;
    std::vector<nEventHandler> m_handlers;
};

#endif
