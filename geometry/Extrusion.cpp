#include "AttributeBlocks.h"
#include "AttributeScope.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <cmath>
#include <cstdint>
#include <new>

namespace {
// The cross-section's y axis is turned onto the spine's tangent.
const trelVector SpineUp(0.0f, 1.0f, 0.0f);
// Tangents this close to -y (in degrees) take the anti-parallel branch.
constexpr double AntiParallelLow = 179.999999;
constexpr double AntiParallelHigh = 180.000001;
// Two unit directions whose sine is below this count as parallel: the
// geometry library no longer takes a rotation axis from them either.
constexpr double ParallelSine = 1e-6;
// How far a tangent between coincident spine points looks for a spine point
// that is apart; bounded so that a spine of one repeated point stays linear.
constexpr int CoincidentReach = 32;

int CrossSectionCount(const trelDoubleArray& crossSection) { return crossSection.GetSize() / 2; }

bool AllFinite(const trelFloatPointArray& points) {
    for (const trelFloatPoint& p : points.Items())
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return false;
    return true;
}

// The unit vector from a to b; false when the points coincide or the
// distance is beyond the float range.
bool UnitDirection(const trelFloatPoint& a, const trelFloatPoint& b, trelVector& direction) {
    trelVector v(a, b);
    const double length = v.Normalize();
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    direction = v;
    return true;
}
trelVector Negated(const trelVector& v) { return trelVector(-v.x, -v.y, -v.z); }

// The normal of the segments from `at` to `next` and to `previous`; false
// where they run in one line (or either has no length).
bool SegmentsNormal(const trelFloatPoint& at, const trelFloatPoint& next, const trelFloatPoint& previous,
                    trelVector& normal) {
    trelVector a(at, next), b(at, previous);
    const double lengths = a.Normalize() * b.Normalize();
    if (!(lengths > 0.0) || !std::isfinite(lengths))
        return false;
    normal = CrossProduct(a, b);
    const double sine = normal.Normalize();
    return sine >= ParallelSine && std::isfinite(sine);
}

// VRML 97's cross-section planes. Y runs along the spine: next minus
// previous point, the end segment at an open end, and at both ends of a
// closed spine the second point minus the one before the last. Z is the
// normal of the two segments at the point, copied from the last point
// that has one where they run in one line (from the first that has one
// before it), and turned over where it points against the previous Z.
// X is Y × Z, and Z is made square to both. `tangent` gives Y where the
// neighbours coincide. False for a spine that runs in one line, which
// keeps the shortest turn of +y onto it.
template <class Tangent>
bool SpinePlanes(const trelFloatPointArray& spine, Tangent tangent, std::vector<trelMatrix4x4>& planes) {
    const int n = spine.GetSize();
    if (n < 3)
        return false;
    const int last = n - 1;
    const bool closed = spine[0] == spine[last];
    std::vector<trelVector> z(static_cast<size_t>(n));
    std::vector<bool> defined(static_cast<size_t>(n), false);
    int firstDefined = -1;
    for (int i = 0; i < n; ++i) {
        bool made = false;
        if (i > 0 && i < last)
            made = SegmentsNormal(spine[i], spine[i + 1], spine[i - 1], z[static_cast<size_t>(i)]);
        else if (closed)
            made = SegmentsNormal(spine[0], spine[1], spine[last - 1], z[static_cast<size_t>(i)]);
        defined[static_cast<size_t>(i)] = made;
        if (made && firstDefined < 0)
            firstDefined = i;
    }
    if (firstDefined < 0)
        return false;
    planes.assign(static_cast<size_t>(n), trelMatrix4x4());
    trelVector previous = z[static_cast<size_t>(firstDefined)];
    for (int i = 0; i < n; ++i) {
        trelVector zi = defined[static_cast<size_t>(i)] ? z[static_cast<size_t>(i)] : previous;
        if (i > 0 && DotProduct(zi, previous) < 0.0)
            zi = Negated(zi);
        previous = zi;
        trelVector y;
        const bool end = i == 0 || i == last;
        if (!(end && closed ? UnitDirection(spine[last - 1], spine[1], y)
                            : UnitDirection(spine[i > 0 ? i - 1 : 0], spine[i < last ? i + 1 : last], y)))
            y = tangent(i);
        trelVector x = CrossProduct(y, zi);
        if (!(x.Normalize() > 0.0)) // Z copied along the spine's own line: the shortest turn serves
            return false;
        const trelVector square = CrossProduct(x, y);
        trelMatrix4x4& m = planes[static_cast<size_t>(i)];
        const trelVector* rows[3] = {&x, &y, &square};
        for (int r = 0; r < 3; ++r) {
            m.m[r][0] = rows[r]->x;
            m.m[r][1] = rows[r]->y;
            m.m[r][2] = rows[r]->z;
        }
    }
    return true;
}

// The standards' defaults of the two fields this loader otherwise requires:
// the unit square around the spine, and a spine of one unit up the y axis.
// (The defaults of scale and orientation are those of every mode.)
void ApplyStandardDefaults(bool crossSectionGiven, bool spineGiven, trelDoubleArray& crossSection,
                           trelFloatPointArray& spine) {
    if (!crossSectionGiven) {
        static constexpr double Square[] = {1, 1, 1, -1, -1, -1, -1, 1, 1, 1};
        crossSection.Resize(10);
        for (int i = 0; i < 10; ++i)
            crossSection[i] = Square[i];
    }
    if (!spineGiven) {
        spine.Resize(2);
        spine[0] = trelFloatPoint(0.0f, 0.0f, 0.0f);
        spine[1] = trelFloatPoint(0.0f, 1.0f, 0.0f);
    }
}
} // namespace

int CVRMLParser::ParseExtrusion() {
    if (!CurrentSeparator)
        return 0;
    int solid = 1, beginCap = 1, endCap = 1;
    trelVectorArray axes;
    trelDoubleArray angles, scale, crossSection;
    trelFloatPointArray spine;
    bool crossSectionGiven = false, spineGiven = false;
    CVRMLAttributeFields fields;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_EXTRUSION});
    // A field leaves its last value token (or whatever stood in its place)
    // current; the next pass steps over it like any other token.
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        int* flag = nullptr;
        switch (GetCurrentTokenType()) {
        case VRML_ORIENTATION:
            Tokenize();
            ParseRotationVectorArray(axes, angles);
            continue;
        case VRML_SCALE:
            Tokenize();
            ParseFloatArray(scale);
            continue;
        case VRML_CROSSSECTION:
            Tokenize();
            ParseFloatArray(crossSection);
            crossSectionGiven = true;
            continue;
        case VRML_SPINE:
            Tokenize();
            ParsePointArray(spine);
            spineGiven = true;
            continue;
        case VRML_SOLID: flag = &solid; break;
        case VRML_BEGINCAP: flag = &beginCap; break;
        case VRML_ENDCAP: flag = &endCap; break;
        case VRML_WORD:
            if (ReadAttributeField(fields))
                continue;
            break;
        default: break;
        }
        if (flag) {
            Tokenize();
            if (GetCurrentTokenType() == VRML_BOOLEAN)
                *flag = GetCurrentTokenBooleanValue();
            continue;
        }
        if (!Tokenize())
            break;
    }
    if (scale.IsEmpty()) {
        scale.Resize(2);
        scale[0] = scale[1] = 1.0;
    }
    if (axes.IsEmpty() || angles.IsEmpty()) {
        axes.Resize(1);
        axes[0] = trelVector(0.0f, 0.0f, 1.0f);
        angles.Resize(1);
        angles[0] = 0.0;
    }
    if (StandardSemantics)
        ApplyStandardDefaults(crossSectionGiven, spineGiven, crossSection, spine);
    if (crossSection.GetSize() % 2 != 0)
        crossSection.Clear();
    trelAttributes block;
    block.creaseAngle = fields.creaseAngle;
    block.ccw = fields.ccw;
    CVRMLGeometryAttributesScope attributes(*this, VRMLAttributeBlocks::SaysSomething(block)
                                                       ? std::make_shared<const trelAttributes>(std::move(block))
                                                       : nullptr);
    return DefineExtrusion(solid, beginCap, endCap, axes, angles, scale, crossSection, spine);
}

int CVRMLParser::DefineExtrusion(int solid, int beginCap, int endCap, trelVectorArray& axes, trelDoubleArray& angles,
                                 trelDoubleArray& scale, trelDoubleArray& crossSection, trelFloatPointArray& spine) {
    if (!CurrentSeparator || scale.IsEmpty() || spine.IsEmpty() || crossSection.IsEmpty() || axes.IsEmpty() ||
        angles.IsEmpty())
        return 0;
    const int c = CrossSectionCount(crossSection);
    const int s = spine.GetSize();
    trelFloatPointArray mesh;
    if (!GetExtrusionMesh(mesh, axes, angles, scale, crossSection, spine))
        return 0;
    // The mesh's block, and the caps': with a texture, the standard mapping
    // (s along the cross-section, t along the spine; a cap like a face set
    // over the cross-section).
    const std::shared_ptr<const trelAttributes> given = GeometryAttributes;
    std::shared_ptr<const trelAttributes> meshBlock = given, capBlock = given;
    if (CurrentSeparator->GetTexture()) {
        auto mapped = given ? std::make_shared<trelAttributes>(*given) : std::make_shared<trelAttributes>();
        auto capMapped = std::make_shared<trelAttributes>(*mapped);
        VRMLAttributeBlocks::ExtrusionTexCoords(crossSection, spine, mapped->texCoords);
        trelFloatPointArray outline(c);
        trelIntArray outlineIndex(c + 1);
        outlineIndex[0] = c;
        for (int j = 0; j < c; ++j) {
            outline[j] = trelFloatPoint(static_cast<float>(crossSection[2 * j]), 0.0f,
                                        static_cast<float>(crossSection[2 * j + 1]));
            outlineIndex[j + 1] = j;
        }
        VRMLAttributeBlocks::DefaultSetTexCoords(outline, outlineIndex, capMapped->texCoords);
        capMapped->texCoords.Items().erase(capMapped->texCoords.Items().begin()); // the size slot
        meshBlock = std::move(mapped);
        capBlock = std::move(capMapped);
    }
    CurrentSeparator->TransformPoints(mesh);

    int result = 0;
    // A placement that throws points beyond the float range builds no mesh
    // (and the caps check their own rows), as if it could not be created.
    if (AllFinite(mesh)) {
        if (C3DPolyMesh* object = new (std::nothrow) C3DPolyMesh) {
            object->SetPoints(mesh, s, c, 0, 0);
            object->SetAttributes(meshBlock);
            result = AddObjectToSeparator(object);
        }
    }
    {
        CVRMLGeometryAttributesScope caps(*this, capBlock);
        if (beginCap)
            result = DefineExtrusionCap(0, c, mesh);
        if (endCap)
            result = DefineExtrusionCap(s - 1, c, mesh);
    }

    RecordEntry<CVRMLExtrusionEntry>(*this, [&](auto& e) {
        e.SetSolid(solid);
        e.SetBeginCap(beginCap);
        e.SetEndCap(endCap);
        e.SetAxes(axes);
        e.SetAngles(angles);
        e.SetScale(scale);
        e.SetCrossSection(crossSection);
        e.SetSpine(spine);
        e.SetAttributes(given);
    });
    return result;
}

int CVRMLParser::GetExtrusionMesh(trelFloatPointArray& mesh, trelVectorArray& axes, trelDoubleArray& angles,
                                  trelDoubleArray& scale, trelDoubleArray& crossSection, trelFloatPointArray& spine) {
    const int c = CrossSectionCount(crossSection);
    const int s = spine.GetSize();
    // Refused before anything is allocated: a spine and a cross-section of a
    // million points each would otherwise ask for 10^12 points.
    if (static_cast<int64_t>(s) * c > MaxExtrusionPoints) {
        mesh.Clear();
        return 0;
    }
    mesh.Resize(s * c);
    trelFloatPointArray section(c);

    // The stretch memory below is only valid for this spine and this call.
    struct StretchScope {
        AntiParallelStretch& stretch;
        StretchScope(AntiParallelStretch& memo, const trelFloatPointArray& spineInUse) : stretch(memo) {
            stretch = AntiParallelStretch();
            stretch.spine = &spineInUse;
        }
        ~StretchScope() { stretch = AntiParallelStretch(); }
        StretchScope(const StretchScope&) = delete;
        StretchScope& operator=(const StretchScope&) = delete;
    } scope(ExtrusionStretch, spine);
    struct PlanesScope {
        std::vector<trelMatrix4x4>& planes;
        ~PlanesScope() { planes.clear(); }
    } planesScope{ExtrusionPlanes};
    if (StandardSemantics && !SpinePlanes(
                                 spine, [&](int i) { return GetExtrusionTangentVector(i, spine); }, ExtrusionPlanes))
        ExtrusionPlanes.clear();

    int complete = 1;
    for (int i = 0; i < s; ++i) {
        if (!GetExtrusionCrossSectionPoints(i, section, axes, angles, scale, crossSection, spine) ||
            section.GetSize() != c) {
            complete = 0;
            continue;
        }
        for (int j = 0; j < c; ++j)
            mesh[i * c + j] = section[j];
    }
    return complete;
}

// A cross-section that leaves the float range (huge coordinates, scales or
// spine points) fails like one without points, so that no infinity or NaN
// reaches the world.
int CVRMLParser::GetExtrusionCrossSectionPoints(int spineIndex, trelFloatPointArray& points, trelVectorArray& axes,
                                                trelDoubleArray& angles, trelDoubleArray& scale,
                                                trelDoubleArray& crossSection, trelFloatPointArray& spine) {
    const int c = CrossSectionCount(crossSection);
    if (points.GetSize() != c)
        points.Resize(c);
    if (c == 0)
        return 0;
    for (int j = 0; j < c; ++j)
        points[j] =
            trelFloatPoint(static_cast<float>(crossSection[2 * j]), 0.0f, static_cast<float>(crossSection[2 * j + 1]));
    const trelMatrix4x4 transform = CreateExtrusionCrossSectionTransform(spineIndex, axes, angles, scale, spine);
    if (!IsIdentityMatrix(transform))
        for (trelFloatPoint& p : points.Items())
            p = p * transform;
    return AllFinite(points) ? 1 : 0;
}

trelMatrix4x4 CVRMLParser::CreateExtrusionCrossSectionTransform(int spineIndex, trelVectorArray& axes,
                                                                trelDoubleArray& angles, trelDoubleArray& scale,
                                                                trelFloatPointArray& spine) {
    if (spineIndex < 0 || spineIndex >= spine.GetSize())
        return trelMatrix4x4();
    const trelMatrix4x4 displacement = GetDisplacementMatrix(spine[spineIndex]);

    // One scale pair applies everywhere; with several, a spine point past the
    // last pair is not scaled (the last pair is not repeated).
    double sx = 1.0, sz = 1.0;
    const int64_t pairEnd = 2 * static_cast<int64_t>(spineIndex) + 1;
    if (pairEnd < scale.GetSize()) {
        sx = scale[2 * spineIndex];
        sz = scale[2 * spineIndex + 1];
    } else if (scale.GetSize() == 2) {
        sx = scale[0];
        sz = scale[1];
    }
    const trelMatrix4x4 scaling = GetScaleMatrix(trelFloatPoint(static_cast<float>(sx), 1.0f, static_cast<float>(sz)));

    trelMatrix4x4 alignment;
    if (static_cast<size_t>(spineIndex) < ExtrusionPlanes.size()) {
        alignment = ExtrusionPlanes[static_cast<size_t>(spineIndex)];
    } else {
        const trelVector tangent = GetExtrusionTangentVector(spineIndex, spine);
        const double angle = CalculateAngleBetweenVectors(SpineUp, tangent);
        if (angle >= AntiParallelLow && angle <= AntiParallelHigh) {
            const trelVector axis = ExtrusionAntiParallelAxis(spineIndex, tangent, spine);
            alignment = CreateRotationMatrixForVectors(SpineUp, tangent, &axis);
        } else {
            alignment = CreateRotationMatrixForVectors(SpineUp, tangent);
        }
    }

    // Likewise one rotation applies everywhere, several only as far as they go.
    trelVector orientationAxis(0.0f, 0.0f, 1.0f);
    double orientationAngle = 0.0;
    if (spineIndex < axes.GetSize() && spineIndex < angles.GetSize()) {
        orientationAxis = axes[spineIndex];
        orientationAngle = angles[spineIndex];
    } else if (axes.GetSize() == 1 && !angles.IsEmpty()) {
        orientationAxis = axes[0];
        orientationAngle = angles[0];
    }
    const trelMatrix4x4 orientation = CreateRotationMatrixForNormalAngle(orientationAxis, orientationAngle);

    // Scaled first, then turned by the orientation, aligned with the spine and
    // moved to the spine point.
    return scaling * orientation * alignment * displacement;
}

trelVector CVRMLParser::GetExtrusionTangentVector(int spineIndex, trelFloatPointArray& spine) {
    const int n = spine.GetSize();
    if (spineIndex < 0 || spineIndex >= n)
        return SpineUp;
    const int last = n - 1;
    int i = spineIndex;
    // A closed spine takes the direction of its first segment at both ends,
    // so that its first and last cross-sections coincide.
    if (n >= 2 && i == last && spine[last] == spine[0])
        i = 0;
    trelVector tangent;
    if (n >= 2 && UnitDirection(spine[i > 0 ? i - 1 : 0], spine[i < last ? i + 1 : last], tangent))
        return tangent;
    // No direction from the neighbours: a spine of one point, coincident
    // spine points, or a spine that turns straight back. The nearest segment
    // with a length that arrives at the point gives the direction, else the
    // nearest one that leaves it; a spine standing on one point keeps the
    // cross-section flat, along y.
    for (int d = 1; d <= CoincidentReach && i - d >= 0; ++d)
        if (UnitDirection(spine[i - d], spine[i], tangent))
            return tangent;
    for (int d = 1; d <= CoincidentReach && i + d < n; ++d)
        if (UnitDirection(spine[i], spine[i + d], tangent))
            return tangent;
    return SpineUp;
}

// The axis for a tangent along -y, where turning y onto the tangent does not
// say about which axis. The cross product with a neighbouring tangent that is
// not parallel is the axis about which that neighbour's own frame turns, so
// the frames stay of one piece. The nearest such neighbour is taken, the
// previous one first (at the first point, the next one); when the neighbours
// run straight down too, the search goes on past the whole straight stretch.
// A spine that runs straight down throughout gets a zero axis, for which the
// geometry library picks one and the same axis at every point.
trelVector CVRMLParser::ExtrusionAntiParallelAxis(int spineIndex, const trelVector& tangent,
                                                  trelFloatPointArray& spine) {
    const int n = spine.GetSize();
    auto crossWith = [&](int k) { return CrossProduct(GetExtrusionTangentVector(k, spine), tangent); };
    auto parallel = [&](int k) { return crossWith(k).Length() < ParallelSine; };

    AntiParallelStretch stretch;
    const bool remembered =
        ExtrusionStretch.spine == &spine && spineIndex >= ExtrusionStretch.first && spineIndex <= ExtrusionStretch.last;
    if (remembered) {
        stretch = ExtrusionStretch;
    } else {
        stretch.first = stretch.last = spineIndex;
        while (stretch.first > 0 && parallel(stretch.first - 1))
            --stretch.first;
        while (stretch.last < n - 1 && parallel(stretch.last + 1))
            ++stretch.last;
        stretch.before = stretch.first - 1;
        stretch.after = stretch.last + 1 < n ? stretch.last + 1 : -1;
        if (ExtrusionStretch.spine == &spine) {
            stretch.spine = &spine;
            ExtrusionStretch = stretch;
        }
    }

    int neighbour = stretch.before;
    if (stretch.after >= 0 && (neighbour < 0 || stretch.after - spineIndex < spineIndex - neighbour))
        neighbour = stretch.after;
    if (neighbour < 0)
        return trelVector();
    trelVector axis = crossWith(neighbour);
    axis.Normalize();
    return axis;
}

int CVRMLParser::DefineExtrusionCap(int spineIndex, int pointCount, trelFloatPointArray& mesh) {
    if (pointCount <= 0 || spineIndex < 0)
        return 0;
    const int64_t first = static_cast<int64_t>(spineIndex) * pointCount;
    if (first + pointCount > mesh.GetSize())
        return 0;
    trelFloatPointArray outline(pointCount);
    for (int j = 0; j < pointCount; ++j)
        outline[j] = mesh[static_cast<int>(first) + j];
    if (!AllFinite(outline))
        return 0;
    C3DPolygon* cap = new (std::nothrow) C3DPolygon;
    if (!cap)
        return 0;
    cap->SetPolyline(outline, 1);
    cap->SetAttributes(GeometryAttributes);
    return AddObjectToSeparator(cap);
}
