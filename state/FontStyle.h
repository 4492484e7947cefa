#pragma once
// VRML 1.0's FontStyle, part of the state a separator keeps: the font of
// the AsciiText nodes that follow.

#include "host/text/Text.h"

struct CVRMLFontStyle {
    double size = 10.0; // VRML 1.0's default, in the file's units
    trelFontFamily family = trelFontFamily::Serif;
    bool bold = false, italic = false;
};
