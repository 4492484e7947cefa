#pragma once
// The parser's input manager: the generic tokenizer specialised for VRML. It
// hands over the keyword table, checks the header line (which fixes the
// version) and classifies every token into a VRMLTokenTypes kind.

#include "VRMLTypes.h"
#include "host/tokenizer/GenericParser.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Where a capture stands: the counting pass has no cursor; the copying pass
// writes at `cursor` and never at or past `end`. Counts are sizes, not ints, so
// that no file is large enough to wrap them.
struct VRMLCaptureCursor {
    char* cursor = nullptr;
    char* end = nullptr;
    size_t totalLength = 0; // bytes of token text taken so far
    size_t tokenCount = 0;  // tokens taken so far
    size_t limit = 0;       // tokens the copying pass takes; each but the last is followed by a space
    // Where the tokens taken begin and end in the text being read: a value
    // can be referred to where it stands instead of being copied.
    size_t firstOffset = 0;
    size_t endOffset = 0;
    // When set, the counting pass keeps the text of each token it takes
    // here, so that no second pass is needed; `overflow` says it kept not all.
    std::vector<std::string_view>* recorded = nullptr;
    bool overflow = false;
};

class CVRMLIOManager : public CGenericParser {
public:
    CVRMLIOManager();
    CVRMLIOManager(const CVRMLIOManager& other);
    CVRMLIOManager& operator=(const CVRMLIOManager& other);
    ~CVRMLIOManager() override;

    void InitializeVariables();
    VRMLLoadResultTypes OpenFile();

    int GetVersion() const { return Version; }
    void SetVersion(int version) { Version = version; }
    // Standard semantics: a UTF-8 byte-order mark may open the file, and
    // prototype values are captured by every VRML 97 field type, a
    // multiple-valued one also as a single value without brackets.
    int GetStandardSemantics() const { return StandardSemantics; }
    void SetStandardSemantics(int value) { StandardSemantics = value ? 1 : 0; }

    // Asked several times for every token, so defined here.
    static VRMLTokenTypes GetTokenType(const CGenericToken& token) {
        switch (token.GetDataType()) {
        case GENERIC_END_OF_INPUT: return VRML_END_OF_INPUT;
        case GENERIC_OPEN_BRACE: return VRML_OPEN_BRACE;
        case GENERIC_CLOSE_BRACE: return VRML_CLOSE_BRACE;
        case GENERIC_OPEN_BRACKET: return VRML_OPEN_BRACKET;
        case GENERIC_CLOSE_BRACKET: return VRML_CLOSE_BRACKET;
        case GENERIC_OPEN_PAREN: return VRML_OPEN_PAREN;
        case GENERIC_CLOSE_PAREN: return VRML_CLOSE_PAREN;
        case GENERIC_STRING: return VRML_STRING;
        case GENERIC_BOOLEAN: return VRML_BOOLEAN;
        case GENERIC_NUMBER: return VRML_NUMBER;
        case GENERIC_KEYWORD: return static_cast<VRMLTokenTypes>(token.GetUserDefinedType());
        default: return VRML_WORD;
        }
    }
    VRMLTokenTypes GetCurrentTokenType() { return GetTokenType(GetCurrentToken()); }
    VRMLTokenTypes GetNextTokenType() { return GetTokenType(GetNextToken()); }
    GenericTokenTypes GetCurrentTokenDataType() { return GetCurrentToken().GetDataType(); }
    GenericTokenTypes GetNextTokenDataType() { return GetNextToken().GetDataType(); }
    int GetCurrentTokenBeginType() { return IsBeginKind(GetCurrentTokenType()); }
    int GetNextTokenBeginType() { return IsBeginKind(GetNextTokenType()); }
    int GetCurrentTokenEndType() { return IsEndKind(GetCurrentTokenType()); }
    int GetNextTokenEndType() { return IsEndKind(GetNextTokenType()); }
    int GetNextTokenEndsDeclaration();
    int GetCurrentTokenEndsDeclaration();
    static int EndsDeclaration(VRMLTokenTypes kind);

    // Text capture (parser/FieldCapture.cpp). A captured text is the tokens'
    // text, one space between two tokens and a line feed after every fifth,
    // exactly as long as that and without a terminating NUL. Each capture
    // advances with this tokenizer's own Tokenize.
    int CopyCurrentToken(VRMLCaptureCursor& capture);
    int CopyFieldValueTokens(VRMLCaptureCursor& capture, int type, int allowNodes);
    int CaptureFieldValue(std::vector<char>& text, int type, int allowNodes);
    int CaptureBlock(std::vector<char>& text, int stopAtDeclarationEnd);
    // The size of the captured text of `tokenCount` tokens of `totalLength` bytes.
    static size_t CapturedTextLength(size_t totalLength, size_t tokenCount);

    static int IsBeginKind(VRMLTokenTypes kind) {
        return kind == VRML_OPEN_BRACE || kind == VRML_OPEN_BRACKET || kind == VRML_OPEN_PAREN;
    }
    static int IsEndKind(VRMLTokenTypes kind) {
        return kind == VRML_CLOSE_BRACE || kind == VRML_CLOSE_BRACKET || kind == VRML_CLOSE_PAREN;
    }

protected:
    int CheckFileHeader() override;

private:
    // Keeps a token's text for the capture being taken, up to a bound past
    // which the capture reads its tokens a second time instead.
    static void RecordToken(VRMLCaptureCursor& capture, std::string_view text) {
        if (!capture.overflow && capture.recorded->size() < capture.recorded->capacity())
            capture.recorded->push_back(text); // cannot allocate, so cannot throw
        else
            RecordTokenGrowing(capture, text);
    }
    static void RecordTokenGrowing(VRMLCaptureCursor& capture, std::string_view text);

    int Version = VRML_VERSION_1;
    int StandardSemantics = 0;
    // The token texts of the capture being taken (reused, to spare an allocation per capture).
    std::vector<std::string_view> CaptureTokens;
};
