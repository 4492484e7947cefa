#include "VRMLParser.h"

#include <algorithm>
#include <cstdint>

int CVRMLParser::Tokenize() {
    if (!IOManager.Tokenize())
        return 0;
    MarkPrototypeNames();
    UpdateStatus();
    return 1;
}

// Runs for every token: nothing is looked up before the first prototype is
// declared, and only plain words are looked up after.
void CVRMLParser::MarkPrototypeNames() {
    if (PrototypeIndex.Size() == 0)
        return;
    for (CGenericToken* token : {&IOManager.GetCurrentToken(), &IOManager.GetNextToken()}) {
        if (token->GetDataType() == GENERIC_WORD && FindPrototypeByText(token->GetText())) {
            token->SetDataType(GENERIC_KEYWORD);
            token->SetUserDefinedType(VRML_PROTO_INSTANCE);
        }
    }
}

namespace {
int ProgressPercentage(uint64_t offset, uint64_t total) {
    double fraction = static_cast<double>(offset) / static_cast<double>(total);
    return static_cast<int>(std::min(fraction * 100.0, 99.0)); // 100 is never reported
}
} // namespace

void CVRMLParser::ReportProgress(uint64_t offset, uint64_t total) {
    if (total == 0)
        return;
    IOManager.ReleaseReadText(); // once in a percent of the file
    int percentage = ProgressPercentage(offset, total);
    if (percentage > LastPercentage) {
        if (LoaderPtr)
            LoaderPtr(percentage);
        LastPercentage = percentage;
    }
    // The percentage grows with the offset, so the first offset that passes
    // LastPercentage is found by halving.
    uint64_t below = 0, above = total; // the percentage of the total is 99
    if (LastPercentage >= 99 || ProgressPercentage(above, total) <= LastPercentage) {
        above = UINT64_MAX;
    } else {
        while (above - below > 1) {
            uint64_t middle = below + (above - below) / 2;
            (ProgressPercentage(middle, total) > LastPercentage ? above : below) = middle;
        }
        if (ProgressPercentage(below, total) > LastPercentage)
            above = below;
    }
    ProgressNextOffset = above;
    ProgressTotal = total;
    ProgressLastPercentage = LastPercentage;
}

void CVRMLParser::MoveUpToInterestingToken() {
    while (GetCurrentTokenType() == VRML_WORD)
        Tokenize();
}

void CVRMLParser::SkipBlock(GenericTokenTypes open, GenericTokenTypes close, int passClose) {
    MoveUpToInterestingToken();
    if (!GetCurrentTokenBeginType() && !GetNextTokenBeginType()) {
        SkipNodeStatement();
        return;
    }
    SkipBracketedBlock(open, close);
    if (passClose)
        Tokenize();
}

// A node rather than a bracketed block ("DEF n Type { ... }", "USE n",
// "NULL"): passed over by its brackets without being read, so that nothing it
// would build or define is kept, and skipping costs the same however deeply
// the node nests (reading it would read its own skipped children again,
// level by level).
void CVRMLParser::SkipNodeStatement() {
    VRMLTokenTypes kind = GetCurrentTokenType();
    if (kind == VRML_USE || kind == VRML_NULL) {
        Tokenize();
        if (kind == VRML_USE)
            Tokenize();
        return;
    }
    if (kind == VRML_DEF) {
        Tokenize();
        Tokenize();
    }
    if (GetCurrentTokenType() != VRML_END_OF_INPUT && !GetCurrentTokenBeginType())
        Tokenize(); // the node type
    if (GetCurrentTokenType() != VRML_OPEN_BRACE)
        return;
    SkipBracketedBlock(GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE);
    Tokenize();
}

// Leaves the closing bracket of the block that the current token or the
// look-ahead token opens as the current token.
void CVRMLParser::SkipBracketedBlock(GenericTokenTypes open, GenericTokenTypes close) {
    if (GetNextTokenDataType() != close) {
        // The scan starts behind the look-ahead token: when that token opens
        // a nested block of its own ("{ {"), it has to be counted here.
        int depth = GetCurrentTokenDataType() == open && GetNextTokenDataType() == open ? 2 : 1;
        GenericTokenTypes found = GENERIC_END_OF_INPUT;
        while (depth > 0) {
            if (!IOManager.FindBlockToken(open, close, found))
                break;
            depth += found == open ? 1 : -1;
        }
        IOManager.DecrementOffset();
        Tokenize();
    }
    Tokenize();
}

void CVRMLParser::SkipBlock(int passClose) { SkipBlock(GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE, passClose); }

void CVRMLParser::SkipArray(int passClose) { SkipBlock(GENERIC_OPEN_BRACKET, GENERIC_CLOSE_BRACKET, passClose); }

int CVRMLParser::SaveIOState(CGenericIOState& state) {
    if (!IOManager.SaveIOState(state))
        return 0;
    state.SetDefinedEntity(DefinedEntity);
    state.SetEntityName(EntityName);
    return 1;
}

int CVRMLParser::RestoreIOState(CGenericIOState& state) {
    if (!IOManager.RestoreIOState(state))
        return 0;
    MarkPrototypeNames(); // a prototype may have been declared since the state was saved
    DefinedEntity = state.GetDefinedEntity();
    EntityName = state.GetEntityName();
    return 1;
}

// Token helpers of the node readers.

void CVRMLParser::AdvanceWhileKind(std::initializer_list<VRMLTokenTypes> kinds) {
    auto isOneOf = [&](VRMLTokenTypes kind) {
        for (VRMLTokenTypes k : kinds)
            if (k == kind)
                return true;
        return false;
    };
    while (isOneOf(GetCurrentTokenType())) {
        if (!Tokenize())
            break;
    }
}

void CVRMLParser::AdvanceToClosingBrace() {
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        if (!Tokenize())
            break;
    }
}

// Up to three numbers; a component without a number keeps its default and
// the token is not stepped over.
void CVRMLParser::ReadOptionalTriple(trelFloatPoint& value) {
    float* components[3] = {&value.x, &value.y, &value.z};
    for (float* component : components) {
        if (GetCurrentTokenType() != VRML_NUMBER)
            continue;
        *component = static_cast<float>(GetCurrentTokenNumericValue());
        Tokenize();
    }
}
