#include "PlacedPoints.h"

#include "GeometryDetail.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

// Whether the fourth column is exactly (+0, +0, +0, 1), so that the other
// three give the matrix back bit for bit.
bool IsAffine(const trelMatrix4x4& m) {
    for (int r = 0; r < 3; ++r)
        if (m.m[r][3] != 0.0f || std::signbit(m.m[r][3]))
            return false;
    return m.m[3][3] == 1.0f;
}

} // namespace

trelPlacedPoints::trelPlacedPoints(const trelPlacedPoints& other)
    : rest(other.rest ? std::make_unique<std::vector<trelMatrix4x4>>(*other.rest) : nullptr),
      firstInPlace(other.firstInPlace) {
    std::memcpy(first, other.first, sizeof first);
}

trelMatrix4x4 trelPlacedPoints::FirstMatrix() const {
    trelMatrix4x4 m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            m.m[r][c] = first[r][c];
        m.m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
    return m;
}

template <class Visit>
void trelPlacedPoints::ForEachMatrix(Visit visit) const {
    if (firstInPlace)
        visit(FirstMatrix());
    if (rest)
        for (const trelMatrix4x4& m : *rest)
            visit(m);
}

void trelPlacedPoints::Place(const trelMatrix4x4& m) {
    if (!firstInPlace && !rest && IsAffine(m)) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                first[r][c] = m.m[r][c];
        firstInPlace = true;
    } else {
        if (!rest)
            rest = std::make_unique<std::vector<trelMatrix4x4>>();
        rest->push_back(m);
    }
    world.Forget();
}

trelMatrix4x4 trelPlacedPoints::Product() const {
    trelMatrix4x4 product;
    ForEachMatrix([&](const trelMatrix4x4& m) { product = product * m; });
    return product;
}

bool trelPlacedPoints::OnlyMatrix(trelMatrix4x4& only) const {
    const size_t count = (firstInPlace ? 1 : 0) + (rest ? rest->size() : 0);
    if (count > 1)
        return false;
    only = firstInPlace ? FirstMatrix() : count == 1 ? rest->front() : trelMatrix4x4();
    return true;
}

void trelPlacedPoints::Compute(const trelFloatPointArray& local, trelFloatPointArray& out) const {
    out.Items().assign(local.Items().begin(), local.Items().end());
    PlaceInPlace(out.Items().data(), out.Items().size());
}

void trelPlacedPoints::PlaceInPlace(trelFloatPoint* points, size_t count) const {
    ForEachMatrix([&](const trelMatrix4x4& m) { trelDetail::TransformPoints(points, count, m); });
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
