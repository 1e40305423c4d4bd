// The Texture and Sound functions through real Squirrel: the census against the manifest,
// durations in whole milliseconds (64-bit, rate 0), a texture's pixels uploaded whole at (0, 0)
// or the error line without them, the texture driven as a picture, video stream state and
// rewind from a script, and wrong kinds and null objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/mivox/mvx_Stream.h"
#include "render/nNull_Renderer.h"
#include "resources/nPictureFormat.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"
#include "resources/nTextureStreamInterface.h"
#include "script/nCObject.h"
#include "scriptapi/nSoundTextureScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

class UploadRenderer : public nNull_Renderer
{
public:
    explicit UploadRenderer(nRendererSlot* slot) : nNull_Renderer(slot, true) {}
    void UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height, int32_t x, int32_t y) override
    {
        uploads.push_back(std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(x) + "," +
                          std::to_string(y) + " first " + std::to_string(rgba[0]));
    }
    std::vector<std::string> uploads;
};

class SoundTextureAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        texture = new nTexture(&engine, 0, 0);
        texture->AddRef();
        bare = new nTexture(&engine, 0, 0);
        bare->AddRef();
        Hold("tex", texture, objectTypeTexture);
        Hold("bare", bare, objectTypeTexture);
        Hold("nullTexture", 0, objectTypeTexture);
        Hold("nullSound", 0, objectTypeSound);
        log.Clear();
    }
    void TearDown() override
    {
        nScriptAPITest::TearDown();
        texture->Release();
        bare->Release();
    }
    nSound* Sound(uint32_t frames, int32_t rate)
    {
        sounds.emplace_back(new nSound(&engine));
        sounds.back()->GetSamples().Allocate(frames, nSampleFormat(1, rate, 8));
        return sounds.back().get();
    }

    UploadRenderer renderer{&engine};
    nTexture* texture = 0;
    nTexture* bare = 0;
    std::vector<std::unique_ptr<nSound>> sounds;
};

TEST_F(SoundTextureAPI, CensusOfNamesAndConstantsAgainstTheManifest)
{
    std::vector<ManifestFunction> functions = ReadFunctionManifest("sound_texture_functions.tsv");
    std::vector<ManifestConstant> constants = ReadConstantManifest("sound_texture_constants.tsv");
    ASSERT_EQ(functions.size(), 5u);
    ASSERT_EQ(constants.size(), 3u);
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> added = NamesAddedBy(RegisterTextureScriptAPI);
    const std::vector<std::string> sound = NamesAddedBy(RegisterSoundScriptAPI);
    added.insert(added.end(), sound.begin(), sound.end());
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, expected) << "the families add exactly their names";

    std::vector<Function> registered;
    for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    for (const ManifestConstant& c : constants) {
        if (c.nullKind >= 0) continue;
        EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
    }
    ExpectEvals({{"typeof NullTexture", "instance"}, {"ObjectIsValid(NullTexture)", "false"}});
    // A null object as the first argument raises the frame's error.
    for (const ManifestFunction& f : functions) {
        const std::string object = f.name.rfind("Sound", 0) == 0 ? "nullSound" : "nullTexture";
        const std::string call = f.name + "(" + object + (f.mask == ".xi" ? ", 0)" : ")");
        EXPECT_EQ(Run(call), "CObject is null") << call;
    }
}

TEST_F(SoundTextureAPI, DurationsInWholeMilliseconds)
{
    struct Case
    {
        uint32_t frames;
        int32_t rate;
        const char* ms;
    };
    const Case cases[] = {
        {24000, 48000, "500"}, {100, 48000, "2"}, {0, 48000, "0"}, {44100u * 600, 44100, "600000"}, {48000u * 90, 48000, "90000"},  // frames x 1000 passes 32 bits
        {1000, 0, "0"},                                                                                                             // no rate, no duration
    };
    for (const Case& c : cases) {
        Hold("s", Sound(c.frames, c.rate), objectTypeSound);
        EXPECT_EQ(Eval("SoundGetDuration(s)"), c.ms) << c.frames << " frames at " << c.rate;
    }
    EXPECT_EQ(Run("SoundGetDuration(tex)"), "Expected 'Sound' got 'Texture'");
}

TEST_F(SoundTextureAPI, UpdateUploadsThePixelsOrSaysTheyAreMissing)
{
    ASSERT_TRUE(texture->Allocate(3, 2, PixelFormatRGBA8));
    texture->GetPixels()[0] = 77;
    Exec("TextureUpdate(tex)");
    EXPECT_EQ(renderer.uploads, Lines{"3x2 at 0,0 first 77"});
    Exec("TextureUpdate(bare)");
    EXPECT_EQ(log.Lines(), Lines{"[!] Cannot update texture, CPU-side data missing.\n"});
    EXPECT_EQ(renderer.uploads.size(), 1u);
}

TEST_F(SoundTextureAPI, TheTextureIsItsOwnPicture)
{
    ASSERT_TRUE(texture->Allocate(4, 4, PixelFormatRGBA8));
    ExpectEvals({{"typeof TextureGetPicture(tex)", "instance"},
                 {"ObjectIsValid(TextureGetPicture(tex))", "true"}});
    ASSERT_TRUE(Push("TextureGetPicture(tex)"));
    void* native = 0;
    EXPECT_TRUE(ScriptGetNativeObject(v, -1, &native, objectTypePicture));
    EXPECT_EQ(native, static_cast<void*>(static_cast<nPicture*>(texture)));
    sq_pop(v, 1);
}

TEST_F(SoundTextureAPI, ScriptsPauseAndRewindVideoStreams)
{
    std::string file;
    const char pack[] = {0, 0, 1, (char)0xBA, 0x21, 0, 1, 0, 1, (char)0x80, 0, 1};
    file.append(pack, sizeof pack);
    for (int i = 0; i < 3; ++i) file += std::string("\0\0\1\xBE\x03\xE8", 6) + std::string(1000, '\xFF');
    file += std::string("\0\0\1\xB9", 4);
    ASSERT_TRUE(nMLPutMemoryFile("clip.mpg", file));
    ASSERT_TRUE(texture->OpenStream("clip.mpg"));
    nTextureStreamInterface* output = texture->GetStreamInterface();
    ASSERT_NE(output, nullptr);
    Exec("TextureSetStreamState(tex, StreamPaused)");
    EXPECT_EQ(output->GetStreamState(), StreamPaused);
    Exec("TextureSetStreamState(tex, StreamPlaying)");
    EXPECT_EQ(output->GetStreamState(), StreamPlaying);
    ASSERT_EQ(output->GetStream()->GetState(), StreamEnded);
    Exec("TextureRewindStream(tex)");
    EXPECT_EQ(output->GetStream()->GetState(), StreamDecoding);
    Exec("TextureRewindStream(bare)");  // no stream: nothing
    Exec("TextureSetStreamState(bare, StreamPaused)");
    EXPECT_EQ(Run("TextureSetStreamState(tex, 0.5)"), "parameter 2 has an invalid type 'float' ; expected: 'integer'");
    EXPECT_EQ(Run("TextureRewindStream(nullSound)"), "Expected 'Texture' got 'Sound'");
}

}
