// Standard semantics against the default: each row is a scene and the object
// types it builds in each mode.

#include "TestScene.h"

#include <gtest/gtest.h>

namespace {

// The objects `nodes` build under a far anchor (left out), in one mode.
std::vector<FoundObject> BuildInMode(LoadedText& loaded, const char* header, const std::string& nodes, int standard) {
    loaded = LoadTextInMode(std::string(header) + FarAnchor(header) + nodes, standard);
    auto objects = AllObjects(*loaded.world);
    if (!objects.empty())
        objects.erase(objects.begin());
    return objects;
}

std::string Shape(const char* geometry) { return std::string("Shape { geometry ") + geometry + " { } } "; }

const std::vector<trelObjectTypes> None;

struct ModeCase {
    const char* header;
    std::string nodes;
    std::vector<trelObjectTypes> byDefault;
    std::vector<trelObjectTypes> standard;
};

void CheckBothModes(const ModeCase& c) {
    SCOPED_TRACE(c.nodes);
    for (int standard : {0, 1}) {
        LoadedText loaded;
        auto objects = BuildInMode(loaded, c.header, c.nodes, standard);
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS) << "standard " << standard;
        EXPECT_EQ(TypesOf(objects), standard ? c.standard : c.byDefault) << "standard " << standard;
        EXPECT_EQ(loaded.parser->GetSeparatorStack()->size(), 0u);
    }
}

const std::string Triangle =
    "Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } coordIndex [ 0 1 2 ] } } ";
const std::string Choices = "[ " + Shape("Box") + Shape("Sphere") + Triangle + "]";

} // namespace

TEST(StandardMode, SwitchBuildsOnlyItsChoiceInVrml2) {
    const std::vector<trelObjectTypes> all = {TREL_BOX, TREL_SPHERE, TREL_POLYFACE};
    const ModeCase cases[] = {
        {V2, "Switch { whichChoice 1 choice " + Choices + " }", all, {TREL_SPHERE}},
        {V2, "Switch { whichChoice 0 choice " + Choices + " }", all, {TREL_BOX}},
        {V2, "Switch { whichChoice -1 choice " + Choices + " }", all, None},
        {V2, "Switch { choice " + Choices + " }", all, None}, // -1 is the default
        {V2, "Switch { whichChoice 3 choice " + Choices + " }", all, None},
        {V2, "Switch { whichChoice -3 choice " + Choices + " }", all, None}, // "all" is VRML 1.0's
        // The field may follow the list it chooses from.
        {V2, "Switch { choice " + Choices + " whichChoice 2 }", all, {TREL_POLYFACE}},
        {V2, "Switch { whichChoice 0 choice " + Shape("Cone") + "}", {TREL_CONE, TREL_DISK}, {TREL_CONE, TREL_DISK}},
        // Nested: the inner Switch is read only as the outer one's choice.
        {V2,
         "Switch { whichChoice 1 choice [ " + Shape("Box") + "Switch { whichChoice 0 choice " + Choices + " } ] }",
         {TREL_BOX, TREL_BOX, TREL_SPHERE, TREL_POLYFACE},
         {TREL_BOX}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

TEST(StandardMode, SwitchBuildsOnlyItsChildInVrml1) {
    const std::vector<trelObjectTypes> all = {TREL_BOX, TREL_SPHERE, TREL_BOX};
    const std::string children = "Cube { } Sphere { } Cube { width 3 }";
    const ModeCase cases[] = {
        {V1, "Switch { whichChild 1 " + children + " }", all, {TREL_SPHERE}},
        {V1, "Switch { whichChild -1 " + children + " }", all, None},
        {V1, "Switch { " + children + " }", all, None},
        {V1, "Switch { whichChild -3 " + children + " }", all, all},
        {V1, "Switch { whichChild 7 " + children + " }", all, None},
        // Every node is a child, a Material too, and a separator counts once.
        {V1,
         "Switch { whichChild 2 Material { diffuseColor 1 0 0 } Separator { Cube { } Sphere { } } Cone { } }",
         {TREL_BOX, TREL_SPHERE, TREL_CONE, TREL_DISK},
         {TREL_CONE, TREL_DISK}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// A child that is not chosen builds nothing and passes no state on: the
// chosen cube is white although a red material comes before it.
TEST(StandardMode, ChildrenNotChosenPassNoStateOn) {
    LoadedText loaded;
    auto objects = BuildInMode(loaded, V1, "Switch { whichChild 1 Material { diffuseColor 1 0 0 } Cube { } }", 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), trelChroma(1, 1, 1));
    objects = BuildInMode(loaded, V1, "Switch { whichChild -3 Material { diffuseColor 1 0 0 } Cube { } }", 1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), trelChroma(1, 0, 0));
}

TEST(StandardMode, LodBuildsOnlyItsMostDetailedLevel) {
    const ModeCase cases[] = {
        {V2, "LOD { range [ 10 20 ] level " + Choices + " }", {TREL_BOX, TREL_SPHERE, TREL_POLYFACE}, {TREL_BOX}},
        {V2, "LOD { level " + Shape("Sphere") + "range 5 }", {TREL_SPHERE}, {TREL_SPHERE}},
        {V2, "LOD { center 0 0 0 }", None, None},
        {V1, "LOD { range [ 10 ] Cube { } Separator { Sphere { } } }", {TREL_BOX, TREL_SPHERE}, {TREL_BOX}},
        {V1,
         "LOD { center 0 0 0 range [ 5, 10 ] Separator { Sphere { } Cube { } } Cone { } }",
         {TREL_SPHERE, TREL_BOX, TREL_CONE, TREL_DISK},
         {TREL_SPHERE, TREL_BOX}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// Billboard and Anchor are passed over whole by default; Collision and
// WWWAnchor build their children in both modes, never a proxy.
TEST(StandardMode, GroupingNodesBuildTheirChildrenInPlace) {
    const ModeCase cases[] = {
        {V2,
         "Billboard { axisOfRotation 0 1 0 children [ " + Shape("Box") + Shape("Sphere") + "] }",
         None,
         {TREL_BOX, TREL_SPHERE}},
        {V2, "Anchor { url \"next.wrl\" description \"d\" children " + Shape("Sphere") + "}", None, {TREL_SPHERE}},
        {V2,
         "Transform { children [ DEF B Billboard { children " + Shape("Box") + "} ] } USE B",
         None,
         {TREL_BOX, TREL_BOX}},
        {V2,
         "Collision { collide TRUE proxy " + Shape("Sphere") + "children [ " + Shape("Box") + "] }",
         {TREL_BOX},
         {TREL_BOX}},
        {V2, "WWWAnchor { children " + Shape("Box") + "}", {TREL_BOX}, {TREL_BOX}},
        {V1, "WWWAnchor { name \"x.wrl\" Cube { } }", {TREL_BOX}, {TREL_BOX}},
        // Text is built by the standard mode (with a font: build.sh installs DejaVu).
        {V2, "Shape { geometry Text { string \"a\" } }", None, {TREL_POLYFACE}},
        {V1, "AsciiText { string \"a\" }", None, {TREL_POLYFACE}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

TEST(StandardMode, GridAndExtrusionTakeTheStandardDefaults) {
    const std::vector<trelObjectTypes> extrusion = {TREL_POLYMESH, TREL_POLYGON, TREL_POLYGON};
    const ModeCase cases[] = {
        {V2,
         "Shape { geometry ElevationGrid { xDimension 2 zDimension 2 height [ 0 0 0 0 ] } }",
         None,
         {TREL_POLYMESH}},
        {V2, "Shape { geometry ElevationGrid { xDimension 2 xSpacing 0 zDimension 2 height [ 0 0 0 0 ] } }", None,
         None},
        {V2, "Shape { geometry Extrusion { } }", None, extrusion},
        {V2, "Shape { geometry Extrusion { spine [ 0 0 0, 0 0 1 ] } }", None, extrusion},
        {V2, "Shape { geometry Extrusion { crossSection [ 0 0, 1 0, 0 1 ] } }", None, extrusion},
        // A value written empty is no default.
        {V2, "Shape { geometry Extrusion { crossSection [ ] } }", None, None},
        {V2, "Shape { geometry Extrusion { spine [ ] } }", None, None},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

TEST(StandardMode, DefaultsGiveTheStandardsPoints) {
    LoadedText loaded;
    auto objects =
        BuildInMode(loaded, V2, "Shape { geometry ElevationGrid { xDimension 2 zDimension 2 height [ 0 0 0 3 ] } }", 1);
    ASSERT_EQ(objects.size(), 1u);
    trelBBox box = objects[0].object->GetBBox();
    EXPECT_THAT(box.GetMin(), NearPoint(0, 0, 0));
    EXPECT_THAT(box.GetMax(), NearPoint(1, 3, 1));

    // The unit square swept one unit up the y axis, unscaled and unturned.
    objects = BuildInMode(loaded, V2, "Shape { geometry Extrusion { } }", 1);
    ASSERT_EQ(objects.size(), 3u);
    box = objects[0].object->GetBBox();
    EXPECT_THAT(box.GetMin(), NearPoint(-1, 0, -1));
    EXPECT_THAT(box.GetMax(), NearPoint(1, 1, 1));
}

// Not chosen is still defined: a USE elsewhere builds it, and a named
// Switch repeats only its choice.
TEST(StandardMode, NamesInChildrenNotChosenAreDefined) {
    const ModeCase cases[] = {
        {V2,
         "Switch { whichChoice 0 choice [ " + Shape("Box") + "DEF S " + Shape("Sphere") + "] } USE S",
         {TREL_BOX, TREL_SPHERE, TREL_SPHERE},
         {TREL_BOX, TREL_SPHERE}},
        {V2,
         "DEF W Switch { whichChoice 1 choice " + Choices + " } Transform { translation 0 0 5 children USE W }",
         {TREL_BOX, TREL_SPHERE, TREL_POLYFACE, TREL_BOX, TREL_SPHERE, TREL_POLYFACE},
         {TREL_SPHERE, TREL_SPHERE}},
        {V2,
         "LOD { level [ " + Shape("Box") + "DEF L " + Shape("Cone") + "] } USE L",
         {TREL_BOX, TREL_CONE, TREL_DISK, TREL_CONE, TREL_DISK},
         {TREL_BOX, TREL_CONE, TREL_DISK}},
        // A use inside a child not chosen is built when its named separator is.
        {V1,
         "DEF C Cube { } Switch { whichChild -1 DEF S Separator { USE C Sphere { } } } USE S",
         {TREL_BOX, TREL_BOX, TREL_SPHERE, TREL_BOX, TREL_SPHERE},
         {TREL_BOX, TREL_BOX, TREL_SPHERE}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// The cross-section plane follows the spine's bends: Y along the spine, Z
// the normal of the two segments at each point, X = Y × Z. The loader's own
// mode turns +y onto the tangent alone.
TEST(StandardMode, ExtrusionCrossSectionsFollowTheSpinesBends) {
    struct Row {
        std::string spine;
        trelFloatPoint low, high;       // standard mode
        trelFloatPoint ownLow, ownHigh; // the loader's own
    };
    const Row rows[] = {
        // A bend: at the middle the section stands up along +y, at the ends
        // it leans with the segments; Z points along -z throughout.
        {"0 0 0, 1 1 0, 2 0 0", {-0.70711f, 0, -0.5f}, {2.70711f, 2, 0}, {0, -0.70711f, 0}, {2, 1, 0.5f}},
        // A straight spine keeps the shortest turn of +y onto it in both modes.
        {"0 0 0, 0 1 0, 0 2 0", {0, 0, 0}, {1, 2, 0.5f}, {0, 0, 0}, {1, 2, 0.5f}},
        // Points in line at the start take the first Z defined after them,
        // (0 0 -1): X = Y × Z runs along -x there.
        {"0 0 0, 0 1 0, 0 2 0, 1 3 0", {-1, 0, -0.5f}, {1, 3.70711f, 0}, {0, 0, 0}, {1.70711f, 3, 0.5f}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.spine);
        const std::string nodes = "Shape { geometry Extrusion { crossSection [0 0, 1 0, 0 0.5, 0 0] spine [" +
                                  row.spine + "] beginCap FALSE endCap FALSE } }";
        for (int standard : {1, 0}) {
            LoadedText loaded;
            auto objects = BuildInMode(loaded, V2, nodes, standard);
            ASSERT_EQ(objects.size(), 1u);
            const trelBBox box = objects[0].object->GetBBox();
            const trelFloatPoint& low = standard ? row.low : row.ownLow;
            const trelFloatPoint& high = standard ? row.high : row.ownHigh;
            EXPECT_THAT(box.GetMin(), NearPoint(low.x, low.y, low.z)) << "standard " << standard;
            EXPECT_THAT(box.GetMax(), NearPoint(high.x, high.y, high.z)) << "standard " << standard;
        }
    }
}

// A spine that bends back and forth in one plane: Z turns over at every
// bend and is flipped back, so every section lies on the same side.
TEST(StandardMode, ExtrusionZAxisIsFlippedToAgreeWithThePrevious) {
    LoadedText loaded;
    auto objects = BuildInMode(loaded, V2,
                               "Shape { geometry Extrusion { crossSection [0 0, 0 1] spine [0 0 0, 1 1 0, 2 0 0, "
                               "3 1 0, 4 0 0] beginCap FALSE endCap FALSE } }",
                               1);
    ASSERT_EQ(objects.size(), 1u);
    const trelBBox box = objects[0].object->GetBBox();
    EXPECT_NEAR(box.GetMin().z, -1.0, 1e-4);
    EXPECT_NEAR(box.GetMax().z, 0.0, 1e-4);
}

// Cones and cylinders build only the parts they ask for. A parts value is
// no field name: BOTTOM does not take the brace after it for its value and
// run on into the next node.
TEST(StandardMode, ConesAndCylindersBuildTheirParts) {
    const std::vector<trelObjectTypes> cone = {TREL_CONE, TREL_DISK};
    const std::vector<trelObjectTypes> cylinder = {TREL_CYLINDER, TREL_DISK, TREL_DISK};
    const ModeCase cases[] = {
        {V1, "Cone { parts BOTTOM } Cube { }", cone, {TREL_DISK, TREL_BOX}},
        {V1, "Cone { parts SIDES } Cube { }", {TREL_CONE, TREL_DISK, TREL_BOX}, {TREL_CONE, TREL_BOX}},
        {V1, "Cone { parts ALL height 3 }", cone, cone},
        {V1, "Cone { parts (SIDES | BOTTOM) }", cone, cone},
        {V1,
         "Cylinder { parts (SIDES | TOP) } Cube { }",
         {TREL_CYLINDER, TREL_DISK, TREL_DISK, TREL_BOX},
         {TREL_CYLINDER, TREL_DISK, TREL_BOX}},
        {V1, "Cylinder { parts TOP }", cylinder, {TREL_DISK}},
        {V2, Shape("Cylinder"), cylinder, cylinder},
        {V2, "Shape { geometry Cylinder { top FALSE bottom FALSE } }", cylinder, {TREL_CYLINDER}},
        {V2, "Shape { geometry Cylinder { side FALSE } }", cylinder, {TREL_DISK, TREL_DISK}},
        {V2, "Shape { geometry Cone { bottom FALSE } }", {TREL_CONE}, {TREL_CONE}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// A VRML 1.0 Group keeps no state of its own: what its children set carries
// on after it. A TransformSeparator gives back only the transform. The
// loader's own mode reads both as Separators. A use of either does the same,
// and a Switch passes on what its chosen child sets.
TEST(StandardMode, Vrml1GroupsPassTheirStateOn) {
    struct Row {
        std::string nodes;
        trelChroma colour; // of the last cube, in the standard mode
        float x;           // its centre
    };
    const std::string setRedAt5 = "{ Material { diffuseColor 1 0 0 } Translation { translation 5 0 0 } }";
    const Row rows[] = {
        {"Group " + setRedAt5 + " Cube { }", trelChroma(1, 0, 0), 5},
        {"TransformSeparator " + setRedAt5 + " Cube { }", trelChroma(1, 0, 0), 0},
        {"Separator " + setRedAt5 + " Cube { }", trelChroma(1, 1, 1), 0},
        // Nested: the inner Group passes its state to the Separator only.
        {"Separator { Group " + setRedAt5 + " Cube { } } Cube { }", trelChroma(1, 1, 1), 0},
        {"DEF G Group " + setRedAt5 + " Separator { USE G Cube { } } Cube { }", trelChroma(1, 0, 0), 5},
        {"DEF T TransformSeparator " + setRedAt5 + " Separator { USE T USE T Cube { } }", trelChroma(1, 0, 0), 0},
        // A Switch is a group too: its chosen child's state carries on.
        {"Switch { whichChild 0 Material { diffuseColor 1 0 0 } } Cube { }", trelChroma(1, 0, 0), 0},
        {"Switch { whichChild 1 Material { diffuseColor 1 0 0 } Translation { translation 5 0 0 } } Cube { }",
         trelChroma(1, 1, 1), 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.nodes);
        for (int standard : {1, 0}) {
            LoadedText loaded;
            auto objects = BuildInMode(loaded, V1, row.nodes, standard);
            ASSERT_FALSE(objects.empty());
            const FoundObject& last = objects.back();
            EXPECT_EQ(last.props->front.GetDiffuse(), standard ? row.colour : trelChroma(1, 1, 1));
            EXPECT_NEAR(BoxCentre(last.object).x, standard ? row.x : 0.0f, 1e-5);
        }
    }
}

// An EXTERNPROTO takes the prototype its URL's "#name" names in the file,
// or the file's first, under its own name; the file's scene is not built.
// The loader's own mode reads the whole file in place.
TEST(StandardMode, ExternProtoTakesThePrototypeItsUrlNames) {
    WriteTempFile("library.wrl",
                  std::string(V2) +
                      "PROTO First [ field SFVec3f size 1 1 1 ] { Shape { geometry Box { size IS size } } }\n"
                      "PROTO Second [ ] { Shape { geometry Sphere { } } }\n"
                      "Shape { geometry Cone { } }\n");
    const std::vector<trelObjectTypes> libraryScene = {TREL_CONE, TREL_DISK};
    const ModeCase cases[] = {
        {V2, "EXTERNPROTO Ball [ ] \"library.wrl#Second\" Ball { }", libraryScene, {TREL_SPHERE}},
        {V2,
         "EXTERNPROTO Block [ field SFVec3f size ] [ \"library.wrl\" ] Block { size 2 2 2 }",
         libraryScene,
         {TREL_BOX}},
        // One file named twice is read once, and each declaration takes its own.
        {V2,
         "EXTERNPROTO A [ ] \"library.wrl#Second\" EXTERNPROTO B [ ] \"library.wrl#First\" B { } A { }",
         libraryScene,
         {TREL_BOX, TREL_SPHERE}},
        // The file's own names stay usable; a name it does not declare gives nothing.
        {V2,
         "EXTERNPROTO Second [ ] \"library.wrl#Second\" Second { }",
         {TREL_CONE, TREL_DISK, TREL_SPHERE},
         {TREL_SPHERE}},
        {V2, "EXTERNPROTO C [ ] \"library.wrl#Third\" C { }", libraryScene, None},
        // A scene may name its own prototypes; the loader's own mode does not
        // read a file that is being read.
        {V2,
         "PROTO Own [ ] { Shape { geometry Sphere { } } } EXTERNPROTO Again [ ] \"scene.wrl\" "
         "EXTERNPROTO Named [ ] \"scene.wrl#Own\" Again { } Named { }",
         None,
         {TREL_SPHERE, TREL_SPHERE}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// A USE of a named Inline is a second instance of its content.
TEST(StandardMode, UseOfAnInlineRepeatsItsContent) {
    WriteTempFile("part.wrl", std::string(V2) + "Shape { geometry Box { } }\n");
    WriteTempFile("part1.wrl", std::string(V1) + "Cube { }\n");
    const ModeCase cases[] = {
        {V2,
         "DEF I Inline { url \"part.wrl\" } Transform { translation 5 0 0 children USE I }",
         {TREL_BOX},
         {TREL_BOX, TREL_BOX}},
        {V1,
         "DEF I WWWInline { name \"part1.wrl\" } Translation { translation 5 0 0 } USE I",
         {TREL_BOX},
         {TREL_BOX, TREL_BOX}},
        {V2, "Inline { url \"part.wrl\" }", {TREL_BOX}, {TREL_BOX}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// A prototype field that no IS takes draws nothing in the standard mode, but
// the names its node value defines serve a later USE, default or given.
TEST(StandardMode, NamesInFieldsNoIsTakesStayDefined) {
    const std::string proto =
        "PROTO P [ field SFNode unused DEF Ball Shape { geometry Sphere { } } field MFNode more [ ] ] "
        "{ Shape { geometry Box { } } } ";
    const ModeCase cases[] = {
        {V2, proto + "P { } USE Ball", {TREL_BOX, TREL_SPHERE, TREL_SPHERE}, {TREL_BOX, TREL_SPHERE}},
        {V2,
         proto + "P { more [ DEF Tip Shape { geometry Cone { bottom FALSE } } ] } USE Tip",
         {TREL_BOX, TREL_SPHERE, TREL_CONE, TREL_CONE},
         {TREL_BOX, TREL_CONE}},
        // A value that defines no name adds nothing.
        {V2,
         proto + "P { more [ Shape { geometry Cone { } } ] }",
         {TREL_BOX, TREL_CONE, TREL_DISK, TREL_SPHERE},
         {TREL_BOX}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}

// Some exporters write "DEF Transform {" for a node they left unnamed: the
// standard mode builds it as an unnamed node; the loader's own mode passes
// it over.
TEST(StandardMode, DefWithoutANameIsAnUnnamedNode) {
    const ModeCase cases[] = {
        {V2,
         "DEF Transform { children [ " + Shape("Box") + "] } " + Shape("Sphere"),
         {TREL_SPHERE},
         {TREL_BOX, TREL_SPHERE}},
        {V1, "DEF Separator { Cube { } } Sphere { }", {TREL_SPHERE}, {TREL_BOX, TREL_SPHERE}},
        {V2,
         "DEF Transform Transform { children " + Shape("Box") + "} USE Transform",
         {TREL_BOX, TREL_BOX},
         {TREL_BOX, TREL_BOX}},
    };
    for (const ModeCase& c : cases)
        CheckBothModes(c);
}
