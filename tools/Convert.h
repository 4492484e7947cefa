#pragma once
// `vrml convert`: loaded worlds written as glTF, OBJ, STL or PLY.

#include "ExportScene.h"
#include "LoadReport.h"

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

enum class ExportFormat { Glb, Gltf, Obj, Stl, Ply };

// The format named by a file extension or a format name, without regard to
// case (".glb" or "glb"); false for anything else.
bool ParseExportFormat(std::string name, ExportFormat& format);
const char* FormatExtension(ExportFormat format); // ".glb", ...

struct ConvertSettings {
    int segments = 32;        // divisions of a full turn for curved solids
    bool loadedUnits = false; // OBJ, STL, PLY: keep the loader's scaled units
    bool progress = true;     // bars on stderr (drawn only when it is a terminal)
    int threads = 1;          // objects tessellated at once; the output is the same for any number
    LoadSettings load;
};

// Threads for a job asked for with -j: every core for 0 (or less).
int ThreadsToUse(int requested);

struct ConvertSummary {
    size_t objects = 0, triangles = 0, lineStrips = 0, points = 0;
};

// Loads `input` ("-": standard input) and writes it to `output`. Returns an empty string on
// success, else the reason in a few words.
std::string ConvertFile(const std::string& input, const std::string& output, ExportFormat format,
                        const ConvertSettings& settings, ConvertSummary& summary);

// The two halves of a conversion, for a world loaded elsewhere: the export
// form of a world loaded with `imageUnits`, in the units `format` and
// `settings` ask for; then that form written to `output` (an empty string
// on success, else the reason in a few words).
ExportScene BuildSceneFor(const C3DWorld& world, int imageUnits, ExportFormat format, const ConvertSettings& settings,
                          const std::function<void(int)>& progress = {});
std::string WriteSceneAs(const ExportScene& scene, const std::string& output, ExportFormat format,
                         ConvertSummary& summary);

// The world written to `output` as it is tessellated, object by object:
// only what the format must hold back until its end is kept (see
// SceneWriter). `name` is the root's when the world has none. `streamed`,
// when given, is called once the last object is written and before the
// format's last step, which no longer needs the world: it may release it.
std::string WriteWorldAs(const C3DWorld& world, int imageUnits, const std::string& name, const std::string& output,
                         ExportFormat format, const ConvertSettings& settings, ConvertSummary& summary,
                         const std::function<void(int)>& progress = {}, const std::function<void()>& streamed = {});

// What a batch writes for `input` into a folder: its name without the
// .gz and .wrl/.wrz/.vrml endings, with the format's extension.
std::string OutputNameFor(const std::string& input, ExportFormat format);

struct ConvertRequest {
    std::vector<std::string> files; // IN OUT, or the inputs when outputDir is set
    std::string outputDir;          // -o DIR
    std::string format;             // --format, with -o DIR only (default glb)
    ConvertSettings settings;       // its threads: 0 takes every core
    bool quiet = false;
};

// The whole command. Every failure is one line on `err` naming the file and
// the reason; without `quiet`, each conversion done is one line on `out`,
// in the order of the inputs. Several inputs are converted at once, as many
// as there are threads to use.
// Returns 0 when every input was converted, 1 when any failed, 2 when the
// request itself cannot be carried out.
int RunConvert(const ConvertRequest& request, std::ostream& out, std::ostream& err);
