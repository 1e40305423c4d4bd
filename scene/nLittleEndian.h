#ifndef N_LITTLEENDIAN_H
#define N_LITTLEENDIAN_H

#include <cstdint>
#include <cstring>

// Unaligned little-endian 32-bit floats of binary key records, whatever the host order.

inline float nReadFloatLE(const uint8_t* p)
{
    uint32_t bits = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

inline void nWriteFloatLE(uint8_t* p, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    p[0] = (uint8_t)bits;
    p[1] = (uint8_t)(bits >> 8);
    p[2] = (uint8_t)(bits >> 16);
    p[3] = (uint8_t)(bits >> 24);
}

#endif
