#pragma once
// NML text reading: the character scanners shared by every text reader of the engine (NML, command
// lists, geometry text), and the decoders of the two encodings of binary values.
//
// Text is given as [p, end): a pointer range that need not be NUL-terminated. Every scanner
// returns a position in [p, end] and never reads at or past end.
//
// The document parser itself is nMetaFile::Load, nMetaFile::CreateFromFile, nMetaFile::Parse and
// nMetaFile::ParseTag (declared with nMetaFile, implemented in nMLParser.cpp). Beyond the plain
// grammar it guarantees:
// - a number token may hold a signed exponent (1.5e-7), the form the writer uses for small floats;
// - a binary block whose raw size is more than its encoded size can hold (one byte per character
//   in yEnc, three per four in uuencode style) is refused; one that decodes short is zero-filled;
// - every error is one complete log line, and line ends in logged paths show as blanks;
// - a file that includes itself, directly or through others, is reported once and the inner
//   include skipped; nesting and include counts are bounded:

#include <cstdint>

const int kMLMaxTagDepth = 1000;    // deeper tag nesting (counted across includes) fails the parse
const int kMLMaxIncludeDepth = 32;  // deeper #include chains are reported and skipped
const int kMLMaxIncludes = 4096;    // further #includes under one outermost load are skipped

// Next '"' at or after p; a backslash skips the character after it. end when there is none.
const char* ScanQuotedEnd(const char* p, const char* end);
// First position holding a space, TAB, CR, LF, '"', '(', ')', '*', '+', ',', '/', ':', ';', '<',
// '=', '>' or, unless allow_dash, '-'. end when there is none.
const char* ScanIdentifierEnd(const char* p, const char* end, bool allow_dash);
// First CR or LF at or after p, or end.
const char* ScanLineEnd(const char* p, const char* end);
// p at "/*": just after the first "*/" found from p + 2, or end. Comments do not nest.
const char* ScanBlockCommentEnd(const char* p, const char* end);
// Skips spaces, TABs, CR, LF, "//" comments (to their line end) and "/*" ... "*/" comments.
const char* ScanSkipBlanks(const char* p, const char* end);
// ScanSkipBlanks after ScanIdentifierEnd.
const char* ScanNextToken(const char* p, const char* end, bool allow_dash);
// True when the token at p (one optional leading '-', then up to ScanIdentifierEnd without
// dashes) contains a '.' or an 'f'.
bool ScanIsFloatLiteral(const char* p, const char* end);
// Skipping blanks and comments, the first ch outside parentheses ('(' jumps to its matching ')',
// nesting counted). NULL at the end or when a '(' is never closed.
const char* ScanFindChar(const char* p, const char* end, char ch);

// Decoders: write at most out_size bytes and return how many were produced. Input that ends in the
// middle of a group or an escape logs the warning "input buffer underflow." and stops there.
// uuencode style: lines of a count character c, (c - 32) / 3 groups of four characters, a line end.
int UUDecode(const char* text, int length, uint8_t* out, int out_size);
// yEnc: byte = character - 42; '=' escapes the next character (minus 64); a LF is skipped.
int YDecode(const char* text, int length, uint8_t* out, int out_size);
