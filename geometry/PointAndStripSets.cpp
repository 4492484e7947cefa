#include "AttributeScope.h"
#include "FieldNodeReader.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <new>
#include <utility>

// Like the indexed sets, a point set keeps its own DEF name across the nodes
// of its coord and color fields: the nested names never reach its dots or
// its entry, and DEF P PointSet { coord ... } can be used again.
int CVRMLParser::ParsePointSet() {
    if (!CurrentSeparator)
        return 0;
    CVRMLFieldNodeReader fieldNodes(*this);
    double startIndex = 0.0, numPoints = -1.0;
    bool coordGiven = false;
    const std::shared_ptr<const trelAttributes> levelAttributes = CurrentSeparator->GetFileAttributes();
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_POINTSET});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        bool advance = true;
        switch (GetCurrentTokenType()) {
        case VRML_STARTINDEX:
            Tokenize();
            if (GetCurrentTokenType() == VRML_NUMBER)
                startIndex = GetCurrentTokenNumericValue();
            break;
        case VRML_NUMPOINTS:
            Tokenize();
            if (GetCurrentTokenType() == VRML_NUMBER)
                numPoints = GetCurrentTokenNumericValue();
            break;
        case VRML_COORD:
        case VRML_COLOR:
            coordGiven = coordGiven || GetCurrentTokenType() == VRML_COORD;
            Tokenize();
            fieldNodes.Read();
            advance = false; // the block loop has stepped past the node
            break;
        case VRML_OPEN_BRACE:
            // The value of a field this loader does not know: its closing
            // brace must not be taken for the point set's.
            SkipBlock(0);
            break;
        default: break;
        }
        if (advance && !Tokenize())
            break;
    }
    if (!CurrentSeparator)
        return 0;
    // Without a count, all points from startIndex on. With no points at all
    // that is -1 ("all"), not 0: an empty point set is no malformed one (only
    // a count of 0 written in the file fails), and a USE under coordinates
    // draws them all.
    const int available = std::as_const(*CurrentSeparator).GetCoordinates().GetSize();
    if (numPoints < 0.0)
        numPoints = available > 0 ? available : -1;
    // Colour i goes with point i: those of a Color node (VRML 2.0), or the
    // diffuse colours when a VRML 1.0 binding gives each point its own.
    std::shared_ptr<const trelAttributes> block;
    const trelAttributes* state = CurrentSeparator->GetFileAttributes().get();
    const int binding = CurrentSeparator->GetMaterialBinding();
    const bool ownMaterials = GetVersion() == VRML_VERSION_1 && binding >= VRML_BINDING_PER_PART &&
                              binding <= VRML_BINDING_PER_VERTEX_INDEXED;
    if ((state && state->HasColors()) || ownMaterials) {
        auto colored = std::make_shared<trelAttributes>();
        colored->colors =
            state && state->HasColors() ? state->colors : std::as_const(*CurrentSeparator).GetDiffuseColors();
        if (colored->HasColors())
            block = std::move(colored);
    }
    CurrentSeparator->SetFileAttributes(levelAttributes);
    GeometryHasOwnCoordinates = coordGiven ? 1 : 0;
    CVRMLGeometryAttributesScope attributes(*this, std::move(block));
    int result = DefinePointSet(ToIndex(startIndex), ToIndex(numPoints));
    GeometryHasOwnCoordinates = 0;
    return result;
}

// Counts from the file are clamped to the coordinate list: a point set never
// makes more dots than there are points, whatever numPoints says.
int CVRMLParser::DefinePointSet(int startIndex, int numPoints) {
    if (!CurrentSeparator)
        return 0;
    if (numPoints == 0 || numPoints < -1)
        return 0;
    const trelFloatPointArray& coordinates = std::as_const(*CurrentSeparator).GetCoordinates();
    const int n = coordinates.GetSize();
    int last = -1;
    // A point without a colour of its own drops the colours of all.
    std::shared_ptr<const trelAttributes> block = GeometryAttributes;
    if (n > 0) {
        startIndex = std::clamp(startIndex, 0, n - 1);
        // In 64 bits: startIndex + numPoints may pass the range of int.
        const long long wanted = numPoints == -1 ? n : static_cast<long long>(numPoints);
        last = static_cast<int>(std::min<long long>(static_cast<long long>(startIndex) + wanted - 1, n - 1));
        if (block && block->colors.GetSize() <= last)
            block = nullptr;
        const std::shared_ptr<const trelAttributes> dotBlock = CurrentSeparator->WithTexture(block);
        const trelMatrix4x4 matrix = CurrentSeparator->GetMatrix();
        for (int i = startIndex; i <= last; ++i) {
            trelDot* dot = new (std::nothrow) trelDot;
            if (!dot)
                continue;
            // The list is read afresh: adding an object never changes it, but
            // the reference is not kept across the add either.
            dot->SetDot(std::as_const(*CurrentSeparator).GetCoordinates()[i]);
            dot->SetAttributes(dotBlock, i);
            dot->ApplyMatrixToGeometry(matrix, trelBool(true));
            AddObjectToSeparator(dot);
        }
        numPoints = last - startIndex + 1;
    }

    if (GetDefiningObjects()) {
        if (GeometryHasOwnCoordinates && !EntityName.empty() && n > 0) {
            // Only the points the set drew travel with it (see
            // RecordWithOwnCoordinates): the replay draws all of them.
            trelFloatPointArray drawn(numPoints);
            for (int i = 0; i < numPoints; ++i)
                drawn[i] = std::as_const(*CurrentSeparator).GetCoordinates()[startIndex + i];
            if (auto* entry = new (std::nothrow) CVRMLPointSetEntry) {
                entry->SetStartIndex(0);
                entry->SetNumPoints(numPoints);
                // Renumbered like the points: colour 0 for the first drawn.
                if (block) {
                    auto drawnColors = std::make_shared<trelAttributes>(*block);
                    drawnColors->colors.Items().assign(block->colors.Items().begin() + startIndex,
                                                       block->colors.Items().begin() + startIndex + numPoints);
                    entry->SetAttributes(std::move(drawnColors));
                }
                RecordWithOwnCoordinates(drawn, entry);
            }
        } else {
            RecordEntry<CVRMLPointSetEntry>(*this, [&](auto& e) {
                e.SetStartIndex(startIndex);
                e.SetNumPoints(numPoints);
                e.SetAttributes(GeometryAttributes);
            });
        }
    }
    return 1;
}

// The strip set, too, keeps its own DEF name across its fields, so that
// DEF T TriangleStripSet { ... } can be used again. Besides numVertices it
// reads the nodes of its coord, normal and color fields, which would
// otherwise be walked token by token and end the node at their own brace.
int CVRMLParser::ParseTriangleStripSet() {
    if (!CurrentSeparator)
        return 0;
    CVRMLFieldNodeReader fieldNodes(*this);
    int result = 0;
    bool coordGiven = false;
    trelIntArray numVertices;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_TRIANGLESTRIPSET});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        bool advance = true;
        switch (GetCurrentTokenType()) {
        case VRML_NUMVERTICES: {
            Tokenize();
            std::vector<int> lengths, runs;
            result = ParseIndexArray(lengths, runs);
            numVertices.Resize(static_cast<int>(lengths.size()));
            for (size_t i = 0; i < lengths.size(); ++i)
                numVertices[static_cast<int>(i)] = lengths[i];
            advance = false; // the reader stopped on the first token after the lengths
            break;
        }
        case VRML_COORD:
        case VRML_NORMAL:
        case VRML_COLOR:
            coordGiven = coordGiven || GetCurrentTokenType() == VRML_COORD;
            Tokenize();
            fieldNodes.Read();
            advance = false;
            break;
        case VRML_OPEN_BRACE: SkipBlock(0); break;
        default: break;
        }
        if (GetCurrentTokenType() == VRML_END_OF_INPUT || (advance && !Tokenize()))
            break;
    }
    if (numVertices.GetSize() > 0) {
        GeometryHasOwnCoordinates = coordGiven ? 1 : 0;
        result = DefineTriangleStripSet(numVertices);
        GeometryHasOwnCoordinates = 0;
    }
    return result;
}

int CVRMLParser::DefineTriangleStripSet(trelIntArray& numVertices) {
    if (!CurrentSeparator || numVertices.GetSize() == 0)
        return 0;
    CVRMLSeparator& level = *CurrentSeparator;
    const trelFloatPointArray& coordinates = std::as_const(level).GetCoordinates();
    if (coordinates.GetSize() > 0) {
        if (auto* strips = new (std::nothrow) C3DMultipleTriangleStrip) {
            strips->SetStrips(coordinates, std::as_const(level).GetNormals(), numVertices);
            strips->ApplyMatrixToGeometry(level.GetMatrix(), trelBool(true));
            AddObjectToSeparator(strips);
        }
    }
    if (GetDefiningObjects()) {
        if (GeometryHasOwnCoordinates && !EntityName.empty()) {
            if (auto* entry = new (std::nothrow) CVRMLTriangleStripSetEntry) {
                entry->SetNumVertices(numVertices);
                RecordWithOwnCoordinates(coordinates, entry);
            }
        } else {
            RecordEntry<CVRMLTriangleStripSetEntry>(*this, [&](auto& e) { e.SetNumVertices(numVertices); });
        }
    }
    return 1;
}
