#include "VRMLSeparator.h"

#include "parser/VRMLTypes.h"

namespace {
constexpr double DefaultShininess = 64.0;
constexpr int MaterialCount = 2; // front and back carry the same material
const trelChroma White(1.0f, 1.0f, 1.0f, 1.0f);
const trelChroma Black(0.0f, 0.0f, 0.0f, 1.0f);

template <class List>
bool Has(const List& list, int index) {
    return index >= 0 && index < list.GetSize();
}

void SetBoth(trelMatProps& props, void (trelMaterial::*setter)(const trelChroma&), const trelChroma& color) {
    (props.front.*setter)(color);
    (props.back.*setter)(color);
}
} // namespace

trelChroma& CVRMLSeparator::ApplyTransparency(double transparencyValue, trelChroma& color) {
    color.SetAlpha(static_cast<float>(1.0 - transparencyValue));
    return color;
}

trelMatProps CVRMLSeparator::MakeColorMatProps(const trelChroma& color) {
    trelMatProps props;
    props.materialCount = MaterialCount;
    SetBoth(props, &trelMaterial::SetDiffuse, color);
    props.front.SetShininess(static_cast<float>(DefaultShininess));
    props.back.SetShininess(static_cast<float>(DefaultShininess));
    return props;
}

trelMatProps CVRMLSeparator::ResolveMatProps(int index) const {
    trelMatProps props;
    props.materialCount = MaterialCount;
    const trelChromaArray& diffuseList = diffuseColors.Read();
    const trelChromaArray& specularList = specularColors.Read();
    const trelChromaArray& emissiveList = emissiveColors.Read();
    const trelDoubleArray& transparencyList = transparency.Read();
    const trelDoubleArray& shininessList = shininess.Read();

    double t = 0.0;
    if (Has(transparencyList, index))
        t = transparencyList[index];
    else if (transparencyList.GetSize() > 0)
        t = transparencyList[0];

    bool anySet = false;
    if (Has(diffuseList, index)) {
        SetBoth(props, &trelMaterial::SetDiffuse, diffuseList[index]);
        anySet = true;
    }
    if (Has(specularList, index)) {
        SetBoth(props, &trelMaterial::SetSpecular, specularList[index]);
        anySet = true;
    }
    if (Has(emissiveList, index)) {
        SetBoth(props, &trelMaterial::SetEmission, emissiveList[index]);
        anySet = true;
    }
    if (!anySet) {
        SetBoth(props, &trelMaterial::SetDiffuse, White);
    } else if (diffuseList.GetSize() == 0) {
        // A material with only specular, emissive or ambient colours lends
        // its first such colour to the diffuse one.
        for (const trelChromaArray* list : {&specularList, &emissiveList, &ambientColors.Read()}) {
            if (list->GetSize() == 0)
                continue;
            SetBoth(props, &trelMaterial::SetDiffuse, Has(*list, index) ? (*list)[index] : (*list)[0]);
            break;
        }
    }

    trelChroma ambient = props.front.GetAmbient();
    trelChroma diffuse = props.front.GetDiffuse();
    trelChroma specular = props.front.GetSpecular();
    trelChroma emission = props.front.GetEmission();
    SetBoth(props, &trelMaterial::SetAmbient, ApplyTransparency(t, ambient));
    SetBoth(props, &trelMaterial::SetDiffuse, ApplyTransparency(t, diffuse));
    SetBoth(props, &trelMaterial::SetSpecular, ApplyTransparency(t, specular));
    SetBoth(props, &trelMaterial::SetEmission, ApplyTransparency(t, emission));

    double s = DefaultShininess;
    if (Has(shininessList, index))
        s = shininessList[index];
    else if (shininessList.GetSize() > 0)
        s = shininessList[0];
    props.front.SetShininess(static_cast<float>(s));
    props.back.SetShininess(static_cast<float>(s));
    return props;
}

int CVRMLSeparator::AddToGroup(trelBaseObject* object, const trelMatProps& props) {
    group->AddObject(object, props, true);
    return 1;
}

int CVRMLSeparator::InsertObject(trelBaseObject* object) { return InsertObject(object, 0); }

int CVRMLSeparator::InsertObject(trelBaseObject* object, int index) {
    if (!group || !object)
        return 0;
    return AddToGroup(object, ResolveMatProps(index));
}

int CVRMLSeparator::InsertObject(trelBaseObject* object, int face, int first, int count) {
    if (!group || !object)
        return 0;
    switch (materialBinding) {
    case VRML_BINDING_PER_FACE: return AddToGroup(object, ResolveMatProps(face));
    case VRML_BINDING_PER_FACE_INDEXED: {
        int index = Has(materialIndex, face) ? materialIndex[face] : 0;
        return AddToGroup(object, ResolveMatProps(index < 0 ? 0 : index));
    }
    case VRML_BINDING_PER_VERTEX:
    case VRML_BINDING_PER_VERTEX_INDEXED: {
        // The face colour is the average of its vertex colours; a vertex
        // without a diffuse colour counts as black.
        double sum[4] = {0.0, 0.0, 0.0, 0.0};
        for (int k = 0; k < count; ++k) {
            int colorIndex = first + k;
            if (materialBinding == VRML_BINDING_PER_VERTEX_INDEXED && Has(materialIndex, first + k))
                colorIndex = materialIndex[first + k];
            if (colorIndex < 0)
                colorIndex = 0;
            const trelChromaArray& diffuseList = diffuseColors.Read();
            const trelChroma& c = Has(diffuseList, colorIndex) ? diffuseList[colorIndex] : Black;
            sum[0] += c.GetRed();
            sum[1] += c.GetGreen();
            sum[2] += c.GetBlue();
            sum[3] += c.GetAlpha();
        }
        trelChroma average = Black;
        if (count > 0)
            average = trelChroma(static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count),
                                 static_cast<float>(sum[2] / count), static_cast<float>(sum[3] / count));
        return AddToGroup(object, MakeColorMatProps(average));
    }
    default: return AddToGroup(object, ResolveMatProps(0));
    }
}
