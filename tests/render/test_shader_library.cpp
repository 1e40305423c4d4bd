// The shader library: profiles, entries, includes (cycles refused), engine hooks, lookups and the
// references it holds, with the kit's renderer making recording shaders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nString.h"
#include "hub/nOrvex.h"
#include "render/nShader.h"
#include "render/nShaderLibrary.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

std::string Shader(const char* name, const char* vertex = "v", const char* pixel = "p")
{
    return std::string("<Shader=<Name=\"") + name + "\"><Vertex=\"" + vertex + "\"><Pixel=\"" + pixel + "\">>";
}

class ShaderLibraryTest : public ::testing::Test
{
protected:
    std::string Write(const char* file, const std::string& body)
    {
        dir.Write(file, "<NML=1.0>\n" + body + "\n");
        return dir.Path(file);
    }

    std::vector<std::string> Names(const nShaderLibrary& library)
    {
        std::vector<std::string> names;
        for (int32_t i = 0; i < library.GetCount(); ++i) names.push_back(library.GetAt(i)->GetName().GetCStr());
        return names;
    }

    ShaderLibraryTest() { renderer.makeShaders = true; }

    nTempDir dir;
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls, false};
};

TEST_F(ShaderLibraryTest, LoadsEveryCompleteShaderOfTheProfileInOrderAndCountsThem)
{
    const std::string path = Write("lib.nml", "<Other=" + Shader("other") + ">\n<GLSL_Deferred=" + Shader("a", "va", "pa") +
                                                  "<Shader=<Name=\"no pixel\"><Vertex=\"v\">>" + "<Note=1>" +
                                                  Shader("b") + ">");
    nShaderLibrary library(&renderer);
    nLogCapture log;
    ASSERT_TRUE(library.Load(path.c_str(), "GLSL_Deferred;"));
    EXPECT_EQ(Names(library), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"2 shader in library '" + path + "'.\n"}));
    nRecordingShader* a = static_cast<nRecordingShader*>(library.Find("a"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->vertex, "va");
    EXPECT_EQ(a->pixel, "pa");
    EXPECT_EQ(library.Find("A"), nullptr);
    EXPECT_EQ(library.Find("other"), nullptr);

    // A second load adds to what is there; the count line gives the whole library.
    log.Clear();
    ASSERT_TRUE(library.Load(path.c_str(), "Other;"));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"3 shader in library '" + path + "'.\n"}));
}

TEST_F(ShaderLibraryTest, ProfileFaultsAreRefusedWithTheirLine)
{
    struct Case
    {
        const char* what;
        std::string body;
        const char* profile;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"missing profile", "<Other=" + Shader("a") + ">", "GLSL_Deferred;", "[!] profile 'GLSL_Deferred;' not found.\n"},
        {"profile holding a value", "<GLSL_Deferred=5>", "GLSL_Deferred;", "[!] profile 'GLSL_Deferred;' empty.\n"},
        {"no profile looks up Default", "<Other=" + Shader("a") + ">", 0, "[!] profile 'Default' not found.\n"},
    };
    for (const Case& c : cases) {
        const std::string path = Write("lib.nml", c.body);
        nShaderLibrary library(&renderer);
        nLogCapture log;
        EXPECT_FALSE(library.Load(path.c_str(), c.profile)) << c.what;
        EXPECT_EQ(log.Lines(), std::vector<std::string>{c.line}) << c.what;
        EXPECT_EQ(library.GetCount(), 0) << c.what;
    }
    nShaderLibrary library(&renderer);
    EXPECT_FALSE(library.Load(0, "GLSL_Deferred;"));
    const std::string path = Write("default.nml", "<Default=" + Shader("d") + ">");
    EXPECT_TRUE(library.Load(path.c_str(), 0));
    EXPECT_NE(library.Find("d"), nullptr);
}

TEST_F(ShaderLibraryTest, IncludesLoadInPlaceAndAFailingOneIsLoggedWhileTheRestLoads)
{
    Write("inner.nml", "<Lib=" + Shader("inner") + Shader("twin", "from inner") + ">");
    const std::string path = Write("outer.nml", "<P=" + Shader("first") + "<Include=<Uri=\"" + dir.Path("inner.nml") +
                                                    "\"><Tag=\"Lib;\">>" + "<Include=<Uri=\"" + dir.Path("none.nml") +
                                                    "\"><Tag=\"Lib;\">>" + "<Include=<Uri=\"no tag\">>" +
                                                    Shader("twin", "from outer") + ">");
    nShaderLibrary library(&renderer);
    nLogCapture log;
    ASSERT_TRUE(library.Load(path.c_str(), "P;"));
    EXPECT_EQ(Names(library), (std::vector<std::string>{"first", "inner", "twin", "twin"}));
    EXPECT_EQ(static_cast<nRecordingShader*>(library.Find("twin"))->vertex, "from inner");  // the first loaded
    const std::vector<std::string> lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "3 shader in library '" + dir.Path("inner.nml") + "'.\n");
    EXPECT_NE(log.Text().find("[!] Failed to include external shader library '" + dir.Path("none.nml") + "'."),
              std::string::npos);
    EXPECT_EQ(lines.back(), "4 shader in library '" + path + "'.\n");
}

TEST_F(ShaderLibraryTest, IncludeCyclesAreRefusedAndTheLoadEnds)
{
    // a includes b, b includes a again (spelt another way): the second visit of a is refused
    // with one line, everything else loads once.
    const std::string a = dir.Path("a.nml"), b = dir.Path("b.nml");
    const std::string aAgain = dir.Path(".") + "//a.nml";
    Write("a.nml", "<P=" + Shader("a1") + "<Include=<Uri=\"" + b + "\"><Tag=\"P;\">>" + Shader("a2") + ">");
    Write("b.nml", "<P=<Include=<Uri=\"" + aAgain + "\"><Tag=\"P;\">>" + Shader("b1") +
                       "<Include=<Uri=\"" + b + "\"><Tag=\"Q;\">>>\n<Q=" + Shader("q") + ">");
    nShaderLibrary library(&renderer);
    nLogCapture log;
    ASSERT_TRUE(library.Load(a.c_str(), "P;"));
    EXPECT_EQ(Names(library), (std::vector<std::string>{"a1", "b1", "q", "a2"}));  // another profile of b is no cycle
    const std::vector<std::string> refused = {
        "[!] Shader library '" + aAgain + "' includes its profile 'P;' again; the include is skipped.\n"};
    std::vector<std::string> errors;
    for (const std::string& line : log.Lines())
        if (line.compare(0, 4, "[!] ") == 0) errors.push_back(line);
    EXPECT_EQ(errors, refused);
}

int g_missingCalls = 0, g_readCalls = 0;
std::string g_redirect;
void RedirectMissing(void* path)
{
    ++g_missingCalls;
    static_cast<nString*>(path)->Set(g_redirect.c_str());
}
void CountRead(void* path) { ++g_readCalls; }

TEST_F(ShaderLibraryTest, TheMissingFileHookMayRedirectTheReadAndTheReadHookSeesTheFile)
{
    g_redirect = Write("found.nml", "<P=" + Shader("a") + ">");
    g_missingCalls = g_readCalls = 0;
    nShaderLibrary library(&renderer);
    library.SetFileHooks(RedirectMissing, CountRead);
    nLogCapture log;
    ASSERT_TRUE(library.Load(dir.Path("gone.nml").c_str(), "P;"));
    EXPECT_EQ(g_missingCalls, 1);
    EXPECT_EQ(g_readCalls, 1);
    EXPECT_EQ(log.Lines().back(), "1 shader in library '" + g_redirect + "'.\n");

    g_redirect = dir.Path("still gone.nml");
    EXPECT_FALSE(library.Load(dir.Path("gone.nml").c_str(), "P;"));
    EXPECT_EQ(g_missingCalls, 2);
    EXPECT_EQ(g_readCalls, 1);
}

TEST_F(ShaderLibraryTest, FailedProgramsStayFindableButMarkedAndTheLibraryHoldsOneReferenceEach)
{
    const std::string path = Write("lib.nml", "<P=" + Shader("good") + Shader("bad", "broken") + ">");
    {
        nShaderLibrary library(&renderer);
        ASSERT_TRUE(library.Load(path.c_str(), "P;"));
        ASSERT_NE(library.Find("bad"), nullptr);
        EXPECT_FALSE(library.Find("bad")->IsCompiled());
        EXPECT_TRUE(library.Find("good")->IsCompiled());
        nSharedPtr<nShader> kept(library.Find("good"));
        EXPECT_EQ(kept->GetRefCount(), 2);
        EXPECT_EQ(renderer.liveShaders, 2);
    }
    EXPECT_EQ(renderer.liveShaders, 0);

    // The null renderer makes no shaders: entries are skipped, the load still succeeds.
    nNull_Renderer null(&engine, false);
    nShaderLibrary library(&null);
    EXPECT_TRUE(library.Load(path.c_str(), "P;"));
    EXPECT_EQ(library.GetCount(), 0);
}

}
