#include "PlacedPoints.h"

#include <memory>

void trelPlacedPoints::Place(const trelMatrix4x4& m) {
    matrices.push_back(m);
    delete world.exchange(nullptr);
}

trelMatrix4x4 trelPlacedPoints::Product() const {
    trelMatrix4x4 product;
    for (const trelMatrix4x4& m : matrices)
        product = product * m;
    return product;
}

void trelPlacedPoints::Compute(const trelFloatPointArray& local, trelFloatPointArray& out) const {
    std::vector<trelFloatPoint>& items = out.Items();
    items.assign(local.Items().begin(), local.Items().end());
    for (const trelMatrix4x4& m : matrices)
        for (trelFloatPoint& p : items)
            p = p * m;
}

const trelFloatPointArray& trelPlacedPoints::Kept(const trelFloatPointArray& local) const {
    if (const trelFloatPointArray* kept = world.load(std::memory_order_acquire))
        return *kept;
    auto fresh = std::make_unique<trelFloatPointArray>();
    Compute(local, *fresh);
    trelFloatPointArray* expected = nullptr;
    if (world.compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel, std::memory_order_acquire))
        return *fresh.release();
    return *expected;
}

const trelFloatPointArray& trelPlacedPoints::Passing(const trelFloatPointArray& local) const {
    if (const trelFloatPointArray* kept = world.load(std::memory_order_acquire))
        return *kept;
    thread_local trelFloatPointArray buffer;
    Compute(local, buffer);
    return buffer;
}
