#include "VRMLParser.h"

#include "DepthGuard.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

// What the block loop does with the kind of the statement's first token.
enum class BlockAction {
    PassOver, // not a statement: the loop only steps over the token
    EndOfInput,
    StrayDef, // a DEF where the node keyword of a DEF was expected
    Use,
    SkipBraceBlock, // the brace block of a node that is not in the vocabulary
    CloseSeparator,
    NodeList,         // a top-level "[" list of nodes
    SeparatorOrGroup, // a separator in VRML 1.0, a grouping node in VRML 2.0
    Null,
    Node // a node read by its own Parse... operation
};

using NodeReader = int (CVRMLParser::*)();

struct BlockDispatchRow {
    VRMLTokenTypes kind;
    BlockAction action;
    NodeReader reader;
};

// The dispatch table of the block loop; kinds not listed are passed over.
constexpr BlockDispatchRow DispatchTable[] = {
    {VRML_END_OF_INPUT, BlockAction::EndOfInput, nullptr},
    {VRML_DEF, BlockAction::StrayDef, nullptr},
    {VRML_USE, BlockAction::Use, nullptr},
    {VRML_OPEN_BRACE, BlockAction::SkipBraceBlock, nullptr},
    {VRML_CLOSE_BRACE, BlockAction::CloseSeparator, nullptr},
    {VRML_OPEN_BRACKET, BlockAction::NodeList, nullptr},
    {VRML_GROUP, BlockAction::SeparatorOrGroup, nullptr},
    {VRML_SEPARATOR, BlockAction::SeparatorOrGroup, nullptr},
    {VRML_WWWANCHOR, BlockAction::SeparatorOrGroup, nullptr},
    {VRML_NULL, BlockAction::Null, nullptr},
    {VRML_ASCIITEXT, BlockAction::Node, &CVRMLParser::ParseAsciiText},
    {VRML_CALLBACK, BlockAction::Node, &CVRMLParser::ParseCallback},
    {VRML_DIRECTIONALLIGHT, BlockAction::Node, &CVRMLParser::ParseDirectionalLight},
    {VRML_FONTSTYLE, BlockAction::Node, &CVRMLParser::ParseFontStyle},
    {VRML_TEXTURECOORDINATE, BlockAction::Node, &CVRMLParser::ParseTextureCoordinate},
    {VRML_INFO, BlockAction::Node, &CVRMLParser::ParseInfo},
    {VRML_LOD, BlockAction::Node, &CVRMLParser::ParseLevelOfDetail},
    {VRML_ORTHOGRAPHICCAMERA, BlockAction::Node, &CVRMLParser::ParseOrthographicCamera},
    {VRML_PERSPECTIVECAMERA, BlockAction::Node, &CVRMLParser::ParsePerspectiveCamera},
    {VRML_POINTLIGHT, BlockAction::Node, &CVRMLParser::ParsePointLight},
    {VRML_SHAPEHINTS, BlockAction::Node, &CVRMLParser::ParseShapeHints},
    {VRML_SPOTLIGHT, BlockAction::Node, &CVRMLParser::ParseSpotLight},
    {VRML_SWITCH, BlockAction::Node, &CVRMLParser::ParseSwitch},
    {VRML_COLLISION, BlockAction::Node, &CVRMLParser::ParseCollision},
    {VRML_SHAPE, BlockAction::Node, &CVRMLParser::ParseShape},
    {VRML_CONE, BlockAction::Node, &CVRMLParser::ParseCone},
    {VRML_CUBE, BlockAction::Node, &CVRMLParser::ParseCube},
    {VRML_CYLINDER, BlockAction::Node, &CVRMLParser::ParseCylinder},
    {VRML_MATERIAL, BlockAction::Node, &CVRMLParser::ParseMaterial},
    {VRML_MATERIALBINDING, BlockAction::Node, &CVRMLParser::ParseBinding},
    {VRML_MATRIXTRANSFORM, BlockAction::Node, &CVRMLParser::ParseMatrixTransform},
    {VRML_NORMALBINDING, BlockAction::Node, &CVRMLParser::ParseBinding},
    {VRML_ROTATION, BlockAction::Node, &CVRMLParser::ParseRotation},
    {VRML_SCALE, BlockAction::Node, &CVRMLParser::ParseScale},
    {VRML_SPHERE, BlockAction::Node, &CVRMLParser::ParseSphere},
    {VRML_TRANSFORM, BlockAction::Node, &CVRMLParser::ParseTransform},
    {VRML_TRANSLATION, BlockAction::Node, &CVRMLParser::ParseTranslation},
    {VRML_BOX, BlockAction::Node, &CVRMLParser::ParseBox},
    {VRML_APPEARANCE, BlockAction::Node, &CVRMLParser::ParseAppearance},
    {VRML_COLOR, BlockAction::Node, &CVRMLParser::ParseColor3},
    {VRML_TEXTURE2, BlockAction::Node, &CVRMLParser::ParseTexture2},
    {VRML_TEXTURE2TRANSFORM, BlockAction::Node, &CVRMLParser::ParseTexture2Transform},

    // Coordinates, normals and indexed sets.
    {VRML_COORDINATE, BlockAction::Node, &CVRMLParser::ParseCoordinate3},
    {VRML_NORMAL, BlockAction::Node, &CVRMLParser::ParseNormal},
    {VRML_INDEXEDFACESET, BlockAction::Node, &CVRMLParser::ParseIndexedSet},
    {VRML_INDEXEDLINESET, BlockAction::Node, &CVRMLParser::ParseIndexedSet},

    // Point sets and triangle strip sets.
    {VRML_POINTSET, BlockAction::Node, &CVRMLParser::ParsePointSet},
    {VRML_TRIANGLESTRIPSET, BlockAction::Node, &CVRMLParser::ParseTriangleStripSet},

    // Elevation grid and extrusion.
    {VRML_ELEVATIONGRID, BlockAction::Node, &CVRMLParser::ParseElevationGrid},
    {VRML_EXTRUSION, BlockAction::Node, &CVRMLParser::ParseExtrusion},

    // Prototypes and inline files.
    {VRML_INLINE, BlockAction::Node, &CVRMLParser::ParseWWWInline},
    {VRML_PROTO_INSTANCE, BlockAction::Node, &CVRMLParser::ParseProtoUse},
    {VRML_PROTO, BlockAction::Node, &CVRMLParser::ParseProto},
    {VRML_EXTERNPROTO, BlockAction::Node, &CVRMLParser::ParseExternProto},
};

// Standard semantics: VRML 2.0 grouping nodes that are no keyword, which the
// block loop would otherwise pass over whole, read as a Group: a Billboard's
// children in place (not turned to a viewer), an Anchor's as they are.
struct GroupingWordRow {
    std::string_view word;
    VRMLTokenTypes kind;
};
constexpr GroupingWordRow StandardGroupingWords[] = {
    {"Billboard", VRML_GROUP},
    {"Anchor", VRML_GROUP},
};

constexpr int KindCount = 256;

const std::array<const BlockDispatchRow*, KindCount>& DispatchIndex() {
    static const std::array<const BlockDispatchRow*, KindCount> index = [] {
        std::array<const BlockDispatchRow*, KindCount> byKind{};
        for (const BlockDispatchRow& row : DispatchTable)
            byKind[static_cast<size_t>(row.kind)] = &row;
        return byKind;
    }();
    return index;
}

const BlockDispatchRow* FindRow(VRMLTokenTypes kind) {
    if (kind < 0 || kind >= KindCount)
        return nullptr;
    return DispatchIndex()[static_cast<size_t>(kind)];
}

// What a VRML 1.0 grouping node gives back at its end, as the standard
// reads it (the loader's own mode reads each as a Separator).
int RestoredBy(VRMLTokenTypes kind, std::string_view keyword) {
    if (kind == VRML_GROUP)
        return CVRMLSeparator::RestoresNothing;
    const std::string_view transformSeparator = "TransformSeparator";
    const bool transformOnly =
        keyword.size() == transformSeparator.size() &&
        std::equal(keyword.begin(), keyword.end(), transformSeparator.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    return transformOnly ? CVRMLSeparator::RestoresTransform : CVRMLSeparator::RestoresAll;
}

} // namespace

VRMLTokenTypes CVRMLParser::StatementKind() {
    const VRMLTokenTypes kind = GetCurrentTokenType();
    if (kind != VRML_WORD || GetVersion() != VRML_VERSION_2)
        return kind;
    const std::string_view text = IOManager.GetCurrentTokenText();
    // VRML 2.0's Text is no keyword: it is read by the reader of VRML 1.0's AsciiText.
    if (text == "Text" && IsBuildingText())
        return VRML_ASCIITEXT;
    if (!StandardSemantics)
        return kind;
    for (const GroupingWordRow& row : StandardGroupingWords)
        if (text == row.word)
            return row.kind;
    return kind;
}

int CVRMLParser::ParseBlock() {
    if (NestingDepth >= MaxNestingDepth) {
        // Too deep: this statement fails, and the token is stepped over so
        // that the caller's loop still moves on.
        Tokenize();
        return 0;
    }
    DepthGuard nesting(NestingDepth);
    int result = 1;
    bool stop = false;
    int depth = 0;
    while (result && !stop) {
        while (StatementKind() == VRML_WORD)
            Tokenize();
        ForgetPendingDef();
        if (GetCurrentTokenType() == VRML_DEF) {
            DefinedEntity = 1;
            Tokenize();
        }
        // "DEF Transform {" names no node: some exporters write DEF with an
        // empty name. The standard mode reads the word as the node's type.
        if (DefinedEntity == 1 && StandardSemantics && GetNextTokenDataType() == GENERIC_OPEN_BRACE)
            DefinedEntity = 0;
        if (DefinedEntity == 1 && IOManager.GetCurrentToken().GetTokenLength() >= 1) {
            EntityName.assign(
                IOManager.GetCurrentTokenText()); // keeps the string's room: files name nodes by the million
            Tokenize();
        }

        const BlockDispatchRow* row = FindRow(StatementKind());
        switch (row ? row->action : BlockAction::PassOver) {
        case BlockAction::PassOver:
        case BlockAction::StrayDef: break;
        case BlockAction::EndOfInput:
        case BlockAction::Null: stop = true; break;
        case BlockAction::Use: result = ParseUse(); break;
        case BlockAction::SkipBraceBlock: SkipBlock(0); break;
        case BlockAction::CloseSeparator:
            // A stray "}" of an included file or an instance text ends the
            // statement but does not close the level the text is read at.
            if (CurrentSeparator && CurrentSeparator == EmbeddingLevel) {
                stop = true;
                break;
            }
            result = PopSeparator();
            if (--depth <= 0)
                stop = true;
            break;
        case BlockAction::NodeList:
            Tokenize();
            while (GetCurrentTokenType() != VRML_CLOSE_BRACKET && GetCurrentTokenType() != VRML_END_OF_INPUT)
                ParseBlock();
            result = 1;
            break;
        case BlockAction::SeparatorOrGroup:
            if (GetVersion() == VRML_VERSION_1) {
                result = ParseSeparator(StandardSemantics
                                            ? RestoredBy(GetCurrentTokenType(), IOManager.GetCurrentTokenText())
                                            : CVRMLSeparator::RestoresAll);
                if (result)
                    ++depth;
            } else if (GetVersion() == VRML_VERSION_2) {
                result = ParseGroup();
            }
            break;
        case BlockAction::Node: result = (this->*row->reader)(); break;
        }

        if (!Tokenize())
            stop = true;
        if (depth <= 0)
            stop = true;
    }
    return result;
}
