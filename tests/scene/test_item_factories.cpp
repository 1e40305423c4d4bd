#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scene/nCamera.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTrigger.h"
#include "tests/scene/kit/nKitScene.h"

namespace {

typedef std::vector<std::string> Names;

class EventRecorder : public nSceneListener
{
public:
    void OnSceneEvent(int32_t code, void* data) override
    {
        std::string text = std::to_string(code);
        if (code == SceneEventItemCreated) text += ":" + std::string((*static_cast<nMItem**>(data))->GetName().GetCStr());
        events.push_back(text);
    }
    Names events;
};

TEST(ItemFactories, EveryKindIsBuiltListedAndNumberedInCreationOrder)
{
    struct Case
    {
        const char* name;
        int32_t kind;
        std::function<nMItem*(nScene*)> create;
        std::function<const nList<nMItem*>&(nScene*)> list;
    } cases[] = {
        {"camera", ManagedItemCamera, [](nScene* s) { return s->CreateCamera("camera"); },
         [](nScene* s) -> const nList<nMItem*>& { return s->GetCameras(); }},
        {"object", ManagedItemObject, [](nScene* s) { return s->CreateObject("object", nullptr); },
         [](nScene* s) -> const nList<nMItem*>& { return s->GetObjects(); }},
        {"light", ManagedItemLight, [](nScene* s) { return s->CreateLight("light", LightTypeSpot, 0.5f); },
         [](nScene* s) -> const nList<nMItem*>& { return s->GetLights(); }},
        {"trigger", ManagedItemTrigger, [](nScene* s) { return s->CreateTrigger("trigger"); },
         [](nScene* s) -> const nList<nMItem*>& { return s->GetTriggers(); }},
    };
    nKitScene k;
    EventRecorder recorder;
    k.scene->AddListener(&recorder);
    int32_t uid = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.events.clear();
        nMItem* item = c.create(k.scene);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(recorder.events, (Names{"1", std::string("2:") + c.name}));
        EXPECT_EQ(item->GetKind(), c.kind);
        EXPECT_EQ(item->GetName(), c.name);
        EXPECT_EQ(item->GetUid(), uid++);
        ASSERT_NE(item->GetItem(), nullptr);
        EXPECT_EQ(item->GetItem()->GetManagedItem(), item);
        EXPECT_EQ(c.list(k.scene).GetTail()->value, item);
        EXPECT_TRUE(k.scene->GetActiveItems().Contains(item));
    }
    k.scene->RemoveListener(&recorder);
}

TEST(ItemFactories, EveryKindLeavesItsListsWhenDeleted)
{
    nKitScene k;
    nMItem* items[] = {k.scene->CreateCamera("c"), k.scene->CreateObject("o", nullptr),
                       k.scene->CreateLight("l", LightTypePoint, 1.0f), k.scene->CreateTrigger("t")};
    for (nMItem* item : items) k.scene->QueueDeletion(item);
    k.scene->FlushDeletionQueue();
    EXPECT_EQ(k.scene->GetAllItems().GetCount(), 0);
    for (int32_t kind = ManagedItemCamera; kind <= ManagedItemTrigger; ++kind)
        EXPECT_EQ(k.scene->GetKindList(kind).GetCount(), 0) << kind;
}

}
