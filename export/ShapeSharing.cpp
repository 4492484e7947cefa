#include "ShapeSharing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace vrml {

namespace {

// Parameters are compared bit for bit: two shapes are one only when the
// unit primitive rebuilt from the key tessellates exactly as each would.
template <typename To, typename From>
To SameBits(const From& from) {
    static_assert(sizeof(To) == sizeof(From), "a reading of the same bytes");
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

uint64_t Bits(float f) { return SameBits<uint32_t>(f); }
uint64_t Bits(double d) { return SameBits<uint64_t>(d); }
float FloatFrom(uint64_t bits) { return SameBits<float>(static_cast<uint32_t>(bits)); }
double DoubleFrom(uint64_t bits) { return SameBits<double>(bits); }

// A direction in three parameters from `first` on.
void KeyVector(const trelVector& v, ShapeUse::Key& key, size_t first) {
    key.parameters[first] = Bits(v.x);
    key.parameters[first + 1] = Bits(v.y);
    key.parameters[first + 2] = Bits(v.z);
}

trelVector VectorFrom(const ShapeUse::Key& key, size_t first) {
    return trelVector(FloatFrom(key.parameters[first]), FloatFrom(key.parameters[first + 1]),
                      FloatFrom(key.parameters[first + 2]));
}

bool IsPositiveSize(double size) { return size > 0.0 && std::isfinite(size); }

double RowDot(const trelMatrix4x4& m, int a, int b) {
    return static_cast<double>(m.m[a][0]) * m.m[b][0] + static_cast<double>(m.m[a][1]) * m.m[b][1] +
           static_cast<double>(m.m[a][2]) * m.m[b][2];
}

// A unit box centred on the origin, its corners in trelBox's order.
const float UnitCorners[8][3] = {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},
                                 {-0.5f, -0.5f, 0.5f},  {0.5f, -0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},  {-0.5f, 0.5f, 0.5f}};

// The matrix that places the unit box on the box's corners, when the corners
// are a box's at all (a parallelepiped); false otherwise.
bool BoxPlacement(const trelBox& box, trelMatrix4x4& m) {
    const trelFloatPoint& origin = box.GetCorner(0);
    const int axes[3] = {1, 3, 4}; // the corners one unit step from corner 0 along x, y, z
    trelFloatPoint centre(0.0f, 0.0f, 0.0f);
    double extent = 0.0;
    for (int i = 0; i < 8; ++i) {
        const trelFloatPoint& c = box.GetCorner(i);
        centre = centre + trelVector(c.x / 8.0f, c.y / 8.0f, c.z / 8.0f);
        extent = std::max({extent, std::fabs(static_cast<double>(c.x)), std::fabs(static_cast<double>(c.y)),
                           std::fabs(static_cast<double>(c.z))});
    }
    for (int r = 0; r < 3; ++r) {
        const trelVector axis(origin, box.GetCorner(axes[r]));
        m.m[r][0] = axis.x;
        m.m[r][1] = axis.y;
        m.m[r][2] = axis.z;
        m.m[r][3] = 0.0f;
    }
    m.m[3][0] = centre.x;
    m.m[3][1] = centre.y;
    m.m[3][2] = centre.z;
    m.m[3][3] = 1.0f;
    // Float corners far from the origin carry an error of their magnitude.
    const double tolerance = 1e-5 * std::max(extent, 1e-30);
    for (int i = 0; i < 8; ++i) {
        const trelFloatPoint placed = trelFloatPoint(UnitCorners[i][0], UnitCorners[i][1], UnitCorners[i][2]) * m;
        const trelFloatPoint& c = box.GetCorner(i);
        if (!(std::fabs(placed.x - c.x) <= tolerance && std::fabs(placed.y - c.y) <= tolerance &&
              std::fabs(placed.z - c.z) <= tolerance))
            return false;
    }
    return true;
}

class UnitBox : public trelBox {
public:
    UnitBox() {
        trelFloatPoint corners[8];
        for (int i = 0; i < 8; ++i)
            corners[i] = trelFloatPoint(UnitCorners[i][0], UnitCorners[i][1], UnitCorners[i][2]);
        SetBox(corners);
    }
};

// The placement of a unit cone's or cylinder's side (radius and height 1)
// on one of the given size; false when the size or the top is unusable.
bool PlaceRoundSide(double radius, double height, double top, const trelBaseRevSurface& side,
                    trelMatrix4x4& placement) {
    if (!(IsPositiveSize(radius) && IsPositiveSize(height) && std::isfinite(top)))
        return false;
    const float r = static_cast<float>(radius);
    placement = GetScaleMatrix(trelFloatPoint(r, r, static_cast<float>(height))) * side.GetXformation();
    return true;
}

float Ratio(double part, double whole) { return static_cast<float>(part / whole); }

} // namespace

bool ShapeUse::Key::operator<(const Key& other) const {
    return std::tie(kind, part, parameters) < std::tie(other.kind, other.part, other.parameters);
}

bool IsRotationScaleMove(const trelMatrix4x4& m) {
    for (const auto& row : m.m)
        for (float value : row)
            if (!std::isfinite(value))
                return false;
    if (m.m[0][3] != 0.0f || m.m[1][3] != 0.0f || m.m[2][3] != 0.0f || m.m[3][3] != 1.0f)
        return false;
    double length[3];
    for (int r = 0; r < 3; ++r) {
        length[r] = std::sqrt(RowDot(m, r, r));
        if (!(length[r] > 1e-30))
            return false;
    }
    // Rows from float data are orthogonal to about 1e-6; a real shear is far more.
    for (const auto& [a, b] : {std::pair<int, int>{0, 1}, {0, 2}, {1, 2}})
        if (std::fabs(RowDot(m, a, b)) > 1e-4 * length[a] * length[b])
            return false;
    const trelVector x(m.m[0][0], m.m[0][1], m.m[0][2]), y(m.m[1][0], m.m[1][1], m.m[1][2]),
        z(m.m[2][0], m.m[2][1], m.m[2][2]);
    return DotProduct(CrossProduct(x, y), z) > 0.0;
}

ShapeUse FindShapeUse(const trelBaseObject& object) {
    ShapeUse use;
    ShapeUse::Key key;
    trelBaseObject::SharedGeometry shared = object.GetSharedGeometry();
    if (shared.local) {
        key.kind = -1;
        key.part = shared.local.get();
        use.local = std::move(shared.local);
        use.placement = shared.placement;
    } else if (object.GetAttributes() != nullptr) {
        // Attributes map onto each object's own shape and size.
        return use;
    } else if (const auto* box = dynamic_cast<const trelBox*>(&object)) {
        if (!BoxPlacement(*box, use.placement))
            return use;
        key.kind = TREL_BOX + 1;
    } else if (const auto* cone = dynamic_cast<const trelCone*>(&object)) {
        const double radius = cone->GetRadius();
        if (!PlaceRoundSide(radius, cone->GetHeight(), cone->GetTopRadius(), *cone, use.placement))
            return use;
        key.kind = TREL_CONE + 1;
        key.parameters[0] = Bits(Ratio(cone->GetTopRadius(), radius));
    } else if (const auto* cylinder = dynamic_cast<const trelCylinder*>(&object)) {
        if (!PlaceRoundSide(cylinder->GetRadius(), cylinder->GetHeight(), cylinder->GetTopRatio(), *cylinder,
                            use.placement))
            return use;
        key.kind = TREL_CYLINDER + 1;
        key.parameters[0] = Bits(cylinder->GetTopRatio());
        KeyVector(cylinder->GetReference(), key, 1);
        key.parameters[4] = Bits(cylinder->GetStartAngle());
        key.parameters[5] = Bits(cylinder->GetSweepAngle());
    } else if (const auto* sphere = dynamic_cast<const trelSphere*>(&object)) {
        // The sign of the radius carries no meaning.
        const double radius = std::fabs(sphere->GetRadius());
        const trelFloatPoint& centre = sphere->GetCenter();
        if (!(IsPositiveSize(radius) && std::isfinite(centre.x) && std::isfinite(centre.y) && std::isfinite(centre.z)))
            return use;
        const float r = static_cast<float>(radius);
        use.placement =
            GetScaleMatrix(trelFloatPoint(r, r, r)) * GetDisplacementMatrix(centre) * sphere->GetXformation();
        key.kind = TREL_SPHERE + 1;
        KeyVector(sphere->GetEquatorDirection(), key, 0);
        KeyVector(sphere->GetPole(), key, 3);
        key.parameters[6] = Bits(sphere->GetLongitudeStart());
        key.parameters[7] = Bits(sphere->GetLongitudeEnd());
        key.parameters[8] = Bits(sphere->GetLatitudeStart());
        key.parameters[9] = Bits(sphere->GetLatitudeEnd());
    } else if (const auto* disk = dynamic_cast<const trelDisk*>(&object)) {
        // The signs of the radii carry no meaning, and the larger is the rim.
        const double a = std::fabs(disk->GetInnerRadius()), b = std::fabs(disk->GetRadius());
        const double radius = std::max(a, b);
        if (!(IsPositiveSize(radius) && std::isfinite(a) && std::isfinite(b)))
            return use;
        const float r = static_cast<float>(radius);
        use.placement = GetScaleMatrix(trelFloatPoint(r, r, r)) * disk->GetMatrix();
        key.kind = TREL_DISK + 1;
        key.parameters[0] = Bits(Ratio(std::min(a, b), radius));
        // Whether it is filled is not public: an unfilled one is drawn as circles.
        trelTessellationOptions few;
        few.segments = 3;
        key.parameters[1] = disk->CountTessellation(few).lineStrips > 0 ? 0u : 1u;
    } else {
        return use;
    }
    if (IsRotationScaleMove(use.placement))
        use.key = key;
    return use;
}

std::shared_ptr<const trelBaseObject> MakeShape(const ShapeUse& use) {
    switch (use.key.kind) {
    case -1: return use.local;
    case TREL_BOX + 1: return std::make_shared<UnitBox>();
    case TREL_CONE + 1: {
        auto cone = std::make_shared<trelCone>();
        cone->SetCone(1.0, 1.0, FloatFrom(use.key.parameters[0]));
        return cone;
    }
    case TREL_CYLINDER + 1: {
        const auto& p = use.key.parameters;
        auto cylinder = std::make_shared<trelCylinder>();
        cylinder->SetCylinder(1.0, 1.0, DoubleFrom(p[0]), VectorFrom(use.key, 1), DoubleFrom(p[4]), DoubleFrom(p[5]));
        return cylinder;
    }
    case TREL_SPHERE + 1: {
        const auto& p = use.key.parameters;
        auto sphere = std::make_shared<trelSphere>();
        sphere->SetSphere(trelFloatPoint(0.0f, 0.0f, 0.0f), VectorFrom(use.key, 0), VectorFrom(use.key, 3), 1.0,
                          DoubleFrom(p[6]), DoubleFrom(p[7]), DoubleFrom(p[8]), DoubleFrom(p[9]));
        return sphere;
    }
    case TREL_DISK + 1: {
        auto disk = std::make_shared<trelDisk>();
        disk->SetDisk(FloatFrom(use.key.parameters[0]), 1.0, trelMatrix4x4(), use.key.parameters[1] != 0);
        return disk;
    }
    default: return nullptr;
    }
}

} // namespace vrml
