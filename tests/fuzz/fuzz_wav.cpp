// Arbitrary bytes as a WAV file: read through the sample loader; samples that load must be whole
// frames of a usable format that fit in the file.
#include <cstdint>
#include <cstdlib>

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "resources/nSound.h"

namespace {

nIOMemoryFS* Files()
{
    static nIOMemoryFS* files = [] {
        g_log->SetMask(0);
        nIOMemoryFS* fs = new nIOMemoryFS();
        nIO::SetCurrentFS(fs);
        return fs;
    }();
    return files;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    nIOHandle* h = Files()->Open("in.wav", false, true, false);
    if (!h)
        abort();
    if (size && Files()->Write(h, data, int32_t(size)) != int32_t(size))
        abort();
    Files()->Close(h);

    nSound sound(nullptr);
    if (!nSound::LoadSample(&sound, "in.wav")) {
        if (sound.GetSamples().GetData())
            abort();
        return 0;
    }
    const nSampleBuffer& samples = sound.GetSamples();
    const nSampleFormat& format = samples.GetFormat();
    if (!samples.GetData() || format.channels <= 0 || format.rate <= 0 || format.bits == 0 ||
        format.bits % 8 != 0 || samples.GetByteSize() > size)
        abort();
    return 0;
}
