#ifndef N_EVALUATIONPREFETCH_H
#define N_EVALUATIONPREFETCH_H

#include <cstdint>

#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "core/nPrefetch.h"

// What each walk of the scene evaluation asks the cache for ahead of the item it works on.
// The items of a scene and what they point at lie far apart in memory, so a walk that waited
// for each in turn would be bound by memory latency. A walk asks in levels, each through
// pointers read at the level before: Ahead(item, level) for the item Step * (Levels - level)
// places ahead of the one being worked on. A level must arrive before the next one reads it,
// so the step is about a memory latency's worth of items: short where a walk does much per
// item, long where it does little. Only the cache is touched: none of this changes a result.
// Asking too far ahead costs too: on a machine of 1 MB of L2 a core, steps of 6 and 2 for the
// command and animation walks evaluated 10,000 items a fifth faster than steps of 8 and 3,
// and steps of 12 and 6 a third slower.
namespace nEvaluationPrefetch {

const int32_t kLevels = 4;
const int32_t kStepLight = 16;     // a few loads per item
const int32_t kStepMedium = 6;     // a matrix or a command per item
const int32_t kStepHeavy = 4;      // a handler call per item
const int32_t kStepAnimation = 2;  // animation mixing per item, through many levels

// Every item's previous world matrix := its world matrix, rebuilt first when stale.
struct PreviousWorldMatrices
{
    static const int32_t Step = kStepMedium;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        nItem* node = level > 0 ? item->GetItem() : 0;
        if (level == 0) item->Prefetch(MItemPrefetchNode);
        else if (level == 1 && node) node->Prefetch(ItemPrefetchWorld);
        else if (level == 2 && node && (node->GetFlags() & (ItemFlagLocalDirty | ItemFlagWorldDirty)))
            node->Prefetch(ItemPrefetchRebuild);
    }
};

// Dynamic bodies' matrices onto their items.
struct BodiesToItems
{
    static const int32_t Step = kStepLight;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        if (level == 0) item->Prefetch(MItemPrefetchBody);
        else if (level == 2 && item->GetPhysicItem()) nPrefetch(item->GetPhysicItem());
    }
};

// Command lists advanced: the current record and what a command on the node writes.
struct CommandLists
{
    static const int32_t Step = kStepMedium;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        nItem* node = level > 0 ? item->GetItem() : 0;
        if (level == 0) {
            item->PrefetchUnit();
            item->Prefetch(MItemPrefetchNode);
        } else if (level == 1) {
            item->PrefetchCurrentRecord();
            // Every node: a command on an ancestor marks it through the children's arrays.
            if (node) node->Prefetch(item->IsCommandListDone() ? 0u : (uint32_t)ItemPrefetchComponents);
        } else if (level == 2 && node) {
            node->Prefetch(ItemPrefetchChildren);
        }
    }
};

// The items' OnUpdate: the dispatcher and the units with their cached methods.
struct ItemUpdateEvents
{
    static const int32_t Step = kStepHeavy;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        if (level == 0) item->Prefetch(MItemPrefetchEvents);
        item->PrefetchUnits(level);
    }
};

// The fixed-rate logic: the units, to find the one with the logic method.
struct Logic
{
    static const int32_t Step = kStepLight;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        if (level == 0) nPrefetch(&item->GetScriptUnits());
        else if (level == 2 && item->GetScriptUnits().GetHead()) nPrefetch(item->GetScriptUnits().GetHead());
    }
};

// The interpolation between the last two logic states.
struct LogicInterpolation
{
    static const int32_t Step = kStepLight;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        if (level == 0) {
            nPrefetch(&item->GetScriptUnits());
            item->Prefetch(MItemPrefetchBody);
        }
    }
};

// Each kind's per-frame work (slot 6), and skinning: the item itself.
struct ItemWork
{
    static const int32_t Step = kStepLight;
    static const int32_t Levels = kLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        if (level == 0) nPrefetch(item);
    }
};
typedef ItemWork Skinning;

// The per-item update: animation player, billboard and transform hook.
struct ItemUpdates
{
    static const int32_t Step = kStepAnimation;
    static const int32_t Levels = nAnimationPlayer::kPrefetchLevels;
    static void Ahead(const nMItem* item, int32_t level)
    {
        nItem* node = level > 0 ? item->GetItem() : 0;
        if (level == 0) item->Prefetch(MItemPrefetchNode);
        else if (level == 1 && node) node->Prefetch(ItemPrefetchComponents);
        else if (level == 2 && node) node->Prefetch(ItemPrefetchChildren);
        item->PrefetchForUpdate(level);
    }
};

}

#endif
