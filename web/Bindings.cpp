// The module's entry points for JavaScript: `vrml convert` and `vrml info`
// over files in the module's memory file system, where web/npm/index.js
// puts the scene and the files it names. Options come in, and results go
// out, as JSON text: a handful of values a call, and no binding library
// (embind) in a module every visitor downloads.
//
// The calls are the command line's own library calls, so that an output is
// the native tool's to the byte; one thread, as a page served statically
// cannot have the headers that WebAssembly threads need.

#include "export/Convert.h"
#include "inspect/WorldInfo.h"

#include <emscripten/emscripten.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <exception>
#include <new>
#include <sstream>
#include <string>

namespace {

using namespace vrml;

using Json = rapidjson::Writer<rapidjson::StringBuffer>;

// What a call was asked for; `refused` says why the request itself cannot
// be carried out (a wrong option), as the tool's exit status 2 does.
struct Request {
    ExportFormat format = ExportFormat::Glb;
    ConvertSettings settings;
    bool tree = false;
    std::string refused;
};

// The options object of index.d.ts, as JSON. Every option is optional; the
// defaults are the tool's (standard semantics included).
Request ReadRequest(const char* text, const std::string& includeRoot) {
    Request request;
    ConvertSettings& settings = request.settings;
    settings.threads = 1;
    settings.load.standard = true;
    settings.load.includeRoot = includeRoot;
    rapidjson::Document options;
    if (options.Parse(text).HasParseError() || !options.IsObject()) {
        request.refused = "the options are not an object";
        return request;
    }
    std::string units = "file";
    for (const auto& member : options.GetObject()) {
        const std::string key = member.name.GetString();
        const rapidjson::Value& value = member.value;
        bool good = true;
        if (key == "format") {
            good = value.IsString() && ParseExportFormat(value.GetString(), request.format);
            if (!good) {
                request.refused = "format must be " + ExportFormatNames();
                return request;
            }
        } else if (key == "standard" || key == "text" || key == "tree") {
            good = value.IsBool();
            if (good)
                (key == "standard" ? settings.load.standard
                 : key == "text"   ? settings.load.text
                                   : request.tree) = value.GetBool();
        } else if (key == "segments") {
            good = value.IsInt() && value.GetInt() >= 3 && value.GetInt() <= 4096;
            if (good)
                settings.segments = value.GetInt();
        } else if (key == "units") {
            good = value.IsString();
            units = good ? value.GetString() : "";
            good = units == "file" || units == "kicad" || units == "loaded";
        } else if (key == "scale") {
            good = value.IsNumber() && value.GetDouble() >= 1e-12 && value.GetDouble() <= 1e12;
            if (good)
                settings.frame.scale = value.GetDouble();
        } else if (key == "up") {
            const std::string up = value.IsString() ? value.GetString() : "";
            good = up == "y" || up == "z";
            settings.frame.zUp = up == "z";
        } else if (key == "merge") {
            const std::string merge = value.IsString() ? value.GetString() : "";
            good = merge == "none" || merge == "material";
            settings.mergeByMaterial = merge == "material";
        } else if (key == "maxTriangles") {
            good = value.IsNumber() && value.GetDouble() >= 0 && value.GetDouble() <= 1e15 &&
                   value.GetDouble() == static_cast<double>(static_cast<uint64_t>(value.GetDouble()));
            if (good)
                settings.maxTriangles = static_cast<size_t>(value.GetDouble());
        } else {
            request.refused = "unknown option '" + key + "'";
            return request;
        }
        if (!good) {
            request.refused = "option '" + key + "' has a value it cannot take";
            return request;
        }
    }
    settings.loadedUnits = units == "loaded";
    if (units == "kicad")
        settings.frame.scale *= KicadUnitInMetres;
    if (settings.loadedUnits && InfoOf(request.format).inMetres)
        request.refused = "units 'loaded' applies to OBJ, STL and PLY; glTF is always in metres";
    settings.budgetHint = "option maxTriangles";
    return request;
}

// The text handed back, kept until the next call.
const char* Answer(const rapidjson::StringBuffer& json) {
    static std::string kept;
    kept.assign(json.GetString(), json.GetSize());
    return kept.c_str();
}

const char* Refusal(const std::string& reason) {
    rapidjson::StringBuffer buffer;
    Json json(buffer);
    json.StartObject();
    json.Key("refused");
    json.String(reason.c_str());
    json.EndObject();
    return Answer(buffer);
}

void WriteSize(Json& json, const char* key, size_t value) {
    json.Key(key);
    json.Uint64(value);
}

void WritePoint(Json& json, const char* key, const trelFloatPoint& point) {
    json.Key(key);
    json.StartArray();
    json.Double(point.x);
    json.Double(point.y);
    json.Double(point.z);
    json.EndArray();
}

// A call that failed where no result says why (no memory above all): the
// page says so, and the module goes on, where an abort would end it.
const char* Failure(int result, const std::exception& error) {
    rapidjson::StringBuffer buffer;
    Json json(buffer);
    json.StartObject();
    json.Key("result");
    json.Int(result);
    json.Key("error");
    json.String(dynamic_cast<const std::bad_alloc*>(&error) ? "out of memory" : error.what());
    json.EndObject();
    return Answer(buffer);
}

} // namespace

extern "C" {

// Converts the scene at `input` into the folder `outputDir`, under the name
// the tool gives it in a folder. Returns {"result", "error", "output",
// "objects", "triangles", "lineStrips", "points", "overBudget"}, or
// {"refused"} for options that cannot be carried out.
EMSCRIPTEN_KEEPALIVE const char* vrml_convert(const char* input, const char* outputDir, const char* includeRoot,
                                              const char* options) {
    const Request request = ReadRequest(options, includeRoot);
    if (!request.refused.empty())
        return Refusal(request.refused);
    const std::string output = OutputNameFor(input, request.format);
    ConvertSummary summary;
    std::string failure;
    try {
        failure = ConvertFile(input, std::string(outputDir) + "/" + output, request.format, request.settings, summary);
    } catch (const std::exception& error) {
        // Loaded, the file failed in the writing; else part-way through the load.
        return Failure(summary.loadResult == 0 ? 0 : 1, error);
    }
    rapidjson::StringBuffer buffer;
    Json json(buffer);
    json.StartObject();
    json.Key("result");
    json.Int(summary.loadResult);
    json.Key("error");
    json.String(failure.c_str());
    json.Key("output");
    json.String(failure.empty() ? output.c_str() : "");
    WriteSize(json, "objects", summary.objects);
    WriteSize(json, "triangles", summary.triangles);
    WriteSize(json, "lineStrips", summary.lineStrips);
    WriteSize(json, "points", summary.points);
    json.Key("overBudget");
    json.Bool(summary.overBudget);
    json.EndObject();
    return Answer(buffer);
}

// Loads the scene at `input` and summarises it as `vrml info` does, the
// file called `name`. Returns {"result", "error", "version", "units",
// "unitsName", "groups", "objects", "objectsByType", "triangles",
// "bounds", "seconds", "text"}, or {"refused"}.
EMSCRIPTEN_KEEPALIVE const char* vrml_info(const char* input, const char* name, const char* includeRoot,
                                           const char* options) {
    const Request request = ReadRequest(options, includeRoot);
    if (!request.refused.empty())
        return Refusal(request.refused);
    rapidjson::StringBuffer buffer;
    Json json(buffer);
    json.StartObject();
    try {
        const LoadedScene scene = LoadScene(input, request.settings.load);
        json.Key("result");
        json.Int(scene.result);
        json.Key("error");
        json.String(scene.failure.c_str());
        json.Key("version");
        json.String(VersionName(scene.version));
        json.Key("units");
        json.Int(scene.imageUnits);
        json.Key("unitsName");
        json.String(UnitsName(scene.imageUnits));
        json.Key("seconds");
        json.Double(scene.seconds);
        if (scene.failure.empty()) {
            trelTessellationOptions tessellation;
            tessellation.segments = request.settings.segments;
            const WorldSummary summary = SummarizeWorld(*scene.world, tessellation, 1);
            json.Key("groups");
            json.Int(summary.groups);
            json.Key("objects");
            json.Int(summary.objects);
            json.Key("objectsByType");
            json.StartObject();
            for (const auto& [type, count] : summary.objectsByType) {
                json.Key(type.c_str());
                json.Int(count);
            }
            json.EndObject();
            WriteSize(json, "triangles", summary.triangles);
            json.Key("bounds");
            if (summary.bbox.IsEmpty()) {
                json.Null();
            } else {
                json.StartObject();
                WritePoint(json, "min", summary.bbox.GetMin());
                WritePoint(json, "max", summary.bbox.GetMax());
                json.EndObject();
            }
            std::ostringstream text;
            WriteInfo(text, name, scene, summary);
            if (request.tree)
                WriteGroupTree(text, *scene.world, tessellation);
            json.Key("text");
            json.String(text.str().c_str());
        }
    } catch (const std::exception& error) {
        return Failure(1, error); // in place of half an answer
    }
    json.EndObject();
    return Answer(buffer);
}

// The formats, as [{"name", "description"}], from the tool's one table.
EMSCRIPTEN_KEEPALIVE const char* vrml_formats() {
    rapidjson::StringBuffer buffer;
    Json json(buffer);
    json.StartArray();
    for (const ExportFormatInfo& info : ExportFormats()) {
        json.StartObject();
        json.Key("name");
        json.String(info.name);
        json.Key("description");
        json.String(info.description);
        json.EndObject();
    }
    json.EndArray();
    return Answer(buffer);
}

} // extern "C"
