#include "VRMLSeparator.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"

#include <cmath>
#include <type_traits>
#include <utility>

int CVRMLParser::ParseMaterial() {
    if (!CurrentSeparator) {
        // Step off "material Material" first: skipping from the field keyword
        // would read the same node again without end.
        AdvanceWhileKind({VRML_MATERIAL});
        SkipBlock(0);
        return 1;
    }
    trelChromaArray ambient, diffuse, specular, emissive;
    trelDoubleArray shininess, transparency;
    double ambientIntensity = 0.0;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_MATERIAL});
    CurrentSeparator->ResetMaterial();
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        switch (GetCurrentTokenType()) {
        case VRML_AMBIENTCOLOR:
            Tokenize();
            ParseColorArray(ambient);
            break;
        case VRML_DIFFUSECOLOR:
            Tokenize();
            ParseColorArray(diffuse);
            break;
        case VRML_SPECULARCOLOR:
            Tokenize();
            ParseColorArray(specular);
            break;
        case VRML_EMISSIVECOLOR:
            Tokenize();
            ParseColorArray(emissive);
            break;
        case VRML_SHININESS:
            Tokenize();
            ParseFloatArray(shininess);
            break;
        case VRML_TRANSPARENCY:
            Tokenize();
            ParseFloatArray(transparency);
            break;
        case VRML_AMBIENTINTENSITY:
            Tokenize();
            if (GetCurrentTokenType() == VRML_NUMBER)
                ambientIntensity = GetCurrentTokenNumericValue();
            break;
        default: break;
        }
        if (GetCurrentTokenType() != VRML_CLOSE_BRACE && !Tokenize())
            break;
    }
    // Below this the intensity counts as absent and the ambient list stays as read.
    constexpr double IntensityThreshold = 1e-6;
    if (std::fabs(ambientIntensity) >= IntensityThreshold) {
        ambient.Resize(diffuse.GetSize());
        for (int i = 0; i < diffuse.GetSize(); ++i)
            ambient[i] = trelChroma(static_cast<float>(diffuse[i].GetRed() * ambientIntensity),
                                    static_cast<float>(diffuse[i].GetGreen() * ambientIntensity),
                                    static_cast<float>(diffuse[i].GetBlue() * ambientIntensity), 1.0f);
    }
    using Lists = CVRMLMaterialLists;
    return DefineMaterial(Lists{Lists::Share(std::move(ambient)), Lists::Share(std::move(diffuse)),
                                Lists::Share(std::move(specular)), Lists::Share(std::move(emissive)),
                                Lists::Share(std::move(shininess)), Lists::Share(std::move(transparency))});
}

int CVRMLParser::DefineMaterial(trelChromaArray& ambient, trelChromaArray& diffuse, trelChromaArray& specular,
                                trelChromaArray& emissive, trelDoubleArray& shininess, trelDoubleArray& transparency) {
    // The caller keeps its lists: the shared ones are copies.
    auto copy = [](const auto& values) { return CVRMLMaterialLists::Share(std::decay_t<decltype(values)>(values)); };
    return DefineMaterial(CVRMLMaterialLists{copy(ambient), copy(diffuse), copy(specular), copy(emissive),
                                             copy(shininess), copy(transparency)});
}

int CVRMLParser::DefineMaterial(const CVRMLMaterialLists& lists) {
    if (!CurrentSeparator)
        return 0;
    CurrentSeparator->SetMaterialLists(lists);
    RecordEntry<CVRMLMaterialEntry>(*this, [&](auto& e) { e.SetLists(lists); });
    return 1;
}

int CVRMLParser::ParseBinding() {
    if (!CurrentSeparator)
        return 0;
    const int material = GetCurrentTokenType() == VRML_MATERIALBINDING ? 1 : 0;
    int value = VRML_BINDING_OVERALL;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_VALUE, VRML_MATERIALBINDING, VRML_NORMALBINDING});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        VRMLTokenTypes kind = GetCurrentTokenType();
        if (kind >= VRML_OVERALL && kind <= VRML_PER_VERTEX_INDEXED)
            value = kind - VRML_DEFAULT; // OVERALL gives 1 ... PER_VERTEX_INDEXED 7
        if (!Tokenize())
            break;
    }
    return DefineBinding(material, static_cast<VRMLBindingTypes>(value));
}

int CVRMLParser::DefineBinding(int material, VRMLBindingTypes binding) {
    if (!CurrentSeparator)
        return 0;
    if (material) {
        CurrentSeparator->SetMaterialBinding(binding);
        RecordEntry<CVRMLMaterialBindingEntry>(*this, [&](auto& e) { e.SetBinding(binding); });
    } else {
        CurrentSeparator->SetNormalBinding(binding);
        RecordEntry<CVRMLNormalBindingEntry>(*this, [&](auto& e) { e.SetBinding(binding); });
    }
    return 1;
}

int CVRMLParser::ParseAppearance() {
    if (!CurrentSeparator)
        return 0;
    int result = 0;
    // What a USE of the appearance's name gives again: its texture and its
    // transform, none when it has none.
    const std::string name = DefinedEntity ? EntityName : std::string();
    NamedTexture appearance;
    appearance.hasTexture = appearance.hasMatrix = true;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_APPEARANCE});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        switch (GetCurrentTokenType()) {
        case VRML_MATERIAL:
            Tokenize();
            result = ParseBlock();
            break;
        case VRML_TEXTURE:
            Tokenize();
            ReadTextureField(appearance);
            result = 1;
            break;
        case VRML_TEXTURETRANSFORM:
            Tokenize();
            ReadTextureTransformField(appearance);
            result = 1;
            break;
        default: Tokenize(); break;
        }
    }
    if (!SkippingBlock)
        NameTextureState(name, appearance);
    return result;
}

int CVRMLParser::ParseColor3() {
    if (!CurrentSeparator)
        return 0;
    while (GetCurrentTokenType() == VRML_COLOR) {
        if (!Tokenize())
            break;
    }
    int result = 0;
    trelChromaArray colors;
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        result = ParseColorArray(colors);
        if (!Tokenize())
            break;
    }
    if (colors.GetSize() > 0 && CurrentSeparator) {
        CurrentSeparator->SetDiffuseColors(colors);
        DefineColor(colors);
    }
    return result;
}
