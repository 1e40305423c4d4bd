#pragma once
// NML text writing: the encoders of binary values. The document writer itself is nMetaFile::Save
// and nMetaFile::WriteTag (declared with nMetaFile, implemented in nMLWriter.cpp).
//
// Writer contract: everything it writes reads back through the parser as the same tree. What
// cannot be written that way (a tag name the parser would cut, a string holding a '"' without a
// '\' before it or ending in a lone '\', a list value) fails the save with one error line; a NaN
// is written as 0.0 with a warning, an infinity as 1.0e39, which reads back as infinity. Floats
// are written "%f" when that reads back to the same bits and otherwise in the shortest exponent
// form that does. A tag holding both children and a value is written with both. Save builds the
// whole text first; a disk file is replaced only once the new text is completely written
// (temporary file beside it, then rename), so a failed save leaves the old file as it was.

#include <cstdint>

const int kYEncLineLength = 64;                      // characters per yEnc line that the writer uses
const int kMaxBinaryLength = 1 << 29;                // larger binary values are refused (their text would pass 2 GiB)
const char* const kSaveTemporarySuffix = ".saving";  // beside the disk file being replaced

// Both encoders write at most out_size characters when out is given and return the number of
// characters produced; with out NULL they return the size the whole encoding needs.
// uuencode style: lines of at most 15 groups of three bytes (the last group zero-padded), each
// line a count character 32 + 3 x groups, four characters per group and a LF. Empty input: 0.
int UUEncode(const uint8_t* data, int length, char* out, int out_size);
// yEnc: (byte + 42) mod 256, with 0, LF, CR and '=' written as '=' and (value + 64) mod 256; a LF
// before any byte once line_length characters are on the line (an escaped pair may end a line one
// longer); no LF at the end. line_length 0 or below: error "invalid line-feed size for yEncoding.",
// 0.
int YEncode(const uint8_t* data, int length, char* out, int out_size, int line_length);
