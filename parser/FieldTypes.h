#pragma once

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
