#include "Meshes.h"

#include "AttributedFace.h"
#include "CreaseNormals.h"
#include "GeometryDetail.h"
#include "PlacedCount.h"
#include "PlacedPoints.h"
#include "Triangulation.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Calls visit(index, slot) for each index of each face of the merged list
// that names a point, with the index's position in the list, face by face;
// endFace() after each face. The list cannot be trusted: a negative size or
// one running past the end leaves no way to find the next face, so the walk
// stops there; indices outside the point list are dropped from their face
// (the rest of the face is kept, as a viewer would show it).
// takeWhole(first, size) is offered each face's indices first and returns
// true when it has dealt with the face itself, which is then neither visited
// nor ended.
template <class VisitIndex, class EndFace, class TakeWhole>
void ForEachFaceIndex(size_t pointCount, const trelIntArray& indices, VisitIndex visit, EndFace endFace,
                      TakeWhole takeWhole) {
    const std::vector<int>& list = indices.Items();
    size_t position = 0;
    while (position < list.size()) {
        const int size = list[position++];
        if (size < 0 || static_cast<size_t>(size) > list.size() - position)
            return;
        if (takeWhole(list.data() + position, size)) {
            position += static_cast<size_t>(size);
            continue;
        }
        for (size_t k = position; k < position + static_cast<size_t>(size); ++k) {
            const int index = list[k];
            if (index >= 0 && static_cast<size_t>(index) < pointCount)
                visit(static_cast<size_t>(index), k);
        }
        position += static_cast<size_t>(size);
        endFace();
    }
}

template <class VisitIndex, class EndFace>
void ForEachFaceIndex(size_t pointCount, const trelIntArray& indices, VisitIndex visit, EndFace endFace) {
    ForEachFaceIndex(pointCount, indices, visit, endFace, [](const int*, int) { return false; });
}

// Calls visit(face) for each face with the face's points; takeWhole as for
// ForEachFaceIndex.
template <class Visit, class TakeWhole>
void ForEachFace(const trelFloatPointArray& points, const trelIntArray& indices, std::vector<trelDetail::Vec3>& face,
                 Visit visit, TakeWhole takeWhole) {
    const std::vector<trelFloatPoint>& pool = points.Items();
    face.clear();
    ForEachFaceIndex(
        pool.size(), indices, [&](size_t index, size_t) { face.emplace_back(pool[index]); },
        [&] {
            visit(face);
            face.clear();
        },
        takeWhole);
}

template <class Visit>
void ForEachFace(const trelFloatPointArray& points, const trelIntArray& indices, std::vector<trelDetail::Vec3>& face,
                 Visit visit) {
    ForEachFace(points, indices, face, visit, [](const int*, int) { return false; });
}

// The triangulator and face buffer of a pass over the faces, kept per
// thread: a world of many small face sets would otherwise allocate them
// again for every object.
struct FacePass {
    trelDetail::OutlineTriangulator triangulator;
    std::vector<trelDetail::Vec3> face;
};

FacePass& ThisThreadsFacePass() {
    thread_local FacePass pass;
    return pass;
}

// What CountOrTrace gives over the faces. A face of four corners that all
// name points is first tried as a clearly convex quad straight from the
// point list, without gathering its outline: most faces of a mesh.
trelTessellationCounts CountFaces(const trelFloatPointArray& points, const trelIntArray& indices, FacePass& pass) {
    using trelDetail::Vec3;
    const std::vector<trelFloatPoint>& pool = points.Items();
    trelTessellationCounts counts;
    ForEachFace(
        points, indices, pass.face,
        [&](const std::vector<Vec3>& corners) { pass.triangulator.CountOrTrace(corners, counts); },
        [&](const int* corner, int size) {
            if (size != 4)
                return false;
            for (int k = 0; k < 4; ++k)
                if (corner[k] < 0 || static_cast<size_t>(corner[k]) >= pool.size())
                    return false;
            const Vec3 quad[4] = {
                Vec3(pool[static_cast<size_t>(corner[0])]), Vec3(pool[static_cast<size_t>(corner[1])]),
                Vec3(pool[static_cast<size_t>(corner[2])]), Vec3(pool[static_cast<size_t>(corner[3])])};
            if (trelDetail::ClearlyConvexQuadCount(quad) != 2)
                return false;
            counts.triangles += 2;
            return true;
        });
    return counts;
}

// The most triangles the faces can give: a face of n usable corners gives
// at most n - 2.
size_t MostTriangles(size_t pointCount, const trelIntArray& indices) {
    size_t most = 0, corners = 0;
    ForEachFaceIndex(
        pointCount, indices, [&](size_t, size_t) { ++corners; },
        [&] {
            most += corners > 2 ? corners - 2 : 0;
            corners = 0;
        });
    return most;
}

// The faces of the merged list with the corners that name points: each
// corner's point and its slot in the list. A face's number is its position.
struct FaceList {
    std::vector<size_t> first{0}; // where each face's corners begin, and where the last ends
    std::vector<int> point, slot;
    size_t FaceCount() const { return first.size() - 1; }
};

void TessellateWithAttributes(const C3DPolyface& object, const trelFloatPointArray& points, trelTessellation& out) {
    using trelDetail::Vec3;
    const std::vector<trelFloatPoint>& pool = points.Items();
    FaceList faces;
    ForEachFaceIndex(
        pool.size(), object.GetIndices(),
        [&](size_t index, size_t slot) {
            faces.point.push_back(static_cast<int>(index));
            faces.slot.push_back(static_cast<int>(slot));
        },
        [&] { faces.first.push_back(faces.point.size()); });

    trelDetail::AttributeReader reader(object);
    for (size_t f = 0; f < faces.FaceCount(); ++f)
        if (faces.first[f] != faces.first[f + 1])
            reader.CheckFace(static_cast<long long>(f));
    for (int slot : faces.slot)
        reader.CheckVertex(slot);

    // Computed normals under a crease angle: each face's unit normal turned
    // to its front, then shared at the points within the angle.
    std::vector<Vec3> cornerNormals;
    std::vector<Vec3> outline;
    if (!reader.HasNormals() && reader.CreaseAngle() > 0.0) {
        std::vector<Vec3> faceNormals(faces.FaceCount());
        trelDetail::FaceCorners corners;
        for (size_t f = 0; f < faces.FaceCount(); ++f) {
            outline.clear();
            for (size_t c = faces.first[f]; c < faces.first[f + 1]; ++c)
                outline.emplace_back(pool[static_cast<size_t>(faces.point[c])]);
            const Vec3 normal = trelDetail::Normalized(trelDetail::NewellNormal(outline));
            faceNormals[f] = reader.Ccw() ? normal : -normal;
            const size_t size = outline.size();
            for (size_t i = 0; i < size; ++i)
                corners.Add(
                    faces.point[faces.first[f] + i], static_cast<int>(f),
                    trelDetail::CornerAngle(outline[(i + size - 1) % size], outline[i], outline[(i + 1) % size]));
        }
        trelDetail::CreaseNormals(corners, faceNormals, pool.size(), reader.CreaseAngle(), cornerNormals);
    }

    trelDetail::ReserveTriangles(out, MostTriangles(pool.size(), object.GetIndices()), true);
    trelDetail::AttributedFaceWriter writer(out, reader);
    std::vector<long long> vertices;
    for (size_t f = 0; f < faces.FaceCount(); ++f) {
        outline.clear();
        vertices.clear();
        for (size_t c = faces.first[f]; c < faces.first[f + 1]; ++c) {
            outline.emplace_back(pool[static_cast<size_t>(faces.point[c])]);
            vertices.push_back(faces.slot[c]);
        }
        if (outline.empty())
            continue;
        writer.Write(outline, vertices, static_cast<long long>(f),
                     cornerNormals.empty() ? nullptr : &cornerNormals[faces.first[f]]);
    }
}

} // namespace

C3DPolyface::C3DPolyface(const C3DPolyface& other) : trelBaseObject(other), geometry(other.geometry) {}

C3DPolyface::C3DPolyface() = default;
C3DPolyface::~C3DPolyface() = default;

const C3DPolyface::Own& C3DPolyface::OwnOrEmpty() const {
    // A part must never become a use itself (nor a use of itself); should a
    // host break that, its uses read it as empty rather than through it.
    static const Own none;
    const Own* own = std::get_if<Own>(&geometry);
    return own ? *own : none;
}

const trelDetail::PlacedCount& C3DPolyface::LocalCount() const {
    const Own& own = OwnOrEmpty();
    return own.localCount.Get([&] {
        auto fresh = std::make_unique<trelDetail::PlacedCount>();
        trelTessellationCounts counts;
        FacePass& pass = ThisThreadsFacePass();
        ForEachFace(own.points, own.indices, pass.face, [&](const std::vector<trelDetail::Vec3>& corners) {
            fresh->AddFace(corners);
            pass.triangulator.CountOrTrace(corners, counts);
        });
        fresh->SetCounts(counts);
        return fresh;
    });
}

const std::vector<uint32_t>& C3DPolyface::ReachOrder() const {
    const Own& own = OwnOrEmpty();
    return own.reachOrder.Get([&] {
        // First reached first, as GetBBox takes a list below 1024 points;
        // by number, as it takes a longer one.
        const size_t count = own.points.Items().size();
        auto order = std::make_unique<std::vector<uint32_t>>();
        std::vector<unsigned char> reached(count, 0);
        ForEachFaceIndex(
            count, own.indices,
            [&](size_t index, size_t) {
                if (!reached[index])
                    order->push_back(static_cast<uint32_t>(index));
                reached[index] = 1;
            },
            [] {});
        if (count >= 1024)
            std::sort(order->begin(), order->end());
        return order;
    });
}

void C3DPolyface::SetPoints(const trelFloatPointArray& facePoints, const trelIntArray& mergedIndices) {
    Own& own = geometry.emplace<Own>();
    own.points = facePoints;
    own.indices = mergedIndices;
}

void C3DPolyface::SetSharedGeometry(std::shared_ptr<const C3DPolyface> local) {
    geometry.emplace<Own>();
    if (!local)
        return;
    SetAttributes(local->GetSharedAttributes(), local->GetAttributeOffset());
    if (local->SharedUse()) { // a use of a use: its placements live only in its world values
        SetPoints(local->GetPoints(), local->GetIndices());
        return;
    }
    geometry.emplace<Use>().local = std::move(local);
}

const trelFloatPointArray& C3DPolyface::GetPoints() const {
    const Use* use = SharedUse();
    return use ? use->placed.Kept(use->local->OwnOrEmpty().points) : OwnOrEmpty().points;
}

const trelIntArray& C3DPolyface::GetIndices() const {
    const Use* use = SharedUse();
    return use ? use->local->OwnOrEmpty().indices : OwnOrEmpty().indices;
}

const trelFloatPointArray& C3DPolyface::PassingPoints() const {
    const Use* use = SharedUse();
    return use ? use->placed.Passing(use->local->OwnOrEmpty().points) : OwnOrEmpty().points;
}

trelBaseObject::SharedGeometry C3DPolyface::GetSharedGeometry() const {
    const Use* use = SharedUse();
    if (!use)
        return {};
    return {use->local, use->placed.Product()};
}

trelBBox C3DPolyface::GetBBox() const {
    // Only the points that faces reach: a point no face uses is not part of
    // the shape. (The loader drops unused points anyway.) A large mesh
    // reaches each point from several faces, so there the points reached are
    // marked first and each is then taken once.
    trelBBox box;
    if (const Use* use = SharedUse()) {
        // A use takes its part's points in the same order, each placed as
        // its world list would hold it: files place one part by the
        // hundred thousand, and its faces need not be walked for each.
        const std::vector<uint32_t>& order = use->local->ReachOrder();
        return use->placed.PlacedBox(use->local->OwnOrEmpty().points.Items().data(), order.data(), order.size());
    }
    const std::vector<trelFloatPoint>& pool = OwnOrEmpty().points.Items();
    const trelIntArray& merged = OwnOrEmpty().indices;
    if (pool.size() <= 64) {
        // The many small sets a file repeats: each point is taken at its
        // first corner only, in face order, the points seen marked in one
        // word. A corner met again could change nothing: min and max keep
        // the value they hold when it ties (a zero keeps its sign).
        uint64_t seen = 0;
        ForEachFaceIndex(
            pool.size(), merged,
            [&](size_t index, size_t) {
                const uint64_t bit = uint64_t(1) << index;
                if (!(seen & bit))
                    box.AddPoint(pool[index]);
                seen |= bit;
            },
            [] {});
        return box;
    }
    if (pool.size() < 1024) {
        ForEachFaceIndex(
            pool.size(), merged, [&](size_t index, size_t) { box.AddPoint(pool[index]); }, [] {});
        return box;
    }
    std::vector<unsigned char> reached(pool.size(), 0);
    ForEachFaceIndex(
        pool.size(), merged, [&](size_t index, size_t) { reached[index] = 1; }, [] {});
    for (size_t i = 0; i < pool.size(); ++i)
        if (reached[i])
            box.AddPoint(pool[i]);
    return box;
}

void C3DPolyface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    if (Use* use = std::get_if<Use>(&geometry)) {
        use->placed.Place(m);
    } else {
        Own& own = std::get<Own>(geometry);
        own.localCount.Forget();
        own.reachOrder.Forget();
        trelDetail::TransformPoints(own.points.Items(), m);
    }
    ApplyMatrixToAttributes(m);
}

void C3DPolyface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow, int /*updateNormals*/) {
    // Normals are derived from the faces when tessellating, so there are none
    // stored to update.
    ApplyMatrixToGeometry(m, updateNow);
}

trelTessellationCounts C3DPolyface::CountTessellation(const trelTessellationOptions& options) const {
    if (options.attributes && GetAttributes())
        return trelBaseObject::CountTessellation(options);
    if (const Use* use = SharedUse()) {
        // A use placed once, close enough to a similarity, counts as its part does.
        trelMatrix4x4 placement;
        if (use->placed.OnlyMatrix(placement)) {
            const trelDetail::PlacedCount& local = use->local->LocalCount();
            if (local.Holds(placement))
                return local.Counts();
        }
    }
    return CountFaces(PassingPoints(), GetIndices(), ThisThreadsFacePass());
}

void C3DPolyface::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    const trelFloatPointArray& world = PassingPoints();
    if (options.attributes && GetAttributes()) {
        TessellateWithAttributes(*this, world, out);
        return;
    }
    trelDetail::ReserveTriangles(out, MostTriangles(world.Items().size(), GetIndices()), options.attributes);
    FacePass& pass = ThisThreadsFacePass();
    ForEachFace(world, GetIndices(), pass.face,
                [&](const std::vector<trelDetail::Vec3>& corners) { pass.triangulator.FillOrTrace(corners, out); });
    if (options.attributes)
        trelDetail::PadAttributes(out);
}

void C3DPolyface::TessellateInParts(trelTessellation& part, const trelTessellationOptions& options,
                                    trelTessellationSink& sink) const {
    const trelFloatPointArray& world = PassingPoints();
    const size_t most = MostTriangles(world.Items().size(), GetIndices());
    if ((options.attributes && GetAttributes()) || most <= trelDetail::kPartTriangles) {
        trelBaseObject::TessellateInParts(part, options, sink);
        return;
    }
    sink.Expect(most);
    // A pass of its own: the sink may tessellate other objects on this
    // thread meanwhile, which would reuse the thread's pass.
    FacePass pass;
    trelDetail::PartsWriter writer(part, sink, options.attributes);
    ForEachFace(world, GetIndices(), pass.face, [&](const std::vector<trelDetail::Vec3>& corners) {
        pass.triangulator.FillOrTrace(corners, part);
        writer.FaceDone();
    });
    writer.Finish();
}