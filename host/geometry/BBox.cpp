#include "BBox.h"

#include <algorithm>

void trelBBox::AddBox(const trelBBox& other) {
    if (other.empty)
        return;
    AddPoint(other.minimum);
    AddPoint(other.maximum);
}

float trelBBox::GetLargestDimension() const {
    if (empty)
        return 0.0f;
    return std::max({maximum.x - minimum.x, maximum.y - minimum.y, maximum.z - minimum.z});
}
