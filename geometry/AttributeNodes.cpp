#include "AttributeBlocks.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <cctype>
#include <cmath>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace {
// Field names are matched ignoring letter case, as the keyword table is.
bool SameWord(std::string_view text, std::string_view word) {
    if (text.size() != word.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

// Steps to the node's closing brace, over the nested blocks a malformed
// field may hold: their braces must not be taken for the node's.
void AdvanceToNodeEnd(CVRMLParser& parser) {
    while (parser.GetCurrentTokenType() != VRML_CLOSE_BRACE && parser.GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (parser.GetCurrentTokenType() == VRML_OPEN_BRACE)
            parser.SkipBlock(0);
        if (!parser.Tokenize())
            break;
    }
}
} // namespace

trelAttributes CVRMLParser::EditFileAttributes() const {
    const trelAttributes* state = CurrentSeparator ? CurrentSeparator->GetFileAttributes().get() : nullptr;
    return state ? *state : trelAttributes();
}

// A Color node's colours also become the level's diffuse colours (see
// ParseColor3): what the default results use. This keeps them for the
// attribute blocks; a USE of the node gives them again, and only them.
int CVRMLParser::DefineColor(trelChromaArray& colors) {
    if (!CurrentSeparator)
        return 0;
    trelAttributes state = EditFileAttributes();
    state.colors = colors;
    CurrentSeparator->SetFileAttributes(std::make_shared<const trelAttributes>(std::move(state)));
    RecordEntry<CVRMLColorEntry>(*this, [&](auto& e) { e.SetColors(colors); });
    return 1;
}

// The vectors of a Normal node serve the attribute blocks only: the level's
// own normals list (used by triangle strip sets) stays as it was.
int CVRMLParser::ParseNormal() {
    AdvanceWhileKind({VRML_NORMAL});
    if (GetCurrentTokenType() != VRML_OPEN_BRACE) {
        SkipBlock(0); // passed over as before
        return 1;
    }
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_VECTOR});
    trelFloatPointArray points;
    int result = 1;
    if (ParsePointArray(points)) {
        trelVectorArray vectors(points.GetSize());
        for (int i = 0; i < points.GetSize(); ++i)
            vectors[i] = trelVector(points[i].x, points[i].y, points[i].z);
        result = DefineNormal(vectors);
    }
    AdvanceToNodeEnd(*this);
    return result;
}

int CVRMLParser::DefineNormal(trelVectorArray& vectors) {
    if (!CurrentSeparator)
        return 0;
    trelAttributes state = EditFileAttributes();
    state.normals = vectors;
    CurrentSeparator->SetFileAttributes(std::make_shared<const trelAttributes>(std::move(state)));
    RecordEntry<CVRMLNormalEntry>(*this, [&](auto& e) { e.SetVectors(vectors); });
    return 1;
}

// TextureCoordinate (VRML 2.0) and TextureCoordinate2 (VRML 1.0): pairs of
// numbers; an odd one left over is dropped.
int CVRMLParser::ParseTextureCoordinate() {
    AdvanceWhileKind({VRML_TEXTURECOORDINATE});
    if (GetCurrentTokenType() != VRML_OPEN_BRACE) {
        SkipBlock(0); // passed over as before
        return 1;
    }
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_POINT});
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
        Tokenize();
    std::vector<double> numbers;
    while (GetCurrentTokenType() == VRML_NUMBER) {
        numbers.push_back(GetCurrentTokenNumericValue());
        if (!Tokenize())
            break;
    }
    int result = 1;
    if (numbers.size() >= 2) {
        trelTexCoordArray points(static_cast<int>(numbers.size() / 2));
        for (int i = 0; i < points.GetSize(); ++i)
            points[i] = trelTexCoord(static_cast<float>(numbers[2 * static_cast<size_t>(i)]),
                                     static_cast<float>(numbers[2 * static_cast<size_t>(i) + 1]));
        result = DefineTextureCoordinate(points);
    }
    AdvanceToNodeEnd(*this);
    return result;
}

int CVRMLParser::DefineTextureCoordinate(trelTexCoordArray& points) {
    if (!CurrentSeparator)
        return 0;
    trelAttributes state = EditFileAttributes();
    state.texCoords = points;
    CurrentSeparator->SetFileAttributes(std::make_shared<const trelAttributes>(std::move(state)));
    RecordEntry<CVRMLTextureCoordinateEntry>(*this, [&](auto& e) { e.SetPoints(points); });
    return 1;
}

// VRML 1.0 ShapeHints: a crease angle (0.5 when the node omits it, as the
// field's default says) and the winding for the sets that follow.
int CVRMLParser::ParseShapeHints() {
    AdvanceWhileKind({VRML_SHAPEHINTS});
    if (GetCurrentTokenType() != VRML_OPEN_BRACE) {
        SkipBlock(0); // passed over as before
        return 1;
    }
    constexpr double DefaultCreaseAngle = 0.5;
    double creaseAngle = DefaultCreaseAngle;
    int ccw = 1;
    Tokenize();
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        const std::string_view word = IOManager.GetCurrentTokenText();
        if (GetCurrentTokenType() == VRML_OPEN_BRACE) {
            SkipBlock(0); // a malformed value: its closing brace is not the node's
        } else if (GetCurrentTokenType() == VRML_WORD && SameWord(word, "creaseAngle")) {
            Tokenize();
            if (GetCurrentTokenType() != VRML_NUMBER)
                continue; // no value: the token is looked at again
            creaseAngle = GetCurrentTokenNumericValue();
        } else if (GetCurrentTokenType() == VRML_WORD && SameWord(word, "vertexOrdering")) {
            Tokenize();
            if (GetCurrentTokenType() != VRML_WORD)
                continue;
            ccw = SameWord(IOManager.GetCurrentTokenText(), "CLOCKWISE") ? 0 : 1;
        }
        if (!Tokenize())
            break;
    }
    return DefineShapeHints(creaseAngle, ccw);
}

int CVRMLParser::DefineShapeHints(double creaseAngle, int ccw) {
    if (!CurrentSeparator)
        return 0;
    trelAttributes state = EditFileAttributes();
    state.creaseAngle = std::isfinite(creaseAngle) ? creaseAngle : 0.0;
    state.ccw = ccw != 0;
    CurrentSeparator->SetFileAttributes(std::make_shared<const trelAttributes>(std::move(state)));
    return 1;
}

bool CVRMLParser::ReadAttributeField(CVRMLAttributeFields& fields) {
    const std::string_view word = IOManager.GetCurrentTokenText();
    trelIntArray* list = nullptr;
    bool* flag = nullptr;
    bool* given = nullptr;
    if (SameWord(word, "colorIndex"))
        list = &fields.colorIndex;
    else if (SameWord(word, "texCoordIndex") || SameWord(word, "textureCoordIndex"))
        list = &fields.texCoordIndex;
    else if (SameWord(word, "colorPerVertex"))
        flag = &fields.colorPerVertex;
    else if (SameWord(word, "normalPerVertex"))
        flag = &fields.normalPerVertex;
    else if (SameWord(word, "ccw")) {
        flag = &fields.ccw;
        given = &fields.ccwGiven;
    } else if (!SameWord(word, "creaseAngle"))
        return false;
    Tokenize();
    if (list) {
        ReadAttributeIndexField(*list);
    } else if (flag) {
        if (GetCurrentTokenType() == VRML_BOOLEAN) {
            *flag = GetCurrentTokenBooleanValue() != 0;
            if (given)
                *given = true;
        }
    } else if (GetCurrentTokenType() == VRML_NUMBER && std::isfinite(GetCurrentTokenNumericValue())) {
        fields.creaseAngle = GetCurrentTokenNumericValue();
        fields.creaseAngleGiven = true;
    }
    return true;
}

// An empty list is no list: the set's coordinate indices or faces stand in.
void CVRMLParser::ReadAttributeIndexField(trelIntArray& merged) {
    std::vector<int> indices, counts;
    if (ParseIndexArray(indices, counts))
        MergeIndexLists(merged, indices, counts);
    else
        merged.Clear();
}
