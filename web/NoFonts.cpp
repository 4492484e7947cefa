// The WebAssembly build's stand-in for host/text/FontLibrary.cpp: no font
// can be found, so Text and AsciiText make no geometry, exactly as the
// native loader does on a machine without fonts. A browser lets a page read
// no system font, and FreeType with a bundled font would more than double
// the module that every visitor downloads for a node few scenes hold.

#include "host/text/FontLibrary.h"

namespace trelText {

FontUse OpenFont(trelFontFamily, bool, bool) { return {}; }

} // namespace trelText

std::vector<std::string> trelFontFolders() { return {}; }
