#include "Parts.h"

#include "Arrays.h"
#include "inspect/WorldWalk.h"

#include <cstdint>
#include <vector>

namespace vrml::python {

namespace {

py::tuple Colour(const trelChroma& c) { return py::make_tuple(c.red, c.green, c.blue, c.alpha); }

template <class Point>
py::array_t<float> Triples(const std::vector<Point>& points) {
    std::vector<float> values;
    values.reserve(points.size() * 3);
    for (const Point& p : points)
        values.insert(values.end(), {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
    return TakeArray(std::move(values), 3);
}

// Indexed triangles over shared vertices, then line strips and points, each
// kind with its colours when the file gives any.
py::dict MeshOf(const ExportGeometry& geometry) {
    py::dict mesh;
    mesh["positions"] = Triples(geometry.positions);
    mesh["normals"] = Triples(geometry.normals);
    mesh["indices"] = TakeArray(std::vector<uint32_t>(geometry.triangles), 3);
    std::vector<float> linePoints, pointPositions;
    std::vector<uint32_t> lengths;
    for (const auto& strip : geometry.lineStrips) {
        lengths.push_back(static_cast<uint32_t>(strip.size()));
        for (const trelFloatPoint& p : strip)
            linePoints.insert(linePoints.end(), {p.x, p.y, p.z});
    }
    for (const trelFloatPoint& p : geometry.points)
        pointPositions.insert(pointPositions.end(), {p.x, p.y, p.z});
    mesh["line_positions"] = TakeArray(std::move(linePoints), 3);
    mesh["line_lengths"] = TakeArray(std::move(lengths), 1);
    mesh["points"] = TakeArray(std::move(pointPositions), 3);
    // Colours and texture coordinates as the file gives them (display
    // values; t up the picture), one per position, line point and point.
    py::object colors = py::none(), uv = py::none();
    if (geometry.HasColors()) {
        std::vector<float> values;
        values.reserve(geometry.colors.size() * 4);
        for (const trelChroma& c : geometry.colors)
            values.insert(values.end(), {c.red, c.green, c.blue, c.alpha});
        colors = TakeArray(std::move(values), 4);
    }
    if (geometry.HasTexCoords()) {
        std::vector<float> values;
        values.reserve(geometry.texCoords.size() * 2);
        for (const trelTexCoord& t : geometry.texCoords)
            values.insert(values.end(), {t.s, t.t});
        uv = TakeArray(std::move(values), 2);
    }
    mesh["colors"] = colors;
    mesh["uv"] = uv;
    return mesh;
}

// The placement for column vectors (p' = M p), as most programs keep it.
py::array_t<double> ColumnMatrix(const trelMatrix4x4& m) {
    std::vector<double> values(16);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            values[static_cast<size_t>(row * 4 + column)] = m.m[column][row];
    return TakeArray(std::move(values), 4);
}

} // namespace

py::dict PartsOf(const ExportScene& scene) {
    py::dict parts;
    py::list groups;
    for (const ExportGroup& group : scene.groups) {
        py::dict g;
        g["name"] = group.name;
        g["parent"] = group.parent;
        groups.append(g);
    }
    parts["groups"] = groups;

    py::list materials;
    for (const trelMaterial& m : scene.materials) {
        py::dict d;
        d["diffuse"] = Colour(m.GetDiffuse());
        d["emission"] = Colour(m.GetEmission());
        d["specular"] = Colour(m.GetSpecular());
        d["roughness"] = RoughnessFromExponent(PhongExponent(m.GetShininess()));
        materials.append(d);
    }
    parts["materials"] = materials;

    py::list textures;
    for (const ExportTexture& texture : scene.textures) {
        py::dict t;
        t["name"] = ToValidUtf8(texture.image->name);
        t["width"] = texture.image->width;
        t["height"] = texture.image->height;
        // Four bytes a pixel, the top row first.
        t["rgba"] = TakeArray(std::vector<unsigned char>(texture.image->rgba), 4);
        t["repeat_s"] = texture.repeatS;
        t["repeat_t"] = texture.repeatT;
        t["intensity"] = texture.intensity;
        textures.append(t);
    }
    parts["textures"] = textures;

    // Shared shapes first, then each object's own geometry.
    py::list meshes;
    for (const ExportGeometry& shape : scene.shapes)
        meshes.append(MeshOf(shape));
    py::list objects;
    for (const ExportObject& object : scene.objects) {
        py::dict o;
        o["name"] = object.name;
        o["type"] = ObjectTypeName(object.type);
        o["group"] = object.group;
        o["material"] = object.material;
        o["texture"] = object.texture;
        if (object.shape >= 0) {
            o["mesh"] = object.shape;
            o["matrix"] = ColumnMatrix(object.placement);
        } else {
            o["mesh"] = py::len(meshes);
            o["matrix"] = py::none();
            meshes.append(MeshOf(object));
        }
        objects.append(o);
    }
    parts["meshes"] = meshes;
    parts["objects"] = objects;
    return parts;
}

} // namespace vrml::python
