#pragma once
// Output files made without a name in their folder and named only once
// complete, so that a failed, refused or killed export leaves nothing
// behind, and an older file of the same name stays whole until then. This
// needs Linux's O_TMPFILE; elsewhere, or on a file system without it,
// OpenUnnamed gives null and the caller writes under the name directly.

#include <cstdio>
#include <string>

namespace vrml {

// A file for writing and reading in the folder `path` would be in, or null.
std::FILE* OpenUnnamed(const std::string& path);

// Gives `file` (from OpenUnnamed, flushed) the name `path`, replacing any
// file of that name at once. False when it cannot.
bool GiveName(std::FILE* file, const std::string& path);

} // namespace vrml
