#pragma once
// The six lists a Material node sets, as one value: a recorded Material
// holds the very lists its level was given, and a replay hands them back to
// the level where the USE stands, so that neither copies a list (see
// SharedList.h: whoever holds a list shares it, and a level writes to a copy).

#include "SharedList.h"
#include "host/geometry/Arrays.h"

struct CVRMLMaterialLists {
    CVRMLSharedList<trelChromaArray> ambient, diffuse, specular, emissive;
    CVRMLSharedList<trelDoubleArray> shininess, transparency;
};
