#pragma once
// A loaded world as an importer builds it: groups, materials, textures,
// meshes, and objects that place a mesh (a part used several times is one
// mesh placed by each use), from the library's export form.

#include "export/ExportScene.h"

#include <pybind11/pybind11.h>

namespace vrml::python {

namespace py = pybind11;

// The dict Scene.parts() returns (see vrml/__init__.pyi), from a scene
// built whole (BuildExportScene).
py::dict PartsOf(const ExportScene& scene);

} // namespace vrml::python
