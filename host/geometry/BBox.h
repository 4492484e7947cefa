#pragma once

#include "Matrix.h"
#include "Vectors.h"

// An axis-aligned bounding box; empty until a point is added.
class trelBBox {
public:
    void Reset() { empty = true; }
    bool IsEmpty() const { return empty; }
    void AddPoint(const trelFloatPoint& p);
    void AddBox(const trelBBox& other);
    const trelFloatPoint& GetMin() const { return minimum; }
    const trelFloatPoint& GetMax() const { return maximum; }
    // The largest extent along x, y or z; 0 for an empty box.
    float GetLargestDimension() const;

private:
    bool empty = true;
    trelFloatPoint minimum, maximum;
};
