#include "Convert.h"

#include "MergeByMaterial.h"
#include "parser/VRMLParser.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

namespace vrml {

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

ExportOptions OptionsFor(int imageUnits, ExportFormat format, const ConvertSettings& settings) {
    const ExportFormatInfo& info = InfoOf(format);
    ExportOptions options;
    options.tessellation.segments = settings.segments;
    options.frame = settings.frame;
    options.frame.scale *= !settings.loadedUnits || info.inMetres ? UnitScaleToFile(imageUnits) : 1.0;
    options.threads = settings.threads;
    options.instancing = info.instancing && !settings.mergeByMaterial;
    options.maxTriangles = settings.maxTriangles;
    return options;
}

} // namespace

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
    LoadedScene loaded = LoadScene(input, settings.load, settings.progress);
    summary.loadResult = loaded.result;
    if (!loaded.failure.empty())
        return loaded.failure;
    if (loaded.result != 0)
        return "no node could be read from it";

    const bool fromStandardInput = input == CGenericParser::StandardInputName;
    const std::string name =
        ToValidUtf8(fs::path(fromStandardInput ? output : OutputNameFor(input, format)).stem().string());
    std::function<void(int)> writing;
    if (settings.progress) {
        // Tessellation is most of the work; the stage stops short of its end for the file itself.
        writing = [&progress = settings.progress](int percent) { progress("writing", std::max(1, percent * 9 / 10)); };
    }
    const std::string failure =
        WriteWorldAs(*loaded.world, loaded.imageUnits, name, output, format, settings, summary, writing,
                     [&] { loaded.world.reset(); }); // the format's last step needs only what it kept
    summary.loadResult = VRML_LOAD_SUCCESS;
    return failure;
}

int ThreadsToUse(int requested) {
    return requested > 0 ? requested : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

std::string WriteWorldAs(const C3DWorld& world, int imageUnits, const std::string& name, const std::string& output,
                         ExportFormat format, const ConvertSettings& settings, ConvertSummary& summary,
                         const std::function<void(int)>& progress, const std::function<void()>& streamed) {
    const auto refused = [&](const std::string& reason) {
        summary = ConvertSummary();
        summary.overBudget = true;
        return reason + (settings.budgetHint.empty() ? "" : " (" + settings.budgetHint + ")");
    };
    if (settings.mergeByMaterial) {
        // Every object of a look must be in before its object is written.
        ExportScene built = BuildExportScene(world, OptionsFor(imageUnits, format, settings), progress);
        if (streamed)
            streamed();
        if (built.IsOverBudget())
            return refused(OverBudget(built.countedTriangles, built.maxTriangles));
        built.name = name;
        return WriteSceneAs(MergeByMaterial(std::move(built)), output, format, summary);
    }
    std::unique_ptr<SceneWriter> writer = InfoOf(format).makeWriter(output);
    ExportScene scene;
    scene.name = name;
    std::string failure;
    ConvertSummary counted;
    // The triangles the output stores: a shared shape once. The count made
    // before is exact; this keeps the budget even if it were not.
    size_t stored = 0;
    bool overBudget = false;
    const auto store = [&](size_t triangles) {
        stored += triangles;
        if (settings.maxTriangles > 0 && stored > settings.maxTriangles && failure.empty()) {
            failure = OverBudget(stored, settings.maxTriangles);
            overBudget = true;
        }
        return failure.empty();
    };
    StreamExportScene(
        world, OptionsFor(imageUnits, format, settings), scene,
        [&] {
            for (const ExportGeometry& shape : scene.shapes)
                store(shape.GetTriangleCount());
            if (failure.empty())
                failure = writer->Open(scene);
            return failure.empty();
        },
        [&](const ExportObject& object) {
            const ExportGeometry& geometry = scene.GeometryOf(object);
            ++counted.objects;
            if (!store(object.shape < 0 ? geometry.GetTriangleCount() : 0))
                return;
            writer->Add(object);
            counted.triangles += geometry.GetTriangleCount();
            counted.lineStrips += geometry.lineStrips.size();
            counted.points += geometry.points.size();
        },
        progress);
    if (streamed)
        streamed();
    if (scene.IsOverBudget()) {
        failure = OverBudget(scene.countedTriangles, scene.maxTriangles);
        overBudget = true;
    }
    if (failure.empty())
        failure = writer->Finish();
    writer.reset(); // an output not finished is removed
    if (overBudget)
        return refused(failure);
    if (!failure.empty())
        return failure + " (" + output + ")";
    summary = counted;
    return std::string();
}

ExportScene BuildSceneFor(const C3DWorld& world, int imageUnits, ExportFormat format, const ConvertSettings& settings,
                          const std::function<void(int)>& progress) {
    return BuildExportScene(world, OptionsFor(imageUnits, format, settings), progress);
}

std::string WriteSceneAs(const ExportScene& scene, const std::string& output, ExportFormat format,
                         ConvertSummary& summary) {
    if (scene.IsOverBudget())
        return OverBudget(scene.countedTriangles, scene.maxTriangles);
    const std::string failure = WriteScene(*InfoOf(format).makeWriter(output), scene);
    if (!failure.empty())
        return failure + " (" + output + ")";
    summary.objects = scene.objects.size();
    summary.triangles = scene.GetTriangleCount();
    summary.lineStrips = scene.GetLineStripCount();
    summary.points = scene.GetPointCount();
    return std::string();
}

} // namespace vrml
