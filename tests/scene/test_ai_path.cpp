// AI paths: nodes from a motion's position channels, positions, closest points and times
// (pauses included), the scene's path list, its file tag and debug lines.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/nMatrix.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "scene/nAIPath.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"
#include "tests/support/nTempDir.h"

namespace {

typedef std::vector<std::string> Lines;
typedef std::vector<std::pair<float, float>> Keys;  // time, value

// The NML of one channel of linear keys ("t:v").
std::string Channel(const char* id, const Keys& keys)
{
    std::string text = std::string("<Channel= <Id=\"") + id + "\"> <Curve= <Knot= <Count=" + std::to_string(keys.size()) + ">";
    for (const auto& k : keys) text += " <Knot=\"" + std::to_string(k.first) + ":" + std::to_string(k.second) + "\">";
    return text + " > > >";
}

std::string Motion(const char* name, const Keys& x, const Keys& y, const Keys& z)
{
    std::string text = std::string("<Motion= <Id=\"") + name + "\"> ";
    if (!x.empty()) text += Channel("PositionX", x) + " ";
    if (!y.empty()) text += Channel("PositionY", y) + " ";
    if (!z.empty()) text += Channel("PositionZ", z) + " ";
    return text + ">";
}

// A path read from motion NML, its nodes built.
struct Path
{
    explicit Path(const std::string& motion) : path("")
    {
        path.GetMotion().Deserialize(&document, nMLParseRoot(document, motion.c_str()));
        built = path.BuildNodes();
    }
    std::vector<std::vector<float>> Nodes() const
    {
        std::vector<std::vector<float>> out;
        for (const nLinkedListEntry* e = path.GetNodes().GetHead(); e; e = e->GetNext()) {
            const nAIPathNode* n = static_cast<const nAIPathNode*>(e);
            out.push_back({n->time, n->x, n->y, n->z});
        }
        return out;
    }
    nMetaFile document;
    nAIPath path;
    bool built = false;
};

// x runs 0 -> 10 in the first second, waits at 10 until 2 s, then runs on to 20 at 3 s;
// y and z stay 0.
const Keys kPausedX = {{0, 0}, {1, 10}, {2, 10}, {3, 20}};
const Keys kZero = {{0, 0}};

TEST(AIPath, NodesAreTheUnionOfTheChannelsKeyTimesAtTheExactCurvePositions)
{
    Path p(Motion("walk", {{0, 0}, {2, 8}}, {{0, 1}, {1, 3}}, {{0, 0}, {1, -2}}));
    ASSERT_TRUE(p.built);
    // x at 1 s is half-way (4); y and z are held at their last keys after 1 s.
    EXPECT_EQ(p.Nodes(), (std::vector<std::vector<float>>{{0, 0, 1, 0}, {1, 4, 3, -2}, {2, 8, 3, -2}}));
    EXPECT_TRUE(p.path.GetName() == "walk");
}

TEST(AIPath, AMotionWithoutAPositionChannelHasNoNodesAndFailsClosestPointQueries)
{
    nLogCapture capture;
    Path p(Motion("flat", {{0, 0}, {1, 1}}, {{0, 0}}, {}));
    EXPECT_FALSE(p.built);
    EXPECT_TRUE(p.Nodes().empty());
    nVector out(7, 7, 7);
    float time = 5.0f;
    EXPECT_FALSE(p.path.GetClosestPoint(nVector(0, 0, 0), &out, &time));
    EXPECT_EQ(time, -1.0f);
    EXPECT_EQ(out.x, 7.0f);
    // Positions still come from the channels there are; z keeps the caller's value.
    nVector at(0, 0, 9);
    p.path.GetPosition(0.5f, at);
    EXPECT_FLOAT_EQ(at.x, 0.5f);
    EXPECT_EQ(at.z, 9.0f);
    EXPECT_EQ(capture.Lines(), (Lines{"[!] Cannot convert motion to channel (missing X, Y or Z component).\n",
                                      "[!] Failed to query closest point to path.\n"}));
}

struct PositionCase
{
    float time;
    float x;
};

TEST(AIPath, PositionsFollowTheMotionRepeatingAndWaitThroughAPause)
{
    Path p(Motion("paused", kPausedX, kZero, kZero));
    const PositionCase cases[] = {{0.0f, 0.0f}, {0.5f, 5.0f}, {1.5f, 10.0f}, {2.5f, 15.0f}, {3.0f, 20.0f}, {3.5f, 5.0f}, {7.0f, 10.0f}, {-0.5f, 15.0f}};
    for (const PositionCase& c : cases) {
        nVector at;
        p.path.GetPosition(c.time, at);
        EXPECT_NEAR(at.x, c.x, 1e-4f) << c.time;
        EXPECT_EQ(at.y, 0.0f) << c.time;
    }
}

struct ClosestCase
{
    const char* what;
    nVector point;
    nVector closest;
    float time;
};

// Worked by hand on the paused path (nodes at x = 0, 10, 10, 20 and times 0, 1, 2, 3).
TEST(AIPath, ClosestPointsAndTimesAroundAPause)
{
    Path p(Motion("paused", kPausedX, kZero, kZero));
    ASSERT_EQ(p.Nodes().size(), 4u);
    const ClosestCase cases[] = {
        {"before the start", nVector(-4, 3, 0), nVector(0, 0, 0), 0.0f},
        {"on the first leg", nVector(2.5f, 1, 0), nVector(2.5f, 0, 0), 0.25f},
        // Three segments meet the point at distance 3: the earliest, ending at 1 s, wins.
        {"at the pause", nVector(10, 3, 0), nVector(10, 0, 0), 1.0f},
        {"on the last leg", nVector(15, -2, 1), nVector(15, 0, 0), 2.5f},
        {"past the end", nVector(25, 0, 0), nVector(20, 0, 0), 3.0f},
    };
    for (const ClosestCase& c : cases) {
        nVector out;
        float time = 0.0f;
        ASSERT_TRUE(p.path.GetClosestPoint(c.point, &out, &time)) << c.what;
        EXPECT_NEAR(out.x, c.closest.x, 1e-5f) << c.what;
        EXPECT_NEAR(out.y, c.closest.y, 1e-5f) << c.what;
        EXPECT_NEAR(out.z, c.closest.z, 1e-5f) << c.what;
        EXPECT_NEAR(time, c.time, 1e-5f) << c.what;
    }
}

// A path that starts with a pause: its first segment has no length. Every later query must
// still find the true closest point, not a value that is not a number.
TEST(AIPath, AZeroLengthFirstSegmentDoesNotPoisonLaterQueries)
{
    Path p(Motion("wait first", {{0, 0}, {1, 0}, {2, 10}}, kZero, kZero));
    nVector out;
    float time = 0.0f;
    ASSERT_TRUE(p.path.GetClosestPoint(nVector(5, 1, 0), &out, &time));
    EXPECT_FLOAT_EQ(out.x, 5.0f);
    EXPECT_FLOAT_EQ(time, 1.5f);
    ASSERT_TRUE(p.path.GetClosestPoint(nVector(-1, 0, 0), &out, &time));
    EXPECT_FLOAT_EQ(out.x, 0.0f);
    EXPECT_FLOAT_EQ(time, 0.0f);  // the pause's own segment, the earliest at distance 1
}

TEST(AIPath, AQueryPointThatIsNotFiniteFailsWithItsLine)
{
    Path p(Motion("paused", kPausedX, kZero, kZero));
    nLogCapture capture;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const nVector& point : {nVector(nan, 0, 0), nVector(0, inf, 0)}) {
        float time = 4.0f;
        EXPECT_FALSE(p.path.GetClosestPoint(point, nullptr, &time));
        EXPECT_EQ(time, -1.0f);
    }
    EXPECT_EQ(capture.Lines(), (Lines{"[!] Failed to query closest point to path.\n",
                                      "[!] Failed to query closest point to path.\n"}));
}

TEST(AIPath, ASingleNodeFailsClosestPointQueriesWithTimeMinusOne)
{
    Path p(Motion("spot", {{0, 3}}, kZero, kZero));
    ASSERT_EQ(p.Nodes().size(), 1u);
    nLogCapture capture;
    float time = 0.0f;
    EXPECT_FALSE(p.path.GetClosestPoint(nVector(0, 0, 0), nullptr, &time));
    EXPECT_EQ(time, -1.0f);
    EXPECT_EQ(capture.Lines(), Lines{"[!] Failed to query closest point to path.\n"});
}

TEST(AIPath, ThePathMatrixPlacesPositionsAndClosestPointsInTheWorld)
{
    Path p(Motion("paused", kPausedX, kZero, kZero));
    p.path.SetMatrix(nMatrix4::Translation(nVector(10, 0, 0)));
    nVector at;
    p.path.GetPosition(0.0f, at);
    EXPECT_EQ(at.x, 10.0f);
    nVector out;
    float time = -5.0f;
    ASSERT_TRUE(p.path.GetClosestPoint(nVector(10, 0, 0), &out, &time));
    EXPECT_EQ(time, 0.0f);
    EXPECT_EQ(out.x, 10.0f);

    // Turned a quarter about y and lifted: path x runs along world -z.
    nMatrix4 turn;
    turn.Set(0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 5, 0, 1);
    p.path.SetMatrix(turn);
    p.path.GetPosition(2.5f, at);
    EXPECT_NEAR(at.x, 0.0f, 1e-5f);
    EXPECT_NEAR(at.y, 5.0f, 1e-5f);
    EXPECT_NEAR(at.z, -15.0f, 1e-5f);
    ASSERT_TRUE(p.path.GetClosestPoint(nVector(1, 5, -15), &out, &time));
    EXPECT_NEAR(time, 2.5f, 1e-5f);
    EXPECT_NEAR(out.x, 0.0f, 1e-5f);
    EXPECT_NEAR(out.z, -15.0f, 1e-5f);
}

const char kPathFile[] =
    "<Scene= <Paths=\n"
    "  <Motion= <Id=\"patrol\"> <Channel= <Id=\"PositionX\"> <Curve= <Knot= <Count=2> <Knot=\"0:0\"> <Knot=\"2:4\"> > > >\n"
    "           <Channel= <Id=\"PositionY\"> <Curve= <Knot= <Count=1> <Knot=\"0:0\"> > > >\n"
    "           <Channel= <Id=\"PositionZ\"> <Curve= <Knot= <Count=1> <Knot=\"0:1\"> > > > >\n"
    "  <Camera= <Id=\"stray\"> >\n"
    "  <Motion= <Id=\"guard\"> <Channel= <Id=\"PositionX\"> <Curve= <Knot= <Count=1> <Knot=\"0:0\"> > > > >\n"
    "> >\n";

TEST(ScenePaths, TheFileTagReadsEveryMotionWarnsOnceForAStrangerAndWritesBack)
{
    nTempDir dir;
    dir.Write("paths.nms", std::string("<NML=1.0>\n") + kPathFile);
    nKitScene k;
    nLogCapture capture;
    ASSERT_TRUE(k.scene->LoadFile(dir.Path("paths.nms").c_str(), nullptr, FlagLoadAll, 0));
    Lines warnings;
    for (const std::string& line : capture.Lines())
        if (line.compare(0, 4, "[*] ") == 0 || line.compare(0, 4, "[!] ") == 0) warnings.push_back(line);
    EXPECT_EQ(warnings, (Lines{"[*] Unexpected tag 'Camera' in <Paths>.\n",
                               "[!] Cannot convert motion to channel (missing X, Y or Z component).\n"}));
    ASSERT_EQ(k.scene->GetAIPaths().GetCount(), 2);
    nAIPath* patrol = k.scene->FindAIPath("patrol");
    ASSERT_NE(patrol, nullptr);
    EXPECT_EQ(patrol->GetNodes().GetCount(), 2);
    // "guard" lacks y and z: it stays, without nodes.
    ASSERT_NE(k.scene->FindAIPath("guard"), nullptr);
    EXPECT_EQ(k.scene->FindAIPath("guard")->GetNodes().GetCount(), 0);

    // Written and read back into another scene: the same paths, their nodes rebuilt.
    nMetaFile document;
    nMetaTag* written = k.scene->Serialize(&document, nullptr, FlagLoadAll);
    ASSERT_NE(written, nullptr);
    document.AddRoot(written);
    ASSERT_TRUE(document.Save(dir.Path("again.nms").c_str()));
    nKitScene back;
    ASSERT_TRUE(back.scene->LoadFile(dir.Path("again.nms").c_str(), nullptr, FlagLoadAll, 0));
    ASSERT_EQ(back.scene->GetAIPaths().GetCount(), 2);
    nAIPath* again = back.scene->FindAIPath("patrol");
    ASSERT_NE(again, nullptr);
    nVector at;
    again->GetPosition(1.0f, at);
    EXPECT_FLOAT_EQ(at.x, 2.0f);
    EXPECT_FLOAT_EQ(at.z, 1.0f);
    EXPECT_EQ(again->GetNodes().GetCount(), 2);

    // Without the path flag the tag is neither read nor written.
    nKitScene none;
    ASSERT_TRUE(none.scene->LoadFile(dir.Path("paths.nms").c_str(), nullptr, FlagLoadAll & ~FlagLoadPath, 0));
    EXPECT_EQ(none.scene->GetAIPaths().GetCount(), 0);
    nMetaFile bare;
    nMetaTag* noPaths = k.scene->Serialize(&bare, nullptr, FlagLoadAll & ~FlagLoadPath);
    EXPECT_EQ(noPaths->FindPath("Paths;"), nullptr);
    delete noPaths;
}

TEST(ScenePaths, LoadingAppendsEveryTimeAndFindingWarnsWhenAbsent)
{
    nTempDir dir;
    dir.Write("paths.nml", std::string("<NML=1.0>\n") + kPathFile);
    dir.Write("motions.nml", "<NML=1.0>\n<Scene= <Motions= " + Motion("lane", {{0, 0}, {1, 1}}, kZero, kZero) + " > >\n");
    dir.Write("empty.nml", "<NML=1.0>\n<Scene= <Items= > >\n");
    nKitScene k;
    nLogCapture capture;
    EXPECT_EQ(k.scene->FindAIPath("patrol"), nullptr);
    EXPECT_TRUE(k.scene->LoadAIPaths(dir.Path("paths.nml").c_str()));
    EXPECT_TRUE(k.scene->LoadAIPaths(dir.Path("paths.nml").c_str()));
    EXPECT_TRUE(k.scene->LoadAIPaths(dir.Path("motions.nml").c_str()));
    EXPECT_FALSE(k.scene->LoadAIPaths(dir.Path("empty.nml").c_str()));
    EXPECT_EQ(k.scene->GetAIPaths().GetCount(), 5);
    EXPECT_NE(k.scene->FindAIPath("lane"), nullptr);
    const std::string empty = dir.Path("empty.nml");
    // The file loader skips other children silently; "guard" still lacks two channels.
    EXPECT_EQ(capture.Lines(), (Lines{"[*] Could not find AI path 'patrol'.\n",
                                      "[!] Cannot convert motion to channel (missing X, Y or Z component).\n",
                                      "2 AI path(s) in world.\n",
                                      "[!] Cannot convert motion to channel (missing X, Y or Z component).\n",
                                      "4 AI path(s) in world.\n", "5 AI path(s) in world.\n",
                                      "[!] No AI path in '" + empty + "'.\n"}));
    // The content goes with the scene's other content.
    k.scene->DeleteContent(false);
    EXPECT_EQ(k.scene->GetAIPaths().GetCount(), 0);
}

TEST(ScenePaths, DebugDrawingCrossesEveryNodeButTheLastAndLinksTheSegments)
{
    nTempDir dir;
    dir.Write("paths.nml", "<NML=1.0>\n<Scene= <Paths= " + Motion("paused", kPausedX, kZero, kZero) + " > >\n");
    nKitScene k;
    ASSERT_TRUE(k.scene->LoadAIPaths(dir.Path("paths.nml").c_str()));
    k.scene->FindAIPath("paused")->SetMatrix(nMatrix4::Translation(nVector(0, 0, 5)));
    k.log.Clear();
    k.scene->DrawAIPaths(&k.renderer);
    // Three segments: a cross of three lines at each start and the segment itself.
    ASSERT_EQ(k.log.Containing("render.DrawLine").size(), 12u);
    const auto& lines = k.renderer.GetLines();
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[3].from.z, 5.0f);
    EXPECT_EQ(lines[3].to.x, 10.0f);
    EXPECT_EQ(lines[11].to.x, 20.0f);
    EXPECT_EQ(lines[0].from.x, -1.0f);
    EXPECT_EQ(lines[0].to.x, 1.0f);
}

}  // namespace
