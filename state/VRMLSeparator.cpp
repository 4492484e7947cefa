#include "VRMLSeparator.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {
// The one-value defaults, shared by every level that has them.
CVRMLSharedList<trelDoubleArray> SingleValue(double value) {
    CVRMLSharedList<trelDoubleArray> list;
    list.Write().Append(value);
    return list;
}
const CVRMLSharedList<trelDoubleArray>& DefaultShininess() {
    static const CVRMLSharedList<trelDoubleArray> list = SingleValue(64.0);
    return list;
}
const CVRMLSharedList<trelDoubleArray>& DefaultTransparency() {
    static const CVRMLSharedList<trelDoubleArray> list = SingleValue(0.0);
    return list;
}
} // namespace

CVRMLSeparator::CVRMLSeparator() : shininess(DefaultShininess()), transparency(DefaultTransparency()) {
    matrix.SetIdentity();
}

CVRMLSeparator::~CVRMLSeparator() = default;

CVRMLSeparator& CVRMLSeparator::operator=(const CVRMLSeparator& source) {
    if (this == &source)
        return *this;
    if (ownsGroup) {
        delete group;
        group = nullptr;
    }
    ownsGroup = 0;
    group = source.group;
    matrix = source.matrix;
    materialBinding = source.materialBinding;
    shininess = source.shininess;
    transparency = source.transparency;
    normalBinding = source.normalBinding;
    coordinates = source.coordinates;
    normals = source.normals;
    materialIndex = source.materialIndex;
    ambientColors = source.ambientColors;
    diffuseColors = source.diffuseColors;
    specularColors = source.specularColors;
    emissiveColors = source.emissiveColors;
    texture = source.texture;
    texMatrix = source.texMatrix;
    fileAttributes = source.fileAttributes;
    fontStyle = source.fontStyle;
    return *this;
}

namespace {
bool SameTexMatrix(const trelTexMatrix& a, const trelTexMatrix& b) {
    return std::equal(std::begin(a.m), std::end(a.m), std::begin(b.m));
}
} // namespace

std::shared_ptr<const trelAttributes> CVRMLSeparator::WithTexture(std::shared_ptr<const trelAttributes> block) const {
    if (!texture || !block)
        return block;
    auto textured = std::make_shared<trelAttributes>(*block);
    textured->texture = *texture;
    textured->texMatrix = texMatrix;
    return textured;
}

void CVRMLSeparator::AttachTexture(trelBaseObject& object) const {
    if (!texture)
        return;
    const trelAttributes* own = object.GetAttributes();
    if (own && own->texture.image == texture->image && own->texture.repeatS == texture->repeatS &&
        own->texture.repeatT == texture->repeatT && SameTexMatrix(own->texMatrix, texMatrix))
        return;
    auto block = own ? std::make_shared<trelAttributes>(*own) : std::make_shared<trelAttributes>();
    block->texture = *texture;
    block->texMatrix = texMatrix;
    object.SetAttributes(std::move(block), object.GetAttributeOffset());
}

void CVRMLSeparator::ResetMaterial() {
    ambientColors.Clear();
    diffuseColors.Clear();
    specularColors.Clear();
    emissiveColors.Clear();
    shininess = DefaultShininess();
    transparency = DefaultTransparency();
}

void CVRMLSeparator::SetMaterialLists(const CVRMLMaterialLists& lists) {
    ambientColors.Adopt(lists.ambient);
    diffuseColors.Adopt(lists.diffuse);
    specularColors.Adopt(lists.specular);
    emissiveColors.Adopt(lists.emissive);
    shininess.Adopt(lists.shininess);
    transparency.Adopt(lists.transparency);
}

void CVRMLSeparator::ApplyMatrix(const trelMatrix4x4& m) { matrix = m * matrix; }
void CVRMLSeparator::ApplyTranslation(const trelFloatPoint& t) { ApplyMatrix(GetDisplacementMatrix(t)); }
void CVRMLSeparator::ApplyScale(const trelFloatPoint& s) { ApplyMatrix(GetScaleMatrix(s)); }
void CVRMLSeparator::ApplyRotation(const trelMatrix4x4& r) { ApplyMatrix(r); }

void CVRMLSeparator::TransformPoints(trelFloatPointArray& points) const {
    TransformPointsInPlace(points.Items().data(), points.Items().size(), matrix);
}

// An index that names no point (negative, or at or past the end of the list)
// is left as it is: the compacted list is never longer than the original, so
// such an index names no point of it either, and every reader of the list
// passes it over. The work grows with the indices, not with the point list,
// so that many small sets over one large shared list stay cheap; a set with
// about as many indices as there are points (a mesh with its own list, the
// usual case) marks the points it uses instead of sorting its indices.
int CVRMLSeparator::CompactInto(const trelFloatPointArray& points, trelFloatPointArray& kept, trelIntArray& merged) {
    const int count = points.GetSize();
    if (count == 0 || merged.GetSize() == 0)
        return 0;
    auto names = [count](int index) { return index >= 0 && index < count; };
    auto renumber = [&](auto newIndex) {
        ForEachRun(merged, [&](int, int first, int size) {
            for (int k = first; k < first + size; ++k)
                if (names(merged[k]))
                    merged[k] = newIndex(merged[k]);
        });
    };
    constexpr int DenseRatio = 4; // at least one index per this many points
    if (merged.GetSize() >= count / DenseRatio) {
        // rank[i]: 1 while marking the points used; then the point's place in `kept`.
        std::vector<int> rank(static_cast<size_t>(count), 0);
        ForEachRun(merged, [&](int, int first, int size) {
            for (int k = first; k < first + size; ++k)
                if (names(merged[k]))
                    rank[static_cast<size_t>(merged[k])] = 1;
        });
        int used = 0;
        for (int& r : rank)
            used += r;
        if (used == count)
            return 0;
        kept.Resize(used);
        int next = 0;
        for (int i = 0; i < count; ++i) {
            if (rank[static_cast<size_t>(i)]) {
                kept[next] = points[i];
                rank[static_cast<size_t>(i)] = next++;
            }
        }
        renumber([&](int index) { return rank[static_cast<size_t>(index)]; });
        return 1;
    }
    std::vector<int> used;
    ForEachRun(merged, [&](int, int first, int size) {
        for (int k = first; k < first + size; ++k)
            if (names(merged[k]))
                used.push_back(merged[k]);
    });
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    if (static_cast<int>(used.size()) == count)
        return 0;

    kept.Resize(static_cast<int>(used.size()));
    for (size_t j = 0; j < used.size(); ++j)
        kept[static_cast<int>(j)] = points[used[j]];
    renumber(
        [&](int index) { return static_cast<int>(std::lower_bound(used.begin(), used.end(), index) - used.begin()); });
    return 1;
}

int CVRMLSeparator::CompactPoints(trelFloatPointArray& points, trelIntArray& merged) {
    trelFloatPointArray kept;
    if (!CompactInto(points, kept, merged))
        return 0;
    points = std::move(kept);
    return 1;
}
