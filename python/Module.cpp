// The Python module vrml._vrml: scenes loaded by the C++ loader, their groups
// and objects, and their geometry as numpy arrays. The GIL is released while
// the loader, the tessellation and the writers run; arrays own their memory.

#include "Arrays.h"
#include "Parts.h"
#include "export/Batch.h"
#include "export/Convert.h"
#include "export/ExportScene.h"
#include "inspect/LoadReport.h"
#include "inspect/WorldInfo.h"
#include "inspect/WorldWalk.h"
#include "parser/VRMLParser.h"

#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace vrml;
using namespace vrml::python;

namespace {

// Calls a Python callable with the loader's percentages from a load that
// runs without the GIL. An exception it raises is kept, and raised once the
// load is over; the callable is not called again.
class PythonProgress {
public:
    explicit PythonProgress(const py::object& callable) : callable(callable) {}

    ProgressCallback Callback() {
        if (callable.is_none())
            return nullptr;
        return [this](const char*, int percent) {
            if (error)
                return;
            py::gil_scoped_acquire gil;
            try {
                callable(percent);
            } catch (py::error_already_set& raised) {
                error = std::make_unique<py::error_already_set>(std::move(raised));
            }
        };
    }
    void RaiseAnyError() {
        if (error)
            throw std::move(*error);
    }

private:
    py::object callable;
    std::unique_ptr<py::error_already_set> error;
};

// The package this module is part of ("vrml", or a copy inside an add-on),
// where its error classes are.
std::string packageName = "vrml";
py::module_ Package() { return py::module_::import(packageName.c_str()); }

// vrml.BudgetError, a ValueError: the scene holds more triangles than the budget allows.
[[noreturn]] void RaiseBudgetError(const std::string& reason) {
    py::object error = Package().attr("BudgetError");
    PyErr_SetString(error.ptr(), (reason + " (max_triangles=)").c_str());
    throw py::error_already_set();
}

// The format a name (or, `byExtension`, a file extension) gives, or a
// ValueError naming the ones there are.
ExportFormat FormatNamed(const std::string& name, bool byExtension = false) {
    ExportFormat format;
    if (!ParseExportFormat(name, format))
        throw py::value_error(std::string(byExtension ? "unknown output format '" : "unknown format '") + name + "' (" +
                              ExportFormatNames(byExtension) + ")");
    return format;
}

py::dict MaterialDict(const trelMaterial& m) {
    auto color = [](const trelChroma& c) { return py::make_tuple(c.red, c.green, c.blue, c.alpha); };
    py::dict d;
    d["ambient"] = color(m.GetAmbient());
    d["diffuse"] = color(m.GetDiffuse());
    d["specular"] = color(m.GetSpecular());
    d["emission"] = color(m.GetEmission());
    d["shininess"] = m.GetShininess();
    return d;
}

class Scene {
public:
    int result = 1;
    int version = 0;
    int units = 4;
    int segments = 32;                         // divisions of a full turn for curved solids, in arrays and saved files
    size_t maxTriangles = DefaultMaxTriangles; // in arrays and saved files; 0: no limit
    OutputFrame frame;                         // asked for by load: the file's unit times a scale, and its up axis
    std::string file;
    std::unique_ptr<C3DWorld> world;

    // "file": the file's own unit in load's frame; "loaded": as loaded.
    OutputFrame FrameFor(const std::string& unitsWanted) const {
        if (unitsWanted == "loaded")
            return OutputFrame();
        if (unitsWanted != "file")
            throw py::value_error("units must be \"file\" or \"loaded\"");
        OutputFrame inFile = frame;
        inFile.scale *= UnitScaleToFile(units);
        return inFile;
    }

    py::tuple Bounds(const std::string& unitsWanted) const {
        world->RecursiveUpdateBBox();
        const trelBBox box = FrameFor(unitsWanted).Box(world->GetBBox());
        std::vector<float> low(3, 0.0f), high(3, 0.0f);
        if (!box.IsEmpty()) {
            const trelFloatPoint& a = box.GetMin();
            const trelFloatPoint& b = box.GetMax();
            low = {a.x, a.y, a.z};
            high = {b.x, b.y, b.z};
        }
        return py::make_tuple(TakeArray(std::move(low), 1), TakeArray(std::move(high), 1));
    }

    // Groups parents first, each with its name, its path of names from the
    // world and its own objects.
    py::list Walk() const {
        py::list groups;
        std::vector<std::string> pathAtDepth;
        WalkGroups(*world, [&](const trelBaseGroup& group, int depth) {
            const std::string name = ToValidUtf8(group.GetGroupName().GetString());
            pathAtDepth.resize(static_cast<size_t>(depth) + 1);
            pathAtDepth[static_cast<size_t>(depth)] = name;
            std::string path;
            for (int d = 1; d <= depth; ++d)
                path += "/" + (pathAtDepth[static_cast<size_t>(d)].empty() ? std::string("_")
                                                                           : pathAtDepth[static_cast<size_t>(d)]);
            py::list objects;
            for (int i = 0; i < group.GetNumObjects(); ++i) {
                const trelBaseObject& object = *group.GetObject(i);
                py::dict o;
                o["type"] = ObjectTypeName(object.GetObjectType());
                o["name"] = ToValidUtf8(object.GetObjectName().GetString());
                o["material"] = MaterialDict(group.GetObjectMatProps(i).front);
                objects.append(o);
            }
            py::dict g;
            g["name"] = name;
            g["path"] = path.empty() ? std::string("/") : path;
            g["depth"] = depth;
            g["objects"] = objects;
            groups.append(g);
        });
        return groups;
    }

    // The three kinds of geometry, every object in the order of Walk,
    // `object` numbering them from 0.
    struct Geometry {
        std::vector<float> positions, normals, colors, uv;
        std::vector<uint32_t> indices;
        std::vector<int32_t> triangleObject;
        std::vector<float> linePositions, lineColors;
        std::vector<uint32_t> lineLengths;
        std::vector<int32_t> lineObject;
        std::vector<float> pointPositions, pointColors;
        std::vector<int32_t> pointObject;
    };

    enum class Kind { Triangles, Lines, Points };

    Geometry Tessellate(const OutputFrame& frame, int segments, Kind kind) const {
        Geometry g;
        trelTessellationOptions options;
        options.segments = segments;
        options.attributes = true;
        int32_t objectIndex = 0;
        trelTessellation mesh;
        auto put = [&frame](std::vector<float>& out, const trelFloatPoint& given) {
            const trelFloatPoint p = frame.Point(given);
            out.insert(out.end(), {p.x, p.y, p.z});
        };
        auto putColor = [](std::vector<float>& out, const trelChroma& c) {
            out.insert(out.end(), {c.red, c.green, c.blue, c.alpha});
        };
        WalkGroups(*world, [&](const trelBaseGroup& group, int) {
            for (int i = 0; i < group.GetNumObjects(); ++i, ++objectIndex) {
                const trelBaseObject& object = *group.GetObject(i);
                // Objects whose file said nothing more are tessellated as the
                // tool counts them; the others with their attributes.
                const trelAttributes* attributes = object.GetAttributes();
                options.attributes = attributes != nullptr;
                mesh.Clear();
                object.Tessellate(mesh, options);
                // The file's colours where it gives them, else the material's.
                const bool ownColors = attributes && attributes->HasColors();
                const trelChroma& material = group.GetObjectMatProps(i).front.GetDiffuse();
                if (kind == Kind::Triangles) {
                    const size_t n = mesh.triangleVertices.size() / 3 * 3;
                    const size_t first = g.indices.size();
                    g.positions.resize(3 * (first + n));
                    g.normals.resize(3 * (first + n));
                    g.colors.resize(4 * (first + n));
                    g.uv.resize(2 * (first + n));
                    g.indices.resize(first + n);
                    g.triangleObject.resize((first + n) / 3, objectIndex);
                    for (size_t v = 0; v < n; ++v) {
                        const size_t at = first + v;
                        const trelFloatPoint p = frame.Point(mesh.triangleVertices[v]);
                        float* position = &g.positions[3 * at];
                        position[0] = p.x;
                        position[1] = p.y;
                        position[2] = p.z;
                        const trelVector nv =
                            frame.Direction(v < mesh.triangleNormals.size() ? mesh.triangleNormals[v] : trelVector());
                        float* normal = &g.normals[3 * at];
                        normal[0] = nv.x;
                        normal[1] = nv.y;
                        normal[2] = nv.z;
                        const trelChroma& c =
                            ownColors && v < mesh.triangleColors.size() ? mesh.triangleColors[v] : material;
                        float* color = &g.colors[4 * at];
                        color[0] = c.red;
                        color[1] = c.green;
                        color[2] = c.blue;
                        color[3] = c.alpha;
                        const trelTexCoord t =
                            v < mesh.triangleTexCoords.size() ? mesh.triangleTexCoords[v] : trelTexCoord();
                        g.uv[2 * at] = t.s;
                        g.uv[2 * at + 1] = t.t;
                        g.indices[at] = static_cast<uint32_t>(at);
                    }
                } else if (kind == Kind::Lines) {
                    for (size_t s = 0; s < mesh.lineStrips.size(); ++s) {
                        const auto& strip = mesh.lineStrips[s];
                        for (size_t k = 0; k < strip.size(); ++k) {
                            put(g.linePositions, strip[k]);
                            const bool colored =
                                ownColors && s < mesh.lineColors.size() && k < mesh.lineColors[s].size();
                            putColor(g.lineColors, colored ? mesh.lineColors[s][k] : material);
                        }
                        g.lineLengths.push_back(static_cast<uint32_t>(strip.size()));
                        g.lineObject.push_back(objectIndex);
                    }
                } else {
                    for (size_t k = 0; k < mesh.points.size(); ++k) {
                        put(g.pointPositions, mesh.points[k]);
                        putColor(g.pointColors,
                                 ownColors && k < mesh.pointColors.size() ? mesh.pointColors[k] : material);
                        g.pointObject.push_back(objectIndex);
                    }
                }
            }
        });
        return g;
    }

    Geometry TessellateReleased(const std::string& unitsWanted, Kind kind) const {
        const OutputFrame frame = FrameFor(unitsWanted);
        size_t triangles = 0;
        {
            py::gil_scoped_release release;
            if (kind != Kind::Triangles || maxTriangles == 0)
                return Tessellate(frame, segments, kind);
            trelTessellationOptions counting;
            counting.segments = segments;
            triangles = SummarizeWorld(*world, counting, ThreadsToUse(0)).triangles;
            if (triangles <= maxTriangles)
                return Tessellate(frame, segments, kind);
        }
        RaiseBudgetError(OverBudget(triangles, maxTriangles));
    }

    py::dict Triangles(const std::string& unitsWanted) const {
        Geometry g = TessellateReleased(unitsWanted, Kind::Triangles);
        py::dict d;
        d["positions"] = TakeArray(std::move(g.positions), 3);
        d["normals"] = TakeArray(std::move(g.normals), 3);
        d["colors"] = TakeArray(std::move(g.colors), 4);
        d["uv"] = TakeArray(std::move(g.uv), 2);
        d["indices"] = TakeArray(std::move(g.indices), 3);
        d["object"] = TakeArray(std::move(g.triangleObject), 1);
        return d;
    }

    py::dict Lines(const std::string& unitsWanted) const {
        Geometry g = TessellateReleased(unitsWanted, Kind::Lines);
        py::dict d;
        d["positions"] = TakeArray(std::move(g.linePositions), 3);
        d["colors"] = TakeArray(std::move(g.lineColors), 4);
        d["lengths"] = TakeArray(std::move(g.lineLengths), 1);
        d["object"] = TakeArray(std::move(g.lineObject), 1);
        return d;
    }

    py::dict Points(const std::string& unitsWanted) const {
        Geometry g = TessellateReleased(unitsWanted, Kind::Points);
        py::dict d;
        d["positions"] = TakeArray(std::move(g.pointPositions), 3);
        d["colors"] = TakeArray(std::move(g.pointColors), 4);
        d["object"] = TakeArray(std::move(g.pointObject), 1);
        return d;
    }

    py::dict Parts(const std::string& unitsWanted, bool share) const {
        ExportOptions options;
        options.frame = FrameFor(unitsWanted);
        options.tessellation.segments = segments;
        options.instancing = share;
        options.maxTriangles = maxTriangles;
        options.threads = ThreadsToUse(0);
        ExportScene parts;
        {
            py::gil_scoped_release release;
            parts = BuildExportScene(*world, options);
        }
        if (parts.IsOverBudget())
            RaiseBudgetError(OverBudget(parts.countedTriangles, parts.maxTriangles));
        return PartsOf(parts);
    }

    void Save(const py::object& pathLike) const {
        const std::string path = py::str(py::module_::import("os").attr("fspath")(pathLike));
        const ExportFormat format = FormatNamed(std::filesystem::path(path).extension().string(), true);
        ConvertSettings settings;
        settings.segments = segments;
        settings.maxTriangles = maxTriangles;
        settings.frame = frame;
        std::string failure;
        ConvertSummary summary;
        {
            py::gil_scoped_release release;
            failure = WriteWorldAs(*world, units, ToValidUtf8(std::filesystem::path(path).stem().string()), path,
                                   format, settings, summary);
        }
        if (summary.overBudget)
            RaiseBudgetError(failure);
        if (!failure.empty())
            throw py::value_error(failure);
    }
};

LoadSettings MakeLoadSettings(bool standard, bool text, const std::string& includeRoot) {
    LoadSettings settings;
    settings.includeRoot = includeRoot;
    settings.standard = standard;
    settings.text = text;
    return settings;
}

std::unique_ptr<Scene> Load(const std::string& path, bool standard, int segments, const py::object& progress,
                            const std::string& includeRoot, size_t maxTriangles, const std::string& unitsOfFile,
                            double scale, const std::string& up, bool text) {
    if (segments < 3 || segments > 4096)
        throw py::value_error("segments must be 3 to 4096");
    OutputFrame frame;
    if (unitsOfFile != "file" && unitsOfFile != "kicad")
        throw py::value_error("units must be \"file\" or \"kicad\"");
    if (!(scale >= 1e-12 && scale <= 1e12))
        throw py::value_error("scale must be 1e-12 to 1e12");
    if (up != "y" && up != "z")
        throw py::value_error("up must be \"y\" or \"z\"");
    frame.scale = scale * (unitsOfFile == "kicad" ? KicadUnitInMetres : 1.0);
    frame.zUp = up == "z";
    const LoadSettings settings = MakeLoadSettings(standard, text, includeRoot);
    PythonProgress reporter(progress);
    LoadedScene loaded;
    {
        const ProgressCallback callback = reporter.Callback();
        py::gil_scoped_release release;
        loaded = LoadScene(path, settings, callback);
    }
    reporter.RaiseAnyError();
    if (!loaded.failure.empty()) {
        if (loaded.failure == "no such file") {
            PyErr_SetString(PyExc_FileNotFoundError, (path + ": " + loaded.failure).c_str());
            throw py::error_already_set();
        }
        py::object error = Package().attr("FormatError");
        PyErr_SetString(error.ptr(), (path + ": " + loaded.failure).c_str());
        throw py::error_already_set();
    }
    auto scene = std::make_unique<Scene>();
    scene->result = loaded.result;
    scene->version = loaded.version;
    scene->units = loaded.imageUnits;
    scene->file = path;
    scene->segments = segments;
    scene->maxTriangles = maxTriangles;
    scene->frame = frame;
    scene->world = std::move(loaded.world);
    return scene;
}

// Converts each input into `outputDir`, `jobs` threads at once (the GIL
// released), by the batch rules the command line follows: one dict per
// input, in the order given.
py::list Convert(const std::vector<std::string>& inputs, const std::string& outputDir, const std::string& formatName,
                 int jobs, int segments, bool standard, const std::string& includeRoot, size_t maxTriangles,
                 bool text) {
    const ExportFormat format = FormatNamed(formatName);
    py::list result;
    if (inputs.empty())
        return result;
    std::vector<BatchJob> batch;
    const std::string refused = PlanBatch(inputs, outputDir, format, batch);
    if (!refused.empty())
        throw py::value_error(refused);
    ConvertSettings settings;
    settings.segments = segments;
    settings.threads = std::max(jobs, 1);
    settings.maxTriangles = maxTriangles;
    settings.budgetHint = "max_triangles=";
    settings.load = MakeLoadSettings(standard, text, includeRoot);
    {
        py::gil_scoped_release release;
        RunBatch(batch, format, settings);
    }
    for (const BatchJob& job : batch) {
        py::dict d;
        d["file"] = job.input;
        d["output"] = job.output;
        d["status"] = job.failure.empty() ? "converted" : "failed";
        d["reason"] = job.failure;
        d["objects"] = job.summary.objects;
        d["triangles"] = job.summary.triangles;
        d["seconds"] = job.seconds;
        result.append(d);
    }
    return result;
}

// Every format a scene can be saved or converted to: name and what it keeps.
py::list Formats() {
    py::list formats;
    for (const ExportFormatInfo& info : ExportFormats()) {
        py::dict d;
        d["name"] = info.name;
        d["description"] = info.description;
        formats.append(d);
    }
    return formats;
}

} // namespace

PYBIND11_MODULE(_vrml, m) {
    const std::string name = py::str(m.attr("__name__"));
    packageName = name.substr(0, name.rfind('.'));
    m.doc() = "VRML 1.0 and 2.0 scenes as groups, objects and numpy arrays";
    py::class_<Scene>(m, "Scene")
        .def_readonly("result", &Scene::result, "0 loaded, 1 failed part-way (what could be read is kept)")
        .def_readonly("version", &Scene::version, "0 for VRML 1.0, 1 for VRML 2.0")
        .def_readonly("units", &Scene::units, "4 not scaled, 3 x100, 2 x1000, 1 x1000000 (see the README)")
        .def_readonly("file", &Scene::file)
        .def_property_readonly("bounds", [](const Scene& s) { return s.Bounds("file"); })
        .def("bounds_in", &Scene::Bounds, py::arg("units") = "file")
        .def("walk", &Scene::Walk)
        .def_readonly("segments", &Scene::segments)
        .def_readonly("max_triangles", &Scene::maxTriangles)
        .def("triangles", &Scene::Triangles, py::arg("units") = "file")
        .def("lines", &Scene::Lines, py::arg("units") = "file")
        .def("points", &Scene::Points, py::arg("units") = "file")
        .def("parts", &Scene::Parts, py::arg("units") = "file", py::arg("share") = true)
        .def("save", &Scene::Save, py::arg("path"));
    m.def("load", &Load, py::arg("path"), py::arg("standard") = true, py::arg("segments") = 32,
          py::arg("progress") = py::none(), py::arg("include_root") = "",
          py::arg("max_triangles") = DefaultMaxTriangles, py::arg("units") = "file", py::arg("scale") = 1.0,
          py::arg("up") = "y", py::arg("text") = false);
    m.def("convert", &Convert, py::arg("inputs"), py::arg("output_dir"), py::arg("format") = "glb", py::arg("jobs") = 1,
          py::arg("segments") = 32, py::arg("standard") = true, py::arg("include_root") = "",
          py::arg("max_triangles") = DefaultMaxTriangles, py::arg("text") = false);
    m.attr("DEFAULT_MAX_TRIANGLES") = DefaultMaxTriangles;
    m.attr("KICAD_UNIT_IN_METRES") = KicadUnitInMetres;
    m.def("formats", &Formats);
    m.def(
        "output_name",
        [](const std::string& input, const std::string& format) { return OutputNameFor(input, FormatNamed(format)); },
        py::arg("input"), py::arg("format"));
}
