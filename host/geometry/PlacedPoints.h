#pragma once
// The world points of an object that shares its local points with other
// objects: the local list stays as read, and this keeps the matrices placed
// on the object since, in order. World values are computed by applying them
// one after the other, rounding to float after each, exactly as a copy placed
// in place matrix by matrix would have been, so a host reads the same values
// bit for bit.
//
// Threads: placing happens while loading. Afterwards the world list may be
// asked for from several threads at once; it is built once and published by
// a compare-exchange, the losers' copies discarded. Work that only passes
// over the points (boxes, tessellation, counts) uses a buffer kept per
// thread instead, so that reading a world does not double its memory.

#include "Arrays.h"
#include "BBox.h"
#include "MadeOnce.h"
#include "Matrix.h"

#include <atomic>
#include <cstdint>
#include <vector>

class trelPlacedPoints {
public:
    trelPlacedPoints() = default;
    trelPlacedPoints(const trelPlacedPoints& other);
    trelPlacedPoints& operator=(const trelPlacedPoints&) = delete;
    ~trelPlacedPoints();

    // Not safe against readers: only while the object is still being built.
    void Place(const trelMatrix4x4& m);
    // The one matrix that places the local points here, up to rounding.
    trelMatrix4x4 Product() const;
    // True, with the matrix that places the local points here, when there is
    // exactly one (the identity when there is none): only then are the world
    // points the local ones placed and rounded once.
    bool OnlyMatrix(trelMatrix4x4& only) const;
    // The world list, built on the first request and kept.
    const trelFloatPointArray& Kept(const trelFloatPointArray& local) const;
    // The world list when it is kept, else computed into this thread's
    // buffer; good until the thread's next call.
    const trelFloatPointArray& Passing(const trelFloatPointArray& local) const;
    // Local points placed in place, as the world list holds them.
    void PlaceInPlace(trelFloatPoint* points, size_t count) const;
    // The box of the local points local[order[0]], local[order[1]]... placed
    // as the world list holds them, taken in that order.
    trelBBox PlacedBox(const trelFloatPoint* local, const uint32_t* order, size_t count) const;

private:
    // What few objects need: the matrices after the first (or all of them
    // when the first is not affine), and the world list once asked for.
    struct Tail {
        std::vector<trelMatrix4x4> rest;
        trelMadeOnce<trelFloatPointArray> world;
    };
    static constexpr uintptr_t FirstInPlace = 1;
    Tail* GetTail() const { return reinterpret_cast<Tail*>(tail.load(std::memory_order_acquire) & ~FirstInPlace); }
    bool HasFirstInPlace() const { return (tail.load(std::memory_order_relaxed) & FirstInPlace) != 0; }
    // The tail, made (and published, as readers may race) if there is none.
    Tail& MadeTail() const;
    void Compute(const trelFloatPointArray& local, trelFloatPointArray& out) const;
    template <class Visit>
    void ForEachMatrix(Visit visit) const;
    trelMatrix4x4 FirstMatrix() const;

    // Most objects are placed once (more only when the world is scaled to
    // its unit), by an affine matrix: that first matrix is kept in place as
    // its three columns that are not (0, 0, 0, 1). The tail's pointer
    // carries in its lowest bit whether it is there.
    float first[4][3] = {};
    mutable std::atomic<uintptr_t> tail{0};
};
