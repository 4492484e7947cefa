#pragma once
// Conversion: a scene loaded and written in one of the export formats.

#include "ExportScene.h"
#include "Formats.h"
#include "inspect/Budget.h"
#include "inspect/LoadReport.h"
#include "inspect/Progress.h"

#include <cstddef>
#include <functional>
#include <string>

namespace vrml {

struct ConvertSettings {
    int segments = 32;        // divisions of a full turn for curved solids
    bool loadedUnits = false; // OBJ, STL, PLY: keep the loader's scaled units
    // Applied after the units: a scale (KicadUnitInMetres for KiCad's
    // models) and the file's up axis. glTF stays Y-up, in metres.
    OutputFrame frame;
    // One object per material (and texture, and whether the file gives
    // colours) in place of the groups and objects, as KiCad users join shapes.
    bool mergeByMaterial = false;
    int threads = 1; // objects tessellated at once; the output is the same for any number
    LoadSettings load;
    ProgressCallback progress; // "loading", then "writing"
    // The most triangles an output may store (0: no limit); an instanced
    // glTF counts a shared shape once, as it stores it. A scene over the
    // budget is refused before anything is written.
    size_t maxTriangles = DefaultMaxTriangles;
    // How the user raises the budget, added to a refusal ("--max-triangles").
    std::string budgetHint;
};

// Threads for a job asked for with -j: every core for 0 (or less).
int ThreadsToUse(int requested);

struct ConvertSummary {
    size_t objects = 0, triangles = 0, lineStrips = 0, points = 0;
    bool overBudget = false; // refused: more triangles than ConvertSettings::maxTriangles
    // ConvertFile's load result: 0 loaded, 1 failed, 2 unreadable (then nothing is written unless 0).
    int loadResult = 2;
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

} // namespace vrml
