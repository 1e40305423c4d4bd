#include <gtest/gtest.h>

#include "core/nSharedObject.h"

namespace {

// Counts destructor calls so tests can see exactly when the last release deletes.
struct Counted : nSharedObject
{
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
    nSharedPtr<Counted> held;  // a reference this object owns on another one
};

struct Derived : Counted
{
    using Counted::Counted;
};

TEST(nSharedPtr, CountsHoldersAndDeletesOnLastRelease)
{
    int deaths = 0;
    Counted* obj = new Counted(&deaths);
    EXPECT_EQ(obj->GetRefCount(), 0);
    {
        nSharedPtr<Counted> a(obj);
        EXPECT_EQ(obj->GetRefCount(), 1);
        {
            nSharedPtr<Counted> b(a);
            nSharedPtr<Counted> c;
            c = a;
            EXPECT_EQ(obj->GetRefCount(), 3);
            EXPECT_TRUE(c.IsValid());
        }
        EXPECT_EQ(obj->GetRefCount(), 1);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(nSharedPtr, NullTargetIsNeverCounted)
{
    nSharedPtr<Counted> empty;
    nSharedPtr<Counted> fromNull(static_cast<Counted*>(nullptr));
    nSharedPtr<Counted> copy(empty);
    EXPECT_FALSE(empty.IsValid());
    EXPECT_FALSE(fromNull.IsValid());
    EXPECT_FALSE(copy.IsValid());
    copy.Release();
    EXPECT_FALSE(copy.IsValid());
}

TEST(nSharedPtr, AssigningTheSameTargetKeepsTheCount)
{
    int deaths = 0;
    nSharedPtr<Counted> a(new Counted(&deaths));
    nSharedPtr<Counted> b(a);
    a = b;  // same target: nothing
    a = a;
    a = a.Get();
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(deaths, 0);
}

TEST(nSharedPtr, ReassignmentToATargetOwnedOnlyByTheOldOneKeepsItAlive)
{
    int oldDeaths = 0, newDeaths = 0;
    Counted* parent = new Counted(&oldDeaths);
    Counted* child = new Counted(&newDeaths);
    parent->held = child;  // the parent is the child's only holder
    nSharedPtr<Counted> p(parent);
    ASSERT_EQ(child->GetRefCount(), 1);

    p = parent->held;  // releases the parent, which releases its hold on the child
    EXPECT_EQ(oldDeaths, 1);
    EXPECT_EQ(newDeaths, 0);
    ASSERT_EQ(p.Get(), child);
    EXPECT_EQ(child->GetRefCount(), 1);

    p = static_cast<Counted*>(nullptr);
    EXPECT_EQ(newDeaths, 1);
}

TEST(nSharedPtr, RawAssignmentToATargetOwnedOnlyByTheOldOneKeepsItAlive)
{
    int oldDeaths = 0, newDeaths = 0;
    Counted* parent = new Counted(&oldDeaths);
    Counted* child = new Counted(&newDeaths);
    parent->held = child;
    nSharedPtr<Counted> p(parent);
    p = child;
    EXPECT_EQ(oldDeaths, 1);
    EXPECT_EQ(newDeaths, 0);
    EXPECT_EQ(child->GetRefCount(), 1);
}

TEST(nSharedPtr, ConvertsFromADerivedPointer)
{
    int deaths = 0;
    nSharedPtr<Derived> d(new Derived(&deaths));
    nSharedPtr<Counted> base(d);
    EXPECT_EQ(base.Get(), d.Get());
    EXPECT_EQ(d->GetRefCount(), 2);
    d.Release();
    EXPECT_EQ(deaths, 0);
    base.Release();
    EXPECT_EQ(deaths, 1);
}

TEST(nSharedObject, ACopyStartsWithoutHolders)
{
    int deaths = 0;
    nSharedPtr<Counted> a(new Counted(&deaths));
    Counted copy(*a);
    EXPECT_EQ(copy.GetRefCount(), 0);
    *a = copy;  // assignment leaves the target's holders alone
    EXPECT_EQ(a->GetRefCount(), 1);
}

}  // namespace
