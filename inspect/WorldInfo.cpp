#include "WorldInfo.h"

#include "WorldWalk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vrml {

namespace {

// Objects handed to the threads at once: enough to keep them busy, few
// enough that their figures take little memory next to the world's.
constexpr size_t SummaryBatch = size_t(1) << 16;

// Adds the batch's triangles and boxes to the summary, in the batch's order.
// Each object is read by one thread only (a loaded world's objects are
// read-only), and its figures land in its own place, so the summary is the
// same for any number of threads.
void SummarizeBatch(const std::vector<const trelBaseObject*>& batch, const trelTessellationOptions& options,
                    int threads, bool bound, WorldSummary& summary) {
    struct Figures {
        size_t triangles = 0;
        trelBBox box;
    };
    std::vector<Figures> figures(batch.size());
    constexpr size_t Chunk = 256;
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureGuard;
    const auto work = [&] {
        try {
            for (size_t start = next.fetch_add(Chunk); start < batch.size(); start = next.fetch_add(Chunk))
                for (size_t i = start; i < std::min(batch.size(), start + Chunk); ++i)
                    figures[i] = {batch[i]->CountTessellation(options).triangles,
                                  bound ? batch[i]->GetBBox() : trelBBox()};
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureGuard);
            failure = std::current_exception();
            next = batch.size(); // the others stop at their next chunk
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < static_cast<size_t>(std::max(threads, 1)) && t * Chunk < batch.size(); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
    for (const Figures& f : figures) {
        summary.triangles += f.triangles;
        summary.bbox.AddBox(f.box);
    }
}

bool HoldsNaN(const trelBBox& box) {
    const trelFloatPoint& lo = box.GetMin();
    const trelFloatPoint& hi = box.GetMax();
    return !box.IsEmpty() && (std::isnan(lo.x) || std::isnan(lo.y) || std::isnan(lo.z) || std::isnan(hi.x) ||
                              std::isnan(hi.y) || std::isnan(hi.z));
}

// The summary adds the objects' boxes one after the other in the walk's
// order; a group's box adds its objects' and then its children's, the same
// boxes in the same order, only grouped. Minimum and maximum keep the first
// of equal values (a zero keeps its sign), so the grouping changes nothing,
// except where a NaN begins a group's box: it stays there and hides the
// rest of the group, where the flat sum would pass over it.
bool WorldBoxIsTheSum(const C3DWorld& world) {
    bool exact = true;
    WalkGroups(world, [&](const trelBaseGroup& group, int) { exact = exact && !HoldsNaN(group.GetBBox()); });
    return exact;
}

} // namespace

WorldSummary SummarizeWorld(const C3DWorld& world, const trelTessellationOptions& options, int threads,
                            GroupBoxes boxes) {
    WorldSummary summary;
    const bool takeWorldBox = boxes == GroupBoxes::Current && WorldBoxIsTheSum(world);
    // Counted by kind first: a map looked up per object would cost more than
    // the rest of the walk on a world of millions of points.
    std::array<int, TREL_TRIANGLE_STRIPS + 1> byType{};
    std::vector<const trelBaseObject*> batch;
    WalkGroups(world, [&](const trelBaseGroup& group, int depth) {
        if (depth > 0)
            ++summary.groups;
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            const trelBaseObject* object = group.GetObject(i);
            ++summary.objects;
            const auto type = static_cast<size_t>(object->GetObjectType());
            if (type < byType.size())
                ++byType[type];
            else
                ++summary.objectsByType[ObjectTypeName(object->GetObjectType())];
            batch.push_back(object);
            if (batch.size() == SummaryBatch) {
                SummarizeBatch(batch, options, threads, !takeWorldBox, summary);
                batch.clear();
            }
        }
    });
    SummarizeBatch(batch, options, threads, !takeWorldBox, summary);
    if (takeWorldBox)
        summary.bbox = world.GetBBox();
    for (size_t type = 0; type < byType.size(); ++type)
        if (byType[type] > 0)
            summary.objectsByType[ObjectTypeName(static_cast<trelObjectTypes>(type))] = byType[type];
    return summary;
}

void WriteSummary(std::ostream& out, const WorldSummary& summary) {
    out << "groups:       " << summary.groups << '\n';
    out << "objects:      " << summary.objects;
    const char* separator = " (";
    for (const auto& [type, count] : summary.objectsByType) {
        out << separator << type << ' ' << count;
        separator = ", ";
    }
    out << (summary.objectsByType.empty() ? "" : ")") << '\n';
    out << "triangles:    " << summary.triangles << '\n';
    if (summary.bbox.IsEmpty()) {
        out << "bounding box: empty\n";
    } else {
        char text[160];
        const trelFloatPoint& lo = summary.bbox.GetMin();
        const trelFloatPoint& hi = summary.bbox.GetMax();
        std::snprintf(text, sizeof text, "bounding box: (%g, %g, %g) to (%g, %g, %g)\n", lo.x, lo.y, lo.z, hi.x, hi.y,
                      hi.z);
        out << text;
    }
}

const char* VersionName(int version) { return version == 1 ? "VRML 2.0" : "VRML 1.0"; }

const char* ResultName(int result) {
    switch (result) {
    case 0: return "loaded";
    case 2: return "file could not be read";
    default: return "failed";
    }
}

const char* UnitsName(int imageUnits) {
    switch (imageUnits) {
    case 1: return "scaled by 1000000 (micrometres)";
    case 2: return "scaled by 1000 (millimetres)";
    case 3: return "scaled by 100 (centimetres)";
    default: return "not scaled (metres)";
    }
}

void WriteInfo(std::ostream& out, const std::string& path, const LoadedScene& scene, const WorldSummary& summary) {
    out << "file:         " << path << '\n';
    out << "version:      " << VersionName(scene.version) << '\n';
    out << "result:       " << scene.result << " (" << ResultName(scene.result) << ")\n";
    out << "units:        " << scene.imageUnits << ", " << UnitsName(scene.imageUnits) << '\n';
    WriteSummary(out, summary);
    char time[64];
    std::snprintf(time, sizeof time, "load time:    %.1f ms\n", scene.seconds * 1000.0);
    out << time;
}

namespace {

struct TreeLine {
    const trelBaseGroup* group;
    int depth;
    int parent;
    std::map<std::string, int> objectsByType;
    int objects = 0;
    size_t triangles = 0;
    int subtreeObjects = 0;
    size_t subtreeTriangles = 0;
};

// Indentation stops growing at this depth: files nest groups thousands deep,
// and lines that grow with the depth would make the output quadratic.
constexpr int MaxIndentDepth = 32;

} // namespace

void WriteGroupTree(std::ostream& out, const C3DWorld& world, const trelTessellationOptions& options) {
    std::vector<TreeLine> lines;
    std::vector<int> latestAtDepth;
    WalkGroups(world, [&](const trelBaseGroup& group, int depth) {
        TreeLine line{&group, depth, depth > 0 ? latestAtDepth[static_cast<size_t>(depth - 1)] : -1, {}};
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            const trelBaseObject& object = *group.GetObject(i);
            ++line.objects;
            ++line.objectsByType[ObjectTypeName(object.GetObjectType())];
            line.triangles += object.CountTessellation(options).triangles;
        }
        line.subtreeObjects = line.objects;
        line.subtreeTriangles = line.triangles;
        latestAtDepth.resize(static_cast<size_t>(depth) + 1);
        latestAtDepth[static_cast<size_t>(depth)] = static_cast<int>(lines.size());
        lines.push_back(std::move(line));
    });
    // Children come after their parents, so one backward pass adds up the subtrees.
    for (size_t i = lines.size(); i-- > 1;) {
        TreeLine& parent = lines[static_cast<size_t>(lines[i].parent)];
        parent.subtreeObjects += lines[i].subtreeObjects;
        parent.subtreeTriangles += lines[i].subtreeTriangles;
    }
    out << "tree:\n";
    for (const TreeLine& line : lines) {
        out << std::string(2 * static_cast<size_t>(std::min(line.depth, MaxIndentDepth) + 1), ' ');
        if (line.depth > MaxIndentDepth)
            out << "[depth " << line.depth << "] ";
        const std::string_view name = line.group->GetGroupName().GetString();
        out << (line.depth == 0 ? "(world)" : name.empty() ? std::string_view("(unnamed)") : name) << ": ";
        if (line.objects == 0) {
            out << "no objects";
        } else {
            out << line.objects << (line.objects == 1 ? " object (" : " objects (");
            const char* separator = "";
            for (const auto& [type, count] : line.objectsByType) {
                out << separator << type << ' ' << count;
                separator = ", ";
            }
            out << "), " << line.triangles << " triangles";
        }
        if (line.group->GetNumGroups() > 0)
            out << "; with subgroups " << line.subtreeObjects << " objects, " << line.subtreeTriangles << " triangles";
        out << '\n';
    }
}

} // namespace vrml
