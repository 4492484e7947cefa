#pragma once
// The recorded operands of the Define... operations. A DEF (or a node inside a
// named separator) leaves one entry; a USE calls the same Define... again
// with the entry's fields. Declared with the parser object, which keeps the
// entries: the node readers of state/ and geometry/ record them, and the
// dictionary (names/) replays them.

#include "IntrusiveList.h"
#include "MaterialLists.h"
#include "host/geometry/Geometry.h"
#include "host/text/Text.h"
#include "state/FontStyle.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum VRMLDictionaryEntryTypes : int {
    VRML_ENTRY_NONE = 0,
    VRML_ENTRY_SEPARATOR = 1,
    VRML_ENTRY_CUBE = 2,
    VRML_ENTRY_CONE = 3,
    VRML_ENTRY_CYLINDER = 4,
    VRML_ENTRY_SPHERE = 5,
    VRML_ENTRY_INDEXED_SET = 6,
    VRML_ENTRY_POINT_SET = 7,
    VRML_ENTRY_MATERIAL = 8,
    VRML_ENTRY_MATERIAL_BINDING = 9,
    VRML_ENTRY_COORDINATE3 = 10,
    VRML_ENTRY_NORMAL = 11,
    VRML_ENTRY_NORMAL_BINDING = 12,
    VRML_ENTRY_TRANSFORM = 13,
    VRML_ENTRY_MATRIX_TRANSFORM = 14,
    VRML_ENTRY_ROTATION = 15,
    VRML_ENTRY_SCALE = 16,
    VRML_ENTRY_TRANSLATION = 17,
    VRML_ENTRY_USE = 18,
    VRML_ENTRY_ELEVATION_GRID = 19,
    VRML_ENTRY_EXTRUSION = 20,
    VRML_ENTRY_PROTO_USE = 21,
    VRML_ENTRY_TRIANGLE_STRIP_SET = 22,
    VRML_ENTRY_COLOR = 23,
    VRML_ENTRY_TEXTURE_COORDINATE = 24,
    VRML_ENTRY_TEXTURE = 25,
    VRML_ENTRY_TEXTURE_TRANSFORM = 26,
    VRML_ENTRY_TEXT = 27,
    VRML_ENTRY_FONT_STYLE = 28
};

class CVRMLSeparatorEntry;

class CVRMLDictionaryEntry {
public:
    // The lists an entry stands in, each through links of its own: the
    // parser's dictionary, and the children of at most one separator entry.
    enum ListChain { DictionaryChain = 0, ChildrenChain = 1 };

    CVRMLDictionaryEntry() { CVRMLDictionaryEntry::Initialize(); }
    CVRMLDictionaryEntry(const CVRMLDictionaryEntry&) = delete;
    CVRMLDictionaryEntry& operator=(const CVRMLDictionaryEntry&) = delete;
    virtual ~CVRMLDictionaryEntry() = default;
    virtual void Initialize() {
        SetName(std::string_view());
        SetType(VRML_ENTRY_NONE);
    }
    // The name views text it does not own: the caller's until the dictionary
    // takes the entry (AddDictionaryObject), which then points it at a copy
    // the parser keeps as long as the entry.
    std::string_view GetName() const { return name; }
    void SetName(std::string_view value) { name = value; }
    virtual int GetType() const { return type; }
    virtual void SetType(int value) { type = value; }

    // Bookkeeping of the dictionary: the separator entry whose children list
    // holds this entry (an entry is in at most one), and whether a replay of
    // this entry is running (a replay of it from inside itself is cut off).
    CVRMLSeparatorEntry* GetParentEntry() const { return parentEntry; }
    void SetParentEntry(CVRMLSeparatorEntry* parent) { parentEntry = parent; }
    bool GetReplaying() const { return replaying; }
    void SetReplaying(bool value) { replaying = value; }
    // Whether the entry stands in the parser's dictionary.
    bool GetInDictionary() const { return inDictionary; }
    void SetInDictionary(bool value) { inDictionary = value; }
    CVRMLListLinks<CVRMLDictionaryEntry>& GetListLinks(int chain) { return links[chain]; }

private:
    std::string_view name;
    int type = VRML_ENTRY_NONE;
    bool replaying = false;
    bool inDictionary = false;
    CVRMLSeparatorEntry* parentEntry = nullptr;
    CVRMLListLinks<CVRMLDictionaryEntry> links[2];
};

// The entries of one chain, in the order they were added; not owning: the
// dictionary owns every entry.
using CVRMLEntryList = CVRMLIntrusiveList<CVRMLDictionaryEntry, CVRMLDictionaryEntry::ChildrenChain>;
using CVRMLDictionaryList = CVRMLIntrusiveList<CVRMLDictionaryEntry, CVRMLDictionaryEntry::DictionaryChain>;

// One field with a get and a set accessor; a list is assigned (copied).
#define VRML_ENTRY_FIELD(Type, Name, member)                                                                           \
public:                                                                                                                \
    const Type& Get##Name() const { return member; }                                                                   \
    Type& Get##Name() { return member; }                                                                               \
    void Set##Name(const Type& value) { member = value; }                                                              \
                                                                                                                       \
private:                                                                                                               \
    Type member

// The entry kinds, each with its code and defaults in Initialize().
#define VRML_ENTRY_KIND(Kind, Base, code, defaults)                                                                    \
public:                                                                                                                \
    Kind() { Kind::Initialize(); }                                                                                     \
    void Initialize() override {                                                                                       \
        SetType(code);                                                                                                 \
        defaults;                                                                                                      \
    }

class CVRMLSeparatorEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLSeparatorEntry, CVRMLDictionaryEntry, VRML_ENTRY_SEPARATOR, restores = 0)
    VRML_ENTRY_FIELD(int, Restores, restores); // CVRMLSeparator::Restores

public:
    CVRMLEntryList& GetChildren() { return children; }
    const CVRMLEntryList& GetChildren() const { return children; }

private:
    CVRMLEntryList children;
};

class CVRMLCubeEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLCubeEntry, CVRMLDictionaryEntry, VRML_ENTRY_CUBE, width = height = depth = 1.0)
    VRML_ENTRY_FIELD(double, Width, width);
    VRML_ENTRY_FIELD(double, Height, height);
    VRML_ENTRY_FIELD(double, Depth, depth);
};

class CVRMLConeEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLConeEntry, CVRMLDictionaryEntry, VRML_ENTRY_CONE, bottomRadius = height = 1.0;
                    side = bottom = 1)
    VRML_ENTRY_FIELD(double, BottomRadius, bottomRadius);
    VRML_ENTRY_FIELD(double, Height, height);
    VRML_ENTRY_FIELD(int, Side, side);
    VRML_ENTRY_FIELD(int, Bottom, bottom);
};

class CVRMLCylinderEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLCylinderEntry, CVRMLDictionaryEntry, VRML_ENTRY_CYLINDER, radius = height = 1.0; parts = 7)
    VRML_ENTRY_FIELD(double, Radius, radius);
    VRML_ENTRY_FIELD(double, Height, height);
    VRML_ENTRY_FIELD(int, Parts, parts); // CVRMLParser::CylinderSides... or'd
};

class CVRMLTextEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTextEntry, CVRMLDictionaryEntry, VRML_ENTRY_TEXT, lines.clear(); layout = trelTextLayout())
    VRML_ENTRY_FIELD(std::vector<std::u32string>, Lines, lines);
    VRML_ENTRY_FIELD(trelTextLayout, Layout, layout);
};

class CVRMLFontStyleEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLFontStyleEntry, CVRMLDictionaryEntry, VRML_ENTRY_FONT_STYLE, style = CVRMLFontStyle())
    VRML_ENTRY_FIELD(CVRMLFontStyle, Style, style);
};

class CVRMLSphereEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLSphereEntry, CVRMLDictionaryEntry, VRML_ENTRY_SPHERE, radius = 1.0)
    VRML_ENTRY_FIELD(double, Radius, radius);
};

// The one local geometry that the face sets built from an entry share, with
// what it was built from: the coordinate list in force (held, so that its
// address names no other list while this lives) and whether a texture asked
// for the default texture coordinates. A use where either differs builds
// its own geometry.
struct CVRMLSharedFaceSet {
    std::shared_ptr<const trelFloatPointArray> coordinates;
    bool mappedTexture = false;
    std::shared_ptr<const C3DPolyface> local;
};

class CVRMLIndexedSetEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLIndexedSetEntry, CVRMLDictionaryEntry, VRML_ENTRY_INDEXED_SET, coordIndex.Clear();
                    normalIndex.Clear(); materialIndex.Clear(); faceSet = 1; shared = CVRMLSharedFaceSet())
    VRML_ENTRY_FIELD(trelIntArray, CoordIndex, coordIndex);
    VRML_ENTRY_FIELD(trelIntArray, NormalIndex, normalIndex);
    VRML_ENTRY_FIELD(trelIntArray, MaterialIndex, materialIndex);
    VRML_ENTRY_FIELD(int, FaceSet, faceSet);
    // The attribute block the node built, as read, before any placement.
    VRML_ENTRY_FIELD(std::shared_ptr<const trelAttributes>, Attributes, attributes);
    VRML_ENTRY_FIELD(CVRMLSharedFaceSet, Shared, shared);
};

class CVRMLPointSetEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLPointSetEntry, CVRMLDictionaryEntry, VRML_ENTRY_POINT_SET, startIndex = 0; numPoints = -1)
    VRML_ENTRY_FIELD(int, StartIndex, startIndex);
    VRML_ENTRY_FIELD(int, NumPoints, numPoints);
    // The attribute block the node built, as read, before any placement.
    VRML_ENTRY_FIELD(std::shared_ptr<const trelAttributes>, Attributes, attributes);
};

class CVRMLMaterialEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLMaterialEntry, CVRMLDictionaryEntry, VRML_ENTRY_MATERIAL, lists = CVRMLMaterialLists())
    // Shared with the level the node set: recording copies no colour.
    VRML_ENTRY_FIELD(CVRMLMaterialLists, Lists, lists);
};

class CVRMLBindingEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLBindingEntry, CVRMLDictionaryEntry, VRML_ENTRY_NORMAL_BINDING, binding = 0)
    VRML_ENTRY_FIELD(int, Binding, binding);
};

class CVRMLMaterialBindingEntry : public CVRMLBindingEntry {
public:
    CVRMLMaterialBindingEntry() { CVRMLMaterialBindingEntry::Initialize(); }
    void Initialize() override {
        CVRMLBindingEntry::Initialize();
        SetType(VRML_ENTRY_MATERIAL_BINDING);
    }
};

class CVRMLNormalBindingEntry : public CVRMLBindingEntry {
public:
    CVRMLNormalBindingEntry() { CVRMLNormalBindingEntry::Initialize(); }
    void Initialize() override {
        CVRMLBindingEntry::Initialize();
        SetType(VRML_ENTRY_NORMAL_BINDING);
    }
};

class CVRMLCoordinate3Entry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLCoordinate3Entry, CVRMLDictionaryEntry, VRML_ENTRY_COORDINATE3, points.reset())
    // The very list a level held: replayed, the level takes it over rather
    // than a copy (see CVRMLSharedList::Share).
    VRML_ENTRY_FIELD(std::shared_ptr<const trelFloatPointArray>, Points, points);
};

class CVRMLNormalEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLNormalEntry, CVRMLDictionaryEntry, VRML_ENTRY_NORMAL, vectors.Clear())
    VRML_ENTRY_FIELD(trelVectorArray, Vectors, vectors);
};

// A matrix that is the identity in most files, held only when it is not:
// a file that names every Transform keeps hundreds of thousands of them.
class CVRMLSeldomMatrix {
public:
    const trelMatrix4x4& Get() const { return held ? *held : Identity(); }
    // Once held, the matrix is written in place: a prototype's recorded
    // body sets it again for every instance.
    void Set(const trelMatrix4x4& value) {
        if (held)
            *held = value;
        else if (std::memcmp(&value, &Identity(), sizeof value) != 0) // bit for bit: -0 is kept
            held = std::make_unique<trelMatrix4x4>(value);
    }
    void Reset() { held.reset(); }

private:
    static const trelMatrix4x4& Identity() {
        static const trelMatrix4x4 identity;
        return identity;
    }
    std::unique_ptr<trelMatrix4x4> held;
};

class CVRMLTransformEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTransformEntry, CVRMLDictionaryEntry, VRML_ENTRY_TRANSFORM, rotation.Reset();
                    translation = trelFloatPoint(); scaleFactor = trelFloatPoint(1, 1, 1); scaleOrientation.Reset();
                    center = trelFloatPoint())
    VRML_ENTRY_FIELD(trelFloatPoint, Translation, translation);
    VRML_ENTRY_FIELD(trelFloatPoint, ScaleFactor, scaleFactor);
    VRML_ENTRY_FIELD(trelFloatPoint, Center, center);

public:
    const trelMatrix4x4& GetRotation() const { return rotation.Get(); }
    void SetRotation(const trelMatrix4x4& value) { rotation.Set(value); }
    const trelMatrix4x4& GetScaleOrientation() const { return scaleOrientation.Get(); }
    void SetScaleOrientation(const trelMatrix4x4& value) { scaleOrientation.Set(value); }

private:
    CVRMLSeldomMatrix rotation, scaleOrientation;
};

class CVRMLMatrixTransformEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLMatrixTransformEntry, CVRMLDictionaryEntry, VRML_ENTRY_MATRIX_TRANSFORM, matrix.SetIdentity())
    VRML_ENTRY_FIELD(trelMatrix4x4, Matrix, matrix);
};

class CVRMLRotationEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLRotationEntry, CVRMLDictionaryEntry, VRML_ENTRY_ROTATION, rotation.SetIdentity())
    VRML_ENTRY_FIELD(trelMatrix4x4, Rotation, rotation);
};

class CVRMLScaleEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLScaleEntry, CVRMLDictionaryEntry, VRML_ENTRY_SCALE, scaleFactor = trelFloatPoint(1, 1, 1))
    VRML_ENTRY_FIELD(trelFloatPoint, ScaleFactor, scaleFactor);
};

class CVRMLTranslationEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTranslationEntry, CVRMLDictionaryEntry, VRML_ENTRY_TRANSLATION, translation = trelFloatPoint())
    VRML_ENTRY_FIELD(trelFloatPoint, Translation, translation);
};

// The used name is the entry's name; it is looked up again at replay time.
class CVRMLUseEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLUseEntry, CVRMLDictionaryEntry, VRML_ENTRY_USE, (void)0)
};

class CVRMLElevationGridEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLElevationGridEntry, CVRMLDictionaryEntry, VRML_ENTRY_ELEVATION_GRID, solid = 1; height.Clear();
                    xDimension = xSpacing = zDimension = zSpacing = 0.0)
    VRML_ENTRY_FIELD(int, Solid, solid);
    VRML_ENTRY_FIELD(trelDoubleArray, Height, height);
    VRML_ENTRY_FIELD(double, XDimension, xDimension);
    VRML_ENTRY_FIELD(double, XSpacing, xSpacing);
    VRML_ENTRY_FIELD(double, ZDimension, zDimension);
    VRML_ENTRY_FIELD(double, ZSpacing, zSpacing);
    // The attribute block the node built, as read, before any placement.
    VRML_ENTRY_FIELD(std::shared_ptr<const trelAttributes>, Attributes, attributes);
};

class CVRMLExtrusionEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLExtrusionEntry, CVRMLDictionaryEntry, VRML_ENTRY_EXTRUSION, solid = beginCap = endCap = 1;
                    axes.Clear(); angles.Clear(); scale.Clear(); crossSection.Clear(); spine.Clear())
    VRML_ENTRY_FIELD(int, Solid, solid);
    VRML_ENTRY_FIELD(int, BeginCap, beginCap);
    VRML_ENTRY_FIELD(int, EndCap, endCap);
    VRML_ENTRY_FIELD(trelVectorArray, Axes, axes);
    VRML_ENTRY_FIELD(trelDoubleArray, Angles, angles);
    VRML_ENTRY_FIELD(trelDoubleArray, Scale, scale);
    VRML_ENTRY_FIELD(trelDoubleArray, CrossSection, crossSection);
    VRML_ENTRY_FIELD(trelFloatPointArray, Spine, spine);
    // The attribute block the node built, as read, before any placement.
    VRML_ENTRY_FIELD(std::shared_ptr<const trelAttributes>, Attributes, attributes);
};

// Owns a copy of the use-site text of a prototype instance.
class CVRMLProtoUseEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLProtoUseEntry, CVRMLDictionaryEntry, VRML_ENTRY_PROTO_USE, prototypeName.clear();
                    useText.clear())
    VRML_ENTRY_FIELD(std::string, PrototypeName, prototypeName);
    VRML_ENTRY_FIELD(std::vector<char>, UseText, useText);

public:
    int GetTextLength() const { return static_cast<int>(useText.size()); }
};

class CVRMLTriangleStripSetEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTriangleStripSetEntry, CVRMLDictionaryEntry, VRML_ENTRY_TRIANGLE_STRIP_SET,
                    numVertices.Clear())
    VRML_ENTRY_FIELD(trelIntArray, NumVertices, numVertices);
};

class CVRMLColorEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLColorEntry, CVRMLDictionaryEntry, VRML_ENTRY_COLOR, colors.Clear())
    VRML_ENTRY_FIELD(trelChromaArray, Colors, colors);
};

class CVRMLTextureCoordinateEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTextureCoordinateEntry, CVRMLDictionaryEntry, VRML_ENTRY_TEXTURE_COORDINATE, points.Clear())
    VRML_ENTRY_FIELD(trelTexCoordArray, Points, points);
};

// Recorded only inside a named level, and without a name: texture names are
// kept apart from the object dictionary.
class CVRMLTextureEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTextureEntry, CVRMLDictionaryEntry, VRML_ENTRY_TEXTURE, texture.reset())
    VRML_ENTRY_FIELD(std::shared_ptr<const trelTexture>, Texture, texture);
};

class CVRMLTextureTransformEntry : public CVRMLDictionaryEntry {
    VRML_ENTRY_KIND(CVRMLTextureTransformEntry, CVRMLDictionaryEntry, VRML_ENTRY_TEXTURE_TRANSFORM,
                    matrix = trelTexMatrix())
    VRML_ENTRY_FIELD(trelTexMatrix, Matrix, matrix);
};

#undef VRML_ENTRY_KIND
#undef VRML_ENTRY_FIELD
