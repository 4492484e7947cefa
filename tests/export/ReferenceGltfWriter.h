#pragma once
// The glTF writer as it was before it streamed, kept to compare against.

#include "export/SceneWriter.h"

#include <memory>
#include <string>

namespace vrml {

std::unique_ptr<SceneWriter> MakeReferenceGltfWriter(const std::string& path, bool binary);

} // namespace vrml
