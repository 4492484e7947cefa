#include "AttributeBlocks.h"
#include "AttributeScope.h"
#include "FieldNodeReader.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <cmath>
#include <new>
#include <utility>

namespace {
// The points of one run, in order, into `run` (whose storage is reused from
// run to run: a face set makes one object per face). An index that names no
// point of the list is passed over: the rest of its face or line is kept, as
// a viewer would draw it, and the run keeps its place in the merged list, so
// colours bound by position still find their vertices.
void RunPoints(const trelFloatPointArray& points, const trelIntArray& merged, int first, int count,
               trelFloatPointArray& run) {
    std::vector<trelFloatPoint>& items = run.Items();
    items.clear();
    for (int k = first; k < first + count; ++k)
        if (merged[k] >= 0 && merged[k] < points.GetSize())
            items.push_back(points[merged[k]]);
}
} // namespace

int CVRMLParser::ParseCoordinate3() {
    trelFloatPointArray points;
    AdvanceWhileKind({VRML_POINT, VRML_COORDINATE, VRML_OPEN_BRACE});
    int result = ParsePointArray(points) ? DefineCoordinate3(points) : 0;
    // A single point leaves its last number current, a list the token after
    // its "]": either way the node ends at its brace.
    AdvanceToClosingBrace();
    return result;
}

int CVRMLParser::DefineCoordinate3(trelFloatPointArray& points) {
    if (!CurrentSeparator)
        return 0;
    if (&points != &std::as_const(*CurrentSeparator).GetCoordinates()) { // clearing first would empty the operand too
        CurrentSeparator->ClearCoordinates();
        CurrentSeparator->SetCoordinates(points);
    }
    // A number too large for a float became infinite when it was read; every
    // placement would turn it into NaN. Like any malformed value it keeps the
    // default, 0, so the point stays usable and the world stays finite.
    for (trelFloatPoint& p : CurrentSeparator->GetCoordinates().Items())
        for (float* c : {&p.x, &p.y, &p.z})
            if (!std::isfinite(*c))
                *c = 0.0f;
    RecordEntry<CVRMLCoordinate3Entry>(*this, [&](auto& e) { e.SetPoints(CurrentSeparator->ShareCoordinates()); });
    return 1;
}

int CVRMLParser::DefineCoordinate3(std::shared_ptr<const trelFloatPointArray> points) {
    if (!CurrentSeparator)
        return 0;
    // Recorded once its values were made finite: nothing left to mend.
    CurrentSeparator->AdoptCoordinates(std::move(points));
    RecordEntry<CVRMLCoordinate3Entry>(*this, [&](auto& e) { e.SetPoints(CurrentSeparator->ShareCoordinates()); });
    return 1;
}

// Sized from the lists actually read, never from the run sizes alone: a
// count larger than the indices left gets only the slots the list has.
int CVRMLParser::MergeIndexLists(trelIntArray& merged, std::vector<int>& indices, std::vector<int>& counts) {
    const size_t runs = counts.empty() ? 1 : counts.size();
    merged.Resize(static_cast<int>(indices.size() + runs));
    const size_t slots = static_cast<size_t>(merged.GetSize());
    size_t out = 0, in = 0;
    auto append = [&](int value) {
        if (out < slots)
            merged[static_cast<int>(out++)] = value;
    };
    if (counts.empty()) {
        append(static_cast<int>(indices.size()));
        for (int index : indices)
            append(index);
    } else {
        for (int count : counts) {
            append(count);
            for (int k = 0; k < count && in < indices.size() && out < slots; ++k)
                append(indices[in++]);
        }
    }
    return merged.GetSize() > 0 ? 1 : 0;
}

int CVRMLParser::ParseIndexedSet() {
    if (!CurrentSeparator)
        return 0;
    const int faceSet = GetCurrentTokenType() == VRML_INDEXEDFACESET ? 1 : 0;
    CVRMLFieldNodeReader fieldNodes(*this);
    std::vector<int> indices, counts;
    trelIntArray coordMerged, materialMerged, normalMerged;
    trelChromaArray savedColors; // taken at the first color field: most sets have none
    bool colorGiven = false, coordGiven = false;
    CVRMLAttributeFields fields;
    // The nodes of the set's own fields change the level's file attributes
    // for this set only.
    const std::shared_ptr<const trelAttributes> levelAttributes = CurrentSeparator->GetFileAttributes();
    CurrentSeparator->ClearMaterialIndex();
    CurrentSeparator->ClearCoordIndex();

    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_INDEXEDFACESET, VRML_INDEXEDLINESET});
    int result = 0;
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        switch (GetCurrentTokenType()) {
        case VRML_COORDINDEX:
            Tokenize();
            result = ParseIndexArray(indices, counts);
            MergeIndexLists(coordMerged, indices, counts);
            break;
        case VRML_MATERIALINDEX:
            Tokenize();
            result = ParseIndexArray(indices, counts);
            MergeIndexLists(materialMerged, indices, counts);
            break;
        case VRML_NORMALINDEX:
            Tokenize();
            ReadAttributeIndexField(fields.normalIndex);
            result = 1;
            break;
        case VRML_TEXTURECOORDINDEX:
            // textureCoordIndex (VRML 1.0) is an index list, texCoord a node.
            if (ReadAttributeField(fields)) {
                result = 1;
                break;
            }
            Tokenize();
            result = fieldNodes.Read();
            break;
        case VRML_WORD:
            if (!ReadAttributeField(fields))
                Tokenize();
            break;
        case VRML_COORD: coordGiven = true; [[fallthrough]];
        case VRML_NORMAL:
            Tokenize();
            result = fieldNodes.Read();
            break;
        case VRML_COLOR:
            if (!colorGiven && CurrentSeparator)
                savedColors = std::as_const(*CurrentSeparator).GetDiffuseColors();
            colorGiven = true;
            Tokenize();
            result = fieldNodes.Read();
            break;
        case VRML_OPEN_BRACE:
            // The value of a field this loader does not know: its closing
            // brace must not be taken for the set's.
            SkipBlock(1);
            break;
        default: Tokenize(); break;
        }
        indices.clear();
        counts.clear();
    }

    if (result) {
        GeometryHasOwnCoordinates = coordGiven ? 1 : 0;
        CVRMLGeometryAttributesScope attributes(*this,
                                                BuildSetAttributes(faceSet, fields, coordMerged, materialMerged));
        result = DefineIndexedSet(faceSet, coordMerged, materialMerged, normalMerged);
        GeometryHasOwnCoordinates = 0;
    }
    if (CurrentSeparator) {
        CurrentSeparator->SetFileAttributes(levelAttributes);
        CurrentSeparator->ClearMaterialIndex();
        CurrentSeparator->ClearCoordIndex();
        if (colorGiven)
            CurrentSeparator->SetDiffuseColors(savedColors);
    }
    return result;
}

namespace {
// How a VRML 1.0 binding lays values on the faces or vertices of a set;
// false for the bindings that give the set one value (or one per part).
bool SetBinding(int binding, CVRMLValueBinding& out) {
    switch (binding) {
    case VRML_BINDING_PER_FACE: out = {false, false, false}; return true;
    case VRML_BINDING_PER_FACE_INDEXED: out = {false, true, false}; return true;
    case VRML_BINDING_PER_VERTEX: out = {true, false, false}; return true;
    case VRML_BINDING_PER_VERTEX_INDEXED: out = {true, true, false}; return true;
    default: return false;
    }
}

// Normals of a VRML 1.0 face set: by default per vertex through normalIndex
// (or the coordinate indices); a part of a face set is a face.
CVRMLValueBinding NormalBinding(int binding) {
    CVRMLValueBinding out;
    if (binding == VRML_BINDING_PER_PART)
        binding = VRML_BINDING_PER_FACE;
    else if (binding == VRML_BINDING_PER_PART_INDEXED)
        binding = VRML_BINDING_PER_FACE_INDEXED;
    if (binding == VRML_BINDING_OVERALL)
        out.overall = true;
    else if (!SetBinding(binding, out))
        out = CVRMLValueBinding();
    return out;
}

// The block as an object placed by `matrix` holds it (normals carried into
// world space), placed by a dot that exists for no other purpose.
std::shared_ptr<const trelAttributes> PlacedOnce(std::shared_ptr<const trelAttributes> block,
                                                 const trelMatrix4x4& matrix) {
    if (!block || !block->HasNormals())
        return block;
    trelDot carrier;
    carrier.SetAttributes(std::move(block));
    carrier.ApplyMatrixToGeometry(matrix, trelBool(true));
    return carrier.GetSharedAttributes();
}
} // namespace

// Colours come from a Color node in the set's color field (VRML 2.0) or,
// in VRML 1.0, from the material's diffuse colours under a per-face or
// per-vertex binding. Normals and texture coordinates are those in force;
// the set's own fields say how they bind.
std::shared_ptr<const trelAttributes> CVRMLParser::BuildSetAttributes(int faceSet, const CVRMLAttributeFields& fields,
                                                                      const trelIntArray& coordIndex,
                                                                      const trelIntArray& materialIndex) {
    using namespace VRMLAttributeBlocks;
    if (!CurrentSeparator)
        return nullptr;
    const CVRMLSeparator& level = *CurrentSeparator;
    const trelAttributes* state = level.GetFileAttributes().get();
    const bool version2 = GetVersion() == VRML_VERSION_2;
    const int pointCount = level.GetCoordinates().GetSize();
    trelAttributes block;
    if (state) {
        block.creaseAngle = state->creaseAngle;
        block.ccw = state->ccw;
    }
    if (fields.creaseAngleGiven)
        block.creaseAngle = fields.creaseAngle;
    if (fields.ccwGiven)
        block.ccw = fields.ccw;

    CVRMLValueBinding binding;
    if (state && state->HasColors()) {
        binding.perVertex = fields.colorPerVertex;
        if (BindSetValues(state->colors.GetSize(), binding, fields.colorIndex, coordIndex, pointCount,
                          block.colorIndex))
            block.colors = state->colors;
    } else if (!version2 && SetBinding(level.GetMaterialBinding(), binding)) {
        const trelChromaArray& diffuse = level.GetDiffuseColors();
        if (BindSetValues(diffuse.GetSize(), binding, materialIndex, coordIndex, pointCount, block.colorIndex))
            block.colors = diffuse;
    }
    block.colorPerVertex = binding.perVertex;

    if (faceSet && state && state->HasNormals()) {
        binding =
            version2 ? CVRMLValueBinding{fields.normalPerVertex, true, false} : NormalBinding(level.GetNormalBinding());
        if (BindSetValues(state->normals.GetSize(), binding, fields.normalIndex, coordIndex, pointCount,
                          block.normalIndex)) {
            block.normals = state->normals;
            block.normalPerVertex = binding.perVertex && !binding.overall;
        }
    }
    if (faceSet && state && state->HasTexCoords() &&
        BindSetValues(state->texCoords.GetSize(), CVRMLValueBinding(), fields.texCoordIndex, coordIndex, pointCount,
                      block.texCoordIndex))
        block.texCoords = state->texCoords;
    if (!SaysSomething(block))
        return nullptr;
    return std::make_shared<const trelAttributes>(std::move(block));
}

namespace {
bool OneMaterial(int binding) {
    return binding == VRML_BINDING_NONE || binding == VRML_BINDING_OVERALL || binding == VRML_BINDING_PER_PART;
}

// Whether the default texture coordinates replace the file's for a set here.
bool MapsTexture(const CVRMLSeparator& level, const trelAttributes* given) {
    return level.GetTexture() && !(given && given->HasTexCoords());
}
} // namespace

bool CVRMLParser::DefineSharedFaceSet(CVRMLSharedFaceSet& shared, int& result) {
    if (!CurrentSeparator || !shared.local)
        return false;
    CVRMLSeparator& level = *CurrentSeparator;
    // The same list in force (not merely equal values: the shared geometry
    // holds it, so its address is its identity), the same texture mapping,
    // one material: then the build below gives exactly what a fresh build
    // of the set would. The level's index lists a fresh build sets are read
    // by nothing a one-material face set does.
    if (&std::as_const(level).GetCoordinates() != shared.coordinates.get() ||
        MapsTexture(level, GeometryAttributes.get()) != shared.mappedTexture ||
        !OneMaterial(level.GetMaterialBinding()))
        return false;
    result = 0;
    if (C3DPolyface* polyface = new (std::nothrow) C3DPolyface) {
        polyface->SetSharedGeometry(shared.local);
        polyface->ApplyMatrixToGeometry(level.GetMatrix(), trelBool(true), 1);
        result = AddObjectToSeparator(polyface);
    }
    return true;
}

int CVRMLParser::DefineIndexedSet(int faceSet, trelIntArray& coordIndex, trelIntArray& materialIndex,
                                  trelIntArray& normalIndex, CVRMLSharedFaceSet* shared) {
    if (!CurrentSeparator)
        return 0;
    CVRMLSeparator& level = *CurrentSeparator;
    // The entry keeps the indices as the file gave them, into the coordinate
    // list in force: compacting renumbers them for this set's own copy of
    // the points only, and a USE that finds the same list must find the same
    // points in it.
    const bool recording = GetDefiningObjects() != 0;
    const trelIntArray fileIndices = recording ? coordIndex : trelIntArray();
    // The points the set uses: a compacted copy when it uses only some of
    // the level's list, else that list itself (the object takes a copy).
    trelFloatPointArray compacted;
    const trelFloatPointArray& points =
        CVRMLSeparator::CompactInto(std::as_const(level).GetCoordinates(), compacted, coordIndex)
            ? compacted
            : std::as_const(level).GetCoordinates();
    level.SetCoordIndex(coordIndex);
    level.SetMaterialIndex(materialIndex);
    level.SetNormalIndex(normalIndex);

    // What the file said, and what the objects get: with a texture and no
    // coordinates of the file's, the default mapping of the set's box.
    const std::shared_ptr<const trelAttributes> given = GeometryAttributes;
    std::shared_ptr<const trelAttributes> block = given;
    const bool mapped = faceSet && MapsTexture(level, block.get());
    if (mapped) {
        auto mapping = block ? std::make_shared<trelAttributes>(*block) : std::make_shared<trelAttributes>();
        VRMLAttributeBlocks::DefaultSetTexCoords(points, coordIndex, mapping->texCoords);
        mapping->texCoordIndex.Clear();
        block = std::move(mapping);
    }

    const trelMatrix4x4 matrix = level.GetMatrix();
    const bool oneMaterial = OneMaterial(level.GetMaterialBinding());
    // A set defined (or used again) under a name keeps its geometry once for
    // all its uses; the set itself is the first of them.
    CVRMLSharedFaceSet sharing;
    int result = 0;
    if (oneMaterial && faceSet) {
        if (C3DPolyface* polyface = new (std::nothrow) C3DPolyface) {
            if (recording || shared) {
                auto local = std::make_shared<C3DPolyface>();
                local->SetPoints(points, coordIndex);
                local->SetAttributes(block);
                sharing = {level.ShareCoordinates(), mapped, local};
                polyface->SetSharedGeometry(std::move(local));
            } else {
                polyface->SetPoints(points, coordIndex);
                polyface->SetAttributes(block);
            }
            polyface->ApplyMatrixToGeometry(matrix, trelBool(true), 1);
            result = AddObjectToSeparator(polyface);
        }
    } else {
        trelFloatPointArray runPoints;
        std::vector<int> offsets;
        // Placed once for all runs and handed to each after its placement:
        // every object that placed a shared block with normals would copy it.
        const std::shared_ptr<const trelAttributes> runBlock = PlacedOnce(
            level.WithTexture(block ? VRMLAttributeBlocks::BlockForRuns(*block, coordIndex, points.GetSize(), offsets)
                                    : nullptr),
            matrix);
        CVRMLSeparator::ForEachRun(coordIndex, [&](int run, int first, int count) {
            // A run without a point to draw makes no object.
            RunPoints(points, coordIndex, first, count, runPoints);
            if (runPoints.GetSize() == 0)
                return;
            C3DPolyline* object = faceSet ? new (std::nothrow) C3DPolygon : new (std::nothrow) C3DPolyline;
            if (!object)
                return;
            object->SetPolyline(runPoints, faceSet);
            object->ApplyMatrixToGeometry(matrix, trelBool(true));
            if (runBlock)
                object->SetAttributes(runBlock, offsets[static_cast<size_t>(run)]);
            int added = oneMaterial ? AddObjectToSeparator(object) : AddObjectToSeparator(object, run, first, count);
            if (added)
                result = added;
        });
    }
    if (shared && sharing.local)
        *shared = std::move(sharing);

    if (result && recording) {
        if (GeometryHasOwnCoordinates && !EntityName.empty()) {
            auto ownPoints = std::make_shared<const trelFloatPointArray>(points);
            if (auto* entry = new (std::nothrow) CVRMLIndexedSetEntry) {
                entry->SetCoordIndex(coordIndex);
                entry->SetMaterialIndex(materialIndex);
                entry->SetNormalIndex(normalIndex);
                entry->SetFaceSet(faceSet);
                entry->SetAttributes(given);
                // Replayed, the set finds the entry's own list in force and
                // indices into it already compacted: the same geometry.
                if (sharing.local)
                    entry->SetShared({ownPoints, mapped, sharing.local});
                RecordWithOwnCoordinates(std::move(ownPoints), entry);
            }
        } else {
            RecordEntry<CVRMLIndexedSetEntry>(*this, [&](auto& e) {
                e.SetCoordIndex(fileIndices);
                e.SetMaterialIndex(materialIndex);
                e.SetNormalIndex(normalIndex);
                e.SetFaceSet(faceSet);
                e.SetAttributes(given);
                e.SetShared(sharing);
            });
        }
    }
    return result;
}

// A set, point set or strip set that brought its own coordinates in a coord
// field, and carries a DEF name of its own, is recorded as a named separator
// holding a coordinate entry and the node's entry. The node's entry alone
// holds only indices or counts, which a USE would apply to whatever
// coordinates are in force where it stands (in VRML 2.0 usually none, since
// the coordinates ended with the node's Shape). Replayed, the separator opens
// a level named like the node (the group a Shape gives a named geometry),
// sets the node's coordinates there, builds the node and closes the level, so
// the coordinates do not outlive the USE. The colours of a color field are
// not carried into the materials: a USE takes the material colours in force
// where it stands, and its attribute block from the node's entry.
void CVRMLParser::RecordWithOwnCoordinates(const trelFloatPointArray& points, CVRMLDictionaryEntry* geometryEntry) {
    std::shared_ptr<const trelFloatPointArray> list;
    try {
        list = std::make_shared<const trelFloatPointArray>(points);
    } catch (const std::bad_alloc&) { // nothing recorded, as when an entry cannot be made
        delete geometryEntry;
        return;
    }
    RecordWithOwnCoordinates(std::move(list), geometryEntry);
}

void CVRMLParser::RecordWithOwnCoordinates(std::shared_ptr<const trelFloatPointArray> points,
                                           CVRMLDictionaryEntry* geometryEntry) {
    auto* wrapper = new (std::nothrow) CVRMLSeparatorEntry;
    auto* coordinates = new (std::nothrow) CVRMLCoordinate3Entry;
    if (!wrapper || !coordinates || !CurrentSeparator) {
        delete wrapper;
        delete coordinates;
        delete geometryEntry;
        return;
    }
    wrapper->SetName(EntityName);
    coordinates->SetPoints(std::move(points));
    if (!AddDictionaryObject(wrapper)) { // the dictionary has disposed of it
        delete coordinates;
        delete geometryEntry;
        return;
    }
    CVRMLDictionaryEntry* levelRecording = CurrentSeparator->GetDictionaryEntry();
    CurrentSeparator->SetDictionaryEntry(wrapper);
    AddDictionaryObject(coordinates);
    AddDictionaryObject(geometryEntry);
    CurrentSeparator->SetDictionaryEntry(levelRecording);
}
