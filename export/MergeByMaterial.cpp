#include "MergeByMaterial.h"

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <tuple>

namespace vrml {

namespace {

// What an object's look is made of; objects with texture coordinates but no
// texture keep them, so they are a look of their own too.
using Look = std::tuple<int, int, bool, bool>; // material, texture, colours, texture coordinates

template <typename T>
void Append(std::vector<T>& to, const std::vector<T>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// One look's object, its parts gathered apart until the end: the colours of
// every triangle vertex come before those of the strips and of the points.
struct Joined {
    ExportObject object;
    std::vector<trelChroma> stripColors, pointColors;

    bool Fits(const ExportGeometry& geometry) const {
        return object.positions.size() + geometry.positions.size() <= std::numeric_limits<uint32_t>::max();
    }

    void Add(const ExportGeometry& geometry) {
        const uint32_t offset = static_cast<uint32_t>(object.positions.size());
        Append(object.positions, geometry.positions);
        Append(object.normals, geometry.normals);
        object.triangles.reserve(object.triangles.size() + geometry.triangles.size());
        for (uint32_t index : geometry.triangles)
            object.triangles.push_back(index + offset);
        Append(object.texCoords, geometry.texCoords);
        Append(object.lineStrips, geometry.lineStrips);
        Append(object.points, geometry.points);
        if (geometry.HasColors()) {
            const auto strips = geometry.colors.begin() + static_cast<std::ptrdiff_t>(geometry.positions.size());
            const auto points = geometry.colors.begin() + static_cast<std::ptrdiff_t>(geometry.GetPointColorStart());
            object.colors.insert(object.colors.end(), geometry.colors.begin(), strips);
            stripColors.insert(stripColors.end(), strips, points);
            pointColors.insert(pointColors.end(), points, geometry.colors.end());
        }
    }

    ExportObject Finish() {
        Append(object.colors, stripColors);
        Append(object.colors, pointColors);
        return std::move(object);
    }
};

} // namespace

ExportScene MergeByMaterial(ExportScene scene) {
    std::vector<Joined> joined;
    std::map<Look, size_t> latest; // the look's object being filled
    std::map<int, int> looksOfMaterial;
    ExportGeometry placed;
    for (ExportObject& object : scene.objects) {
        const ExportGeometry& geometry = WorldGeometryOf(scene, object, placed);
        if (geometry.IsEmpty())
            continue;
        const Look look{object.material, object.texture, geometry.HasColors(), geometry.HasTexCoords()};
        auto found = latest.find(look);
        if (found == latest.end() || !joined[found->second].Fits(geometry)) {
            const int seen = ++looksOfMaterial[object.material];
            Joined made;
            made.object.name =
                "material " + std::to_string(object.material) + (seen > 1 ? "." + std::to_string(seen) : "");
            made.object.type = object.type;
            made.object.material = object.material;
            made.object.texture = object.texture;
            made.object.group = 0;
            latest[look] = joined.size();
            joined.push_back(std::move(made));
            found = latest.find(look);
        }
        joined[found->second].Add(geometry);
        static_cast<ExportGeometry&>(object) = ExportGeometry(); // released as it is taken
    }

    ExportScene merged;
    merged.groups.resize(1);
    merged.groups[0].name = scene.groups.empty() ? std::string() : scene.groups[0].name;
    merged.materials = std::move(scene.materials);
    merged.textures = std::move(scene.textures);
    merged.frame = scene.frame;
    merged.name = std::move(scene.name);
    merged.countedTriangles = scene.countedTriangles;
    merged.maxTriangles = scene.maxTriangles;
    for (Joined& look : joined) {
        merged.groups[0].objects.push_back(static_cast<int>(merged.objects.size()));
        merged.objects.push_back(look.Finish());
    }
    return merged;
}

} // namespace vrml
