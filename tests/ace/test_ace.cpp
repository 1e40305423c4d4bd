#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "ace/nACEManager.h"
#include "ace/nACEUnit.h"
#include "tests/support/nLogCapture.h"

namespace {

enum
{
    CodeToPosition = 0,
    CodeOffsetPosition = 1,
    CodeToAlpha = 5
};

// A unit with a small "to" vocabulary over three floats and an opacity, recording every
// slice it is handed. f is the share of the remaining way covered by a slice.
class FakeUnit : public nACEUnit
{
public:
    struct Call
    {
        int32_t code;
        float slice;
        float f;
    };

    bool ExecuteCommand(nACECommand* record, float slice) override
    {
        if (!record || slice == 0.0f) return nACEUnit::ExecuteCommand(record, slice);
        float f = slice / record->remaining;
        calls.push_back({record->code, slice, f});
        switch (record->code) {
            case CodeToPosition:
                for (int i = 0; i < 3; ++i) position[i] += (record->parameters[i] - position[i]) * f;
                return true;
            case CodeOffsetPosition:
                for (int i = 0; i < 3; ++i) position[i] += record->parameters[i] * (slice / record->duration);
                return true;
            case CodeToAlpha:
                alpha += (record->parameters[0] - alpha) * f;
                alpha = alpha < 0.0f ? 0.0f : (alpha > 1.0f ? 1.0f : alpha);
                return true;
            default:
                return nACEUnit::ExecuteCommand(record, slice);
        }
    }

    int32_t CountCalls(int32_t code) const
    {
        int32_t n = 0;
        for (const Call& c : calls) n += c.code == code;
        return n;
    }

    std::vector<Call> calls;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float alpha = 1.0f;
};

class ACE : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(manager.Define("toposition", CodeToPosition, 3));
        ASSERT_TRUE(manager.Define("offsetposition", CodeOffsetPosition, 3));
        ASSERT_TRUE(manager.Define("toalpha", CodeToAlpha, 1));
    }

    nACEManager manager;
    FakeUnit unit;
};

TEST_F(ACE, CompilerTable)
{
    struct Case
    {
        const char* text;
        int32_t records;
        const char* error;
    };
    const Case cases[] = {
        {"", 0, nullptr},
        {"  \t\r\n // only a comment\n /* and a block */ ", 0, nullptr},
        {"nop 1;", 2, nullptr},
        {"nop 1+nop 2;", 3, nullptr},
        {"nop /* c */ 1 // end of line\n ;", 2, nullptr},
        {"toalpha 1, 0.5 + nop 2; loop 0; next 0;", 7, nullptr},
        {"toposition 1, 0, 5, 0 + toalpha 1, 0; nop 0.5; loop 0; toposition 2, 0, 0, 0; "
         "toposition 2, 0, 5, 0; next 0;",
         13, nullptr},
        {"toposition 1, -2, 0,-3;", 2, nullptr},
        {"nop 1", -1, "[!] Mangled ACE command list.\n"},
        {"toalpha 1, 0", -1, "[!] Mangled ACE command list.\n"},
        {"toposition 1, 2, 3;", -1, "[!] ACE command 'toposition' takes 3 parameter(s), found 2.\n"},
        {"nop 1, 5;", -1, "[!] ACE command 'nop' takes 0 parameter(s), found 1.\n"},
        {"toposition 1, 2, 3, 4, 5;", -1, "[!] ACE compiled with 3 command parameter(s) maximum.\n"},
        {"to-position 1;", -1, "[!] Undefined ACE command 'to'.\n"},
        {"Nop 1;", -1, "[!] Undefined ACE command 'Nop'.\n"},
        {"nop 1;;", -1, "[!] Undefined ACE command ''.\n"},
        {"nop", -1, "[!] No duration for ACE command 'nop'.\n"},
        {"nop   // nothing after the name\n", -1, "[!] No duration for ACE command 'nop'.\n"},
        {"nop 1 x;", -1, "[!] Expected ',' in ACE list declaration.\n"},
        {"nop -1;", -1, "[!] Expected ',' in ACE list declaration.\n"},
        {"toalpha 1,", -1, "[!] Expected ACE command parameter following ','.\n"},
        {"toalpha 1,  /* gap */  ", -1, "[!] Expected ACE command parameter following ','.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        nLogCapture log;
        EXPECT_EQ(manager.CompileCommandList(c.text, &unit), c.records);
        if (c.error) {
            EXPECT_EQ(log.Lines(), std::vector<std::string>{c.error});
            EXPECT_TRUE(unit.IsCommandListDone());  // a failed list runs nothing
        } else {
            EXPECT_TRUE(log.Lines().empty());
            EXPECT_EQ(unit.GetCommandList().GetCount(), c.records);
            EXPECT_EQ(unit.IsCommandListDone(), c.records == 0);
        }
    }
}

TEST_F(ACE, RecordsOfAnAcceptedList)
{
    ASSERT_EQ(manager.CompileCommandList("toposition 0, 1.5, -2, 3.25 + nop 2; toalpha 0.5, 0.25;", &unit), 5);
    struct Expect
    {
        int32_t code;
        float duration;
        float p0, p1, p2;
    };
    const Expect expected[] = {
        {CodeToPosition, 0.001f, 1.5f, -2.0f, 3.25f},  // duration 0 is stored as 0.001
        {ACECommandNop, 2.0f, 0, 0, 0},
        {ACECommandGroupEnd, 0.0f, 0, 0, 0},
        {CodeToAlpha, 0.5f, 0.25f, 0, 0},
        {ACECommandGroupEnd, 0.0f, 0, 0, 0},
    };
    int i = 0;
    for (nACEUnit::Record* r = unit.GetCommandList().GetHead(); r; r = r->next, ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r->value.code, expected[i].code);
        EXPECT_FLOAT_EQ(r->value.duration, expected[i].duration);
        EXPECT_FLOAT_EQ(r->value.remaining, expected[i].duration);
        EXPECT_FLOAT_EQ(r->value.parameters[0], expected[i].p0);
        EXPECT_FLOAT_EQ(r->value.parameters[1], expected[i].p1);
        EXPECT_FLOAT_EQ(r->value.parameters[2], expected[i].p2);
    }
    EXPECT_EQ(unit.GetCurrentRecord(), unit.GetCommandList().GetHead());
}

TEST_F(ACE, NullTextIsRefusedAndLeavesTheUnitAlone)
{
    ASSERT_EQ(manager.CompileCommandList("nop 1;", &unit), 2);
    nLogCapture log;
    EXPECT_EQ(manager.CompileCommandList(nullptr, &unit), -1);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Cannot load a null command list.\n"});
    EXPECT_EQ(unit.GetCommandList().GetCount(), 2);
    EXPECT_FALSE(unit.IsCommandListDone());
}

TEST_F(ACE, RecompilingAndResettingDiscardTheOldList)
{
    ASSERT_EQ(manager.CompileCommandList("nop 1; nop 1;", &unit), 4);
    ASSERT_EQ(manager.CompileCommandList("toalpha 1, 0;", &unit), 2);
    nACEManager::Advance(&unit, 0.5f);
    EXPECT_EQ(unit.CountCalls(ACECommandNop), 0);
    EXPECT_FLOAT_EQ(unit.alpha, 0.5f);
    unit.ResetCommandList();
    EXPECT_TRUE(unit.IsCommandListDone());
    EXPECT_EQ(unit.GetCommandList().GetCount(), 0);
    nACEManager::Advance(&unit, 0.5f);
    EXPECT_FLOAT_EQ(unit.alpha, 0.5f);
}

TEST_F(ACE, ToPositionCoversAShareOfTheRemainingWayEachStep)
{
    ASSERT_EQ(manager.CompileCommandList("toposition 1, 10, 0, 0;", &unit), 2);
    const float expected[] = {2.5f, 5.0f, 7.5f, 10.0f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(unit.IsCommandListDone());
        nACEManager::Advance(&unit, 0.25f);
        EXPECT_FLOAT_EQ(unit.position[0], expected[i]) << "step " << i;
    }
    EXPECT_FLOAT_EQ(unit.calls[1].f, 1.0f / 3.0f);
    EXPECT_EQ(unit.calls.back().f, 1.0f);
    EXPECT_TRUE(unit.IsCommandListDone());
}

TEST_F(ACE, ToCommandsLandOnTargetUnderIrregularFrameTimes)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> frame(0.0005f, 0.09f);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        unit.calls.clear();
        unit.position[0] = unit.position[1] = unit.position[2] = 0.0f;
        unit.alpha = 1.0f;
        ASSERT_EQ(manager.CompileCommandList("toposition 0.7, 3, -2, 5 + toalpha 0.3, 0.2; toposition 0.45, -1, 4, 0.5;", &unit), 5);
        int steps = 0;
        bool nudged = false;
        while (!unit.IsCommandListDone() && steps < 10000) {
            nACEManager::Advance(&unit, frame(rng));
            ++steps;
            if (!nudged && unit.position[0] > 1.0f) {  // something else moves the value meanwhile
                unit.position[1] += 7.0f;
                nudged = true;
            }
        }
        ASSERT_TRUE(unit.IsCommandListDone());
        EXPECT_NEAR(unit.position[0], -1.0f, 1e-5f);
        EXPECT_NEAR(unit.position[1], 4.0f, 1e-5f);
        EXPECT_NEAR(unit.position[2], 0.5f, 1e-5f);
        EXPECT_NEAR(unit.alpha, 0.2f, 1e-6f);
        // Each command ends on a slice that covers its whole remaining way.
        int32_t whole = 0;
        for (const FakeUnit::Call& c : unit.calls) whole += c.f == 1.0f;
        EXPECT_EQ(whole, 3);
    }
}

TEST_F(ACE, OffsetPositionSpreadsAMoveOverItsDuration)
{
    ASSERT_EQ(manager.CompileCommandList("offsetposition 1, 4, 0, -2;", &unit), 2);
    for (float dt : {0.1f, 0.3f, 0.35f, 0.5f}) nACEManager::Advance(&unit, dt);
    EXPECT_NEAR(unit.position[0], 4.0f, 1e-5f);
    EXPECT_NEAR(unit.position[2], -2.0f, 1e-5f);
    EXPECT_TRUE(unit.IsCommandListDone());
}

TEST_F(ACE, AGroupLastsAsLongAsItsLongestCommandAndLeftoverTimeIsDropped)
{
    ASSERT_EQ(manager.CompileCommandList("toalpha 1, 0 + nop 3; toposition 1, 5, 0, 0;", &unit), 5);
    nACEManager::Advance(&unit, 2.5f);  // toalpha finishes, nop has 0.5 left
    EXPECT_FLOAT_EQ(unit.alpha, 0.0f);
    nACEManager::Advance(&unit, 2.5f);  // nop finishes; the remaining 2 s are not carried over
    EXPECT_FLOAT_EQ(unit.position[0], 0.0f);
    EXPECT_EQ(unit.CountCalls(CodeToAlpha), 1);
    EXPECT_EQ(unit.CountCalls(ACECommandNop), 2);
    nACEManager::Advance(&unit, 0.5f);
    EXPECT_FLOAT_EQ(unit.position[0], 2.5f);
    nACEManager::Advance(&unit, 0.5f);
    EXPECT_FLOAT_EQ(unit.position[0], 5.0f);
    EXPECT_TRUE(unit.IsCommandListDone());
}

TEST_F(ACE, AStepOfZeroMovesNothingAndFinishesNothing)
{
    ASSERT_EQ(manager.CompileCommandList("toposition 1, 10, 0, 0;", &unit), 2);
    for (float dt : {0.0f, -0.5f, NAN, INFINITY}) {
        nACEManager::Advance(&unit, dt);
        EXPECT_FLOAT_EQ(unit.position[0], 0.0f);
        EXPECT_FALSE(unit.IsCommandListDone());
        EXPECT_FLOAT_EQ(unit.GetCommandList().GetHead()->value.remaining, 1.0f);
    }
    nACEManager::Advance(&unit, 1.0f);
    EXPECT_FLOAT_EQ(unit.position[0], 10.0f);
}

TEST_F(ACE, ZeroDurationTakesTheShortestStep)
{
    unit.alpha = 0.0f;
    ASSERT_EQ(manager.CompileCommandList("toalpha 0, 0.5;", &unit), 2);
    nACEManager::Advance(&unit, 0.001f);
    EXPECT_FLOAT_EQ(unit.alpha, 0.5f);
    EXPECT_TRUE(unit.IsCommandListDone());
}

TEST_F(ACE, LoopNeverEndsAndRestoresTheLoopBody)
{
    ASSERT_EQ(manager.CompileCommandList("loop 0; nop 1; next 0;", &unit), 6);
    // A lap: one step on the "loop" group, four on the nop, one on the "next" group.
    for (int lap = 0; lap < 3; ++lap) {
        for (int step = 0; step < 6; ++step) {
            ASSERT_FALSE(unit.IsCommandListDone());
            nACEManager::Advance(&unit, 0.25f);
        }
        EXPECT_EQ(unit.CountCalls(ACECommandNop), 4 * (lap + 1));
        EXPECT_EQ(unit.GetCurrentRecord(), unit.GetCommandList().GetHead());
        EXPECT_EQ(unit.GetLoopStart(), unit.GetCommandList().GetHead());
    }
    EXPECT_EQ(unit.CountCalls(ACECommandLoop), 3);
    EXPECT_EQ(unit.CountCalls(ACECommandNext), 3);
}

TEST_F(ACE, LoopRestartsMovesThatCameBeforeIt)
{
    // Out of the loop once, then back and forth between two points.
    ASSERT_EQ(manager.CompileCommandList(
                  "toposition 1, 0, 5, 0; loop 0; toposition 2, 0, 0, 0; toposition 2, 0, 5, 0; next 0;", &unit),
              10);
    std::vector<float> ys;
    for (int i = 0; i < 40; ++i) {
        nACEManager::Advance(&unit, 0.5f);
        ys.push_back(unit.position[1]);
    }
    EXPECT_FALSE(unit.IsCommandListDone());
    EXPECT_FLOAT_EQ(ys[1], 5.0f);  // first move done after 1 s
    // Down in 4 steps, up in 4 steps, plus the "next" and "loop" steps between the laps.
    EXPECT_FLOAT_EQ(ys[2 + 1 + 3], 0.0f);
    EXPECT_FLOAT_EQ(ys[2 + 1 + 7], 5.0f);
    EXPECT_FLOAT_EQ(ys[2 + 1 + 8 + 2 + 3], 0.0f);
    EXPECT_FLOAT_EQ(ys[2 + 1 + 8 + 2 + 7], 5.0f);
}

TEST_F(ACE, NextWithoutLoopEndsTheList)
{
    ASSERT_EQ(manager.CompileCommandList("next 0; toalpha 1, 0;", &unit), 4);
    nACEManager::Advance(&unit, 0.1f);
    EXPECT_TRUE(unit.IsCommandListDone());
    nACEManager::Advance(&unit, 0.1f);
    EXPECT_FLOAT_EQ(unit.alpha, 1.0f);
}

TEST_F(ACE, BaseExecutesBuiltinsOnly)
{
    nLogCapture log;
    nACECommand groupEnd;
    groupEnd.code = ACECommandGroupEnd;
    EXPECT_TRUE(unit.nACEUnit::ExecuteCommand(&groupEnd, 0.1f));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[*] ACE unit is executing exec opcode (?!).\n"});
    EXPECT_FALSE(unit.nACEUnit::ExecuteCommand(nullptr, 0.1f));
    nACECommand nop;
    nop.code = ACECommandNop;
    EXPECT_FALSE(unit.nACEUnit::ExecuteCommand(&nop, 0.0f));
    EXPECT_TRUE(unit.nACEUnit::ExecuteCommand(&nop, 0.1f));
    nACECommand other;
    other.code = 42;
    EXPECT_TRUE(unit.nACEUnit::ExecuteCommand(&other, 0.1f));
}

TEST(ACEManager, DefineRules)
{
    nACEManager manager;
    struct Case
    {
        const char* name;
        int32_t code;
        int32_t count;
        bool ok;
        const char* error;
    };
    const Case cases[] = {
        {"fly", 0, 3, true, nullptr},
        {"fly", 9, 0, true, nullptr},  // appended; the first one still wins
        {"hide", -5, 0, false, "[!] Negative command codes are reserved.\n"},
        {"spin", 1, 4, false, "[!] ACE compiled with 3 command parameter(s) maximum.\n"},
        {"spin", 1, -1, false, "[!] ACE compiled with 3 command parameter(s) maximum.\n"},
        {"", 2, 0, false, "[!] Cannot define an ACE command without a name.\n"},
        {nullptr, 2, 0, false, "[!] Cannot define an ACE command without a name.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        nLogCapture log;
        EXPECT_EQ(manager.Define(c.name, c.code, c.count), c.ok);
        if (c.error) EXPECT_EQ(log.Lines(), std::vector<std::string>{c.error});
        else EXPECT_TRUE(log.Lines().empty());
    }
    ASSERT_NE(manager.FindDefine("fly"), nullptr);
    EXPECT_EQ(manager.FindDefine("fly")->GetCode(), 0);
    EXPECT_EQ(manager.FindDefine("fly")->GetParameterCount(), 3);
    EXPECT_EQ(manager.FindDefine("spin"), nullptr);
    ASSERT_NE(manager.FindDefine("next"), nullptr);
    EXPECT_EQ(manager.FindDefine("next")->GetCode(), ACECommandNext);

    FakeUnit unit;  // an empty name never matches a definition
    nLogCapture log;
    EXPECT_EQ(manager.CompileCommandList(";", &unit), -1);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Undefined ACE command ''.\n"});
}

}
