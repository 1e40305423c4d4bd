// Fuzz target of the NML text parser and the binary decoders.
//
// The first byte chooses what the rest is fed to:
//   0..1  NML text (parsed, then parsed again into the same document and into an empty one, which
//         must agree; a parsed document without NUL bytes is also written in the encoding
//         the byte names, parsed again and compared: the writer must read back what the parser
//         produced)
//   2     the uuencode-style decoder, output size from the next two bytes
//   3     the yEnc decoder, output size from the next two bytes
// Includes resolve in the memory file system, which holds nothing, so no disk file is read.

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "core/nMLParser.h"
#include "core/nMLWriter.h"
#include "tests/fuzz/nFuzzSupport.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool SameTag(nMetaTag* a, nMetaTag* b)
{
    if (!(a->GetName() == b->GetName()) || a->GetType() != b->GetType() || a->GetChildCount() != b->GetChildCount())
        return false;
    const nVariant& va = a->GetValue();
    const nVariant& vb = b->GetValue();
    switch (va.GetType()) {
        case TagType_Real: {
            float fa = 0, fb = 0;
            va.GetFloat(&fa);
            vb.GetFloat(&fb);
            if (memcmp(&fa, &fb, sizeof(float)) != 0)
                return false;
            break;
        }
        case TagType_Integer:
        case TagType_Bool: {
            int32_t ia = 0, ib = 0;
            bool ba = false, bb = false;
            if (va.GetInt(&ia) != vb.GetInt(&ib) || ia != ib || va.GetBool(&ba) != vb.GetBool(&bb) || ba != bb)
                return false;
            break;
        }
        case TagType_String:
            if (!(va.GetText() == vb.GetText()))
                return false;
            break;
        case TagType_Binary:
            if (va.GetBinaryLength() != vb.GetBinaryLength() ||
                (va.GetBinaryLength() > 0 &&
                 memcmp(va.GetBinaryData(), vb.GetBinaryData(), static_cast<size_t>(va.GetBinaryLength())) != 0))
                return false;
            break;
        default:
            break;
    }
    nLinkedListEntry* ea = a->GetChildren().GetHead();
    nLinkedListEntry* eb = b->GetChildren().GetHead();
    for (; ea && eb; ea = ea->GetNext(), eb = eb->GetNext()) {
        if (!SameTag(static_cast<nMetaTag*>(ea), static_cast<nMetaTag*>(eb)))
            return false;
    }
    return true;
}

// Empty binary values are written as nothing and read back as pure tags.
bool HasEmptyBinary(nMetaTag* tag)
{
    if (tag->GetType() == TagType_Binary && tag->GetValue().GetBinaryLength() == 0)
        return true;
    for (nLinkedListEntry* e = tag->GetChildren().GetHead(); e; e = e->GetNext()) {
        if (HasEmptyBinary(static_cast<nMetaTag*>(e)))
            return true;
    }
    return false;
}

bool SameRoots(nMetaFile& a, nMetaFile& b)
{
    if (a.GetRootCount() != b.GetRootCount())
        return false;
    nLinkedListEntry* ea = a.GetRoots().GetHead();
    nLinkedListEntry* eb = b.GetRoots().GetHead();
    for (; ea; ea = ea->GetNext(), eb = eb->GetNext()) {
        if (!SameTag(static_cast<nMetaTag*>(ea), static_cast<nMetaTag*>(eb)))
            return false;
    }
    return true;
}

void RoundTrip(nMetaFile& document, int32_t encoding)
{
    for (nLinkedListEntry* e = document.GetRoots().GetHead(); e; e = e->GetNext()) {
        if (HasEmptyBinary(static_cast<nMetaTag*>(e)))
            return;
    }
    document.SetBinaryEncoding(encoding);
    if (!document.Save("fuzz_out.nml"))
        abort();  // whatever the parser produced, the writer must be able to write
    nMetaFile back;
    bool loaded = back.Load("fuzz_out.nml");
    // Emptied, so that a later input including it sees the same nothing every time.
    nIOMemoryFS* memory = nIO::GetMemoryFS();
    memory->Close(memory->Open("fuzz_out.nml", false, true, false));
    if (!loaded || !SameRoots(document, back))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        static nQuietLog quiet;
        g_log = &quiet;
        nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        return true;
    }();
    (void)ready;
    if (size < 1 || size > (1u << 20))
        return 0;
    int mode = data[0] % 4;
    // An exact-size copy, so that a read past the end of the text is caught.
    std::vector<char> text(data + 1, data + size);
    int32_t length = static_cast<int32_t>(text.size());
    if (mode <= 1) {
        nMetaFile document;
        bool parsed = document.Parse(text.data(), length);
        // A parse into a document that holds a tree reuses that tree's tags as it goes, and must
        // give what a parse into an empty document gives.
        nMetaFile fresh;
        if (fresh.Parse(text.data(), length) != parsed || !SameRoots(document, fresh))
            abort();
        if (document.Parse(text.data(), length) != parsed || !SameRoots(document, fresh))
            abort();
        // Text with NUL bytes loses what follows a NUL inside a name or string, so only NUL-free
        // text must survive the round trip unchanged.
        if (parsed && !memchr(text.data(), 0, text.size()))
            RoundTrip(document, mode);
        return 0;
    }
    if (length < 2)
        return 0;
    int32_t out_size = static_cast<uint8_t>(text[0]) | static_cast<uint8_t>(text[1]) << 8;
    std::vector<uint8_t> out(static_cast<size_t>(out_size) + 1);
    int32_t produced = mode == 2 ? UUDecode(text.data() + 2, length - 2, out.data(), out_size)
                                 : YDecode(text.data() + 2, length - 2, out.data(), out_size);
    if (produced < 0 || produced > out_size)
        abort();
    return 0;
}
