#pragma once
// Helpers for NML tests: a one-line dump of a tag tree and files in the IO layer's memory cache.
//
// Dump form: tags separated by ',', each its name, then "{children}" when it has any, then its
// value: =i<int>, =f<float %.9g>, =b0/=b1, =s"<text>", =x<hex bytes>, =list.
// So "<A=<B=1>>" dumps as "A{B=i1}".

#include <string>
#include <vector>

class nMetaFile;
class nMetaTag;

std::string nMLDumpTag(const nMetaTag* tag);
std::string nMLDump(nMetaFile& document);

// Creates or replaces the memory file name with text; nIO::Open finds it before any file system.
bool nMLPutMemoryFile(const char* name, const std::string& text);
// Contents of a memory file ("" when missing).
std::string nMLGetMemoryFile(const char* name);

// Parses "<NML=1.0>\n" + body into document and returns its first root tag (NULL on a parse error).
nMetaTag* nMLParseRoot(nMetaFile& document, const std::string& body);
// Names of the tag's children in order ("" for an unset name); empty for NULL.
std::vector<std::string> nMLChildNames(nMetaTag* tag);
