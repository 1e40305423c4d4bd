// Video textures: an "mpg" texture opens a stream, keeps its picture (no MPEG video decoder
// exists), uploads only when a frame arrived, pauses, loops an ended stream that still has
// video to give, and closes its stream with the texture; frames in both formats land in the
// picture with red in byte 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/mivox/mvx_Stream.h"
#include "hub/nOrvex.h"
#include "render/nNull_Renderer.h"
#include "resources/nPictureFormat.h"
#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"
#include "resources/nTextureStreamInterface.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

class CountingRenderer : public nNull_Renderer
{
public:
    explicit CountingRenderer(nRendererSlot* slot) : nNull_Renderer(slot, true) {}
    void UpdateTexture(nTexture*, const uint8_t* rgba, int32_t width, int32_t height, int32_t x, int32_t y) override
    {
        ++updates;
        lastWidth = width;
        lastHeight = height;
        first = rgba ? std::vector<uint8_t>(rgba, rgba + 4) : std::vector<uint8_t>();
    }
    bool SetupTexture(nTexture*) override
    {
        ++setups;
        return true;
    }
    void FreeTexture(nTexture*) override { ++frees; }
    int32_t updates = 0, setups = 0, frees = 0, lastWidth = 0, lastHeight = 0;
    std::vector<uint8_t> first;
};

std::string B(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s += (char)v;
    return s;
}

// A program stream of video packets (MPEG-2 PES, no time stamps), long enough for many blocks.
std::string VideoStream(int packets)
{
    std::string s = B({0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1});
    for (int i = 0; i < packets; ++i) s += B({0, 0, 1, 0xE0, 0x03, 0xEB, 0x80, 0, 0}) + std::string(1000, '\x42');
    return s + B({0, 0, 1, 0xB9});
}

class VideoTextureTest : public ::testing::Test
{
protected:
    nOrvex engine;
    CountingRenderer renderer{&engine};
};

TEST_F(VideoTextureTest, AnMpgTextureOpensAStreamAndKeepsItsPicture)
{
    ASSERT_TRUE(nMLPutMemoryFile("intro.mpg", VideoStream(40)));
    nTexture* texture = new nTexture(&engine, 0, 0);
    texture->AddRef();
    ASSERT_TRUE(texture->Allocate(2, 2, PixelFormatRGBA8));
    nLogCapture log;
    ASSERT_TRUE(SetTextureContent(&engine, texture, "intro.mpg"));
    const Lines lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Open texture stream interface: 'intro.mpg'\n");
    EXPECT_EQ(lines[1], "[H] Opening stream 'intro.mpg'.\n");
    EXPECT_EQ(lines[2], "SelectVideoDemuxer(): Using 'MPEG-PS demuxer'.\n");
    nTextureStreamInterface* output = static_cast<nTextureStreamInterface*>(texture->GetStreamInterface());
    ASSERT_NE(output, nullptr);
    mvx_Stream* stream = output->GetStream();
    ASSERT_NE(stream, nullptr);

    // No decoder: the stream ends without re-reading its file, nothing is uploaded, and the
    // texture keeps its size and pixels while frames go by.
    for (int frame = 0; frame < 100; ++frame) texture->UpdateStream(400);
    EXPECT_EQ(renderer.updates, 0);
    EXPECT_EQ(texture->GetWidth(), 2u);
    EXPECT_EQ(stream->GetState(), StreamEnded);
    EXPECT_TRUE(stream->IsVideoUndecodable());
    int warnings = 0;
    for (const std::string& line : log.Lines())
        warnings += line == "[*] (SelectVideoDecoder) Mivox built with no MPEG I/II video support.\n";
    EXPECT_EQ(warnings, 1);

    texture->Release();  // the texture takes its stream with it (ASan, LSan)
}

// A stream whose video side ends normally (no video packets at all) loops; paused, it stands still.
TEST_F(VideoTextureTest, PausedStreamsStandStillAndEndedOnesRewind)
{
    std::string empty = B({0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1});
    for (int i = 0; i < 3; ++i) empty += B({0, 0, 1, 0xBE, 0x03, 0xE8}) + std::string(1000, '\xFF');
    empty += B({0, 0, 1, 0xB9});
    ASSERT_TRUE(nMLPutMemoryFile("pad.mpg", empty));
    nLogCapture log;
    nTexture texture(&engine, 0, 0);
    ASSERT_TRUE(texture.OpenStream("pad.mpg"));
    nTextureStreamInterface* output = static_cast<nTextureStreamInterface*>(texture.GetStreamInterface());
    mvx_Stream* stream = output->GetStream();
    EXPECT_EQ(stream->GetState(), StreamEnded);  // the opening read it all
    const int32_t time = stream->GetVideoTime();

    texture.SetStreamState(StreamPaused);
    texture.UpdateStream(1000);
    EXPECT_EQ(stream->GetState(), StreamEnded);
    EXPECT_EQ(stream->GetVideoTime(), time);

    texture.SetStreamState(StreamPlaying);
    texture.UpdateStream(0);  // rewound, but no time passes
    EXPECT_EQ(stream->GetVideoTime(), time);
    texture.UpdateStream(100);
    EXPECT_NE(stream->GetVideoTime(), time);
    EXPECT_EQ(renderer.updates, 0);

    texture.CloseStream();
    EXPECT_EQ(texture.GetStreamInterface(), nullptr);
    texture.SetStreamState(StreamPaused);  // nothing without an interface
    texture.UpdateStream(400);
}

TEST_F(VideoTextureTest, FramesLandInThePictureAndUploadOnce)
{
    nLogCapture log;
    nTexture texture(&engine, 0, 0);
    nTextureStreamInterface* output = new nTextureStreamInterface(&texture);
    texture.SetStreamInterface(output);
    EXPECT_TRUE(output->Present());
    EXPECT_EQ(renderer.updates, 0);  // no frame yet: nothing to upload

    ASSERT_TRUE(output->SetFormat({1, 2, 1}));
    EXPECT_EQ(log.Lines(), Lines{"TextureStreamInterface::SetFormat(2, 1).\n"});
    EXPECT_EQ(texture.GetWidth(), 2u);
    EXPECT_TRUE(texture.TestFlag(TextureKeepPixels));
    EXPECT_TRUE(output->SetFormat({1, 2, 1}));  // the same: nothing again
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(renderer.setups, 1);

    const uint8_t r[2] = {10, 11}, g[2] = {20, 21}, b[2] = {30, 31};
    const uint8_t* planes[3] = {r, g, b};
    texture.GetPixels()[3] = 99;
    ASSERT_TRUE(output->PutFrame(planes));
    EXPECT_TRUE(output->FramePending());
    const uint8_t* p = texture.GetPixels();
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), (std::vector<uint8_t>{10, 20, 30, 99, 11, 21, 31, 0}));
    output->Present();
    output->Present();
    EXPECT_EQ(renderer.updates, 1);
    EXPECT_EQ(renderer.lastWidth, 2);
    EXPECT_EQ(renderer.first, (std::vector<uint8_t>{10, 20, 30, 99}));

    // Format 2: B, G, R, A in the picture becomes R, G, B, A.
    ASSERT_TRUE(output->SetFormat({2, 2, 1}));
    uint8_t* q = texture.GetPixels();
    const uint8_t bgra[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::copy(bgra, bgra + 8, q);
    ASSERT_TRUE(output->PutFrame(planes));
    EXPECT_EQ(std::vector<uint8_t>(q, q + 8), (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
}

}
