#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

namespace {

const char* const Triangle =
    "IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } coordIndex [ 0 1 2 ] }";
const trelChroma Red(1, 0, 0), White(1, 1, 1);
} // namespace

// Every grouping node builds all of its children, and the state they set
// ends with the node: the box after each one is white again.
TEST(Grouping, EveryChildIsBuiltAndStateEndsWithTheNode) {
    const struct {
        const char* header;
        std::string node;
        std::vector<trelObjectTypes> types; // of the node's objects, the trailing box excluded
    } cases[] = {
        {V2, "Group { children [ Material { diffuseColor 1 0 0 } Shape { geometry Box { } } ] }", {TREL_BOX}},
        {V2, "Group { bboxSize 1 1 1 children Shape { geometry Sphere { } } bboxCenter 0 0 0 }", {TREL_SPHERE}},
        // A named proxy, or one given by USE, is passed over as exactly one node.
        {V2,
         "Collision { collide TRUE proxy DEF P Shape { geometry Sphere { } } children [ Material { diffuseColor 1 0 0 }"
         " Shape { geometry Box { } } Shape { geometry " +
             std::string(Triangle) +
             " } ] addChildren NULL"
             " removeChildren USE P }",
         {TREL_BOX, TREL_POLYFACE}},
        {V2, "Collision { children Shape { geometry Cone { } } proxy NULL }", {TREL_CONE, TREL_DISK}},
        {V2,
         "LOD { center 0 0 0 range [ 10, 20 ] level [ Material { diffuseColor 1 0 0 } Shape { geometry Box { } }"
         " Shape { geometry " +
             std::string(Triangle) + " } ] }",
         {TREL_BOX, TREL_POLYFACE}},
        {V2, "LOD { level Shape { geometry Sphere { } } range 5 }", {TREL_SPHERE}},
        {V1,
         "LOD { range [ 10 ] Material { diffuseColor 1 0 0 } Cube { } Separator { Sphere { } } }",
         {TREL_BOX, TREL_SPHERE}},
        {V1, "Switch { whichChild 0 Material { diffuseColor 1 0 0 } Cube { } Sphere { } }", {TREL_BOX, TREL_SPHERE}},
        {V2,
         "Switch { whichChoice 0 choice [ Shape { geometry Box { } } Shape { geometry Sphere { } } ] }",
         {TREL_BOX, TREL_SPHERE}},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        const std::string trailing = c.header == std::string(V1) ? " Cube { }" : " Shape { geometry Box { } }";
        auto objects = Build(loaded, c.header, c.node + trailing);
        ASSERT_EQ(objects.size(), c.types.size() + 1) << c.node;
        EXPECT_EQ(objects.back().object->GetObjectType(), TREL_BOX) << c.node;
        EXPECT_EQ(objects.back().props->front.GetDiffuse(), White) << c.node;
        objects.pop_back();
        EXPECT_EQ(TypesOf(objects), c.types) << c.node;
        // A material set inside the node reaches its children.
        if (c.node.find("diffuseColor") != std::string::npos) {
            EXPECT_EQ(objects.front().props->front.GetDiffuse(), Red) << c.node;
        }
        EXPECT_EQ(loaded.parser->GetSeparatorStack()->size(), 0u) << c.node;
    }
}

TEST(Grouping, NamedGroupsBecomeGroupsOfTheWorldOnlyWithContent) {
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         "DEF G Group { children [ Shape { geometry Box { } } ] } DEF E Group { }"
                         " DEF C Collision { children [ ] } DEF L LOD { level Shape { geometry Sphere { } } }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].groupName, "G");
    EXPECT_EQ(objects[1].groupName, "L");
    EXPECT_EQ(loaded.world->GetNumGroups(), 2);
    // The name is the group's: the first child is not named after it.
    EXPECT_EQ(objects[0].object->GetObjectName().GetString(), "");

    // USE of a named group repeats its children.
    objects = Build(loaded, V2,
                    "DEF G Group { children [ Shape { geometry " + std::string(Triangle) +
                        " } ] } Transform { translation 0 0 4 children USE G }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1].groupName, "G");
    EXPECT_THAT(static_cast<const C3DPolyface*>(objects[1].object)->GetPoints()[1], NearPoint(1, 0, 4));
}

// The appearance is read in a first pass, the geometry in a second, so the
// order of the two fields does not matter; a named geometry gets a group of
// its name inside the shape.
TEST(Grouping, ShapeAppliesItsAppearanceBeforeItsGeometryWhateverTheirOrder) {
    const char* const shapes[] = {
        "Shape { appearance Appearance { material Material { diffuseColor 1 0 0 } } geometry DEF B Box { } }",
        "Shape { geometry DEF B Box { } appearance Appearance { material Material { diffuseColor 1 0 0 } } }",
        ("Shape { geometry DEF B IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] } coordIndex [ 0 1 "
         "2 ] }"
         " appearance DEF A Appearance { material Material { diffuseColor 1 0 0 } } }"),
    };
    for (const char* shape : shapes) {
        LoadedText loaded;
        auto objects =
            Build(loaded, V2, std::string("DEF H Group { children ") + shape + " } Shape { geometry Box { } }");
        ASSERT_EQ(objects.size(), 2u) << shape;
        EXPECT_EQ(objects[0].props->front.GetDiffuse(), White) << shape; // the box after the group
        EXPECT_EQ(objects[1].props->front.GetDiffuse(), Red) << shape;
        EXPECT_EQ(objects[1].groupName, "B") << shape;
        EXPECT_EQ(objects[1].object->GetObjectName().GetString(), "B") << shape;
        ASSERT_EQ(loaded.world->GetNumGroups(), 1);
        ASSERT_EQ(loaded.world->GetGroup(0)->GetNumGroups(), 1); // B inside H
        EXPECT_EQ(loaded.world->GetGroup(0)->GetGroup(0)->GetGroupName().GetString(), "B");
    }
    // The named geometry keeps an entry of its own, and the group repeats it.
    for (const char* shape : {shapes[0], shapes[2]}) {
        LoadedText loaded;
        auto objects = Build(loaded, V2,
                             std::string("DEF H Group { children ") + shape + " } Group { children USE H }" +
                                 " Shape { geometry USE B }");
        ASSERT_EQ(objects.size(), 3u) << shape;
        for (const auto& found : objects)
            EXPECT_EQ(found.object->GetObjectType(), objects[0].object->GetObjectType()) << shape;
    }
}

TEST(Grouping, PassiveNodesLeaveNoTrace) {
    const char* const passive[] = {
        "Info { string \"made by hand\" }",
        "DEF I Info { string \"x\" }",
        "ShapeHints { vertexOrdering COUNTERCLOCKWISE creaseAngle 0.5 }",
        "DirectionalLight { direction 0 0 -1 }",
        "SpotLight { }",
        "PerspectiveCamera { position 0 0 10 }",
        "AsciiText { string \"a\" }",
        "TextureCoordinate { point [ 0 0, 1 1 ] }",
    };
    for (const char* node : passive) {
        LoadedText loaded;
        auto objects = Build(loaded, V1, std::string(node) + " Cube { }");
        ASSERT_EQ(objects.size(), 1u) << node;
        EXPECT_EQ(objects[0].props->front.GetDiffuse(), White) << node;
        EXPECT_EQ(loaded.result, 0) << node;
        EXPECT_EQ(loaded.parser->FindObjectInDictionary("I"), nullptr);
    }
    // Info called with a bracketed list steps over the list.
    PositionedParser p("Info [ \"a\" \"b\" ] next", V1);
    EXPECT_EQ(p.parser.ParseInfo(), 1);
    EXPECT_EQ(p.Current(), "]");
}
