#ifndef N_BLOCKFONT_H
#define N_BLOCKFONT_H

// A raster font for pixel tests, written by the test itself: every printable character but the
// space is a solid block as wide as its step (so a line of text is drawn as a bar whose length
// tells how many characters it has), the space an empty step; one page, a 4 x 4 opaque white
// TGA. Written as <base>.nml and <base>_00.tga.

#include <cstdio>
#include <string>

#include "tests/support/nTempDir.h"

struct nBlockFontMetrics
{
    float step = 0.1f;        // advance and block width, in page units
    float height = 0.06f;     // block height
    float lineHeight = 0.1f;  // "Height" of the description
};

inline bool WriteBlockFont(nTempDir& dir, const std::string& base, const nBlockFontMetrics& m = nBlockFontMetrics())
{
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 4;
    tga[14] = 4;
    tga[16] = 32;
    tga[17] = 0x28;
    tga += std::string(4 * 4 * 4, '\xff');
    char line[256];
    std::snprintf(line, sizeof(line), "<NML=1.0>\n<Font= <Common= <Height=%.5f> <BaseLine=%.5f> <PageCount=1> >\n",
                  m.lineHeight, m.lineHeight * 0.8f);
    std::string nml = line;
    std::snprintf(line, sizeof(line), "<Char= <Id=32> <U=0.0> <V=0.0> <W=0.0> <H=0.0> <Step=%.5f> >\n", m.step);
    nml += line;
    for (int c = 33; c < 127; ++c) {
        std::snprintf(line, sizeof(line), "<Char= <Id=%d> <U=0.25> <V=0.25> <W=%.5f> <H=%.5f> <Step=%.5f> >\n", c, m.step,
                      m.height, m.step);
        nml += line;
    }
    nml += ">\n";
    return dir.Write(base + "_00.tga", tga) && dir.Write(base + ".nml", nml);
}

#endif
