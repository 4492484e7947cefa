#pragma once
// The VRML keyword vocabulary as the tokenizer takes it: the tokenizer marks
// a word that matches a row (ignoring letter case) with the row's id, which
// is the token kind the parser's dispatch tables test. The rows come from
// KeywordList.h; this header only lays them out and checks them.

#include "KeywordList.h"
#include "VRMLTypes.h"
#include "host/tokenizer/GenericTypes.h"

#include <iterator>

// In the order handed to the tokenizer; several rows share an id.
inline constexpr ParserKeywordEntry VRMLKeywordTable[] = {
#define VRML_KEYWORD_ROW(name, kind, id) {name, kind},
#define VRML_SPELLING_ROW(name, kind) {name, kind},
    VRML_KEYWORD_LIST(VRML_KEYWORD_ROW, VRML_SPELLING_ROW)
#undef VRML_KEYWORD_ROW
#undef VRML_SPELLING_ROW
};

constexpr int VRML_KEYWORD_COUNT = static_cast<int>(std::size(VRMLKeywordTable));

namespace VRMLKeywordChecks {

constexpr bool SameName(const char* a, const char* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The lookup answers with the first row of a name, so a second row of the
// same name would never be found.
constexpr bool NamesAreDistinct() {
    for (int i = 0; i < VRML_KEYWORD_COUNT; ++i)
        for (int j = i + 1; j < VRML_KEYWORD_COUNT; ++j)
            if (SameName(VRMLKeywordTable[i].name, VRMLKeywordTable[j].name))
                return false;
    return true;
}

// The lookup folds words to upper case before it compares.
constexpr bool NamesAreUpperCase() {
    for (const ParserKeywordEntry& row : VRMLKeywordTable)
        for (const char* c = row.name; *c; ++c)
            if (*c >= 'a' && *c <= 'z')
                return false;
    return true;
}

// A kind has one id: two keywords given the same id by mistake would read
// as one node. The kinds that are no keyword must not be taken either.
constexpr int KeywordIds[] = {
#define VRML_KEYWORD_ID(name, kind, id) id,
#define VRML_NO_ID(name, kind)
    VRML_KEYWORD_LIST(VRML_KEYWORD_ID, VRML_NO_ID)
#undef VRML_KEYWORD_ID
#undef VRML_NO_ID
};
constexpr bool IdsAreDistinct() {
    constexpr int Reserved[] = {VRML_WORD, VRML_END_OF_INPUT, VRML_BOOLEAN, VRML_NUMBER, VRML_PROTO_INSTANCE};
    const int count = static_cast<int>(std::size(KeywordIds));
    for (int i = 0; i < count; ++i) {
        for (int reserved : Reserved)
            if (KeywordIds[i] == reserved)
                return false;
        for (int j = i + 1; j < count; ++j)
            if (KeywordIds[i] == KeywordIds[j])
                return false;
    }
    return true;
}

} // namespace VRMLKeywordChecks

static_assert(VRMLKeywordChecks::NamesAreDistinct(), "a keyword is listed twice");
static_assert(VRMLKeywordChecks::NamesAreUpperCase(), "keywords are listed in upper case");
static_assert(VRMLKeywordChecks::IdsAreDistinct(), "two keyword kinds share an id");
