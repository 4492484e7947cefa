#pragma once
// The six lists of a Material node, each read once and then shared, never
// changed, by everything that keeps it: the level the node sets, the
// dictionary entry that records it, and every level a replay of the entry
// sets. A named material used by thousands of parts is then held once rather
// than copied into each level and each record. A list the node did not give
// is null, which reads as an empty list.

#include "host/geometry/Geometry.h"

#include <memory>

struct CVRMLMaterialLists {
    std::shared_ptr<const trelChromaArray> ambient, diffuse, specular, emissive;
    std::shared_ptr<const trelDoubleArray> shininess, transparency;

    // The list, moved out of `values`, or null when there are none.
    template <class Array>
    static std::shared_ptr<const Array> Share(Array&& values) {
        if (values.GetSize() == 0)
            return nullptr;
        // Made changeable: a level that adopts the list and is its last
        // holder may write to it (see CVRMLSharedList::Adopt).
        return std::make_shared<Array>(std::move(values));
    }
};
