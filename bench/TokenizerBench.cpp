// Tokenizer throughput on a large synthetic scene: mostly coordinate and index
// lists, as in real meshes, with keywords, DEF names, strings and comments.

#include "host/tokenizer/GenericParser.h"
#include "parser/KeywordTable.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class SyntheticScene {
public:
    static const SyntheticScene& Get() {
        static const SyntheticScene scene(20u << 20);
        return scene;
    }

    ~SyntheticScene() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }

    const std::string& Text() const { return text; }
    const std::string& Path() const { return path; }

private:
    explicit SyntheticScene(size_t targetSize) {
        text.reserve(targetSize + 4096);
        text += "#VRML V1.0 ascii\n\n# synthetic scene for the tokenizer benchmark\nSeparator {\n";
        for (int part = 0; text.size() < targetSize; ++part) {
            AppendPart(part);
        }
        text += "}\n";
        path = (std::filesystem::temp_directory_path() / "vrml_tokenizer_bench.wrl").string();
        std::ofstream out(path, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    uint32_t Random() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }

    void AppendCoordinate() {
        char number[32];
        const double value = static_cast<double>(Random() % 2000000) / 10000.0 - 100.0;
        std::snprintf(number, sizeof number, "%.4f", value);
        text += number;
    }

    void AppendPart(int part) {
        const std::string id = std::to_string(part);
        text += "  # part " + id + "\n  DEF Part_" + id + " Separator {\n";
        text += "    Transform { translation 1.5 -2 " + id + " rotation 0 1 0 1.5708 }\n";
        text += "    Material { diffuseColor 0.8 0.2 0.1 transparency 0.0 }\n";
        text += "    AsciiText { string \"Label " + id + " with \\\"quotes\\\"\" }\n";
        text += "    Coordinate3 { point [\n";
        const int points = 300;
        for (int i = 0; i < points; ++i) {
            text += "      ";
            AppendCoordinate();
            text += ' ';
            AppendCoordinate();
            text += ' ';
            AppendCoordinate();
            text += ",\n";
        }
        text += "    ] }\n    IndexedFaceSet { coordIndex [\n";
        for (int i = 0; i < points * 2; ++i) {
            text += "      " + std::to_string(Random() % points) + ", " + std::to_string(Random() % points) + ", " +
                    std::to_string(Random() % points) + ", -1,\n";
        }
        text += "    ] }\n  }\n";
    }

    std::string text;
    std::string path;
    uint32_t seed = 2024;
};

void ConfigureKeywords(CGenericParser& parser) {
    parser.SetKeywordTable(VRMLKeywordTable);
    parser.SetKeywordTableSize(VRML_KEYWORD_COUNT);
}

// Open (read the whole file) and tokenize it to its end.
void TokenizeFile(benchmark::State& state) {
    const SyntheticScene& scene = SyntheticScene::Get();
    size_t tokens = 0;
    for (auto _ : state) {
        CGenericParser parser;
        ConfigureKeywords(parser);
        parser.SetFilename(scene.Path());
        if (parser.OpenAndInitialize() != GENERIC_LOAD_OK) {
            state.SkipWithError("cannot open the generated file");
            return;
        }
        tokens = 0;
        while (parser.Tokenize() != 0) {
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(scene.Text().size()));
    state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(TokenizeFile)->Unit(benchmark::kMillisecond);

// The scanner alone: the text is already in memory (one copy into the source).
void TokenizeBuffer(benchmark::State& state) {
    const SyntheticScene& scene = SyntheticScene::Get();
    CGenericParser parser;
    ConfigureKeywords(parser);
    for (auto _ : state) {
        parser.StartBufferReading(scene.Text().data(), scene.Text().size());
        size_t tokens = 0;
        while (parser.Tokenize() != 0) {
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
        parser.StopBufferReading();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(scene.Text().size()));
}
BENCHMARK(TokenizeBuffer)->Unit(benchmark::kMillisecond);

// Skipping blocks by raw bracket scanning, as the parser does for unknown nodes.
void SkipBlocks(benchmark::State& state) {
    const SyntheticScene& scene = SyntheticScene::Get();
    CGenericParser parser;
    for (auto _ : state) {
        parser.StartBufferReading(scene.Text().data(), scene.Text().size());
        GenericTokenTypes found = GENERIC_WORD;
        size_t brackets = 0;
        while (parser.FindBlockToken(GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE, found) != 0) {
            ++brackets;
        }
        benchmark::DoNotOptimize(brackets);
        parser.StopBufferReading();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(scene.Text().size()));
}
BENCHMARK(SkipBlocks)->Unit(benchmark::kMillisecond);

} // namespace
