// The glTF written as the world is walked holds the same document as the
// writer it replaced, which built tinygltf's object model whole: the two
// JSON documents are parsed and compared value by value (key order and
// number spelling aside), and the binary chunks byte for byte. Samples,
// the benchmark's scenes and the corpus, in both modes.

#include "ReferenceGltfWriter.h"
#include "WorldTestSupport.h"
#include "bench/Scenes.h"
#include "export/Convert.h"
#include "export/SceneWriter.h"
#include "inspect/LoadReport.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct Glb {
    std::string json, binary;
};

Glb SplitGlb(const std::string& file) {
    Glb parts;
    const auto word = [&](size_t at) {
        uint32_t value = 0;
        if (at + 4 <= file.size())
            std::memcpy(&value, file.data() + at, 4);
        return value;
    };
    const size_t jsonLength = word(12);
    if (file.size() < 20 + jsonLength)
        return parts;
    parts.json = file.substr(20, jsonLength);
    const size_t bin = 20 + jsonLength;
    if (file.size() >= bin + 8)
        parts.binary = file.substr(bin + 8, word(bin));
    return parts;
}

// Where two JSON values first differ, as a path; empty when they are equal.
std::string Difference(const rapidjson::Value& a, const rapidjson::Value& b, const std::string& at = "") {
    if (a.IsObject() && b.IsObject()) {
        if (a.MemberCount() != b.MemberCount())
            return at + " (members " + std::to_string(a.MemberCount()) + " and " + std::to_string(b.MemberCount()) +
                   ")";
        for (auto m = a.MemberBegin(); m != a.MemberEnd(); ++m) {
            const auto found = b.FindMember(m->name);
            if (found == b.MemberEnd())
                return at + "/" + m->name.GetString() + " (missing)";
            const std::string inner = Difference(m->value, found->value, at + "/" + m->name.GetString());
            if (!inner.empty())
                return inner;
        }
        return std::string();
    }
    if (a.IsArray() && b.IsArray()) {
        if (a.Size() != b.Size())
            return at + " (lengths " + std::to_string(a.Size()) + " and " + std::to_string(b.Size()) + ")";
        for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
            const std::string inner = Difference(a[i], b[i], at + "/" + std::to_string(i));
            if (!inner.empty())
                return inner;
        }
        return std::string();
    }
    if (a.IsNumber() && b.IsNumber())
        return a.GetDouble() == b.GetDouble() ? std::string() : at + " (numbers)";
    return a == b ? std::string() : at;
}

void ExpectSameJson(const std::string& streamed, const std::string& reference, const std::string& what) {
    rapidjson::Document a, b;
    a.Parse<rapidjson::kParseFullPrecisionFlag>(streamed.c_str(), streamed.size());
    b.Parse<rapidjson::kParseFullPrecisionFlag>(reference.c_str(), reference.size());
    ASSERT_FALSE(a.HasParseError()) << what << ": the streamed JSON does not parse";
    ASSERT_FALSE(b.HasParseError()) << what;
    EXPECT_EQ(Difference(a, b), "") << what;
}

// One file converted both ways, to .glb and (with `text`) to .gltf.
void Compare(const fs::path& input, bool standard, bool text, const fs::path& dir) {
    const std::string what = input.string() + (standard ? " (standard)" : "");
    vrml::ConvertSettings settings;
    settings.load.standard = standard;
    settings.threads = 2;
    vrml::LoadedScene loaded = vrml::LoadScene(input.string(), settings.load);
    if (loaded.result != 0 || !loaded.failure.empty())
        return;
    for (const bool binary : {true, false}) {
        if (!binary && !text)
            continue;
        const vrml::ExportFormat format = binary ? vrml::ExportFormat::Glb : vrml::ExportFormat::Gltf;
        const std::string extension = binary ? ".glb" : ".gltf";
        const fs::path streamed = dir / ("streamed" + extension), reference = dir / ("reference" + extension);
        vrml::ConvertSummary summary;
        const std::string streamedFailure =
            vrml::WriteWorldAs(*loaded.world, loaded.imageUnits, "scene", streamed.string(), format, settings, summary);
        vrml::ExportScene scene = vrml::BuildSceneFor(*loaded.world, loaded.imageUnits, format, settings);
        scene.name = "scene";
        const std::string referenceFailure =
            scene.IsOverBudget() ? "over budget"
                                 : vrml::WriteScene(*vrml::MakeReferenceGltfWriter(reference.string(), binary), scene);
        ASSERT_EQ(streamedFailure.empty(), referenceFailure.empty())
            << what << ": " << streamedFailure << " / " << referenceFailure;
        if (!streamedFailure.empty())
            continue;
        const std::string a = test_worlds::ReadFile(streamed), b = test_worlds::ReadFile(reference);
        if (binary) {
            const Glb left = SplitGlb(a), right = SplitGlb(b);
            ExpectSameJson(left.json, right.json, what);
            EXPECT_TRUE(left.binary == right.binary) << what << ": the binary chunks differ";
            EXPECT_EQ(a.size() % 4, 0u) << what;
        } else {
            ExpectSameJson(a, b, what + " as .gltf");
        }
    }
}

TEST(GltfStreaming, SamplesHoldTheDocumentOfTheWholeModelWriter) {
    const fs::path dir = TestTempDir();
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(VRML_SOURCE_DIR) / "examples"))
        if (entry.path().extension() == ".wrl")
            for (const bool standard : {false, true})
                Compare(entry.path(), standard, true, dir);
}

TEST(GltfStreaming, BenchmarkScenesHoldTheDocumentOfTheWholeModelWriter) {
    const fs::path dir = TestTempDir();
    for (const SceneKind& kind : SceneKinds()) {
        const fs::path file = dir / (std::string(kind.name) + ".wrl");
        {
            SceneWriter out(file.string());
            kind.write(out, 0.03); // about 300 KB: most outputs outgrow what is kept in memory
        }
        Compare(file, false, true, dir);
    }
}

// Objects are made and handed over a few hundred at a time, then released:
// what the writer keeps of them (a point run's group, material and name,
// the placements of a part's 1,200 uses) must outlive their batch.
TEST(GltfStreaming, WhatOutlivesABatchOfObjects) {
    std::string text = std::string(V2) +
                       "DEF Part Shape { geometry IndexedFaceSet {\n"
                       "  coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] } coordIndex [0 1 2 -1] } }\n";
    text += "DEF Cloud Shape { geometry PointSet { coord Coordinate { point [";
    for (int i = 0; i < 700; ++i)
        text += std::to_string(i) + " " + std::to_string(i % 7) + " 0, ";
    text += "] } color Color { color [";
    for (int i = 0; i < 700; ++i)
        text += i % 2 ? "1 0 0, " : "0 0 1, ";
    text += "] } } }\n";
    for (int i = 0; i < 300; ++i)
        text += "Transform { translation " + std::to_string(i) + " 2 0 children [USE Part USE Part] }\n";
    text += "Group { children [";
    for (int i = 0; i < 600; ++i)
        text += "Transform { translation " + std::to_string(i) + " 5 0 rotation 0 0 1 " + std::to_string(i) +
                " children USE Part }\n";
    text += "] }\n";
    Compare(WriteTempFile("batches.wrl", text), false, true, TestTempDir());
}

TEST(GltfStreaming, CorpusHoldsTheDocumentOfTheWholeModelWriter) {
    const fs::path corpus = VRML_CORPUS_DIR;
    std::error_code error;
    if (!fs::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus at " << corpus;
    const fs::path dir = TestTempDir();
#ifdef VRML_SANITIZED
    const size_t step = 8; // a sample: the Release build compares them all
#else
    const size_t step = 1;
#endif
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || extension == ".md" || extension == ".tsv" || files++ % step != 0)
            continue;
        // Every file to .glb in both modes, every tenth also to .gltf.
        for (const bool standard : {false, true})
            Compare(entry.path(), standard, files % 10 == 1, dir);
    }
    EXPECT_GT(files, 100u);
}

} // namespace
