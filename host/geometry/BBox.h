#pragma once

#include "Matrix.h"
#include "Vectors.h"

#include <algorithm>

// An axis-aligned bounding box; empty until a point is added.
class trelBBox {
public:
    void Reset() { empty = true; }
    bool IsEmpty() const { return empty; }
    // Inline: boxes of large meshes call this for every point.
    void AddPoint(const trelFloatPoint& p) {
        if (empty) {
            minimum = maximum = p;
            empty = false;
            return;
        }
        minimum = {std::min(minimum.x, p.x), std::min(minimum.y, p.y), std::min(minimum.z, p.z)};
        maximum = {std::max(maximum.x, p.x), std::max(maximum.y, p.y), std::max(maximum.z, p.z)};
    }
    void AddBox(const trelBBox& other);
    const trelFloatPoint& GetMin() const { return minimum; }
    const trelFloatPoint& GetMax() const { return maximum; }
    // The largest extent along x, y or z; 0 for an empty box.
    float GetLargestDimension() const;

private:
    bool empty = true;
    trelFloatPoint minimum, maximum;
};
