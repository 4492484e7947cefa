#include "PlacedPoints.h"

#include "GeometryDetail.h"

#include <memory>

template <class Visit>
void trelPlacedPoints::ForEachMatrix(Visit visit) const {
    if (!placed)
        return;
    visit(first);
    for (const trelMatrix4x4& m : later)
        visit(m);
}

void trelPlacedPoints::Place(const trelMatrix4x4& m) {
    if (placed)
        later.push_back(m);
    else
        first = m;
    placed = true;
    world.Forget();
}

trelMatrix4x4 trelPlacedPoints::Product() const {
    trelMatrix4x4 product;
    ForEachMatrix([&](const trelMatrix4x4& m) { product = product * m; });
    return product;
}

const trelMatrix4x4* trelPlacedPoints::OnlyMatrix() const {
    static const trelMatrix4x4 identity;
    if (!placed)
        return &identity;
    return later.empty() ? &first : nullptr;
}

void trelPlacedPoints::Compute(const trelFloatPointArray& local, trelFloatPointArray& out) const {
    out.Items().assign(local.Items().begin(), local.Items().end());
    PlaceInPlace(out.Items());
}

void trelPlacedPoints::PlaceInPlace(std::vector<trelFloatPoint>& points) const {
    ForEachMatrix([&](const trelMatrix4x4& m) { trelDetail::TransformPoints(points, m); });
}

const trelFloatPointArray& trelPlacedPoints::Kept(const trelFloatPointArray& local) const {
    return world.Get([&] {
        auto fresh = std::make_unique<trelFloatPointArray>();
        Compute(local, *fresh);
        return fresh;
    });
}

const trelFloatPointArray& trelPlacedPoints::Passing(const trelFloatPointArray& local) const {
    if (const trelFloatPointArray* kept = world.Made())
        return *kept;
    thread_local trelFloatPointArray buffer;
    Compute(local, buffer);
    return buffer;
}
