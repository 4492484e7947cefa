#pragma once
// The geometry library: values, objects and groups.

#include "Arrays.h"
#include "BBox.h"
#include "BaseObject.h"
#include "Color.h"
#include "Groups.h"
#include "Matrix.h"
#include "Meshes.h"
#include "Solids.h"
#include "Tessellation.h"
#include "Vectors.h"
