#pragma once
// The enumerations of the parser. Token kinds: a keyword's kind is its id in the
// keyword table; literals, brackets and plain words get fixed kinds.

#include "KeywordList.h"

enum VRMLTokenTypes : int {
    VRML_WORD = 0,
    VRML_END_OF_INPUT = 1,
    VRML_BOOLEAN = 10,
    VRML_NUMBER = 11,
    VRML_PROTO_INSTANCE = 113, // a word naming a declared prototype
// Every keyword kind, with its id; VRML_STRING is also a quoted string.
#define VRML_KEYWORD_KIND(name, kind, id) kind = id,
#define VRML_NO_KIND(name, kind)
    VRML_KEYWORD_LIST(VRML_KEYWORD_KIND, VRML_NO_KIND)
#undef VRML_KEYWORD_KIND
#undef VRML_NO_KIND
};

enum VRMLVersionTypes : int { VRML_VERSION_1 = 0, VRML_VERSION_2 = 1 };

enum VRMLLoadResultTypes : int {
    VRML_LOAD_SUCCESS = 0,   // opened, header accepted, at least one statement read
    VRML_LOAD_FAILURE = 1,   // header refused, or no statement could be read
    VRML_LOAD_UNREADABLE = 2 // the file could not be opened or read
};

// The scale DetermineUnits applied to a small world; with the file's metres
// these are metres, centimetres, millimetres and micrometres.
enum VRMLImageUnitsTypes : int {
    VRML_UNITS_MICROMETRES = 1, // scaled by 1,000,000
    VRML_UNITS_MILLIMETRES = 2, // scaled by 1,000
    VRML_UNITS_CENTIMETRES = 3, // scaled by 100
    VRML_UNITS_METRES = 4       // not scaled
};

enum VRMLBindingTypes : int {
    VRML_BINDING_NONE = 0,
    VRML_BINDING_OVERALL = 1,
    VRML_BINDING_PER_PART = 2,
    VRML_BINDING_PER_PART_INDEXED = 3,
    VRML_BINDING_PER_FACE = 4,
    VRML_BINDING_PER_FACE_INDEXED = 5,
    VRML_BINDING_PER_VERTEX = 6,
    VRML_BINDING_PER_VERTEX_INDEXED = 7
};
