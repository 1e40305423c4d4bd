#ifndef N_KITITEM_H
#define N_KITITEM_H

#include "scene/nItem.h"
#include "scene/nMItem.h"

class nCallLog;
class nScene;

// A managed item of any kind code with a plain transform node, whose kind hooks write
// "item.<name>.Evaluate" and "item.<name>.UpdateTransform" into the call log (none without
// a log).
class nKitItem : public nMItem
{
public:
    nKitItem(nScene* scene, int32_t kind, nCallLog* log);
    ~nKitItem() override;

    void Evaluate() override;
    void UpdateTransform() override;

    nItem& Node() { return m_node; }

private:
    nItem m_node;
    nCallLog* m_log;
};

// Creates a kit item the way the scene's factories do: listeners event 1, construction,
// then name, typed list, uid and event 2.
nKitItem* CreateKitItem(nScene* scene, const char* name, int32_t kind = ManagedItemObject, nCallLog* log = 0);

#endif
