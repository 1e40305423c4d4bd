#include "tests/scene/kit/nKitItem.h"

#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"

nKitItem::nKitItem(nScene* scene, int32_t kind, nCallLog* log)
    : nMItem(scene), m_node(scene ? scene->GetEngine() : 0), m_log(log)
{
    SetNode(&m_node, kind);
}

nKitItem::~nKitItem()
{
    RaiseOnDelete();
}

void nKitItem::Evaluate()
{
    if (m_log) m_log->Add(std::string("item.") + GetName().GetCStr() + ".Evaluate");
}

void nKitItem::UpdateTransform()
{
    if (m_log) m_log->Add(std::string("item.") + GetName().GetCStr() + ".UpdateTransform");
}

nKitItem* CreateKitItem(nScene* scene, const char* name, int32_t kind, nCallLog* log)
{
    scene->NotifyListeners(SceneEventItemCreating, 0);
    nKitItem* item = new nKitItem(scene, kind, log);
    scene->AddCreatedItem(item, name);
    return item;
}
