// Prototype instances under standard semantics against the default: values
// of every field type reach their IS, and fields that nothing takes have no
// effect.

#include "TestScene.h"

#include "names/Prototypes.h"

#include <gtest/gtest.h>

namespace {

const std::vector<trelObjectTypes> None;

const std::string PointsProto =
    "PROTO Points [ field MFVec3f p [ ] ] { Shape { geometry PointSet { coord Coordinate { point IS p } } } }\n";

// A joint and a humanoid as H-Anim files declare them: the joints list
// names by USE the joints already built in the body.
const std::string HAnim =
    "PROTO Joint [ exposedField MFNode children [ ] exposedField SFVec3f center 0 0 0 ]"
    " { Transform { center IS center children IS children } }\n"
    "PROTO Humanoid [ field MFNode humanoidBody [ ] field MFNode joints [ ] field SFString name \"\" ]"
    " { Group { children IS humanoidBody } }\n";

} // namespace

TEST(StandardPrototypes, FieldsOfEveryTypeReachTheirReferences) {
    const struct {
        std::string scene;
        std::vector<trelObjectTypes> byDefault, standard;
    } cases[] = {
        // SFNode: by default the value given is not captured.
        {"PROTO P [ field SFNode geom NULL ] { Shape { geometry IS geom } }\nP { geom Box { } }", None, {TREL_BOX}},
        {"PROTO P [ field SFNode geom Sphere { } ] { Shape { geometry IS geom } }\nP { }",
         {TREL_SPHERE},
         {TREL_SPHERE}},
        {"PROTO P [ field SFNode geom NULL ] { Shape { geometry IS geom } }\nDEF B Box { } P { geom USE B }",
         {TREL_BOX},
         {TREL_BOX, TREL_BOX}},
        // MFNode: a list, and one node without brackets, in both modes.
        {"PROTO G [ field MFNode kids [ ] ] { Group { children IS kids } }\n"
         "G { kids [ Shape { geometry Box { } } Shape { geometry Sphere { } } ] }",
         {TREL_BOX, TREL_SPHERE},
         {TREL_BOX, TREL_SPHERE}},
        {"PROTO G [ field MFNode kids [ ] ] { Group { children IS kids } }\nG { kids Shape { geometry Box { } } }",
         {TREL_BOX},
         {TREL_BOX}},
        // SFInt32 choosing a Switch's child (which the default builds all of).
        {"PROTO S [ field SFInt32 which -1 ] { Switch { whichChoice IS which choice [ Shape { geometry Box { } }"
         " Shape { geometry Sphere { } } ] } }\nS { which 1 }",
         {TREL_BOX, TREL_SPHERE},
         {TREL_SPHERE}},
        // One value of a multiple-valued field without brackets.
        {PointsProto + "Points { p [ 1 2 3, 4 5 6 ] }", {TREL_DOT, TREL_DOT}, {TREL_DOT, TREL_DOT}},
        {PointsProto + "Points { p 1 2 3 }", None, {TREL_DOT}},
        // H-Anim: the joints list no longer builds the joints a second time.
        {HAnim + "Humanoid { name \"h\" humanoidBody [ DEF hanim_root Joint { children [ Shape { geometry Box { } }"
                 " DEF hanim_head Joint { children Shape { geometry Sphere { } } } ] } ]"
                 " joints [ USE hanim_root USE hanim_head ] }",
         {TREL_BOX, TREL_SPHERE, TREL_BOX, TREL_SPHERE, TREL_SPHERE},
         {TREL_BOX, TREL_SPHERE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        for (int standard : {0, 1}) {
            LoadedText loaded = LoadTextInMode(std::string(V2) + c.scene + "\n", standard);
            EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS) << "standard " << standard;
            EXPECT_EQ(TypesOf(loaded), standard ? c.standard : c.byDefault) << "standard " << standard;
        }
    }
}

// By default a field that nothing takes is read as a statement after the
// body: one named like a node (translation) moves what follows the use.
TEST(StandardPrototypes, FieldsNothingTakesHaveNoEffect) {
    const std::string scene = std::string(V2) + FarAnchor(V2) +
                              "PROTO T [ field SFVec3f translation 5 0 0 field MFNode kids [ ] ]"
                              " { Group { children IS kids } }\n"
                              "T { kids Shape { geometry Box { } } } Shape { geometry Box { } }\n";
    for (int standard : {0, 1}) {
        SCOPED_TRACE(standard);
        LoadedText loaded = LoadTextInMode(scene, standard);
        auto objects = AllObjects(*loaded.world);
        ASSERT_EQ(objects.size(), 3u);
        EXPECT_THAT(BoxCentre(objects[1].object), NearPoint(0, 0, 0));
        const float moved = standard ? 0.0f : 5.0f;
        EXPECT_THAT(BoxCentre(objects[2].object), NearPoint(moved, 0, 0));
    }
}

TEST(StandardPrototypes, StandardTypeNamesAreKnownOnlyInStandardMode) {
    const struct {
        const char* name;
        int standardCode;
    } names[] = {
        {"SFInt32", VRML_FIELD_SFINT32}, {"mfint32", VRML_FIELD_MFINT32},  {"SFNode", VRML_FIELD_SFNODE},
        {"SFTime", VRML_FIELD_SFTIME},   {"MFTime", VRML_FIELD_MFTIME},    {"MFRotation", VRML_FIELD_MFROTATION},
        {"SFFloat", VRML_FIELD_SFFLOAT}, {"SFDouble", VRML_FIELD_UNKNOWN},
    };
    for (const auto& n : names) {
        EXPECT_EQ(CVRMLFieldDeclaration::GetFieldType(n.name, 1), n.standardCode) << n.name;
        const int byDefault = n.standardCode >= VRML_FIELD_SFINT32 ? VRML_FIELD_UNKNOWN : n.standardCode;
        EXPECT_EQ(CVRMLFieldDeclaration::GetFieldType(n.name), byDefault) << n.name;
    }
}
