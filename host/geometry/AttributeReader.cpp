#include "AttributeReader.h"

#include <cmath>

namespace trelDetail {

namespace {

const trelChroma kWhite(1.0f, 1.0f, 1.0f, 1.0f);

// The value a number maps to through an index list (empty: the number
// itself), or null when either step falls outside its list.
template <class T>
const T* Find(const trelArray<T>& values, const trelIntArray& index, long long number) {
    if (number < 0)
        return nullptr;
    long long at = number;
    if (!index.IsEmpty()) {
        if (number >= static_cast<long long>(index.Items().size()))
            return nullptr;
        at = index.Items()[static_cast<size_t>(number)];
    }
    if (at < 0 || at >= static_cast<long long>(values.Items().size()))
        return nullptr;
    return &values.Items()[static_cast<size_t>(at)];
}

bool IsFiniteValue(const trelChroma& c) {
    return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue) && std::isfinite(c.alpha);
}
bool IsFiniteValue(const trelVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool IsFiniteValue(const trelTexCoord& t) { return std::isfinite(t.s) && std::isfinite(t.t); }

template <class T>
bool Usable(const T* value) {
    return value && IsFiniteValue(*value);
}

} // namespace

bool EmitTriangle(trelTessellation& out, const Vec3 (&p)[3], const Vec3 (&n)[3], const VertexExtras (&extras)[3]) {
    if (!EmitTriangle(out, p, n))
        return false;
    for (const VertexExtras& e : extras) {
        out.triangleColors.push_back(e.color);
        out.triangleTexCoords.push_back(e.texCoord);
    }
    return true;
}

void PadAttributes(trelTessellation& out) {
    out.triangleColors.resize(out.triangleVertices.size(), kWhite);
    out.triangleTexCoords.resize(out.triangleVertices.size());
    out.pointColors.resize(out.points.size(), kWhite);
    const size_t done = out.lineColors.size();
    out.lineColors.resize(out.lineStrips.size());
    for (size_t i = done; i < out.lineStrips.size(); ++i)
        out.lineColors[i].assign(out.lineStrips[i].size(), kWhite);
}

AttributeReader::AttributeReader(const trelBaseObject& object)
    : block(object.GetAttributes()), offset(object.GetAttributeOffset()) {
    if (!block)
        return;
    colors = block->HasColors();
    normals = block->HasNormals();
    texCoords = block->HasTexCoords();
    for (float m : block->texMatrix.m)
        matrix = matrix && std::isfinite(m);
    if (std::isfinite(block->creaseAngle) && block->creaseAngle > 0.0)
        creaseAngle = block->creaseAngle;
    ccw = block->ccw;
}

void AttributeReader::CheckVertex(long long vertex) {
    const long long number = vertex + offset;
    if (colors && block->colorPerVertex)
        colors = Usable(Find(block->colors, block->colorIndex, number));
    if (normals && block->normalPerVertex)
        normals = Usable(Find(block->normals, block->normalIndex, number));
    if (texCoords)
        texCoords = Usable(Find(block->texCoords, block->texCoordIndex, number));
}

void AttributeReader::CheckFace(long long face) {
    const long long number = face + offset;
    if (colors && !block->colorPerVertex)
        colors = Usable(Find(block->colors, block->colorIndex, number));
    if (normals && !block->normalPerVertex)
        normals = Usable(Find(block->normals, block->normalIndex, number));
}

trelChroma AttributeReader::Color(long long vertex, long long face) const {
    if (!colors)
        return kWhite;
    const trelChroma* c = Find(block->colors, block->colorIndex, (block->colorPerVertex ? vertex : face) + offset);
    return c ? *c : kWhite;
}

Vec3 AttributeReader::Normal(long long vertex, long long face) const {
    if (!normals)
        return Vec3();
    const trelVector* n = Find(block->normals, block->normalIndex, (block->normalPerVertex ? vertex : face) + offset);
    return n ? Vec3(*n) : Vec3();
}

trelTexCoord AttributeReader::TexCoord(long long vertex) const {
    if (!texCoords)
        return trelTexCoord();
    const trelTexCoord* t = Find(block->texCoords, block->texCoordIndex, vertex + offset);
    return t ? Map(*t) : trelTexCoord();
}

VertexExtras AttributeReader::Extras(long long vertex, long long face) const {
    VertexExtras extras;
    extras.color = Color(vertex, face);
    extras.texCoord = TexCoord(vertex);
    return extras;
}

trelTexCoord AttributeReader::Map(const trelTexCoord& generated) const {
    if (!block)
        return generated;
    const trelTexCoord mapped = matrix ? block->texMatrix.Apply(generated) : trelTexCoord();
    return IsFiniteValue(mapped) ? mapped : trelTexCoord();
}

} // namespace trelDetail
