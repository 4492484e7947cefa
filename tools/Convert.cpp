#include "Convert.h"

#include "parser/VRMLParser.h"

#include "ExportScene.h"
#include "Exporters.h"
#include "LoadReport.h"
#include "Progress.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::unique_ptr<SceneWriter> WriterFor(const std::string& path, ExportFormat format) {
    switch (format) {
    case ExportFormat::Glb: return MakeGltfWriter(path, true);
    case ExportFormat::Gltf: return MakeGltfWriter(path, false);
    case ExportFormat::Obj: return MakeObjWriter(path);
    case ExportFormat::Stl: return MakeStlWriter(path);
    case ExportFormat::Ply: return MakePlyWriter(path);
    }
    return nullptr;
}

ExportOptions OptionsFor(int imageUnits, ExportFormat format, const ConvertSettings& settings) {
    ExportOptions options;
    options.tessellation.segments = settings.segments;
    // glTF is in metres by definition, which is the file's own unit.
    const bool gltf = format == ExportFormat::Glb || format == ExportFormat::Gltf;
    options.scale = !settings.loadedUnits || gltf ? UnitScaleToFile(imageUnits) : 1.0;
    options.threads = settings.threads;
    // glTF writes a shared geometry once and places it per use; the other
    // formats have no instancing and write every object in world space.
    options.instancing = gltf;
    return options;
}

} // namespace

bool ParseExportFormat(std::string name, ExportFormat& format) {
    name = Lower(name);
    if (!name.empty() && name[0] == '.')
        name.erase(0, 1);
    static const std::pair<const char*, ExportFormat> names[] = {{"glb", ExportFormat::Glb},
                                                                 {"gltf", ExportFormat::Gltf},
                                                                 {"obj", ExportFormat::Obj},
                                                                 {"stl", ExportFormat::Stl},
                                                                 {"ply", ExportFormat::Ply}};
    for (const auto& [text, value] : names) {
        if (name == text) {
            format = value;
            return true;
        }
    }
    return false;
}

const char* FormatExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::Glb: return ".glb";
    case ExportFormat::Gltf: return ".gltf";
    case ExportFormat::Obj: return ".obj";
    case ExportFormat::Stl: return ".stl";
    case ExportFormat::Ply: return ".ply";
    }
    return "";
}

std::string OutputNameFor(const std::string& input, ExportFormat format) {
    std::string name = fs::path(input).filename().string();
    if (EndsWith(Lower(name), ".gz"))
        name.resize(name.size() - 3);
    for (const char* ending : {".wrl", ".wrz", ".vrml"}) {
        if (EndsWith(Lower(name), ending) && name.size() > std::char_traits<char>::length(ending)) {
            name.resize(name.size() - std::char_traits<char>::length(ending));
            break;
        }
    }
    return name + FormatExtension(format);
}

std::string ConvertFile(const std::string& input, const std::string& output, ExportFormat format,
                        const ConvertSettings& settings, ConvertSummary& summary) {
    LoadedScene loaded = LoadScene(input, settings.progress, settings.load);
    if (!loaded.failure.empty())
        return loaded.failure;
    if (loaded.result != 0)
        return "no node could be read from it";

    ProgressBar bar("writing", settings.progress);
    const bool fromStandardInput = input == CGenericParser::StandardInputName;
    const std::string name =
        ToValidUtf8(fs::path(fromStandardInput ? output : OutputNameFor(input, format)).stem().string());
    // Tessellation is most of the work; the bar stops short of the end for the file itself.
    std::string failure = WriteWorldAs(
        *loaded.world, loaded.imageUnits, name, output, format, settings, summary,
        [](int percent) { ProgressBar::Report(std::max(1, percent * 9 / 10)); },
        [&] { loaded.world.reset(); }); // the format's last step needs only what it kept
    bar.Finish();
    return failure;
}

int ThreadsToUse(int requested) {
    return requested > 0 ? requested : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

std::string WriteWorldAs(const C3DWorld& world, int imageUnits, const std::string& name, const std::string& output,
                         ExportFormat format, const ConvertSettings& settings, ConvertSummary& summary,
                         const std::function<void(int)>& progress, const std::function<void()>& streamed) {
    std::unique_ptr<SceneWriter> writer = WriterFor(output, format);
    ExportScene scene;
    scene.name = name;
    std::string failure;
    ConvertSummary counted;
    StreamExportScene(
        world, OptionsFor(imageUnits, format, settings), scene,
        [&] {
            failure = writer->Open(scene);
            return failure.empty();
        },
        [&](const ExportObject& object) {
            writer->Add(object);
            const ExportGeometry& geometry = scene.GeometryOf(object);
            counted.triangles += geometry.GetTriangleCount();
            counted.lineStrips += geometry.lineStrips.size();
            counted.points += geometry.points.size();
        },
        progress);
    if (streamed)
        streamed();
    if (failure.empty())
        failure = writer->Finish();
    writer.reset();
    if (!failure.empty())
        return failure + " (" + output + ")";
    counted.objects = scene.objects.size();
    summary = counted;
    return std::string();
}

ExportScene BuildSceneFor(const C3DWorld& world, int imageUnits, ExportFormat format, const ConvertSettings& settings,
                          const std::function<void(int)>& progress) {
    return BuildExportScene(world, OptionsFor(imageUnits, format, settings), progress);
}

std::string WriteSceneAs(const ExportScene& scene, const std::string& output, ExportFormat format,
                         ConvertSummary& summary) {
    const std::string failure = WriteScene(*WriterFor(output, format), scene);
    if (!failure.empty())
        return failure + " (" + output + ")";
    summary.objects = scene.objects.size();
    summary.triangles = scene.GetTriangleCount();
    summary.lineStrips = scene.GetLineStripCount();
    summary.points = scene.GetPointCount();
    return std::string();
}

int RunConvert(const ConvertRequest& request, std::ostream& out, std::ostream& err) {
    const bool batch = !request.outputDir.empty();
    std::vector<std::pair<std::string, std::string>> jobs; // input, output
    ExportFormat format = ExportFormat::Glb;
    if (batch) {
        if (request.files.empty()) {
            err << "vrml convert: no input files\n";
            return 2;
        }
        if (!request.format.empty() && !ParseExportFormat(request.format, format)) {
            err << "vrml convert: unknown format '" << request.format << "' (glb, gltf, obj, stl or ply)\n";
            return 2;
        }
        std::error_code error;
        fs::create_directories(request.outputDir, error);
        if (!fs::is_directory(request.outputDir, error)) {
            err << "vrml convert: " << request.outputDir << ": cannot create the output folder\n";
            return 2;
        }
        for (const std::string& input : request.files) {
            if (input == CGenericParser::StandardInputName) {
                err << "vrml convert: standard input has no name to write under: give - OUT\n";
                return 2;
            }
            jobs.emplace_back(input, (fs::path(request.outputDir) / OutputNameFor(input, format)).string());
        }
    } else {
        if (request.files.size() != 2) {
            err << "vrml convert: give IN OUT, or several inputs with -o DIR\n";
            return 2;
        }
        if (!request.format.empty()) {
            err << "vrml convert: --format goes with -o DIR; otherwise OUT's extension names the format\n";
            return 2;
        }
        if (!ParseExportFormat(fs::path(request.files[1]).extension().string(), format)) {
            err << "vrml convert: " << request.files[1]
                << ": unknown output format (the extension must be .glb, .gltf, .obj, .stl or .ply)\n";
            return 2;
        }
        jobs.emplace_back(request.files[0], request.files[1]);
    }
    if (request.settings.loadedUnits && (format == ExportFormat::Glb || format == ExportFormat::Gltf)) {
        err << "vrml convert: --units loaded applies to OBJ, STL and PLY; glTF is always in metres\n";
        return 2;
    }

    // Two inputs of the same name in different folders would overwrite
    // each other's output without a word; the second one is refused instead.
    std::set<std::string> written;
    std::vector<bool> refused;
    for (const auto& job : jobs)
        refused.push_back(!written.insert(fs::path(job.second).lexically_normal().string()).second);

    const int threads = ThreadsToUse(request.settings.threads);
    // Files side by side, and what threads are left to each file's objects.
    const size_t together = std::min(jobs.size(), static_cast<size_t>(threads));
    ConvertSettings settings = request.settings;
    settings.threads = std::max(1, threads / static_cast<int>(std::max<size_t>(together, 1)));
    // Bars of files converted at once would overwrite each other.
    settings.progress = settings.progress && !request.quiet && together <= 1;

    struct Outcome {
        std::string failure;
        ConvertSummary summary;
        bool reported = false;
    };
    std::vector<Outcome> outcomes(jobs.size());
    int status = 0;
    size_t nextToReport = 0;
    std::mutex guard;
    // Lines come in the order of the inputs, each as soon as it and all
    // before it are done.
    const auto reportReady = [&] {
        for (; nextToReport < jobs.size() && outcomes[nextToReport].reported; ++nextToReport) {
            const auto& [input, output] = jobs[nextToReport];
            const Outcome& outcome = outcomes[nextToReport];
            if (refused[nextToReport]) {
                err << "vrml: " << input << ": " << output << " was already written for an earlier input\n";
                status = 1;
            } else if (!outcome.failure.empty()) {
                err << "vrml: " << input << ": " << outcome.failure << '\n';
                status = 1;
            } else if (!request.quiet) {
                const ConvertSummary& summary = outcome.summary;
                out << input << " -> " << output << ": " << summary.objects << " objects, " << summary.triangles
                    << " triangles, " << summary.lineStrips << " lines, " << summary.points << " points\n";
            }
        }
    };
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            Outcome outcome;
            if (!refused[i]) {
                try {
                    outcome.failure = ConvertFile(jobs[i].first, jobs[i].second, format, settings, outcome.summary);
                } catch (const std::bad_alloc&) {
                    outcome.failure = "not enough memory";
                } catch (const std::exception& error) {
                    outcome.failure = error.what();
                }
            }
            outcome.reported = true;
            std::lock_guard<std::mutex> lock(guard);
            outcomes[i] = std::move(outcome);
            reportReady();
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < together; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    return status;
}
