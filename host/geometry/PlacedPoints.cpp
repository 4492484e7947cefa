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

// The box of local[order[k]], k < count, each point placed: the box that
// adding each placed point in turn gives, bit for bit. With SSE2, x and y
// are placed together (AffinePlacement::Packed), and the box is kept in
// registers: min_ps(p, low) is "p < low ? p : low", as
// std::min(low, p) is, NaN and signed zeros alike.
trelBBox AffineBox(const trelDetail::AffinePlacement& place, const trelFloatPoint* local, const uint32_t* order,
                   size_t count) {
    trelBBox box;
#ifdef TREL_GEOMETRY_SSE2
    if (count == 0)
        return box;
    __m128 low = place.Packed(local[order[0]]);
    __m128 high = low;
    for (size_t k = 1; k < count; ++k) {
        const __m128 p = place.Packed(local[order[k]]);
        low = _mm_min_ps(p, low);
        high = _mm_max_ps(p, high);
    }
    alignas(16) float lows[4], highs[4];
    _mm_store_ps(lows, low);
    _mm_store_ps(highs, high);
    box.AddPoint({lows[0], lows[1], lows[2]});
    box.AddPoint({highs[0], highs[1], highs[2]});
#else
    for (size_t k = 0; k < count; ++k)
        box.AddPoint(place(local[order[k]]));
#endif
    return box;
}

} // namespace

trelPlacedPoints::trelPlacedPoints(const trelPlacedPoints& other) {
    std::memcpy(first, other.first, sizeof first);
    uintptr_t bits = other.HasFirstInPlace() ? FirstInPlace : 0;
    if (const Tail* theirs = other.GetTail()) {
        auto mine = std::make_unique<Tail>();
        mine->rest = theirs->rest; // the copy makes its own world list
        bits |= reinterpret_cast<uintptr_t>(mine.release());
    }
    tail.store(bits, std::memory_order_relaxed);
}

trelPlacedPoints::~trelPlacedPoints() { delete GetTail(); }

trelPlacedPoints::Tail& trelPlacedPoints::MadeTail() const {
    uintptr_t bits = tail.load(std::memory_order_acquire);
    if (Tail* kept = reinterpret_cast<Tail*>(bits & ~FirstInPlace))
        return *kept;
    auto fresh = std::make_unique<Tail>();
    const uintptr_t flag = bits & FirstInPlace;
    if (tail.compare_exchange_strong(bits, reinterpret_cast<uintptr_t>(fresh.get()) | flag, std::memory_order_acq_rel,
                                     std::memory_order_acquire))
        return *fresh.release();
    return *reinterpret_cast<Tail*>(bits & ~FirstInPlace);
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
    if (HasFirstInPlace())
        visit(FirstMatrix());
    if (const Tail* kept = GetTail())
        for (const trelMatrix4x4& m : kept->rest)
            visit(m);
}

void trelPlacedPoints::Place(const trelMatrix4x4& m) {
    Tail* kept = GetTail();
    if (!HasFirstInPlace() && (!kept || kept->rest.empty()) && IsAffine(m)) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                first[r][c] = m.m[r][c];
        tail.fetch_or(FirstInPlace, std::memory_order_relaxed);
    } else {
        MadeTail().rest.push_back(m);
    }
    if (kept)
        kept->world.Forget();
}

trelMatrix4x4 trelPlacedPoints::Product() const {
    trelMatrix4x4 product;
    ForEachMatrix([&](const trelMatrix4x4& m) { product = product * m; });
    return product;
}

bool trelPlacedPoints::OnlyMatrix(trelMatrix4x4& only) const {
    const Tail* kept = GetTail();
    const size_t count = (HasFirstInPlace() ? 1 : 0) + (kept ? kept->rest.size() : 0);
    if (count > 1)
        return false;
    only = HasFirstInPlace() ? FirstMatrix() : count == 1 ? kept->rest.front() : trelMatrix4x4();
    return true;
}

void trelPlacedPoints::Compute(const trelFloatPointArray& local, trelFloatPointArray& out) const {
    out.Items().assign(local.Items().begin(), local.Items().end());
    PlaceInPlace(out.Items().data(), out.Items().size());
}

void trelPlacedPoints::PlaceInPlace(trelFloatPoint* points, size_t count) const {
    ForEachMatrix([&](const trelMatrix4x4& m) { trelDetail::TransformPoints(points, count, m); });
}

trelBBox trelPlacedPoints::PlacedBox(const trelFloatPoint* local, const uint32_t* order, size_t count) const {
    trelBBox box;
    const Tail* kept = GetTail();
    if (HasFirstInPlace() && (!kept || kept->rest.empty())) {
        // Placed once, as a part used by the hundred thousand is: straight
        // into the box.
        return AffineBox(trelDetail::AffinePlacement(FirstMatrix()), local, order, count);
    }
    thread_local std::vector<trelFloatPoint> placed;
    placed.clear();
    for (size_t k = 0; k < count; ++k)
        placed.push_back(local[order[k]]);
    PlaceInPlace(placed.data(), placed.size());
    for (const trelFloatPoint& p : placed)
        box.AddPoint(p);
    return box;
}

const trelFloatPointArray& trelPlacedPoints::Kept(const trelFloatPointArray& local) const {
    return MadeTail().world.Get([&] {
        auto fresh = std::make_unique<trelFloatPointArray>();
        Compute(local, *fresh);
        return fresh;
    });
}

const trelFloatPointArray& trelPlacedPoints::Passing(const trelFloatPointArray& local) const {
    if (const Tail* kept = GetTail())
        if (const trelFloatPointArray* world = kept->world.Made())
            return *world;
    thread_local trelFloatPointArray buffer;
    Compute(local, buffer);
    return buffer;
}
