#include "AttributeBlocks.h"

#include "state/VRMLSeparator.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace VRMLAttributeBlocks {

namespace {
int CountRuns(const trelIntArray& merged) {
    int runs = 0;
    CVRMLSeparator::ForEachRun(merged, [&](int, int, int) { ++runs; });
    return runs;
}

// Each vertex in the layout of `coordIndex` takes the value at the same
// place of the same run of `fileIndex`: the file lists both with the same
// runs. A run of `fileIndex` shorter than its face fails.
bool AlignRuns(const trelIntArray& fileIndex, const trelIntArray& coordIndex, trelIntArray& out) {
    std::vector<std::pair<int, int>> fileRuns;
    CVRMLSeparator::ForEachRun(fileIndex, [&](int, int first, int count) { fileRuns.emplace_back(first, count); });
    bool ok = true;
    CVRMLSeparator::ForEachRun(coordIndex, [&](int run, int first, int count) {
        if (!ok || run >= static_cast<int>(fileRuns.size()) || fileRuns[static_cast<size_t>(run)].second < count) {
            ok = false;
            return;
        }
        const int from = fileRuns[static_cast<size_t>(run)].first;
        for (int k = 0; k < count; ++k)
            out[first + k] = fileIndex[from + k];
    });
    return ok;
}

double Axis(const trelFloatPoint& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

// Cumulative lengths along a polyline, scaled to run from 0 to 1; by point
// count where the line has no length.
std::vector<float> Fractions(const std::vector<trelFloatPoint>& points) {
    std::vector<float> out(points.size(), 0.0f);
    double total = 0.0;
    std::vector<double> walked(points.size(), 0.0);
    for (size_t k = 1; k < points.size(); ++k) {
        const trelFloatPoint& a = points[k - 1];
        const trelFloatPoint& b = points[k];
        const double step = std::sqrt(double(b.x - a.x) * (b.x - a.x) + double(b.y - a.y) * (b.y - a.y) +
                                      double(b.z - a.z) * (b.z - a.z));
        total += std::isfinite(step) ? step : 0.0;
        walked[k] = total;
    }
    for (size_t k = 0; k < points.size(); ++k) {
        if (total > 0.0)
            out[k] = static_cast<float>(walked[k] / total);
        else if (points.size() > 1)
            out[k] = static_cast<float>(static_cast<double>(k) / static_cast<double>(points.size() - 1));
    }
    return out;
}
} // namespace

bool BindSetValues(int valueCount, const CVRMLValueBinding& binding, const trelIntArray& fileIndex,
                   const trelIntArray& coordIndex, int pointCount, trelIntArray& out) {
    out.Clear();
    if (valueCount <= 0)
        return false;
    auto inRange = [valueCount](int value) { return value >= 0 && value < valueCount; };
    bool ok = true;
    if (binding.overall) {
        out.Resize(CountRuns(coordIndex));
        std::fill(out.Items().begin(), out.Items().end(), 0);
        return true;
    }
    if (binding.perVertex) {
        out = coordIndex; // the layout, and the values when the file gives no index list
        if (!binding.indexed) {
            int vertex = 0;
            CVRMLSeparator::ForEachRun(coordIndex, [&](int, int first, int count) {
                for (int k = first; k < first + count; ++k)
                    out[k] = vertex++;
            });
        } else if (!fileIndex.IsEmpty() && !AlignRuns(fileIndex, coordIndex, out)) {
            out.Clear();
            return false;
        }
        CVRMLSeparator::ForEachRun(coordIndex, [&](int, int first, int count) {
            for (int k = first; k < first + count; ++k)
                if (coordIndex[k] >= 0 && coordIndex[k] < pointCount && !inRange(out[k]))
                    ok = false;
        });
        if (!ok)
            out.Clear();
        return ok;
    }
    const int faces = CountRuns(coordIndex);
    if (!binding.indexed || fileIndex.IsEmpty())
        return faces <= valueCount;
    out.Resize(faces);
    int face = 0;
    CVRMLSeparator::ForEachRun(fileIndex, [&](int, int first, int count) {
        for (int k = first; k < first + count && face < faces; ++k)
            out[face++] = fileIndex[k];
    });
    for (int value : out.Items())
        ok = ok && inRange(value);
    if (face < faces || !ok) {
        out.Clear();
        return false;
    }
    return true;
}

void DefaultSetTexCoords(const trelFloatPointArray& points, const trelIntArray& coordIndex, trelTexCoordArray& out) {
    const int pointCount = points.GetSize();
    auto names = [&](int k) { return coordIndex[k] >= 0 && coordIndex[k] < pointCount; };
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool any = false;
    CVRMLSeparator::ForEachRun(coordIndex, [&](int, int first, int count) {
        for (int k = first; k < first + count; ++k) {
            if (!names(k))
                continue;
            for (int a = 0; a < 3; ++a) {
                const double v = Axis(points[coordIndex[k]], a);
                low[a] = any ? std::min(low[a], v) : v;
                high[a] = any ? std::max(high[a], v) : v;
            }
            any = true;
        }
    });
    // The largest size first; of equal sizes x before y before z.
    int order[3] = {0, 1, 2};
    std::stable_sort(order, order + 3, [&](int a, int b) { return high[a] - low[a] > high[b] - low[b]; });
    const int sAxis = order[0], tAxis = order[1];
    const double size = high[sAxis] - low[sAxis];
    const double scale = size > 0.0 ? 1.0 / size : 1.0;
    out.Resize(coordIndex.GetSize());
    CVRMLSeparator::ForEachRun(coordIndex, [&](int, int first, int count) {
        for (int k = first; k < first + count; ++k) {
            if (!names(k))
                continue;
            const trelFloatPoint& p = points[coordIndex[k]];
            out[k] = trelTexCoord(static_cast<float>((Axis(p, sAxis) - low[sAxis]) * scale),
                                  static_cast<float>((Axis(p, tAxis) - low[tAxis]) * scale));
        }
    });
}

std::shared_ptr<const trelAttributes> BlockForRuns(const trelAttributes& block, const trelIntArray& coordIndex,
                                                   int pointCount, std::vector<int>& offsets) {
    auto runs = std::make_shared<trelAttributes>();
    runs->creaseAngle = block.creaseAngle;
    runs->ccw = block.ccw;
    runs->texture = block.texture;
    runs->texMatrix = block.texMatrix;
    runs->colors = block.colors;
    runs->normals = block.normals;
    runs->texCoords = block.texCoords;
    offsets.clear();
    std::vector<int>& colorIndex = runs->colorIndex.Items();
    std::vector<int>& normalIndex = runs->normalIndex.Items();
    std::vector<int>& texCoordIndex = runs->texCoordIndex.Items();
    // A value of a vertex slot or of a face, through its index list.
    auto value = [](const trelIntArray& index, int number) { return index.IsEmpty() ? number : index[number]; };
    int kept = 0;
    CVRMLSeparator::ForEachRun(coordIndex, [&](int run, int first, int count) {
        offsets.push_back(kept);
        for (int k = first; k < first + count; ++k) {
            if (coordIndex[k] < 0 || coordIndex[k] >= pointCount)
                continue;
            ++kept;
            if (block.HasColors())
                colorIndex.push_back(value(block.colorIndex, block.colorPerVertex ? k : run));
            if (block.HasNormals())
                normalIndex.push_back(value(block.normalIndex, block.normalPerVertex ? k : run));
            if (block.HasTexCoords())
                texCoordIndex.push_back(value(block.texCoordIndex, k));
        }
    });
    return runs;
}

bool BindGridValues(int valueCount, bool perVertex, int rows, int columns, trelIntArray& out) {
    out.Clear();
    const int cellRows = rows - 1, cellColumns = columns - 1;
    const long long needed =
        perVertex ? static_cast<long long>(rows) * columns : static_cast<long long>(cellRows) * cellColumns;
    if (rows <= 0 || columns <= 0 || needed > valueCount)
        return false;
    out.Resize(static_cast<int>(needed));
    if (perVertex) {
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < columns; ++j)
                out[i * columns + j] = i + j * rows;
    } else {
        for (int i = 0; i < cellRows; ++i)
            for (int j = 0; j < cellColumns; ++j)
                out[i * cellColumns + j] = i + j * cellRows;
    }
    return true;
}

void GridTexCoords(int rows, int columns, trelTexCoordArray& out) {
    out.Resize(rows * columns);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            out[i * columns + j] =
                trelTexCoord(rows > 1 ? static_cast<float>(i) / static_cast<float>(rows - 1) : 0.0f,
                             columns > 1 ? static_cast<float>(j) / static_cast<float>(columns - 1) : 0.0f);
}

void ExtrusionTexCoords(const trelDoubleArray& crossSection, const trelFloatPointArray& spine, trelTexCoordArray& out) {
    std::vector<trelFloatPoint> section(static_cast<size_t>(crossSection.GetSize() / 2));
    for (size_t j = 0; j < section.size(); ++j)
        section[j] = trelFloatPoint(static_cast<float>(crossSection[static_cast<int>(2 * j)]), 0.0f,
                                    static_cast<float>(crossSection[static_cast<int>(2 * j + 1)]));
    const std::vector<float> s = Fractions(section);
    const std::vector<float> t = Fractions(spine.Items());
    out.Resize(static_cast<int>(s.size() * t.size()));
    for (size_t i = 0; i < t.size(); ++i)
        for (size_t j = 0; j < s.size(); ++j)
            out[static_cast<int>(i * s.size() + j)] = trelTexCoord(s[j], t[i]);
}

bool SaysSomething(const trelAttributes& block) {
    return block.HasColors() || block.HasNormals() || block.HasTexCoords() || block.HasTexture() ||
           block.creaseAngle != 0.0 || !block.ccw;
}

} // namespace VRMLAttributeBlocks
