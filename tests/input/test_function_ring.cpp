// The function ring of every input device: newest value first, 8 kept, the bounce filter.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/nInterfaceFunction.h"

namespace {

// One step on a ring: push a value, pool one (with or without removal), seek a value, switch
// the filter, or reset; with the result expected (and the value pooled).
enum Op
{
    PushOp,
    PoolOp,
    PeekOp,
    SeekOp,
    FilterOp,
    ResetOp
};
struct Step
{
    Op op;
    int32_t value;
    bool result;
    int32_t out;
};

struct Case
{
    const char* name;
    std::vector<Step> steps;
};

const Case kCases[] = {
    {"pool gives the newest first, then false",
     {{PushOp, 1, true, 0}, {PushOp, 2, true, 0}, {PushOp, 3, true, 0}, {PoolOp, 0, true, 3}, {PoolOp, 0, true, 2}, {PoolOp, 0, true, 1}, {PoolOp, 0, false, 0}}},
    {"pooling without removal keeps the value",
     {{PushOp, 7, true, 0}, {PeekOp, 0, true, 7}, {PeekOp, 0, true, 7}, {PoolOp, 0, true, 7}, {PeekOp, 0, false, 0}}},
    {"nine pushes keep the newest eight",
     {{PushOp, 1, true, 0}, {PushOp, 2, true, 0}, {PushOp, 3, true, 0}, {PushOp, 4, true, 0}, {PushOp, 5, true, 0}, {PushOp, 6, true, 0}, {PushOp, 7, true, 0}, {PushOp, 8, true, 0}, {SeekOp, 1, true, 0}, {PushOp, 9, true, 0}, {SeekOp, 1, false, 0}, {SeekOp, 2, true, 0}, {SeekOp, 9, true, 0}, {PoolOp, 0, true, 9}, {PoolOp, 0, true, 8}, {PoolOp, 0, true, 7}, {PoolOp, 0, true, 6}, {PoolOp, 0, true, 5}, {PoolOp, 0, true, 4}, {PoolOp, 0, true, 3}, {PoolOp, 0, true, 2}, {PoolOp, 0, false, 0}}},
    {"seek looks at stored values only",
     {{SeekOp, 0, false, 0}, {PushOp, 0, true, 0}, {SeekOp, 0, true, 0}, {PoolOp, 0, true, 0}, {SeekOp, 0, false, 0}}},
    {"filter: a non-zero value after a non-zero one is refused",
     {{FilterOp, 1, true, 0}, {PushOp, 1, true, 0}, {PushOp, 1, false, 0}, {PushOp, 0, true, 0}, {PushOp, 1, true, 0}, {PushOp, 5, false, 0}, {PoolOp, 0, true, 1}, {PoolOp, 0, true, 0}, {PoolOp, 0, true, 1}, {PoolOp, 0, false, 0}}},
    {"filter off again accepts every value",
     {{FilterOp, 1, true, 0}, {PushOp, 1, true, 0}, {FilterOp, 0, true, 0}, {PushOp, 1, true, 0}, {PushOp, 1, true, 0}}},
    {"reset empties and switches the filter off",
     {{FilterOp, 1, true, 0}, {PushOp, 1, true, 0}, {ResetOp, 0, true, 0}, {PoolOp, 0, false, 0}, {PushOp, 1, true, 0}, {PushOp, 1, true, 0}}},
};

TEST(FunctionRing, TableOfPushesPoolsAndSeeks)
{
    for (const Case& c : kCases) {
        nInterfaceFunction ring;
        int index = 0;
        for (const Step& step : c.steps) {
            int32_t out = -99;
            bool result = true;
            switch (step.op) {
                case PushOp: result = ring.Push(step.value); break;
                case PoolOp: result = ring.Pool(&out, true); break;
                case PeekOp: result = ring.Pool(&out, false); break;
                case SeekOp: result = ring.Seek(step.value); break;
                case FilterOp: ring.SetFilter(step.value != 0); break;
                case ResetOp: ring.Reset(); break;
            }
            EXPECT_EQ(result, step.result) << c.name << ", step " << index;
            if ((step.op == PoolOp || step.op == PeekOp) && step.result) {
                EXPECT_EQ(out, step.out) << c.name << ", step " << index;
            }
            ++index;
        }
    }
}

TEST(FunctionRing, PoolWithoutOutputStillRemoves)
{
    nInterfaceFunction ring;
    ring.Push(4);
    ring.Push(5);
    EXPECT_TRUE(ring.Pool(0, true));
    int32_t out = 0;
    EXPECT_TRUE(ring.Pool(&out, true));
    EXPECT_EQ(out, 4);
    EXPECT_EQ(ring.GetCount(), 0);
}

}  // namespace
