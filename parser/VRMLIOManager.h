#pragma once
// The parser's input manager: the generic tokenizer specialised for VRML. It
// hands over the keyword table, checks the header line (which fixes the
// version) and classifies every token into a VRMLTokenTypes kind.

#include "VRMLTypes.h"
#include "host/tokenizer/GenericParser.h"

#include <string>

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

    static VRMLTokenTypes GetTokenType(const CGenericToken& token);
    VRMLTokenTypes GetCurrentTokenType() { return GetTokenType(GetCurrentToken()); }
    VRMLTokenTypes GetNextTokenType() { return GetTokenType(GetNextToken()); }
    GenericTokenTypes GetCurrentTokenDataType() { return GetCurrentToken().GetDataType(); }
    GenericTokenTypes GetNextTokenDataType() { return GetNextToken().GetDataType(); }
    int GetCurrentTokenBeginType() { return IsBeginKind(GetCurrentTokenType()); }
    int GetNextTokenBeginType() { return IsBeginKind(GetNextTokenType()); }
    int GetCurrentTokenEndType() { return IsEndKind(GetCurrentTokenType()); }
    int GetNextTokenEndType() { return IsEndKind(GetNextTokenType()); }
    int GetNextTokenEndsDeclaration();

    static int IsBeginKind(VRMLTokenTypes kind) {
        return kind == VRML_OPEN_BRACE || kind == VRML_OPEN_BRACKET || kind == VRML_OPEN_PAREN;
    }
    static int IsEndKind(VRMLTokenTypes kind) {
        return kind == VRML_CLOSE_BRACE || kind == VRML_CLOSE_BRACKET || kind == VRML_CLOSE_PAREN;
    }

protected:
    int CheckFileHeader() override;

private:
    int Version = VRML_VERSION_1;
};
