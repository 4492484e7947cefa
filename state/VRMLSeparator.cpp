#include "VRMLSeparator.h"

namespace {
constexpr double DefaultShininess = 64.0;
constexpr double DefaultTransparency = 0.0;

void SetSingle(trelDoubleArray& list, double value) {
    list.Resize(1);
    list[0] = value;
}
} // namespace

CVRMLSeparator::CVRMLSeparator() {
    matrix.SetIdentity();
    SetSingle(shininess, DefaultShininess);
    SetSingle(transparency, DefaultTransparency);
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
    coordIndex = source.coordIndex;
    normalIndex = source.normalIndex;
    materialIndex = source.materialIndex;
    ambientColors = source.ambientColors;
    diffuseColors = source.diffuseColors;
    specularColors = source.specularColors;
    emissiveColors = source.emissiveColors;
    return *this;
}

void CVRMLSeparator::ResetMaterial() {
    ambientColors.Clear();
    diffuseColors.Clear();
    specularColors.Clear();
    emissiveColors.Clear();
    SetSingle(shininess, DefaultShininess);
    SetSingle(transparency, DefaultTransparency);
}

void CVRMLSeparator::ApplyMatrix(const trelMatrix4x4& m) { matrix = m * matrix; }
void CVRMLSeparator::ApplyTranslation(const trelFloatPoint& t) { ApplyMatrix(GetDisplacementMatrix(t)); }
void CVRMLSeparator::ApplyScale(const trelFloatPoint& s) { ApplyMatrix(GetScaleMatrix(s)); }
void CVRMLSeparator::ApplyRotation(const trelMatrix4x4& r) { ApplyMatrix(r); }

void CVRMLSeparator::TransformPoints(trelFloatPointArray& points) const {
    for (trelFloatPoint& p : points.Items())
        p = p * matrix;
}
