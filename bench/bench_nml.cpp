// NML parse throughput beside pugixml parsing the same content written as XML.
//
// Two generated documents of more than 10 MB each, with the same content in NML and XML (binary
// blocks yEnc in NML, base64 in XML: the usual binary form of each); each parser is timed on its
// own text into a fresh tree, built and released inside the timing, so compare the
// bytes_per_second columns. Re-parsing into a used document is a case of its own.
//   Scene     tag-dense: objects of nested tags with integers, floats, bools and strings, and a
//             small binary block each (64 to 1087 bytes), about 28 tags per kilobyte of text.
//   Geometry  what geometry files hold: a few tags per mesh and its vertex and index arrays as
//             binary blocks (6 to 100 KB each).

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <random>
#include <string>

namespace {

std::string RandomBytes(std::mt19937& rng, size_t length)
{
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng());
    return bytes;
}

nMetaTag* MakeObject(std::mt19937& rng, int index)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    nMetaTag* object = new nMetaTag("Object");
    object->AddChild(new nMetaTag("Name", ("object number " + std::to_string(index)).c_str()));
    object->AddChild(new nMetaTag("Id", static_cast<int32_t>(index)));
    object->AddChild(new nMetaTag("Visible", pick(2) == 1));
    nMetaTag* position = object->AddChild(new nMetaTag("Position"));
    for (const char* axis : {"X", "Y", "Z"})
        position->AddChild(new nMetaTag(axis, static_cast<float>(pick(200000) - 100000) / 64.0f));
    nMetaTag* items = object->AddChild(new nMetaTag("Items"));
    for (int i = pick(8); i >= 0; --i) {
        nMetaTag* item = items->AddChild(new nMetaTag("Item"));
        item->AddChild(new nMetaTag("Index", static_cast<int32_t>(rng() % 100000)));
        item->AddChild(new nMetaTag("Weight", static_cast<float>(pick(1000)) / 1000.0f));
        item->AddChild(new nMetaTag("Material", "materials/stone_wall.nml"));
    }
    std::string bytes = RandomBytes(rng, static_cast<size_t>(64 + pick(1024)));
    object->AddChild(new nMetaTag("Mesh", bytes.data(), static_cast<int32_t>(bytes.size())));
    return object;
}

nMetaTag* MakeMesh(std::mt19937& rng, int index)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    int vertices = 200 + pick(2800);
    nMetaTag* mesh = new nMetaTag("Geometry");
    mesh->AddChild(new nMetaTag("Name", ("mesh number " + std::to_string(index)).c_str()));
    mesh->AddChild(new nMetaTag("VertexCount", static_cast<int32_t>(vertices)));
    mesh->AddChild(new nMetaTag("Radius", static_cast<float>(pick(100000)) / 256.0f));
    const struct
    {
        const char* name;
        int bytes_per_vertex;
    } arrays[] = {{"Positions", 12}, {"Normals", 12}, {"TexCoords", 8}, {"Indices", 6}};
    for (const auto& array : arrays) {
        std::string bytes = RandomBytes(rng, static_cast<size_t>(vertices * array.bytes_per_vertex));
        mesh->AddChild(new nMetaTag(array.name, bytes.data(), static_cast<int32_t>(bytes.size())));
    }
    return mesh;
}

void Base64(const uint8_t* data, int32_t length, std::string& out)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int32_t i = 0; i < length; i += 3) {
        uint32_t v = static_cast<uint32_t>(data[i]) << 16;
        if (i + 1 < length) v |= static_cast<uint32_t>(data[i + 1]) << 8;
        if (i + 2 < length) v |= data[i + 2];
        out += digits[v >> 18 & 63];
        out += digits[v >> 12 & 63];
        out += i + 1 < length ? digits[v >> 6 & 63] : '=';
        out += i + 2 < length ? digits[v & 63] : '=';
        if ((i / 3) % 19 == 18)
            out += '\n';
    }
}

void WriteXml(nMetaTag* tag, int depth, std::string& out)
{
    out.append(static_cast<size_t>(depth), '\t');
    const char* name = tag->GetName().GetCStr();
    const nVariant& value = tag->GetValue();
    char text[64];
    switch (value.GetType()) {
        case TagType_Real: {
            float f = 0;
            value.GetFloat(&f);
            snprintf(text, sizeof(text), "<%s>%f</%s>\n", name, static_cast<double>(f), name);
            out += text;
            return;
        }
        case TagType_Integer: {
            int32_t i = 0;
            value.GetInt(&i);
            snprintf(text, sizeof(text), "<%s>%d</%s>\n", name, static_cast<int>(i), name);
            out += text;
            return;
        }
        case TagType_Bool: {
            bool b = false;
            value.GetBool(&b);
            out += std::string("<") + name + ">" + (b ? "true" : "false") + "</" + name + ">\n";
            return;
        }
        case TagType_String:
            out += std::string("<") + name + ">" + value.GetText().GetCStr() + "</" + name + ">\n";
            return;
        case TagType_Binary:
            out += std::string("<") + name + " encoding=\"base64\" size=\"" + std::to_string(value.GetBinaryLength()) + "\">\n";
            Base64(value.GetBinaryData(), value.GetBinaryLength(), out);
            out += std::string("\n</") + name + ">\n";
            return;
        default:
            break;
    }
    out += std::string("<") + name + ">\n";
    for (nLinkedListEntry* e = tag->GetChildren().GetHead(); e; e = e->GetNext())
        WriteXml(static_cast<nMetaTag*>(e), depth + 1, out);
    out.append(static_cast<size_t>(depth), '\t');
    out += std::string("</") + name + ">\n";
}

struct Corpus
{
    std::string nml;
    std::string xml;

    explicit Corpus(nMetaTag* (*make)(std::mt19937&, int))
    {
        std::mt19937 rng(2024);
        nMetaFile document;
        nMetaTag* scene = document.AddRoot(new nMetaTag("Scene"));
        nMetaTag* last = nullptr;
        for (int i = 0; nml.size() < 10u * 1024 * 1024; ++i) {
            last = scene->InsertChild(make(rng, i), last, false);
            if (i % 100 == 99)
                nml = SaveText(document);
        }
        xml = "<?xml version=\"1.0\"?>\n";
        WriteXml(scene, 0, xml);
    }

    static std::string SaveText(nMetaFile& document)
    {
        nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        document.Save("bench.nml");
        nIO::SetCurrentFS(previous);
        nIOMemoryFS* memory = nIO::GetMemoryFS();
        nIOHandle* handle = memory->Open("bench.nml", true, false, false);
        std::string text(static_cast<size_t>(memory->GetSize(handle)), '\0');
        memory->Read(handle, &text[0], static_cast<int32_t>(text.size()));
        memory->Close(handle);
        return text;
    }
};

const Corpus& GetCorpus(int kind)
{
    static const Corpus scene(MakeObject);
    static const Corpus geometry(MakeMesh);
    return kind == 0 ? scene : geometry;
}

// A fresh document per parse, built and released inside the timing, as pugixml's below.
void BM_ParseNML(benchmark::State& state)
{
    const std::string& text = GetCorpus(static_cast<int>(state.range(0))).nml;
    for (auto _ : state) {
        nMetaFile document;
        bool ok = document.Parse(text.data(), static_cast<int32_t>(text.size()));
        benchmark::DoNotOptimize(ok);
        if (!ok)
            state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseNML)->ArgName("geometry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Parsing again into one used document, which recycles the tags of the previous parse (how a
// reader that loads many files through one document works); it has no pugixml counterpart.
void BM_ParseNMLReusedDocument(benchmark::State& state)
{
    const std::string& text = GetCorpus(static_cast<int>(state.range(0))).nml;
    nMetaFile document;
    for (auto _ : state) {
        bool ok = document.Parse(text.data(), static_cast<int32_t>(text.size()));
        benchmark::DoNotOptimize(ok);
        if (!ok)
            state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseNMLReusedDocument)->ArgName("geometry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ParseXmlPugixml(benchmark::State& state)
{
    const std::string& text = GetCorpus(static_cast<int>(state.range(0))).xml;
    for (auto _ : state) {
        pugi::xml_document document;
        pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
        benchmark::DoNotOptimize(result);
        if (!result)
            state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseXmlPugixml)->ArgName("geometry")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
