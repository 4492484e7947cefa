// Text nodes: VRML 2.0 Text with its FontStyle, VRML 1.0 AsciiText with the
// FontStyle in force. Built only when the parser builds text (the standard
// mode, or SetBuildText); otherwise passed over as before.

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <functional>
#include <new>

namespace {

// Characters laid out for one node at most: a string of millions of
// characters would otherwise ask for hundreds of millions of triangles.
constexpr size_t MaxTextCharacters = 65536;

// The text of a quoted string token without its quotes, \" and \\ read as
// " and \. False for a token that is no quoted string.
bool Unquoted(std::string_view token, std::string& text) {
    if (token.size() < 2 || token.front() != '"')
        return false;
    token.remove_prefix(1);
    if (token.back() == '"')
        token.remove_suffix(1);
    text.clear();
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '\\' && i + 1 < token.size() && (token[i + 1] == '"' || token[i + 1] == '\\'))
            ++i;
        text += token[i];
    }
    return true;
}

trelTextJustify JustifyNamed(const std::string& name, trelTextJustify otherwise) {
    if (name == "FIRST")
        return trelTextJustify::First;
    if (name == "BEGIN")
        return trelTextJustify::Begin;
    if (name == "MIDDLE")
        return trelTextJustify::Middle;
    if (name == "END")
        return trelTextJustify::End;
    return otherwise;
}

bool FamilyNamed(std::string_view name, trelFontFamily& family) {
    if (name == "SERIF")
        family = trelFontFamily::Serif;
    else if (name == "SANS")
        family = trelFontFamily::Sans;
    else if (name == "TYPEWRITER")
        family = trelFontFamily::Typewriter;
    else
        return false;
    return true;
}

// The characters of each string; false when any is not UTF-8.
bool DecodedLines(const std::vector<std::string>& strings, std::vector<std::u32string>& lines) {
    lines.resize(strings.size());
    for (size_t i = 0; i < strings.size(); ++i)
        if (!trelDecodeUtf8(strings[i], lines[i]))
            return false;
    return true;
}

} // namespace

int CVRMLParser::ParseAsciiText() {
    if (!IsBuildingText())
        return SkipPassiveNode();
    return GetVersion() == VRML_VERSION_1 ? ParseVrml1AsciiText() : ParseVrml2Text();
}

int CVRMLParser::ParseFontStyle() {
    if (!IsBuildingText() || GetVersion() != VRML_VERSION_1)
        return SkipPassiveNode(); // VRML 2.0's is read as a Text's field
    CVRMLFontStyle style;
    AdvanceToOpeningBrace();
    ReadNodeFields([&](std::string_view field) {
        if (field == "size")
            return ReadNumberValue(style.size);
        if (field == "family") {
            if (NextIsValue())
                Tokenize();
            FamilyNamed(IOManager.GetCurrentTokenText(), style.family);
            return true;
        }
        if (field == "style") {
            // NONE, BOLD or ITALIC, or several between parentheses.
            if (!NextIsValue())
                return true;
            Tokenize();
            const bool list = GetCurrentTokenType() == VRML_OPEN_PAREN;
            do {
                const std::string_view text = IOManager.GetCurrentTokenText();
                style.bold = style.bold || text.find("BOLD") != std::string_view::npos;
                style.italic = style.italic || text.find("ITALIC") != std::string_view::npos;
            } while (list && GetCurrentTokenType() != VRML_CLOSE_PAREN && GetCurrentTokenType() != VRML_CLOSE_BRACE &&
                     Tokenize());
            return true;
        }
        return false;
    });
    return DefineFontStyle(style);
}

int CVRMLParser::DefineFontStyle(const CVRMLFontStyle& style) {
    if (!CurrentSeparator)
        return 0;
    CurrentSeparator->SetFontStyle(style);
    RecordEntry<CVRMLFontStyleEntry>(*this, [&](auto& e) { e.SetStyle(style); });
    return 1;
}

int CVRMLParser::ParseVrml1AsciiText() {
    std::vector<std::string> strings;
    double spacing = 1.0;
    trelTextLayout layout;
    AdvanceToOpeningBrace();
    ReadNodeFields([&](std::string_view field) {
        if (field == "string")
            return ReadStringsValue(strings);
        if (field == "spacing")
            return ReadNumberValue(spacing);
        if (field == "width") {
            ReadNumbersValue(layout.lengths);
            return true;
        }
        if (field == "justification") {
            if (!NextIsValue())
                return true;
            Tokenize();
            const std::string_view text = IOManager.GetCurrentTokenText();
            layout.major = text == "CENTER"  ? trelTextJustify::Middle
                           : text == "RIGHT" ? trelTextJustify::End
                                             : trelTextJustify::Begin;
            return true;
        }
        return false;
    });
    if (!CurrentSeparator)
        return 0;
    const CVRMLFontStyle& style = CurrentSeparator->GetFontStyle();
    layout.size = style.size;
    layout.family = style.family;
    layout.bold = style.bold;
    layout.italic = style.italic;
    layout.spacing = spacing;
    std::vector<std::u32string> lines;
    if (!DecodedLines(strings, lines))
        return 1; // not UTF-8: nothing is built, and the load goes on
    return DefineText(lines, layout);
}

int CVRMLParser::ParseVrml2Text() {
    std::vector<std::string> strings;
    trelTextLayout layout;
    AdvanceToOpeningBrace();
    ReadNodeFields([&](std::string_view field) {
        if (field == "string")
            return ReadStringsValue(strings);
        if (field == "fontStyle") {
            ReadVrml2FontStyle(layout);
            return true;
        }
        if (field == "length") {
            ReadNumbersValue(layout.lengths);
            return true;
        }
        if (field == "maxExtent")
            return ReadNumberValue(layout.maxExtent);
        return false;
    });
    std::vector<std::u32string> lines;
    if (!DecodedLines(strings, lines))
        return 1; // not UTF-8: nothing is built, and the load goes on
    return DefineText(lines, layout);
}

// The value of a Text's fontStyle: a FontStyle node (named or not), the use
// of a named one, or NULL. A name is kept for later uses.
void CVRMLParser::ReadVrml2FontStyle(trelTextLayout& layout) {
    if (!NextIsValue())
        return;
    Tokenize();
    std::string name;
    if (GetCurrentTokenType() == VRML_USE) {
        if (!NextIsValue())
            return;
        Tokenize();
        const auto named = FontStyleNames.find(std::string(IOManager.GetCurrentTokenText()));
        if (named != FontStyleNames.end())
            layout = named->second;
        return;
    }
    if (GetCurrentTokenType() == VRML_DEF) {
        if (!NextIsValue())
            return;
        Tokenize();
        name = IOManager.GetCurrentTokenText();
        if (!NextIsValue())
            return;
        Tokenize();
    }
    if (GetCurrentTokenType() != VRML_FONTSTYLE)
        return; // NULL, or no node at all
    AdvanceToOpeningBrace();
    trelTextLayout style;
    ReadNodeFields([&](std::string_view field) {
        std::vector<std::string> values;
        if (field == "family") {
            ReadStringsValue(values);
            for (const std::string& value : values)
                if (FamilyNamed(value, style.family))
                    break;
            return true;
        }
        if (field == "style") {
            ReadStringsValue(values);
            const std::string value = values.empty() ? std::string() : values.front();
            style.bold = value == "BOLD" || value == "BOLDITALIC";
            style.italic = value == "ITALIC" || value == "BOLDITALIC";
            return true;
        }
        if (field == "justify") {
            ReadStringsValue(values);
            style.major = values.size() > 0 ? JustifyNamed(values[0], style.major) : style.major;
            style.minor = values.size() > 1 ? JustifyNamed(values[1], style.minor) : style.minor;
            return true;
        }
        if (field == "size")
            return ReadNumberValue(style.size);
        if (field == "spacing")
            return ReadNumberValue(style.spacing);
        if (field == "horizontal")
            return ReadBooleanValue(style.horizontal);
        if (field == "leftToRight")
            return ReadBooleanValue(style.leftToRight);
        if (field == "topToBottom")
            return ReadBooleanValue(style.topToBottom);
        if (field == "language")
            return ReadStringsValue(values);
        return false;
    });
    layout.family = style.family;
    layout.bold = style.bold;
    layout.italic = style.italic;
    layout.size = style.size;
    layout.spacing = style.spacing;
    layout.horizontal = style.horizontal;
    layout.leftToRight = style.leftToRight;
    layout.topToBottom = style.topToBottom;
    layout.major = style.major;
    layout.minor = style.minor;
    if (!name.empty())
        FontStyleNames[name] = layout;
}

int CVRMLParser::DefineText(const std::vector<std::u32string>& lines, const trelTextLayout& layout) {
    if (!CurrentSeparator)
        return 0;
    std::vector<std::u32string> kept;
    size_t characters = 0;
    for (const std::u32string& line : lines) {
        kept.push_back(line.substr(0, MaxTextCharacters - characters));
        characters += kept.back().size();
    }
    int result = 1;
    trelTextMesh mesh;
    // A machine without a font builds no text.
    if (trelMakeText(kept, layout, mesh) && !mesh.triangles.empty()) {
        trelFloatPointArray points(static_cast<int>(mesh.points.size()));
        for (size_t i = 0; i < mesh.points.size(); ++i)
            points[static_cast<int>(i)] = mesh.points[i];
        trelIntArray faces(static_cast<int>(mesh.triangles.size() / 3 * 4));
        for (size_t t = 0; t < mesh.triangles.size() / 3; ++t) {
            faces[static_cast<int>(4 * t)] = 3;
            for (size_t k = 0; k < 3; ++k)
                faces[static_cast<int>(4 * t + 1 + k)] = mesh.triangles[3 * t + k];
        }
        result = 0;
        if (C3DPolyface* face = new (std::nothrow) C3DPolyface) {
            face->SetPoints(points, faces);
            face->ApplyMatrixToGeometry(CurrentSeparator->GetMatrix(), trelBool(true), 1);
            result = AddObjectToSeparator(face);
        }
    }
    RecordEntry<CVRMLTextEntry>(*this, [&](auto& e) {
        e.SetLines(kept);
        e.SetLayout(layout);
    });
    return result;
}

// Token helpers of the text readers: a value is read only where the next
// token can be one, so that a field left without its value never takes the
// node's closing brace (and what follows the node) for it.

bool CVRMLParser::NextIsValue() {
    const VRMLTokenTypes next = GetNextTokenType();
    return next != VRML_CLOSE_BRACE && next != VRML_END_OF_INPUT;
}

void CVRMLParser::ReadNodeFields(const std::function<bool(std::string_view)>& field) {
    if (GetCurrentTokenType() != VRML_OPEN_BRACE)
        return;
    Tokenize(); // past "{"
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (!field(IOManager.GetCurrentTokenText())) {
            if (GetCurrentTokenType() == VRML_OPEN_BRACE)
                SkipBlock(0);
            else if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
                SkipArray(0);
        }
        if (!Tokenize())
            break;
    }
}

bool CVRMLParser::ReadStringsValue(std::vector<std::string>& strings) {
    strings.clear();
    std::string text;
    if (GetNextTokenType() != VRML_OPEN_BRACKET) {
        if (Unquoted(IOManager.GetNextTokenText(), text)) {
            Tokenize();
            strings.push_back(text);
        }
        return true;
    }
    Tokenize();
    while (GetNextTokenType() != VRML_CLOSE_BRACKET && NextIsValue()) {
        Tokenize();
        if (Unquoted(IOManager.GetCurrentTokenText(), text))
            strings.push_back(text);
    }
    if (GetNextTokenType() == VRML_CLOSE_BRACKET)
        Tokenize();
    return true;
}

void CVRMLParser::ReadNumbersValue(std::vector<double>& numbers) {
    numbers.clear();
    if (GetNextTokenType() == VRML_NUMBER) {
        Tokenize();
        numbers.push_back(GetCurrentTokenNumericValue());
        return;
    }
    if (GetNextTokenType() != VRML_OPEN_BRACKET)
        return;
    Tokenize();
    while (GetNextTokenType() == VRML_NUMBER) {
        Tokenize();
        numbers.push_back(GetCurrentTokenNumericValue());
    }
    if (GetNextTokenType() == VRML_CLOSE_BRACKET)
        Tokenize();
}

bool CVRMLParser::ReadNumberValue(double& number) {
    if (GetNextTokenType() == VRML_NUMBER) {
        Tokenize();
        number = GetCurrentTokenNumericValue();
    }
    return true;
}

bool CVRMLParser::ReadBooleanValue(bool& flag) {
    if (GetNextTokenType() == VRML_BOOLEAN) {
        Tokenize();
        flag = GetCurrentTokenBooleanValue() != 0;
    }
    return true;
}
