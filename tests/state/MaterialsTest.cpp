#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

namespace {
trelMaterial MaterialOfOnlyCube(const std::string& materialNode) {
    LoadedText loaded = LoadText(std::string(V1) + materialNode + " Cube { }\n");
    auto objects = AllObjects(*loaded.world);
    EXPECT_EQ(objects.size(), 1u);
    return objects.empty() ? trelMaterial() : objects[0].props->front;
}
} // namespace

TEST(Materials, DefaultsAndFallbacks) {
    trelMaterial none = MaterialOfOnlyCube("");
    EXPECT_EQ(none.GetDiffuse(), trelChroma(1, 1, 1, 1));
    EXPECT_EQ(none.GetShininess(), 64.0f);

    trelMaterial transparent = MaterialOfOnlyCube("Material { transparency 0.25 }");
    EXPECT_EQ(transparent.GetDiffuse(), trelChroma(1, 1, 1, 0.75f));
    EXPECT_EQ(transparent.GetAmbient().GetAlpha(), 0.75f); // every colour carries the alpha

    trelMaterial specularOnly = MaterialOfOnlyCube("Material { specularColor 1 0 0 }");
    EXPECT_EQ(specularOnly.GetSpecular(), trelChroma(1, 0, 0, 1));
    EXPECT_EQ(specularOnly.GetDiffuse(), trelChroma(1, 0, 0, 1));

    trelMaterial shiny = MaterialOfOnlyCube("Material { shininess 0.2 }");
    EXPECT_FLOAT_EQ(shiny.GetShininess(), 0.2f); // passed on as stored
}

TEST(Materials, ResolutionByIndexFallsBackPerList) {
    CVRMLSeparator level;
    level.GetDiffuseColors().Append(trelChroma(1, 0, 0));
    level.GetDiffuseColors().Append(trelChroma(0, 1, 0));
    EXPECT_EQ(level.ResolveMatProps(1).front.GetDiffuse(), trelChroma(0, 1, 0));
    EXPECT_EQ(level.ResolveMatProps(2).front.GetDiffuse(), trelChroma(1, 1, 1)); // no list reaches 2

    CVRMLSeparator mixed;
    mixed.GetSpecularColors().Append(trelChroma(1, 0, 0));
    for (int i = 0; i < 3; ++i)
        mixed.GetEmissiveColors().Append(trelChroma(0, 0, 1));
    mixed.SetShininess(trelDoubleArray());
    mixed.GetShininess().Append(0.2);
    mixed.GetShininess().Append(0.4);
    trelMatProps props = mixed.ResolveMatProps(2);
    EXPECT_EQ(props.front.GetEmission(), trelChroma(0, 0, 1));
    EXPECT_EQ(props.front.GetDiffuse(), trelChroma(1, 0, 0));           // specular entry 0
    EXPECT_EQ(props.front.GetSpecular(), trelMaterial().GetSpecular()); // library default
    EXPECT_FLOAT_EQ(props.front.GetShininess(), 0.2f);
    EXPECT_EQ(props.materialCount, 2);
    EXPECT_EQ(props.back.GetDiffuse(), props.front.GetDiffuse());
}

TEST(Materials, AmbientIntensityRebuildsTheAmbientList) {
    PositionedParser p("Material { ambientIntensity 0.5 diffuseColor 1 1 1 } next");
    EXPECT_EQ(p.parser.ParseMaterial(), 1);
    ASSERT_EQ(p.parser.GetCurrentSeparator()->GetAmbientColors().GetSize(), 1);
    EXPECT_EQ(p.parser.GetCurrentSeparator()->GetAmbientColors()[0], trelChroma(0.5f, 0.5f, 0.5f, 1));
}

TEST(Materials, BindingValues) {
    const std::pair<const char*, int> cases[] = {
        {"MaterialBinding { value DEFAULT }", 1},
        {"MaterialBinding { }", 1},
        {"MaterialBinding { value PER_FACE_INDEXED }", 5},
        {"MaterialBinding { value PER_PART }", 2},
    };
    for (const auto& [node, binding] : cases) {
        PositionedParser p(std::string(node) + " next", V1);
        EXPECT_EQ(p.parser.ParseBinding(), 1);
        EXPECT_EQ(p.parser.GetCurrentSeparator()->GetMaterialBinding(), binding) << node;
    }
    PositionedParser normal("NormalBinding { value PER_VERTEX }", V1);
    normal.parser.ParseBinding();
    EXPECT_EQ(normal.parser.GetCurrentSeparator()->GetNormalBinding(), VRML_BINDING_PER_VERTEX);
    EXPECT_EQ(normal.parser.GetCurrentSeparator()->GetMaterialBinding(), VRML_BINDING_NONE);
}

// The scene tests of the indexed sets cover the per-face and per-vertex
// forms; these are the rules they do not reach. Colour 0 is black.
TEST(Materials, NegativeFaceIndicesAndOtherBindingsTakeTheFirstColour) {
    CVRMLSeparator level;
    C3DGroup group;
    level.SetGroup(&group);
    for (float c : {0.0f, 0.5f, 1.0f})
        level.GetDiffuseColors().Append(trelChroma(c, c, c));
    level.GetMaterialIndex().Items() = {2, -4};
    level.SetMaterialBinding(VRML_BINDING_PER_FACE_INDEXED);
    level.InsertObject(new trelDot, 1, 0, 0); // materialIndex[1] is negative: colour 0
    level.SetMaterialBinding(VRML_BINDING_PER_PART_INDEXED);
    level.InsertObject(new trelDot, 2, 0, 0); // not a face form: colour 0 whatever the face
    ASSERT_EQ(group.GetNumObjects(), 2);
    EXPECT_EQ(group.GetObjectMatProps(0).front.GetDiffuse(), trelChroma(0, 0, 0));
    EXPECT_EQ(group.GetObjectMatProps(1).front.GetDiffuse(), trelChroma(0, 0, 0));
    level.SetGroup(nullptr);
}

TEST(Materials, AppearanceSetsTheShapeMaterialAndTextureUseDoesNotSwallowGeometry) {
    PositionedParser p("Appearance { texture USE T material Material { diffuseColor 0 1 0 } } next");
    EXPECT_EQ(p.parser.ParseAppearance(), 1);
    EXPECT_EQ(p.Current(), "}");
    ASSERT_EQ(p.parser.GetCurrentSeparator()->GetDiffuseColors().GetSize(), 1);
    EXPECT_EQ(p.parser.GetCurrentSeparator()->GetDiffuseColors()[0], trelChroma(0, 1, 0));
}
