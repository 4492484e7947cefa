// vrml: look inside VRML 1.0 and 2.0 files, and convert them.
//   vrml info FILE [--tree]      a summary of what the file holds (FILE "-": standard input)
//   vrml dump FILE               the loaded world as JSON
//   vrml convert IN OUT          the world as glTF, OBJ, STL or PLY
//   vrml convert IN... -o DIR    each input into DIR
//   vrml render IN OUT.png       a picture of the world
// Every command loads by the VRML 97 and VRML 1.0 standards' semantics, what
// a VRML browser shows; --no-standard gives the loader's own, which builds
// more (every Switch child and LOD level). --standard is still accepted.

#include "ConvertCommand.h"
#include "RenderCommand.h"
#include "TerminalProgress.h"
#include "host/tokenizer/FileInterface.h"
#include "inspect/JsonDump.h"
#include "inspect/LoadReport.h"
#include "inspect/WorldInfo.h"
#include "parser/VRMLTypes.h"
#include "render/Render.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <utility>

namespace {

using namespace vrml;
using namespace vrml::cli;

// Loads the file, with a bar on a terminal when `progress` is set; prints
// the reason on stderr when it could not be loaded.
LoadedScene Load(const std::string& path, bool progress, const LoadSettings& settings) {
    TerminalProgress bar(progress);
    LoadedScene scene = LoadScene(path, settings, bar.Callback());
    bar.Clear();
    if (!scene.failure.empty())
        std::fprintf(stderr, "vrml: %s: %s\n", path.c_str(), scene.failure.c_str());
    return scene;
}

// What a command loaded is left to the end of the process, which takes it
// back at once, rather than freed object by object: for a world of many
// objects that takes a tenth of the loading time. It stays reachable, so
// leak checkers do not count it.
void LeaveToExit(std::unique_ptr<C3DWorld> world) {
    static C3DWorld* left = nullptr;
    delete left; // only when a command loads twice
    left = world.release();
}

int RunInfo(const std::string& path, const LoadSettings& settings, int segments, bool tree, int threads) {
    LoadedScene scene = Load(path, true, settings);
    if (!scene.failure.empty())
        return scene.result;
    trelTessellationOptions options;
    options.segments = segments;
    // A load that succeeded has just bounded every group.
    const GroupBoxes boxes = scene.result == VRML_LOAD_SUCCESS ? GroupBoxes::Current : GroupBoxes::Unknown;
    WriteInfo(std::cout, path, scene, SummarizeWorld(*scene.world, options, ThreadsToUse(threads), boxes));
    if (tree)
        WriteGroupTree(std::cout, *scene.world, options);
    LeaveToExit(std::move(scene.world));
    return scene.result;
}

int RunDump(const std::string& path, const LoadSettings& settings) {
    LoadedScene scene = Load(path, false, settings);
    if (!scene.failure.empty())
        return scene.result;
    DumpHeader header{path, scene.result, scene.version, scene.imageUnits};
    WriteJsonDump(std::cout, header, *scene.world);
    LeaveToExit(std::move(scene.world));
    return scene.result;
}

const char* const StandardHelp =
    "--no-standard: the loader's own semantics, which build more than the VRML standards (every Switch child and "
    "LOD level, VRML 1.0 groups as separators, ...). By default, and with --standard, the standards are followed";

} // namespace

int main(int argc, char** argv) {
    // Large files are mapped rather than read; one that another program cuts
    // short meanwhile ends the tool with this rather than a bus error.
    C3DFileInterface::GuardMappedFiles("vrml: a file was cut short while it was read\n", 1);
    CLI::App app{"vrml: look inside VRML 1.0 and 2.0 files"};
    app.require_subcommand(1);

    // What every command takes about loading.
    LoadSettings infoLoad, dumpLoad;
    ConvertRequest convertRequest;
    const auto addLoadOptions = [](CLI::App* command, LoadSettings& settings) {
        command->add_option("--include-root", settings.includeRoot,
                            "Files the scene names must lie inside this folder (set it for scenes from others)");
        settings.standard = true; // what a VRML browser shows
        settings.mapFile = true;  // guarded in main
        command->add_flag("--standard,!--no-standard", settings.standard, StandardHelp);
        command->add_flag("--text", settings.text,
                          "Build Text and AsciiText with --no-standard too (the standards always build them)");
    };

    std::string infoFile;
    int segments = 32;
    CLI::App* info = app.add_subcommand("info", "Summary: version, result, units, groups, objects, triangles, bounds");
    info->add_option("FILE", infoFile, "VRML file (- reads standard input)")->required();
    addLoadOptions(info, infoLoad);
    info->add_option("--segments", segments, "Divisions of a full turn for curved solids")->check(CLI::Range(3, 4096));
    bool tree = false;
    info->add_flag("--tree", tree, "Also the group hierarchy: names, objects by type, triangles per group");
    int infoThreads = 0;
    info->add_option("-j,--jobs", infoThreads, "Threads: objects counted at once (default: every core)")
        ->check(CLI::Range(0, 1024));

    std::string dumpFile;
    CLI::App* dump = app.add_subcommand("dump", "The loaded world as JSON on stdout");
    dump->add_option("FILE", dumpFile, "VRML file (- reads standard input)")->required();
    addLoadOptions(dump, dumpLoad);

    std::string units = "file";
    CLI::App* convert = app.add_subcommand("convert", "Write the world as " + ExportFormatNames(true) +
                                                          " (see --list-formats), chosen by OUT's extension");
    convert->add_option("FILES", convertRequest.files, "IN OUT, or the inputs when -o DIR is given")->required();
    convert->add_option("-o,--output-dir", convertRequest.outputDir, "Convert each input into this folder");
    convert->add_option("--format", convertRequest.format, "With -o DIR: " + ExportFormatNames() + " (default glb)");
    convert
        ->add_flag_callback(
            "--list-formats",
            [] {
                ListFormats(std::cout);
                throw CLI::Success();
            },
            "List the formats and what each keeps, then exit")
        ->trigger_on_parse();
    convert->add_option("--segments", convertRequest.settings.segments, "Divisions of a full turn for curved solids")
        ->check(CLI::Range(3, 4096));
    convert
        ->add_option("--units", units,
                     "The file's own unit (file), KiCad's 0.1 inch in metres (kicad), or for OBJ, STL, PLY the "
                     "loader's scaled unit (loaded)")
        ->check(CLI::IsMember({"file", "kicad", "loaded"}));
    convert
        ->add_option("--scale", convertRequest.settings.frame.scale,
                     "Multiplies every coordinate, after --units (glTF is read in metres)")
        ->check(CLI::Range(1e-12, 1e12));
    std::string up = "y";
    convert->add_option("--up", up, "The file's up axis: y (VRML's) or z (turned so that Y is up)")
        ->check(CLI::IsMember({"y", "z"}));
    std::string merge = "none";
    convert
        ->add_option("--merge", merge,
                     "material: one object per material, texture and colouring in place of the groups and objects")
        ->check(CLI::IsMember({"none", "material"}));
    convert->add_flag("-q,--quiet", convertRequest.quiet, "No progress bars and no line per converted file");
    convertRequest.settings.threads = 0;
    convert
        ->add_option("-j,--jobs", convertRequest.settings.threads,
                     "Threads: objects tessellated, or files converted, at once (default: every core)")
        ->check(CLI::Range(0, 1024));
    convert
        ->add_option("--max-triangles", convertRequest.settings.maxTriangles,
                     "Refuse a scene whose output would store more triangles (0: no limit; instanced glTF counts a "
                     "shared part once)")
        ->capture_default_str();
    convertRequest.settings.budgetHint = "--max-triangles";
    addLoadOptions(convert, convertRequest.settings.load);

    RenderRequest renderRequest;
    CLI::App* render = app.add_subcommand(
        "render", "Draw the world into a PNG picture (software rendering: no display or GPU needed)");
    render->add_option("IN", renderRequest.input, "VRML file (- reads standard input)")->required();
    render->add_option("OUT", renderRequest.output, "The PNG file to write")->required();
    render->add_option("--size", renderRequest.size, "WIDTHxHEIGHT in pixels, at most 8192x8192")
        ->capture_default_str();
    render
        ->add_option("--view", renderRequest.view,
                     "Where the camera looks from: iso (a corner), front (+z), back, "
                     "left (-x), right, top (+y) or bottom")
        ->capture_default_str();
    render->add_option("--background", renderRequest.background,
                       "#rrggbb, r,g,b with each part 0 to 1, or transparent (default light grey; transparent for "
                       "--thumbnail)");
    render
        ->add_option("--thumbnail", renderRequest.thumbnail,
                     "A square picture of this side in place of --size, on a transparent background, as file "
                     "managers ask: vrml render --thumbnail %s %i %o")
        ->check(CLI::Range(1, MaxRenderSide));
    render->add_option("--segments", renderRequest.segments, "Divisions of a full turn for curved solids")
        ->check(CLI::Range(3, 4096))
        ->capture_default_str();
    render->add_option("--max-triangles", renderRequest.maxTriangles, "Refuse a scene of more triangles (0: no limit)")
        ->capture_default_str();
    addLoadOptions(render, renderRequest.load);

    CLI11_PARSE(app, argc, argv);
    try {
        if (*info)
            return RunInfo(infoFile, infoLoad, segments, tree, infoThreads);
        if (*dump)
            return RunDump(dumpFile, dumpLoad);
        if (*convert) {
            convertRequest.settings.loadedUnits = units == "loaded";
            if (units == "kicad")
                convertRequest.settings.frame.scale *= KicadUnitInMetres;
            convertRequest.settings.frame.zUp = up == "z";
            convertRequest.settings.mergeByMaterial = merge == "material";
            return RunConvert(convertRequest, std::cout, std::cerr);
        }
        if (*render)
            return RunRender(renderRequest, std::cerr);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vrml: %s\n", error.what());
        return 1;
    }
    return 1;
}
