#include "Attributes.h"

bool trelImage::HasAlpha() const {
    for (size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] != 255)
            return true;
    return false;
}
