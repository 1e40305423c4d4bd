#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/nArrayList.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Lines;

// An entry that counts its destructor calls.
struct Entry : nArrayEntry
{
    explicit Entry(int* deaths) : deaths(deaths) {}
    ~Entry() override { ++*deaths; }
    int* deaths;
};

// order[0..count) and free[count..size) together name every slot exactly once.
void ExpectSlotsPartitioned(const nArrayIndex& a)
{
    std::vector<int> named(a.GetSize(), 0);
    for (uint32_t i = 0; i < a.GetCount(); ++i) {
        ASSERT_LT(a.GetOrder()[i], a.GetSize());
        ++named[a.GetOrder()[i]];
    }
    for (uint32_t i = a.GetCount(); i < a.GetSize(); ++i) {
        ASSERT_LT(a.GetFree()[i], a.GetSize());
        ++named[a.GetFree()[i]];
    }
    for (uint32_t s = 0; s < a.GetSize(); ++s) ASSERT_EQ(named[s], 1) << "slot " << s;
}

// After a resize: order[i] = free[i] = i.
void ExpectCompacted(const nArrayIndex& a)
{
    for (uint32_t i = 0; i < a.GetSize(); ++i) {
        EXPECT_EQ(a.GetOrder()[i], i);
        EXPECT_EQ(a.GetFree()[i], i);
    }
}

std::vector<nArrayEntry*> Contents(const nArrayList& list)
{
    std::vector<nArrayEntry*> out;
    for (uint32_t i = 0; i < list.GetCount(); ++i) out.push_back(list.Get(i));
    return out;
}

TEST(nArrayList, AddGrowsAFullListTo2SizePlus4)
{
    int deaths = 0;
    nArrayList list(4);
    std::vector<nArrayEntry*> added;
    for (int i = 0; i < 4; ++i) {
        added.push_back(new Entry(&deaths));
        ASSERT_TRUE(list.Add(added.back(), false));
    }
    EXPECT_EQ(list.GetSize(), 4u);
    Entry refused(&deaths);
    EXPECT_FALSE(list.Add(&refused, false));  // full and may not grow
    EXPECT_EQ(list.GetCount(), 4u);
    EXPECT_EQ(list.GetSize(), 4u);

    added.push_back(new Entry(&deaths));
    ASSERT_TRUE(list.Add(added.back(), true));
    EXPECT_EQ(list.GetSize(), 12u);
    EXPECT_EQ(Contents(list), added);
    ExpectSlotsPartitioned(list);
}

TEST(nArrayList, InsertIntoAClearedListGrowsTo4)
{
    int deaths = 0;
    nArrayList list(8);
    list.Add(new Entry(&deaths), true);
    list.Clear(true);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(list.GetSize(), 0u);
    EXPECT_EQ(list.GetCount(), 0u);

    Entry* e = new Entry(&deaths);
    EXPECT_FALSE(list.Insert(e, 0, false));  // no room and may not grow
    ASSERT_TRUE(list.Insert(e, 0, true));
    EXPECT_EQ(list.GetSize(), 4u);
    EXPECT_EQ(list.Get(0), e);
}

TEST(nArrayList, InsertGrowsAFullListToTwiceItsSize)
{
    int deaths = 0;
    nArrayList list(3);
    std::vector<nArrayEntry*> expected;
    for (int i = 0; i < 3; ++i) {
        expected.push_back(new Entry(&deaths));
        list.Add(expected.back(), false);
    }
    Entry* front = new Entry(&deaths);
    ASSERT_TRUE(list.Insert(front, 0, true));
    expected.insert(expected.begin(), front);
    EXPECT_EQ(list.GetSize(), 6u);
    EXPECT_EQ(Contents(list), expected);
    Entry* middle = new Entry(&deaths);
    ASSERT_TRUE(list.Insert(middle, 2, false));
    expected.insert(expected.begin() + 2, middle);
    Entry* back = new Entry(&deaths);
    ASSERT_TRUE(list.Insert(back, list.GetCount(), false));  // at the count: appends
    expected.push_back(back);
    EXPECT_EQ(Contents(list), expected);
    ExpectSlotsPartitioned(list);
}

TEST(nArrayList, InsertPastTheCountIsRefused)
{
    int deaths = 0;
    nArrayList list(4);
    Entry* a = new Entry(&deaths);
    list.Add(a, false);
    Entry outsider(&deaths);
    nLogCapture cap;
    for (uint32_t index : {2u, 3u, 100u, 0xffffffffu}) {
        cap.Clear();
        EXPECT_FALSE(list.Insert(&outsider, index, true)) << index;
        EXPECT_EQ(cap.Lines(), (Lines{"[!] Cannot insert past the end of the array.\n"}));
    }
    EXPECT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetSize(), 4u);
    EXPECT_EQ(list.Get(0), a);
    ExpectSlotsPartitioned(list);
}

TEST(nArrayList, GetPastTheCountWarns)
{
    int deaths = 0;
    nArrayList list(4);
    list.Add(new Entry(&deaths), false);
    nLogCapture cap;
    EXPECT_NE(list.Get(0), nullptr);
    EXPECT_TRUE(cap.Lines().empty());
    EXPECT_EQ(list.Get(1), nullptr);  // a stale slot is not reachable
    EXPECT_EQ(list.Get(0xffffffffu), nullptr);
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Out of bound array access.\n", "[*] Out of bound array access.\n"}));
}

TEST(nArrayList, ResizeBelowTheCountIsRefused)
{
    int deaths = 0;
    nArrayList list(8);
    std::vector<nArrayEntry*> added;
    for (int i = 0; i < 5; ++i) {
        added.push_back(new Entry(&deaths));
        list.Add(added.back(), false);
    }
    Entry* detached = static_cast<Entry*>(added[1]);
    list.Detach(detached);
    added.erase(added.begin() + 1);
    nLogCapture cap;
    EXPECT_FALSE(list.Resize(3));
    EXPECT_EQ(cap.Lines(), (Lines{"[!] Cannot shrink array, too many entries.\n"}));
    EXPECT_EQ(list.GetSize(), 8u);
    EXPECT_EQ(Contents(list), added);
    ExpectSlotsPartitioned(list);

    EXPECT_TRUE(list.Resize(4));  // exactly the count
    EXPECT_EQ(list.GetSize(), 4u);
    EXPECT_EQ(Contents(list), added);
    ExpectCompacted(list);
    EXPECT_TRUE(list.Resize(4));  // the same size: nothing
    delete detached;
}

TEST(nArrayList, ResizeCompactsInLogicalOrder)
{
    int deaths = 0;
    nArrayList list(6);
    std::vector<nArrayEntry*> expected;
    for (int i = 0; i < 6; ++i) {
        expected.push_back(new Entry(&deaths));
        list.Add(expected.back(), false);
    }
    list.Remove(expected[0], true);  // 6 of 6: no shrink; enlarges to 64 only when under half
    expected.erase(expected.begin());
    Entry* e = new Entry(&deaths);
    list.Insert(e, 1, false);  // reuses the freed slot out of order
    expected.insert(expected.begin() + 1, e);
    ASSERT_TRUE(list.Resize(10));
    EXPECT_EQ(Contents(list), expected);
    ExpectCompacted(list);
}

TEST(nArrayList, RemovalFirstResizesAListUnderHalfFull)
{
    struct Case
    {
        uint32_t size;
        uint32_t count;
        uint32_t after;
    };
    for (const Case& c : {Case{256, 100, 128}, Case{16, 3, 64}, Case{64, 10, 64}, Case{256, 128, 256},
                          Case{128, 63, 64}, Case{4, 1, 64}, Case{8, 4, 8}}) {
        SCOPED_TRACE(testing::Message() << c.size << "/" << c.count);
        int deaths = 0;
        nArrayList list(c.size);
        std::vector<nArrayEntry*> added;
        for (uint32_t i = 0; i < c.count; ++i) {
            added.push_back(new Entry(&deaths));
            list.Add(added.back(), false);
        }
        ASSERT_TRUE(list.Remove(added[c.count / 2], true));
        added.erase(added.begin() + c.count / 2);
        EXPECT_EQ(list.GetSize(), c.after);
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(Contents(list), added);
        ExpectSlotsPartitioned(list);
    }
}

TEST(nArrayList, DetachKeepsTheEntryAndRemoveDeletesIt)
{
    int deaths = 0;
    nArrayList list(4);
    Entry* a = new Entry(&deaths);
    Entry* b = new Entry(&deaths);
    Entry* c = new Entry(&deaths);
    for (Entry* e : {a, b, c}) list.Add(e, false);
    EXPECT_TRUE(list.Detach(b));
    EXPECT_FALSE(list.Detach(b));
    EXPECT_EQ(deaths, 0);
    EXPECT_FALSE(list.Remove(b, true));  // not in the list: not deleted
    EXPECT_EQ(deaths, 0);
    EXPECT_TRUE(list.Remove(a, false));
    EXPECT_EQ(deaths, 0);
    EXPECT_TRUE(list.Remove(c, true));
    EXPECT_EQ(deaths, 1);
    EXPECT_FALSE(list.Remove(nullptr, true));
    EXPECT_EQ(list.GetCount(), 0u);
    delete a;
    delete b;
}

TEST(nArrayList, ClearAndDestructorDeleteEachListedEntryOnce)
{
    int deaths = 0;
    std::vector<Entry*> kept;
    {
        nArrayList list(2);
        for (int i = 0; i < 5; ++i) {
            kept.push_back(new Entry(&deaths));
            list.Add(kept.back(), true);
        }
        list.Clear(false);  // the caller keeps the entries
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(list.GetSize(), 0u);
        EXPECT_EQ(list.GetCount(), 0u);

        Entry* detached = new Entry(&deaths);
        list.Add(detached, true);
        for (int i = 0; i < 3; ++i) list.Add(new Entry(&deaths), true);
        list.Detach(detached);  // its slot still holds the pointer
        delete detached;
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 4);  // only the three listed entries
    for (Entry* e : kept) delete e;

    nArrayList list(4);
    for (int i = 0; i < 3; ++i) list.Add(new Entry(&deaths), true);
    list.Clear(true);
    EXPECT_EQ(deaths, 12);
}

// Random Add, Insert, Remove and Detach against a std::vector model. After every step the
// logical order matches the model, the slots are partitioned, and every entry that left the
// list by Remove with delete has been destroyed exactly once.
TEST(nArrayList, BehavesLikeAVectorUnderRandomOperations)
{
    for (uint32_t seed : {1u, 2u, 3u, 77u, 8269u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        auto pick = [&](uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); };
        int deaths = 0;
        int expectedDeaths = 0;
        std::vector<Entry*> detached;  // owned by the test once detached
        nLogCapture cap;
        {
            nArrayList list(pick(3) * 4);
            std::vector<nArrayEntry*> model;
            int shrinks = 0;
            for (int step = 0; step < 4000; ++step) {
                uint32_t size = list.GetSize();
                uint32_t count = list.GetCount();
                ASSERT_EQ(count, model.size());
                // Phases of growth and of removal, so that lists both grow past 128 and shrink.
                bool removing = (step / 500) % 2 == 1;
                uint32_t op = pick(10);
                if (removing) op = op < 2 ? op : op < 3 ? 3
                                             : op < 9   ? 6
                                                        : 9;
                if (op < 3) {  // Add
                    bool grow = pick(4) != 0;
                    Entry* e = new Entry(&deaths);
                    bool ok = list.Add(e, grow);
                    ASSERT_EQ(ok, count < size || grow);
                    if (ok) model.push_back(e);
                    else delete e, ++expectedDeaths;
                    ASSERT_EQ(list.GetSize(), count < size ? size : grow ? 2 * size + 4
                                                                         : size);
                } else if (op < 6) {  // Insert, sometimes past the end
                    bool grow = pick(4) != 0;
                    uint32_t index = pick(count + 3);
                    Entry* e = new Entry(&deaths);
                    bool ok = list.Insert(e, index, grow);
                    ASSERT_EQ(ok, index <= count && (count < size || grow));
                    if (ok) model.insert(model.begin() + index, e);
                    else delete e, ++expectedDeaths;
                    uint32_t grown = size ? 2 * size : 4;
                    ASSERT_EQ(list.GetSize(), index <= count && count == size && grow ? grown : size);
                } else if (op < 9) {  // Remove, with or without delete, sometimes absent
                    bool del = pick(2) != 0;
                    nArrayEntry* target = (count && pick(5)) ? model[pick(count)]
                                                             : (detached.empty() ? nullptr : detached[pick(detached.size())]);
                    bool present = target && std::find(model.begin(), model.end(), target) != model.end();
                    ASSERT_EQ(list.Remove(target, del), present);
                    uint32_t shrunk = count < size / 2 ? (size >= 128 ? size / 2 : 64) : size;
                    ASSERT_EQ(list.GetSize(), shrunk);
                    if (present) {
                        model.erase(std::find(model.begin(), model.end(), target));
                        if (del) ++expectedDeaths;
                        else detached.push_back(static_cast<Entry*>(target));
                    }
                } else if (count) {  // Detach
                    nArrayEntry* target = model[pick(count)];
                    ASSERT_TRUE(list.Detach(target));
                    model.erase(std::find(model.begin(), model.end(), target));
                    detached.push_back(static_cast<Entry*>(target));
                }
                ASSERT_EQ(Contents(list), model);
                ASSERT_EQ(deaths, expectedDeaths);
                ExpectSlotsPartitioned(list);
                if (HasFatalFailure()) return;
                if (list.GetSize() < size) ++shrinks;
            }
            EXPECT_GT(shrinks, 0);
            expectedDeaths += static_cast<int>(model.size());
        }
        EXPECT_EQ(deaths, expectedDeaths);  // the destructor deleted what was still listed
        for (Entry* e : detached) delete e;
        for (const std::string& line : cap.Lines())
            EXPECT_EQ(line, "[!] Cannot insert past the end of the array.\n");
    }
}

struct Key
{
    int v;
};

TEST(nArray, InsertsRemovesAndNeverDeletesItsElements)
{
    Key keys[40];
    nArray<Key*> array(16);
    EXPECT_EQ(array.GetSize(), 16u);
    std::vector<Key*> model;
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(array.Insert(&keys[i], i / 2, false));
        model.insert(model.begin() + i / 2, &keys[i]);
    }
    EXPECT_FALSE(array.Insert(&keys[16], 0, false));
    ASSERT_TRUE(array.Insert(&keys[16], 3, true));
    model.insert(model.begin() + 3, &keys[16]);
    EXPECT_EQ(array.GetSize(), 32u);
    ASSERT_TRUE(array.RemoveAt(0));
    model.erase(model.begin());
    ASSERT_TRUE(array.RemoveAt(array.GetCount() - 1));
    model.pop_back();
    for (uint32_t i = 0; i < model.size(); ++i) EXPECT_EQ(array.Get(i), model[i]);
    ExpectSlotsPartitioned(array);

    nLogCapture cap;
    EXPECT_FALSE(array.RemoveAt(array.GetCount()));
    EXPECT_EQ(array.Get(array.GetCount()), nullptr);
    EXPECT_FALSE(array.Insert(&keys[20], array.GetCount() + 1, true));
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Out of bound array access.\n", "[*] Out of bound array access.\n",
                                  "[!] Cannot insert past the end of the array.\n"}));
    EXPECT_EQ(array.GetCount(), model.size());
    // The keys live on the stack: destroying the array must not delete them (ASan checks).
}

TEST(nArray, ResizeKeepsLogicalOrder)
{
    Key keys[4];
    nArray<Key*> array(4);
    for (int i = 0; i < 4; ++i) array.Insert(&keys[i], 0, false);  // reversed
    array.RemoveAt(1);
    ASSERT_TRUE(array.Resize(3));
    ExpectCompacted(array);
    EXPECT_EQ(array.Get(0), &keys[3]);
    EXPECT_EQ(array.Get(1), &keys[1]);
    EXPECT_EQ(array.Get(2), &keys[0]);
    nLogCapture cap;
    EXPECT_FALSE(array.Resize(2));
    EXPECT_EQ(cap.Lines(), (Lines{"[!] Cannot shrink array, too many entries.\n"}));
}

}  // namespace
