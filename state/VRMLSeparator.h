#pragma once
// One level of the separator stack: the state a VRML 1.0 separator inherits
// (coordinates, normals, materials, bindings, the modelling matrix) and the
// group that receives the objects built at this level.

#include "host/geometry/Geometry.h"

class CVRMLDictionaryEntry;

class CVRMLSeparator {
public:
    CVRMLSeparator();
    CVRMLSeparator(const CVRMLSeparator&) = delete;
    ~CVRMLSeparator();
    // Inheritance: takes the whole state of the level below and borrows its
    // group. A group this level owned is destroyed first; dictionaryEntry stays.
    CVRMLSeparator& operator=(const CVRMLSeparator& source);

    trelBaseGroup* GetGroup() const { return group; }
    void SetGroup(trelBaseGroup* value) { group = value; }
    int GetOwnsGroup() const { return ownsGroup; }
    void SetOwnsGroup(int value) { ownsGroup = value; }
    trelMatrix4x4& GetMatrix() { return matrix; }
    void SetMatrix(const trelMatrix4x4& value) { matrix = value; }
    trelFloatPointArray& GetCoordinates() { return coordinates; }
    void SetCoordinates(const trelFloatPointArray& value) { coordinates = value; }
    trelVectorArray& GetNormals() { return normals; }
    void SetNormals(const trelVectorArray& value) { normals = value; }
    trelIntArray& GetCoordIndex() { return coordIndex; }
    void SetCoordIndex(const trelIntArray& value) { coordIndex = value; }
    trelIntArray& GetNormalIndex() { return normalIndex; }
    void SetNormalIndex(const trelIntArray& value) { normalIndex = value; }
    trelIntArray& GetMaterialIndex() { return materialIndex; }
    void SetMaterialIndex(const trelIntArray& value) { materialIndex = value; }
    int GetMaterialBinding() const { return materialBinding; }
    void SetMaterialBinding(int value) { materialBinding = value; }
    trelChromaArray& GetAmbientColors() { return ambientColors; }
    void SetAmbientColors(const trelChromaArray& value) { ambientColors = value; }
    trelChromaArray& GetDiffuseColors() { return diffuseColors; }
    void SetDiffuseColors(const trelChromaArray& value) { diffuseColors = value; }
    trelChromaArray& GetSpecularColors() { return specularColors; }
    void SetSpecularColors(const trelChromaArray& value) { specularColors = value; }
    trelChromaArray& GetEmissiveColors() { return emissiveColors; }
    void SetEmissiveColors(const trelChromaArray& value) { emissiveColors = value; }
    trelDoubleArray& GetShininess() { return shininess; }
    void SetShininess(const trelDoubleArray& value) { shininess = value; }
    trelDoubleArray& GetTransparency() { return transparency; }
    void SetTransparency(const trelDoubleArray& value) { transparency = value; }
    int GetNormalBinding() const { return normalBinding; }
    void SetNormalBinding(int value) { normalBinding = value; }
    CVRMLDictionaryEntry* GetDictionaryEntry() const { return dictionaryEntry; }
    void SetDictionaryEntry(CVRMLDictionaryEntry* value) { dictionaryEntry = value; }

    void ResetMaterial();
    void ClearCoordinates() { coordinates.Clear(); }
    void ClearCoordIndex() { coordIndex.Clear(); }
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
    trelFloatPointArray coordinates;
    trelVectorArray normals;
    trelIntArray coordIndex;
    trelIntArray normalIndex;
    trelIntArray materialIndex;
    int materialBinding = 0;
    trelChromaArray ambientColors;
    trelChromaArray diffuseColors;
    trelChromaArray specularColors;
    trelChromaArray emissiveColors;
    trelDoubleArray shininess;
    trelDoubleArray transparency;
    int normalBinding = 0;
    CVRMLDictionaryEntry* dictionaryEntry = nullptr;
};
