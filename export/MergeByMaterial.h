#pragma once
// A scene joined into one object per look, as KiCad users join a part's
// shapes: the objects that share a material, a texture and whether their
// file gives colours become one object in world space, under the root.

#include "ExportScene.h"

namespace vrml {

// Objects come in order of their look's first use, named "material N"
// after scene.materials[N] (with ".2", ".3"... for the same material with
// another texture or colours). Instances are placed; line strips and points
// join their look's object too. An object would hold at most 2^32 vertices:
// a look with more is split.
ExportScene MergeByMaterial(ExportScene scene);

} // namespace vrml
