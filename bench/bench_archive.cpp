// Reading every entry of an archive of 1000 zlib entries through the IO layer, against zlib's
// uncompress of the same stored data. Target: the archive path takes at most 1.2 times as long;
// BM_ArchiveReadAll reports that ratio as its "vs_uncompress" counter, both measured in thread CPU
// time in the same iterations.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/nArchive.h"
#include "core/nIO.h"
#include "core/nIOArchiveFS.h"
#include "core/nIOFile.h"
#include "core/nLog.h"

namespace {

const int kEntries = 1000;

class nQuietLog : public nLog
{
protected:
    void Write(const char*, size_t) override {}
};

// Text-like entries of 2 to 32 KB written to a temporary archive that the archive file system
// serves as the current file system; the stored (deflated) bytes are kept for the baseline.
struct ArchiveFixture
{
    std::vector<std::string> names;
    std::vector<std::string> packed;
    std::vector<uint32_t> lengths;
    std::string directory;
    std::string path;
    nIOArchiveFS fs;
    std::vector<char> out;

    ArchiveFixture()
    {
        static nQuietLog quiet;
        g_log = &quiet;
        char pattern[] = "/tmp/qz-bench-XXXXXX";
        if (!mkdtemp(pattern))
            abort();
        directory = pattern;
        path = directory + "/bench.qza";

        static const char* const words[] = {"scene ", "item ", "geometry ", "material ", "<Position=",
                                            "1.000000> ", "\n\t", "texture.tga ", "0.25 ", "Light "};
        uint32_t seed = 12345;
        nArchive writer;
        if (!writer.OpenWrite(path.c_str(), nullptr))
            abort();
        for (int i = 0; i < kEntries; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const size_t length = 2048 + (seed >> 8) % (30 * 1024);
            std::string data;
            while (data.size() < length) {
                seed = seed * 1664525u + 1013904223u;
                data += words[(seed >> 16) % 10];
                if ((seed >> 8) % 7 == 0)
                    data += std::to_string(seed % 100000);
            }
            data.resize(length);
            names.push_back("data/entry" + std::to_string(i) + ".nml");
            lengths.push_back(uint32_t(length));
            if (!writer.AddFile(names.back().c_str(), data.data(), uint32_t(length), 6))
                abort();
            uLongf size = compressBound(length);
            std::string stored(size, '\0');
            compress2(reinterpret_cast<Bytef*>(&stored[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                      length, 6);
            stored.resize(size);
            packed.push_back(stored);
        }
        writer.Close();
        if (!fs.Connect(path.c_str(), nullptr, false, nullptr, false))
            abort();
        nIO::SetCurrentFS(&fs);
        out.resize(64 * 1024);
    }

    ~ArchiveFixture()
    {
        nIO::SetCurrentFS(nullptr);
        fs.Disconnect();
        remove(path.c_str());
        rmdir(directory.c_str());
    }

    // Every entry opened, read whole and closed through a stream.
    void ReadAll()
    {
        for (int i = 0; i < kEntries; ++i) {
            nIOFile file(1);
            if (!file.Open(names[size_t(i)].c_str(), true, false, false))
                abort();
            if (file.Read(out.data(), file.GetSize()) != int32_t(lengths[size_t(i)]))
                abort();
            file.Close();
        }
        benchmark::DoNotOptimize(out.data());
    }

    void UncompressAll()
    {
        for (int i = 0; i < kEntries; ++i) {
            uLongf length = uLongf(out.size());
            const std::string& stored = packed[size_t(i)];
            if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                           reinterpret_cast<const Bytef*>(stored.data()), stored.size()) != Z_OK ||
                length != lengths[size_t(i)])
                abort();
        }
        benchmark::DoNotOptimize(out.data());
    }
};

ArchiveFixture& Fixture()
{
    static ArchiveFixture fixture;
    return fixture;
}

// CPU time of this thread (system time included), so that other processes on the machine do not
// tilt the comparison.
double ThreadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_ArchiveReadAll(benchmark::State& state)
{
    ArchiveFixture& f = Fixture();
    double archive = 0, zlib = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        f.ReadAll();
        const double t1 = ThreadSeconds();
        f.UncompressAll();
        const double t2 = ThreadSeconds();
        archive += t1 - t0;
        zlib += t2 - t1;
        state.SetIterationTime(t1 - t0);
    }
    state.counters["vs_uncompress"] = zlib > 0 ? archive / zlib : 0;
    state.counters["entries/s"] = benchmark::Counter(double(kEntries), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ArchiveReadAll)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ZlibUncompress(benchmark::State& state)
{
    ArchiveFixture& f = Fixture();
    for (auto _ : state)
        f.UncompressAll();
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

}  // namespace
