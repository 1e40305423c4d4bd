// Prints the peak of a 16-bit PCM WAV capture's data and exits 0 when it reaches the level
// given: "wav_peak <file> <level>". The end-to-end runs use it to tell sound from silence.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: wav_peak <file> <level>\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "wav_peak: cannot open %s\n", argv[1]);
        return 2;
    }
    std::vector<unsigned char> bytes;
    unsigned char piece[65536];
    for (size_t n; (n = std::fread(piece, 1, sizeof piece, f)) > 0;) bytes.insert(bytes.end(), piece, piece + n);
    std::fclose(f);
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 36, "data", 4) != 0) {
        std::fprintf(stderr, "wav_peak: %s is no capture\n", argv[1]);
        return 2;
    }
    int peak = 0;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
        const int v = (short)(bytes[i] | (bytes[i + 1] << 8));
        if (std::abs(v) > peak) peak = std::abs(v);
    }
    std::printf("peak %d\n", peak);
    return peak >= std::atoi(argv[2]) ? 0 : 1;
}
