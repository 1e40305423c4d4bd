#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nLinkedList.h"
#include "tests/support/nLogCapture.h"

namespace {

// An entry with an id that counts its destructor calls.
struct Item : nLinkedListEntryId
{
    Item(const char* id, int* deaths) : nLinkedListEntryId(id), deaths(deaths) {}
    ~Item() override
    {
        if (deaths) ++*deaths;
    }
    int* deaths;
};

// Ids head to tail, checked against a walk tail to head and against the count.
std::vector<std::string> Ids(const nLinkedList& list)
{
    std::vector<std::string> forward;
    for (nLinkedListEntry* e = list.GetHead(); e; e = e->GetNext())
        forward.push_back(static_cast<Item*>(e)->GetId().GetCStr());
    std::vector<std::string> backward;
    for (nLinkedListEntry* e = list.GetTail(); e; e = e->GetPrev())
        backward.insert(backward.begin(), static_cast<Item*>(e)->GetId().GetCStr());
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(static_cast<int32_t>(forward.size()), list.GetCount());
    return forward;
}

typedef std::vector<std::string> Names;

TEST(nLinkedList, AddAtEitherEndAndNeverTwice)
{
    int deaths = 0;
    nLinkedListId list;
    Item* b = new Item("b", &deaths);
    EXPECT_EQ(list.Add(b, true, false), b);
    EXPECT_EQ(list.GetHead(), b);
    EXPECT_EQ(list.GetTail(), b);
    list.Add(new Item("c", &deaths), true, false);
    list.Add(new Item("a", &deaths), false, false);
    EXPECT_EQ(Ids(list), (Names{"a", "b", "c"}));

    EXPECT_EQ(list.Add(b, true, false), b);  // already in: unchanged
    EXPECT_EQ(list.Add(nullptr, true, false), nullptr);
    EXPECT_EQ(Ids(list), (Names{"a", "b", "c"}));
}

TEST(nLinkedList, InsertNextToAnAnchor)
{
    int deaths = 0;
    nLinkedListId list;
    Item* b = new Item("b", &deaths);
    list.Add(b, true, false);
    Item* a = new Item("a", &deaths);
    Item* d = new Item("d", &deaths);
    EXPECT_EQ(list.InsertBefore(a, b, false), a);  // before the head: new head
    EXPECT_EQ(list.InsertAfter(d, b, false), d);   // after the tail: new tail
    EXPECT_EQ(list.InsertAfter(new Item("c", &deaths), b, false)->GetNext(), d);
    EXPECT_EQ(list.InsertBefore(new Item("a2", &deaths), b, false)->GetPrev(), a);
    EXPECT_EQ(Ids(list), (Names{"a", "a2", "b", "c", "d"}));
    EXPECT_EQ(list.GetHead(), a);
    EXPECT_EQ(list.GetTail(), d);
}

TEST(nLinkedList, InsertRefusesPresentEntriesAndMissingArguments)
{
    int deaths = 0;
    nLinkedListId list;
    Item* a = new Item("a", &deaths);
    Item* b = new Item("b", &deaths);
    list.Add(a, true, false);
    list.Add(b, true, false);
    EXPECT_EQ(list.InsertBefore(b, a, false), nullptr);
    EXPECT_EQ(list.InsertAfter(a, b, false), nullptr);
    EXPECT_EQ(list.InsertBefore(nullptr, a, false), nullptr);
    EXPECT_EQ(list.InsertAfter(nullptr, a, false), nullptr);
    Item loose("x", nullptr);
    EXPECT_EQ(list.InsertBefore(&loose, nullptr, false), nullptr);
    EXPECT_EQ(list.InsertAfter(&loose, nullptr, false), nullptr);
    EXPECT_EQ(Ids(list), (Names{"a", "b"}));
}

TEST(nLinkedList, RemoveDetachesWithoutDeleting)
{
    int deaths = 0;
    nLinkedListId list;
    Item* items[4];
    for (int i = 0; i < 4; ++i) list.Add(items[i] = new Item(std::to_string(i).c_str(), &deaths), true, false);
    Item outsider("x", nullptr);
    EXPECT_FALSE(list.Remove(&outsider));
    EXPECT_FALSE(list.Remove(nullptr));
    for (int i : {1, 0, 3}) {  // middle, head, tail
        EXPECT_TRUE(list.Remove(items[i]));
        EXPECT_EQ(items[i]->GetPrev(), nullptr);
        EXPECT_EQ(items[i]->GetNext(), nullptr);
    }
    EXPECT_FALSE(list.Remove(items[1]));  // no longer there
    EXPECT_EQ(Ids(list), (Names{"2"}));
    EXPECT_EQ(deaths, 0);
    for (int i : {0, 1, 3}) delete items[i];
}

TEST(nLinkedList, RemoveAndDeleteHonoursNoDelete)
{
    int deaths = 0;
    nLinkedListId list;
    Item* a = new Item("a", &deaths);
    Item* b = new Item("b", &deaths);
    Item* c = new Item("c", &deaths);
    for (Item* i : {a, b, c}) list.Add(i, true, false);
    EXPECT_TRUE(list.RemoveAndDelete(a, true));
    EXPECT_EQ(deaths, 1);
    EXPECT_TRUE(list.RemoveAndDelete(b, false));  // not asked: kept
    EXPECT_EQ(deaths, 1);
    list.SetNoDelete(true);
    EXPECT_TRUE(list.RemoveAndDelete(c, true));  // no-delete list: kept
    EXPECT_EQ(deaths, 1);
    EXPECT_FALSE(list.RemoveAndDelete(c, true));
    EXPECT_EQ(list.GetCount(), 0);
    delete b;
    delete c;
}

TEST(nLinkedList, ClearDeletesOnlyWhenAskedAndAllowed)
{
    struct Case
    {
        bool noDelete;
        bool del;
        int deleted;
    };
    for (const Case& c : {Case{false, true, 3}, Case{false, false, 0}, Case{true, true, 0}, Case{true, false, 0}}) {
        SCOPED_TRACE(testing::Message() << "no_delete " << c.noDelete << " delete " << c.del);
        int deaths = 0;
        Item* items[3];
        {
            nLinkedListId list;
            list.SetNoDelete(c.noDelete);
            for (int i = 0; i < 3; ++i) list.Add(items[i] = new Item("e", &deaths), true, true);
            list.Clear(c.del);
            EXPECT_EQ(deaths, c.deleted);
            EXPECT_EQ(list.GetCount(), 0);
            EXPECT_EQ(list.GetHead(), nullptr);
            EXPECT_EQ(list.GetTail(), nullptr);
            if (c.deleted == 0) {
                // The entries survive and can join another list.
                nLinkedListId other;
                other.SetNoDelete(true);
                for (Item* i : items) EXPECT_EQ(other.Add(i, false, false), i);
                EXPECT_EQ(Ids(other), (Names{"e", "e", "e"}));
            }
        }
        EXPECT_EQ(deaths, c.deleted);  // the destructor of an empty list deletes nothing more
        if (c.deleted == 0)
            for (Item* i : items) delete i;
    }
}

TEST(nLinkedList, DestructorAndDeleteAllDeleteTheEntries)
{
    int deaths = 0;
    {
        nLinkedListId list;
        for (int i = 0; i < 3; ++i) list.Add(new Item("e", &deaths), true, true);
    }
    EXPECT_EQ(deaths, 3);
    nLinkedListId list;
    for (int i = 0; i < 2; ++i) list.Add(new Item("e", &deaths), false, true);
    list.DeleteAll();
    EXPECT_EQ(deaths, 5);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(nLinkedList, GetAtOutsideTheListLogsAnError)
{
    int deaths = 0;
    nLinkedListId list;
    for (const char* id : {"a", "b", "c"}) list.Add(new Item(id, &deaths), true, false);
    nLogCapture cap;
    EXPECT_EQ(list.GetAt(0), list.GetHead());
    EXPECT_EQ(list.GetAt(2), list.GetTail());
    EXPECT_TRUE(cap.Lines().empty());
    for (int32_t index : {3, 4, -1}) {
        cap.Clear();
        EXPECT_EQ(list.GetAt(index), nullptr);
        EXPECT_EQ(cap.Lines(), (Names{"[!] out of bound linked list access.\n"})) << index;
    }
}

TEST(nLinkedList, IteratingWhileDeletingVisitsEachOnceThenRestarts)
{
    int deaths = 0;
    nLinkedListId list;
    for (const char* id : {"a", "b", "c", "d"}) list.Add(new Item(id, &deaths), true, false);
    nLinkedListIterator it;
    Names seen;
    while (nLinkedListEntry* e = list.Iterate(it)) {
        Item* item = static_cast<Item*>(e);
        seen.push_back(item->GetId().GetCStr());
        if (item->GetId() != "d") list.RemoveAndDelete(item, true);
    }
    EXPECT_EQ(seen, (Names{"a", "b", "c", "d"}));
    EXPECT_EQ(deaths, 3);
    EXPECT_EQ(list.Iterate(it), list.GetHead());  // after the end: the head again
    EXPECT_EQ(list.Iterate(it), nullptr);
}

TEST(nLinkedListId, FindByIdReturnsTheFirstMatch)
{
    int deaths = 0;
    nLinkedListId list;
    Item* first = new Item("tex", &deaths);
    list.Add(new Item("geo", &deaths), true, false);
    list.Add(first, true, false);
    list.Add(new Item("tex", &deaths), true, false);
    nLogCapture cap;
    EXPECT_EQ(list.FindById("tex", true), first);
    EXPECT_EQ(list.FindById(nString("tex"), true), first);
    EXPECT_EQ(list.FindById(nString("geo"), false), list.GetHead());
    EXPECT_TRUE(cap.Lines().empty());
}

TEST(nLinkedListId, FindByIdMissWritesOneWarningWhenAsked)
{
    int deaths = 0;
    nLinkedListId list;
    list.Add(new Item("tex", &deaths), true, false);
    nLogCapture cap;
    EXPECT_EQ(list.FindById("te", false), nullptr);
    EXPECT_TRUE(cap.Lines().empty());
    EXPECT_EQ(list.FindById("texture", true), nullptr);
    EXPECT_EQ(list.FindById(nString("100%"), true), nullptr);
    EXPECT_EQ(cap.Lines(), (Names{"[*] LListID failed to find 'texture'.\n",
                                  "[*] LListID failed to find '100%'.\n"}));
}

TEST(nLinkedListId, EmptyIdsMatchEachOther)
{
    int deaths = 0;
    nLinkedListId list;
    Item* unnamed = new Item(nullptr, &deaths);
    list.Add(new Item("a", &deaths), true, false);
    list.Add(unnamed, true, false);
    nLogCapture cap;
    EXPECT_EQ(list.FindById(nullptr, true), unnamed);
    EXPECT_EQ(list.FindById("", true), unnamed);  // unset and empty-set ids are equal
    EXPECT_TRUE(cap.Lines().empty());
}

}  // namespace
