#include "core/nRandom.h"

namespace {
const uint32_t kSeedA = 0xdeadbeefu;
const uint32_t kSeedB = 0x97ccd0adu;

uint32_t s_a = kSeedA;
uint32_t s_b = kSeedB;

inline void Step()
{
    s_a = ((s_a << 16) | (s_a >> 16)) + s_b;
    s_b = s_b + s_a;
}
}

void nRandSeed(uint32_t seed)
{
    s_a = kSeedA;
    s_b = kSeedB;
    for (uint32_t i = 0, n = seed & 0x1fffu; i < n; ++i)
        Step();
}

int nRandInt(int n)
{
    if (n == 0)
        return 0;
    Step();
    return (int)(s_a % (uint32_t)n);
}

float nRandFloat(float x)
{
    Step();
    return (float)(s_a & 0xffffu) * x / 65536.0f;
}

float nRandRange(float lo, float hi)
{
    Step();
    float t = (float)(s_a & 0xffffu) / 65536.0f;
    return lo + (hi - lo) * t;
}
