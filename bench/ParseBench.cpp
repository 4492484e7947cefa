// Whole-file loading on large generated scenes, and the tokenizer alone on the
// same files for comparison:
//   cad_v2      a VRML 2.0 CAD export of about 100 MB: named part transforms,
//               each a shape with a material and an indexed face set of
//               thousands of points, with normals;
//   faces_v1    a VRML 1.0 file of about 30 MB: named bodies of separators
//               sharing one Coordinate3, with per-face materials;
//   prims_v2    tens of thousands of small primitives, most of them USEs;
//   patches_v1  a VRML 1.0 model of about 10 MB whose one Coordinate3 is used
//               by thousands of small separators, one per coloured patch.
// The scenes are written once, into a temporary folder that is removed at
// exit, before any timing. VRML_BENCH_SCALE=0.1 makes every scene ten times
// smaller (for profiling under callgrind); VRML_BENCH_DIR=folder writes them
// there and keeps them, and a later run with the same folder reads the
// scenes found there instead of writing them again (delete the folder after
// changing a generator or the scale).
//
// Parse reports the bytes of the file per second of CPU time, the world's
// object count, and (Linux) the peak memory of the parse above what the
// process held before it, as a multiple of the file size. Freeing the world
// and the parser is not timed.

#include "parser/VRMLIOManager.h"
#include "parser/VRMLParser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

double ScaleFromEnvironment() {
    const char* text = std::getenv("VRML_BENCH_SCALE");
    const double scale = text ? std::atof(text) : 1.0;
    return scale > 0.0 ? scale : 1.0;
}

// Where the scenes are written. A folder of our own is removed at exit.
class SceneFolder {
public:
    static const SceneFolder& Get() {
        static const SceneFolder folder;
        return folder;
    }
    ~SceneFolder() {
        if (owned) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
    std::string File(const char* name) const { return (path / name).string(); }
    bool KeepsScenes() const { return !owned; }

private:
    SceneFolder() {
        if (const char* kept = std::getenv("VRML_BENCH_DIR")) {
            path = kept;
        } else {
#ifdef __linux__
            const std::string unique = "vrml_parse_bench_" + std::to_string(getpid());
#else
            const std::string unique = "vrml_parse_bench";
#endif
            path = std::filesystem::temp_directory_path() / unique;
            owned = true;
        }
        std::filesystem::create_directories(path);
    }
    std::filesystem::path path;
    bool owned = false;
};

// Text written in large pieces, never held whole in memory: the peak memory
// of a parse is measured against what the process holds before it.
class SceneWriter {
public:
    explicit SceneWriter(const std::string& path) : out(path, std::ios::binary) { text.reserve(PieceSize + 4096); }
    ~SceneWriter() { Flush(); }

    SceneWriter& operator<<(const char* piece) {
        text += piece;
        return Check();
    }
    SceneWriter& operator<<(const std::string& piece) {
        text += piece;
        return Check();
    }
    SceneWriter& operator<<(char c) {
        text += c;
        return Check();
    }
    SceneWriter& operator<<(long long n) { return *this << std::to_string(n); }
    SceneWriter& operator<<(int n) { return *this << std::to_string(n); }
    // A fixed number of decimals, as exporters write them.
    SceneWriter& Number(double value, int decimals) {
        char number[48];
        std::snprintf(number, sizeof number, "%.*f", decimals, value);
        return *this << number;
    }
    uint64_t Size() const { return written + text.size(); }

private:
    static constexpr size_t PieceSize = 1u << 20;
    SceneWriter& Check() {
        if (text.size() >= PieceSize)
            Flush();
        return *this;
    }
    void Flush() {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        written += text.size();
        text.clear();
    }
    std::ofstream out;
    std::string text;
    uint64_t written = 0;
};

// Deterministic, so that every run parses the same scenes.
class Random {
public:
    uint32_t Next() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    double Between(double low, double high) { return low + (high - low) * (Next() % 1000000) / 1000000.0; }

private:
    uint32_t seed = 20240611u;
};

// A closed tube bent along a curve, with a wavy radius: a surface of
// rows x columns points, as a CAD tessellator writes a turned or swept part.
struct TubeSurface {
    int rows, columns;
    double radius, length, wave, bend;

    void Point(int row, int column, double& x, double& y, double& z) const {
        const double angle = 6.283185307179586 * column / columns;
        const double along = length * row / (rows - 1);
        const double r = radius * (1.0 + wave * std::sin(7.0 * along / length + angle * 3.0));
        x = r * std::cos(angle) + bend * along * along / length;
        y = r * std::sin(angle);
        z = along;
    }
    void Normal(int row, int column, double& x, double& y, double& z) const {
        const double angle = 6.283185307179586 * column / columns;
        x = std::cos(angle);
        y = std::sin(angle);
        z = 0.05 * std::sin(row * 0.3);
        const double length = std::sqrt(x * x + y * y + z * z);
        x /= length;
        y /= length;
        z /= length;
    }
    int Index(int row, int column) const { return row * columns + (column % columns); }
};

TubeSurface RandomTube(Random& random, int minRows, int maxRows, int minColumns, int maxColumns) {
    TubeSurface tube;
    tube.rows = minRows + random.Below(maxRows - minRows + 1);
    tube.columns = minColumns + random.Below(maxColumns - minColumns + 1);
    tube.radius = random.Between(5.0, 120.0);
    tube.length = random.Between(20.0, 600.0);
    tube.wave = random.Between(0.0, 0.15);
    tube.bend = random.Between(-0.3, 0.3);
    return tube;
}

void WriteColor(SceneWriter& out, Random& random) {
    out.Number(random.Between(0.1, 0.9), 3) << ' ';
    out.Number(random.Between(0.1, 0.9), 3) << ' ';
    out.Number(random.Between(0.1, 0.9), 3);
}

// The tube's points (or normals), one per line, moved `shift` along x.
using TubeVector = void (TubeSurface::*)(int, int, double&, double&, double&) const;
void WriteTubeVectors(SceneWriter& out, const TubeSurface& tube, TubeVector vector, const char* indent, int digits,
                      double shift = 0.0) {
    double x, y, z;
    for (int row = 0; row < tube.rows; ++row) {
        for (int column = 0; column < tube.columns; ++column) {
            (tube.*vector)(row, column, x, y, z);
            out << indent;
            out.Number(x + shift, digits) << ' ';
            out.Number(y, digits) << ' ';
            out.Number(z, digits) << ",\n";
        }
    }
}

// One quadrilateral face of the tube, its points counted from `base`.
void WriteTubeQuad(SceneWriter& out, const TubeSurface& tube, int row, int column, const char* indent, int base = 0) {
    out << indent << base + tube.Index(row, column) << ", " << base + tube.Index(row, column + 1) << ", "
        << base + tube.Index(row + 1, column + 1) << ", " << base + tube.Index(row + 1, column) << ", -1,\n";
}

// VRML 2.0, as CAD exporters write it: every part a named transform holding
// one shape, grouped into unnamed sub-assemblies.
uint64_t WriteCadExport(const std::string& path, uint64_t targetSize) {
    SceneWriter out(path);
    Random random;
    out << "#VRML V2.0 utf8\n# Exported from an assembly model (synthetic benchmark scene)\n\n"
        << "WorldInfo {\n  title \"Gearbox assembly\"\n  info [ \"units: millimetres\", \"parts: many\" ]\n}\n"
        << "NavigationInfo { type [ \"EXAMINE\", \"ANY\" ] headlight TRUE }\n"
        << "Viewpoint { position 0 0 5000 description \"Front\" }\n\n";
    constexpr int PartsPerAssembly = 40;
    int part = 0;
    while (out.Size() < targetSize) {
        out << "Group {\n  children [\n";
        for (int k = 0; k < PartsPerAssembly && out.Size() < targetSize; ++k, ++part) {
            const TubeSurface tube = RandomTube(random, 10, 60, 16, 72);
            out << "    DEF Part_" << part << " Transform {\n      translation ";
            out.Number(random.Between(-3000, 3000), 3) << ' ';
            out.Number(random.Between(-3000, 3000), 3) << ' ';
            out.Number(random.Between(-3000, 3000), 3) << "\n      rotation 0 0.707107 0.707107 ";
            out.Number(random.Between(0, 3.14), 5) << "\n      children [\n        Shape {\n"
                << "          appearance Appearance {\n            material Material {\n"
                << "              diffuseColor ";
            WriteColor(out, random);
            out << "\n              specularColor 0.5 0.5 0.5\n              shininess 0.4\n            }\n"
                << "          }\n          geometry IndexedFaceSet {\n            solid FALSE\n"
                << "            creaseAngle 0.5\n            coord Coordinate {\n              point [\n";
            WriteTubeVectors(out, tube, &TubeSurface::Point, "                ", 4);
            out << "              ]\n            }\n            coordIndex [\n";
            for (int row = 0; row + 1 < tube.rows; ++row) {
                for (int column = 0; column < tube.columns; ++column) {
                    const int a = tube.Index(row, column), b = tube.Index(row, column + 1);
                    const int c = tube.Index(row + 1, column + 1), d = tube.Index(row + 1, column);
                    out << "              " << a << ", " << b << ", " << c << ", -1, " << a << ", " << c << ", "
                        << d << ", -1,\n";
                }
            }
            out << "            ]\n            normal Normal {\n              vector [\n";
            WriteTubeVectors(out, tube, &TubeSurface::Normal, "                ", 4);
            out << "              ]\n            }\n            normalPerVertex TRUE\n          }\n        }\n"
                << "      ]\n    }\n";
        }
        out << "  ]\n}\n";
    }
    return out.Size();
}

// VRML 1.0: every body a named separator with one Coordinate3 shared by a
// few face groups, each an inner separator with a colour per face.
uint64_t WriteSeparatorScene(const std::string& path, uint64_t targetSize) {
    SceneWriter out(path);
    Random random;
    out << "#VRML V1.0 ascii\n\nSeparator {\n  Info { string \"synthetic benchmark scene\" }\n"
        << "  ShapeHints { vertexOrdering COUNTERCLOCKWISE shapeType SOLID faceType CONVEX }\n";
    for (int body = 0; out.Size() < targetSize; ++body) {
        const TubeSurface tube = RandomTube(random, 12, 40, 16, 64);
        out << "  DEF Body_" << body << " Separator {\n    Transform {\n      translation ";
        out.Number(random.Between(-2000, 2000), 2) << ' ';
        out.Number(random.Between(-2000, 2000), 2) << ' ';
        out.Number(random.Between(-2000, 2000), 2) << "\n      rotation 0 1 0 ";
        out.Number(random.Between(0, 3.14), 4) << "\n    }\n    Coordinate3 {\n      point [\n";
        WriteTubeVectors(out, tube, &TubeSurface::Point, "        ", 3);
        out << "      ]\n    }\n";
        // Bands of rows, each face group with its own colours.
        const int groups = 2 + random.Below(2);
        for (int g = 0; g < groups; ++g) {
            const int firstRow = (tube.rows - 1) * g / groups, endRow = (tube.rows - 1) * (g + 1) / groups;
            out << "    Separator {\n      Material {\n        diffuseColor [\n";
            for (int face = 0; face < (endRow - firstRow) * tube.columns; ++face) {
                out << "          ";
                WriteColor(out, random);
                out << ",\n";
            }
            out << "        ]\n      }\n      MaterialBinding { value PER_FACE }\n"
                << "      IndexedFaceSet {\n        coordIndex [\n";
            for (int row = firstRow; row < endRow; ++row) {
                for (int column = 0; column < tube.columns; ++column)
                    WriteTubeQuad(out, tube, row, column, "          ");
            }
            out << "        ]\n      }\n    }\n";
        }
        out << "  }\n";
    }
    out << "}\n";
    return out.Size();
}

// VRML 1.0 as exporters of coloured patch models write it: all points in one
// Coordinate3, then one separator per patch with its colour and faces.
uint64_t WritePatchModel(const std::string& path, int pointTarget) {
    SceneWriter out(path);
    Random random;
    out << "#VRML V1.0 ascii\n\nSeparator {\n  Coordinate3 {\n    point [\n";
    std::vector<TubeSurface> tubes;
    std::vector<int> firstPoints;
    for (int points = 0; points < pointTarget;) {
        tubes.push_back(RandomTube(random, 20, 60, 24, 72));
        firstPoints.push_back(points);
        const TubeSurface& tube = tubes.back();
        WriteTubeVectors(out, tube, &TubeSurface::Point, "      ", 3, random.Between(-1000, 1000));
        points += tube.rows * tube.columns;
    }
    out << "    ]\n  }\n";
    constexpr int FacesPerPatch = 24;
    for (size_t t = 0; t < tubes.size(); ++t) {
        const TubeSurface& tube = tubes[t];
        const int faces = (tube.rows - 1) * tube.columns;
        for (int first = 0; first < faces; first += FacesPerPatch) {
            out << "  Separator {\n    Material { diffuseColor ";
            WriteColor(out, random);
            out << " }\n    IndexedFaceSet { coordIndex [\n";
            for (int face = first; face < std::min(faces, first + FacesPerPatch); ++face) {
                WriteTubeQuad(out, tube, face / tube.columns, face % tube.columns, "      ", firstPoints[t]);
            }
            out << "    ] }\n  }\n";
        }
    }
    out << "}\n";
    return out.Size();
}

// VRML 2.0: a catalogue of named fasteners and fittings made of primitives,
// then placements that mostly USE an earlier one and now and then name a new one.
uint64_t WritePrimitiveScene(const std::string& path, int placements) {
    SceneWriter out(path);
    Random random;
    out << "#VRML V2.0 utf8\n# Fasteners and fittings (synthetic benchmark scene)\n\n";
    auto writeMaterial = [&](int item) {
        out << "appearance Appearance { material ";
        if (item % 3 == 0) {
            out << "USE Steel";
        } else {
            out << "Material { diffuseColor ";
            WriteColor(out, random);
            out << " }";
        }
        out << " } ";
    };
    auto writeItem = [&](int item) {
        out << "DEF Item_" << item << " Transform { children [\n";
        const int primitives = 1 + random.Below(3);
        for (int p = 0; p < primitives; ++p) {
            out << "    Transform { translation 0 ";
            out.Number(p * 2.5, 2) << " 0 children Shape { ";
            writeMaterial(item + p);
            out << "geometry ";
            switch (random.Below(4)) {
            case 0:
                out << "Cylinder { radius ";
                out.Number(random.Between(0.5, 4), 3) << " height ";
                out.Number(random.Between(1, 20), 3) << " }";
                break;
            case 1:
                out << "Box { size ";
                out.Number(random.Between(1, 8), 3) << ' ';
                out.Number(random.Between(1, 8), 3) << ' ';
                out.Number(random.Between(1, 8), 3) << " }";
                break;
            case 2:
                out << "Sphere { radius ";
                out.Number(random.Between(0.5, 5), 3) << " }";
                break;
            default:
                out << "Cone { bottomRadius ";
                out.Number(random.Between(0.5, 4), 3) << " height ";
                out.Number(random.Between(1, 10), 3) << " }";
                break;
            }
            out << " } }\n";
        }
        out << "  ] }\n";
    };
    out << "Shape { appearance Appearance { material DEF Steel Material { diffuseColor 0.6 0.6 0.65 "
           "specularColor 0.9 0.9 0.9 shininess 0.8 } } geometry Box { size 0.01 0.01 0.01 } }\n";
    int items = 0;
    for (int i = 0; i < placements; ++i) {
        out << "Transform { translation ";
        out.Number(random.Between(-500, 500), 2) << ' ';
        out.Number(random.Between(-500, 500), 2) << ' ';
        out.Number(random.Between(-500, 500), 2) << " rotation 1 0 0 ";
        out.Number(random.Between(0, 3.14), 3) << "\n  children [ ";
        if (items == 0 || random.Below(5) == 0) {
            writeItem(items++);
        } else {
            out << "USE Item_" << random.Below(items) << '\n';
        }
        out << "] }\n";
    }
    return out.Size();
}

struct GeneratedScene {
    std::string path;
    uint64_t size = 0;
};

enum class SceneKind { CadExport, Separators, Primitives, Patches };

// Each scene is written the first time a benchmark asks for it.
const GeneratedScene& Scene(SceneKind kind) {
    static const double scale = ScaleFromEnvironment();
    auto make = [](const char* name, auto write) {
        GeneratedScene scene;
        scene.path = SceneFolder::Get().File(name);
        std::error_code missing;
        const uintmax_t kept = std::filesystem::file_size(scene.path, missing);
        scene.size = SceneFolder::Get().KeepsScenes() && !missing ? static_cast<uint64_t>(kept) : write(scene.path);
        return scene;
    };
    switch (kind) {
    case SceneKind::CadExport: {
        static const GeneratedScene scene = make("cad_v2.wrl", [](const std::string& path) {
            return WriteCadExport(path, static_cast<uint64_t>(100e6 * scale));
        });
        return scene;
    }
    case SceneKind::Separators: {
        static const GeneratedScene scene = make("faces_v1.wrl", [](const std::string& path) {
            return WriteSeparatorScene(path, static_cast<uint64_t>(30e6 * scale));
        });
        return scene;
    }
    case SceneKind::Primitives: {
        static const GeneratedScene scene = make("prims_v2.wrl", [](const std::string& path) {
            return WritePrimitiveScene(path, static_cast<int>(40000 * scale));
        });
        return scene;
    }
    default: {
        static const GeneratedScene scene = make("patches_v1.wrl", [](const std::string& path) {
            return WritePatchModel(path, static_cast<int>(200000 * scale));
        });
        return scene;
    }
    }
}

#ifdef __linux__
// A line of /proc/self/status in kB, or -1.
long long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::atoll(line.c_str() + prefix.size());
    }
    return -1;
}

// Starts a new high-water mark at the present resident size (Linux 4.0 on).
// Memory freed by an earlier parse goes back to the system first: a parse
// that reused it would not raise the mark.
bool ResetPeakMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}
#endif

void Parse(benchmark::State& state, SceneKind kind) {
    const GeneratedScene& scene = Scene(kind);
    int objects = 0;
    double peakRatio = 0.0;
    for (auto _ : state) {
#ifdef __linux__
        state.PauseTiming();
        const bool peakKnown = ResetPeakMemory();
        const long long before = StatusKilobytes("VmRSS");
        state.ResumeTiming();
#endif
        auto world = std::make_unique<C3DWorld>();
        auto parser = std::make_unique<CVRMLParser>();
        const int result = parser->Parse(world.get(), scene.path);
        state.PauseTiming();
        if (result != VRML_LOAD_SUCCESS) {
            state.SkipWithError("the generated scene did not load");
            break;
        }
        objects = world->GetTotalObjectCount();
#ifdef __linux__
        const long long peak = StatusKilobytes("VmHWM");
        if (peakKnown && before >= 0 && peak >= before)
            peakRatio = std::max(peakRatio, static_cast<double>(peak - before) * 1024.0 / scene.size);
#endif
        parser.reset();
        world.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(scene.size));
    state.counters["file_MB"] = static_cast<double>(scene.size) / 1e6;
    state.counters["objects"] = objects;
#ifdef __linux__
    state.counters["peak_per_file_byte"] = peakRatio;
#endif
}

// Opening (reading the whole file) and every token to the end, classified.
void Tokenize(benchmark::State& state, SceneKind kind) {
    const GeneratedScene& scene = Scene(kind);
    long long tokens = 0;
    for (auto _ : state) {
        CVRMLIOManager reader;
        reader.SetFilename(scene.path);
        if (reader.OpenFile() != VRML_LOAD_SUCCESS) {
            state.SkipWithError("cannot open the generated scene");
            break;
        }
        tokens = 0;
        long long kinds = 0;
        while (reader.Tokenize() != 0) {
            kinds += reader.GetCurrentTokenType();
            ++tokens;
        }
        benchmark::DoNotOptimize(kinds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(scene.size));
    state.counters["tokens"] = static_cast<double>(tokens);
}

BENCHMARK_CAPTURE(Parse, cad_v2, SceneKind::CadExport)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Parse, faces_v1, SceneKind::Separators)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Parse, prims_v2, SceneKind::Primitives)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Parse, patches_v1, SceneKind::Patches)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize, cad_v2, SceneKind::CadExport)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize, faces_v1, SceneKind::Separators)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize, prims_v2, SceneKind::Primitives)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize, patches_v1, SceneKind::Patches)->Unit(benchmark::kMillisecond);

} // namespace
