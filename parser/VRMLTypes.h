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

// The type of an interface field, from its type name (compared ignoring case).
// By default the VRML 2.0 names the first list lacks (SFInt32, SFNode,
// SFTime, ...) are VRML_FIELD_UNKNOWN, whose values are not captured at a
// place of use; standard semantics knows them too (codes from 20 on).
enum VRMLFieldTypes : int {
    VRML_FIELD_UNKNOWN = 0,
    VRML_FIELD_SFBITMASK = 1,
    VRML_FIELD_SFBOOL = 2,
    VRML_FIELD_SFCOLOR = 3,
    VRML_FIELD_MFCOLOR = 4,
    VRML_FIELD_SFENUM = 5,
    VRML_FIELD_SFFLOAT = 6,
    VRML_FIELD_MFFLOAT = 7,
    VRML_FIELD_SFIMAGE = 8,
    VRML_FIELD_SFLONG = 9,
    VRML_FIELD_MFLONG = 10,
    VRML_FIELD_SFMATRIX = 11,
    VRML_FIELD_SFROTATION = 12,
    VRML_FIELD_SFSTRING = 13,
    VRML_FIELD_MFSTRING = 14,
    VRML_FIELD_SFVEC2F = 15,
    VRML_FIELD_MFVEC2F = 16,
    VRML_FIELD_SFVEC3F = 17,
    VRML_FIELD_MFVEC3F = 18,
    VRML_FIELD_MFNODE = 19,
    VRML_FIELD_SFINT32 = 20,
    VRML_FIELD_MFINT32 = 21,
    VRML_FIELD_SFNODE = 22,
    VRML_FIELD_SFTIME = 23,
    VRML_FIELD_MFTIME = 24,
    VRML_FIELD_MFROTATION = 25
};
