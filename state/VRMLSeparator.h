#pragma once
// One level of the separator stack: the state a VRML 1.0 separator inherits
// (coordinates, normals, materials, bindings, the modelling matrix) and the
// group that receives the objects built at this level.

#include "FontStyle.h"
#include "SharedList.h"
#include "host/geometry/Geometry.h"
#include "parser/MaterialLists.h"

#include <memory>
#include <utility>

class CVRMLDictionaryEntry;

class CVRMLSeparator {
public:
    CVRMLSeparator();
    CVRMLSeparator(const CVRMLSeparator&) = delete;
    ~CVRMLSeparator();
    // Inheritance: takes the whole state of the level below and borrows its
    // group. A group this level owned is destroyed first; dictionaryEntry stays.
    CVRMLSeparator& operator=(const CVRMLSeparator& source);

    // What the level gives back when it closes: a Separator the whole state
    // below it, a VRML 1.0 TransformSeparator the transform alone, a VRML
    // 1.0 Group (as the standards read it) nothing, so that what its
    // children set carries on after it. The level's own, never inherited.
    enum Restores { RestoresAll = 0, RestoresTransform = 1, RestoresNothing = 2 };
    int GetRestores() const { return restores; }
    void SetRestores(int value) { restores = value; }

    const CVRMLFontStyle& GetFontStyle() const { return fontStyle; }
    void SetFontStyle(const CVRMLFontStyle& value) { fontStyle = value; }

    trelBaseGroup* GetGroup() const { return group; }
    void SetGroup(trelBaseGroup* value) { group = value; }
    int GetOwnsGroup() const { return ownsGroup; }
    void SetOwnsGroup(int value) { ownsGroup = value; }
    trelMatrix4x4& GetMatrix() { return matrix; }
    void SetMatrix(const trelMatrix4x4& value) { matrix = value; }
    // The lists inherited from the level below are shared with it until
    // changed: a const getter reads the shared list, a non-const getter
    // first gives this level its own copy.
    trelFloatPointArray& GetCoordinates() { return coordinates.Write(); }
    const trelFloatPointArray& GetCoordinates() const { return coordinates.Read(); }
    void SetCoordinates(const trelFloatPointArray& value) { coordinates.Assign(value); }
    std::shared_ptr<const trelFloatPointArray> ShareCoordinates() const { return coordinates.Share(); }
    void AdoptCoordinates(std::shared_ptr<const trelFloatPointArray> shared) { coordinates.Adopt(std::move(shared)); }
    trelVectorArray& GetNormals() { return normals.Write(); }
    const trelVectorArray& GetNormals() const { return normals.Read(); }
    void SetNormals(const trelVectorArray& value) { normals.Assign(value); }
    trelIntArray& GetMaterialIndex() { return materialIndex; }
    void SetMaterialIndex(const trelIntArray& value) { materialIndex = value; }
    int GetMaterialBinding() const { return materialBinding; }
    void SetMaterialBinding(int value) { materialBinding = value; }
    trelChromaArray& GetAmbientColors() { return ambientColors.Write(); }
    const trelChromaArray& GetAmbientColors() const { return ambientColors.Read(); }
    void SetAmbientColors(const trelChromaArray& value) { ambientColors.Assign(value); }
    trelChromaArray& GetDiffuseColors() { return diffuseColors.Write(); }
    const trelChromaArray& GetDiffuseColors() const { return diffuseColors.Read(); }
    void SetDiffuseColors(const trelChromaArray& value) { diffuseColors.Assign(value); }
    trelChromaArray& GetSpecularColors() { return specularColors.Write(); }
    const trelChromaArray& GetSpecularColors() const { return specularColors.Read(); }
    void SetSpecularColors(const trelChromaArray& value) { specularColors.Assign(value); }
    trelChromaArray& GetEmissiveColors() { return emissiveColors.Write(); }
    const trelChromaArray& GetEmissiveColors() const { return emissiveColors.Read(); }
    void SetEmissiveColors(const trelChromaArray& value) { emissiveColors.Assign(value); }
    trelDoubleArray& GetShininess() { return shininess.Write(); }
    const trelDoubleArray& GetShininess() const { return shininess.Read(); }
    void SetShininess(const trelDoubleArray& value) { shininess.Assign(value); }
    trelDoubleArray& GetTransparency() { return transparency.Write(); }
    const trelDoubleArray& GetTransparency() const { return transparency.Read(); }
    void SetTransparency(const trelDoubleArray& value) { transparency.Assign(value); }
    // The lists of a Material node, shared rather than copied.
    void SetMaterialLists(const CVRMLMaterialLists& lists);
    int GetNormalBinding() const { return normalBinding; }
    void SetNormalBinding(int value) { normalBinding = value; }
    // The texture of the shape being read and its coordinate transform: every
    // object built at this level carries them (see AttachTexture).
    const std::shared_ptr<const trelTexture>& GetTexture() const { return texture; }
    void SetTexture(std::shared_ptr<const trelTexture> value) { texture = std::move(value); }
    const trelTexMatrix& GetTexMatrix() const { return texMatrix; }
    void SetTexMatrix(const trelTexMatrix& value) { texMatrix = value; }
    // Gives the object this level's texture, in a copy of the attribute
    // block it has or in a block of its own. Nothing happens without a
    // texture, nor to a block that already carries this level's texture.
    void AttachTexture(trelBaseObject& object) const;
    // The block with this level's texture in it, copied once for the many
    // objects that share it (the dots of a point set, the lines of a line
    // set), so that AttachTexture need not copy it for each of them.
    std::shared_ptr<const trelAttributes> WithTexture(std::shared_ptr<const trelAttributes> block) const;
    // What Color, Normal, TextureCoordinate and ShapeHints nodes said for the
    // geometry that follows (colours, normals, texture coordinates, crease
    // angle, winding), kept apart from the materials and normals above, which
    // the default results use; null when no such node was read.
    const std::shared_ptr<const trelAttributes>& GetFileAttributes() const { return fileAttributes; }
    void SetFileAttributes(std::shared_ptr<const trelAttributes> value) { fileAttributes = std::move(value); }
    CVRMLDictionaryEntry* GetDictionaryEntry() const { return dictionaryEntry; }
    void SetDictionaryEntry(CVRMLDictionaryEntry* value) { dictionaryEntry = value; }

    void ResetMaterial();
    void ClearCoordinates() { coordinates.Clear(); }
    void ClearMaterialIndex() { materialIndex.Clear(); }

    // Matrix operations: the new transformation acts on a point before
    // everything already accumulated (matrix := m * matrix).
    void ApplyMatrix(const trelMatrix4x4& m);
    void ApplyTranslation(const trelFloatPoint& t);
    void ApplyScale(const trelFloatPoint& s);
    void ApplyRotation(const trelMatrix4x4& r);
    void TransformPoints(trelFloatPointArray& points) const;

    // Merged index lists hold, for each run, its size and then its indices.
    // Calls visit(run, first, count) for each run, numbered from 0, with the
    // position of its first index and its size. The list is not trusted: a
    // negative size leaves no way to find the next run and ends the walk, and
    // a size running past the end is cut to the entries left.
    template <class Visit>
    static void ForEachRun(const trelIntArray& merged, Visit visit) {
        const int size = merged.GetSize();
        int position = 0;
        for (int run = 0; position < size; ++run) {
            const int count = merged[position];
            const int first = position + 1;
            if (count < 0)
                return;
            const int available = count < size - first ? count : size - first;
            visit(run, first, available);
            position = first + available;
        }
    }
    // Keeps only the points that `merged` names, in their order, and renumbers
    // `merged` to match. Returns 1 when it changed anything.
    static int CompactPoints(trelFloatPointArray& points, trelIntArray& merged);
    // The same, leaving `points` alone: fills `kept` and returns 1 when some
    // point is unused, else returns 0 and changes nothing.
    static int CompactInto(const trelFloatPointArray& points, trelFloatPointArray& kept, trelIntArray& merged);

    // Material resolution into the properties that travel with an object.
    trelMatProps ResolveMatProps(int index) const;
    static trelMatProps MakeColorMatProps(const trelChroma& color);
    static trelChroma& ApplyTransparency(double transparency, trelChroma& color);

    // Hand an object to this level's group with its resolved material:
    // index 0, a part index, or one face of an indexed set.
    int InsertObject(trelBaseObject* object);
    int InsertObject(trelBaseObject* object, int index);
    int InsertObject(trelBaseObject* object, int face, int first, int count);

private:
    int AddToGroup(trelBaseObject* object, const trelMatProps& props);

    trelBaseGroup* group = nullptr;
    int ownsGroup = 0;
    trelMatrix4x4 matrix;
    CVRMLSharedList<trelFloatPointArray> coordinates;
    CVRMLSharedList<trelVectorArray> normals;
    trelIntArray materialIndex;
    int materialBinding = 0;
    CVRMLSharedList<trelChromaArray> ambientColors;
    CVRMLSharedList<trelChromaArray> diffuseColors;
    CVRMLSharedList<trelChromaArray> specularColors;
    CVRMLSharedList<trelChromaArray> emissiveColors;
    CVRMLSharedList<trelDoubleArray> shininess;
    CVRMLSharedList<trelDoubleArray> transparency;
    int normalBinding = 0;
    std::shared_ptr<const trelTexture> texture;
    trelTexMatrix texMatrix;
    std::shared_ptr<const trelAttributes> fileAttributes;
    CVRMLDictionaryEntry* dictionaryEntry = nullptr;
    int restores = RestoresAll;
    CVRMLFontStyle fontStyle;
};
