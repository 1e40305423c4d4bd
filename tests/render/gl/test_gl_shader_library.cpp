// The renderer's programs on the driver: the shader library beside the program loads at start-up
// with every program built, and a program that fails to build says so and is marked unusable.
#include <gtest/gtest.h>

#include <string>

#include "nGLRendererFixture.h"
#include "render/gl/nGL3Shader.h"
#include "render/nShaderLibrary.h"
#include "tests/support/nLogCapture.h"

namespace {

const char* const kVertex = "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
const char* const kPixel = "#version 120\nuniform float alpha_threshold;\nvoid main() { gl_FragColor = vec4(alpha_threshold); }\n";

TEST_F(nGLRendererTest, TheShaderLibraryIsLoadedAtStartUpAndEveryProgramInItBuilds)
{
    nShaderLibrary* library = renderer->GetShaderLibrary();
    ASSERT_NE(library, nullptr);
    ASSERT_GT(library->GetCount(), 0);
    for (int32_t i = 0; i < library->GetCount(); ++i) {
        nGL3Shader* shader = static_cast<nGL3Shader*>(library->GetAt(i));
        EXPECT_TRUE(shader->IsCompiled()) << shader->GetName().GetCStr();
        EXPECT_NE(shader->GetProgram(), 0u) << shader->GetName().GetCStr();
    }
    EXPECT_NE(library->Find("core::fog"), nullptr);

    // Closing frees the library with the context; opening again loads it again.
    renderer->Close();
    EXPECT_EQ(renderer->GetShaderLibrary(), nullptr);
    ASSERT_TRUE(renderer->Open(kWidth, kHeight, 32, 2));
    errors.Install();
    ASSERT_NE(renderer->GetShaderLibrary(), nullptr);
    EXPECT_TRUE(renderer->GetShaderLibrary()->Find("core::fog")->IsCompiled());
}

TEST_F(nGLRendererTest, AProgramThatFailsToBuildAnswersFalseAndIsMarkedUnusable)
{
    struct Case
    {
        const char* what;
        const char* vertex;
        const char* pixel;
    };
    const Case cases[] = {
        {"vertex does not compile", "#version 120\nvoid main() { gl_Position = nothing; }\n", kPixel},
        {"pixel does not compile", kVertex, "#version 120\nvoid main() { gl_FragColor = 1; }\n"},
        {"does not link", kVertex, "#version 120\nvec4 missing();\nvoid main() { gl_FragColor = missing(); }\n"},
    };
    for (const Case& c : cases) {
        nSharedPtr<nShader> shader(renderer->NewShader());
        ASSERT_TRUE(shader.IsValid());
        nLogCapture log;
        EXPECT_FALSE(shader->Compile("broken", c.vertex, c.pixel)) << c.what;
        EXPECT_FALSE(shader->IsCompiled()) << c.what;
        EXPECT_EQ(static_cast<nGL3Shader*>(shader.Get())->GetProgram(), 0u) << c.what;
        EXPECT_NE(log.Text().find("[!] Shader 'broken' failed to build; it is not used.\n"), std::string::npos)
            << c.what << ": " << log.Text();
    }

    // The same object builds again from good texts, with its cached locations.
    nSharedPtr<nShader> shader(renderer->NewShader());
    EXPECT_FALSE(shader->Compile("good", 0, kPixel));
    EXPECT_TRUE(shader->Compile("good", kVertex, kPixel));
    nGL3Shader* program = static_cast<nGL3Shader*>(shader.Get());
    EXPECT_NE(program->GetProgram(), 0u);
    EXPECT_NE(program->alphaThresholdUniform, -1);
    EXPECT_EQ(program->inverseBufferSizeUniform, -1);
    EXPECT_EQ(program->GetUniformLocation("alpha_threshold"), program->alphaThresholdUniform);
}

class FixedFunctionRenderer : public nGLRendererTest
{
    void ConfigureBeforeOpen(nGL3Renderer& r) override { r.SetSystemFlag(RendererSystemDisableShader, true); }
};

TEST_F(FixedFunctionRenderer, WithoutShadersThereIsNoLibraryAndNoProgram)
{
    EXPECT_EQ(renderer->GetShaderLibrary(), nullptr);
    EXPECT_EQ(renderer->NewShader(), nullptr);
}

}
