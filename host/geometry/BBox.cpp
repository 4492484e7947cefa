#include "BBox.h"

#include <algorithm>

void trelBBox::AddPoint(const trelFloatPoint& p)
{
    if (empty) {
        minimum = maximum = p;
        empty = false;
        return;
    }
    minimum = {std::min(minimum.x, p.x), std::min(minimum.y, p.y), std::min(minimum.z, p.z)};
    maximum = {std::max(maximum.x, p.x), std::max(maximum.y, p.y), std::max(maximum.z, p.z)};
}

void trelBBox::AddBox(const trelBBox& other)
{
    if (other.empty)
        return;
    AddPoint(other.minimum);
    AddPoint(other.maximum);
}

float trelBBox::GetLargestDimension() const
{
    if (empty)
        return 0.0f;
    return std::max({maximum.x - minimum.x, maximum.y - minimum.y, maximum.z - minimum.z});
}
