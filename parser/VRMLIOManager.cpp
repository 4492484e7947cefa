#include "VRMLIOManager.h"

#include "KeywordTable.h"

#include <cctype>
#include <cstring>

CVRMLIOManager::CVRMLIOManager() {
    SetKeywordTable(&VRMLKeywordTable[0]);
    SetKeywordTableSize(VRML_KEYWORD_COUNT);
    InitializeVariables();
}

CVRMLIOManager::CVRMLIOManager(const CVRMLIOManager& other)
    : CGenericParser(other), Version(other.Version), StandardSemantics(other.StandardSemantics) {}

CVRMLIOManager& CVRMLIOManager::operator=(const CVRMLIOManager& other) {
    if (this != &other) {
        CGenericParser::operator=(other);
        Version = other.Version;
        StandardSemantics = other.StandardSemantics;
    }
    return *this;
}

CVRMLIOManager::~CVRMLIOManager() { CloseFile(); }

void CVRMLIOManager::InitializeVariables() { Version = VRML_VERSION_1; }

VRMLLoadResultTypes CVRMLIOManager::OpenFile() {
    switch (OpenAndInitialize()) {
    case GENERIC_LOAD_OK: return VRML_LOAD_SUCCESS;
    case GENERIC_LOAD_UNREADABLE: return VRML_LOAD_UNREADABLE;
    default: return VRML_LOAD_FAILURE;
    }
}

namespace {
bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }
} // namespace

// The header line must begin with one of the two version strings, in any
// The header line must begin with one of the two version strings, in any
// letter case; text after it on the same line (a comment) is allowed. Only
// the first bytes are looked at, so that a file of one endless line is
// refused without being read to its end. Under standard semantics a UTF-8
// byte-order mark may come first, as editors on Windows write one.
int CVRMLIOManager::CheckFileHeader() {
    if (!GetFileInterface().GetFileHandleIsValid())
        return 0;
    constexpr size_t HeaderPrefix = 256;
    GetFileInterface().ReadNextBlockFromFile();
    if (!GetNextLineFromBuffer(HeaderPrefix) || GetInputStringEmpty())
        return 0;
    char* line = GetInputString();
    if (StandardSemantics && StartsWith(line, "\xEF\xBB\xBF"))
        line += 3;
    for (char* c = line; *c; ++c)
        *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    int accepted = 0;
    if (StartsWith(line, "#VRML V1.0 ASCII")) {
        Version = VRML_VERSION_1;
        accepted = 1;
    } else if (StartsWith(line, "#VRML V2.0 UTF8")) {
        Version = VRML_VERSION_2;
        accepted = 1;
    }
    SetInputStringValue(nullptr);
    return accepted;
}

int CVRMLIOManager::GetNextTokenEndsDeclaration() { return EndsDeclaration(GetNextTokenType()); }

// The end of one declaration of a prototype interface.
int CVRMLIOManager::EndsDeclaration(VRMLTokenTypes kind) {
    switch (kind) {
    case VRML_EVENTIN:
    case VRML_EVENTOUT:
    case VRML_EXPOSEDFIELD:
    case VRML_FIELD:
    case VRML_CLOSE_BRACKET:
    case VRML_END_OF_INPUT: return 1;
    default: return 0;
    }
}
