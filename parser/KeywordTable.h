#pragma once
// The VRML keyword vocabulary: the tokenizer marks a word that matches a row
// (ignoring letter case) with the row's id, which is the token kind the
// parser's dispatch tables test.

#include "host/tokenizer/GenericTypes.h"

constexpr int VRML_KEYWORD_COUNT = 138;

// In the order handed to the tokenizer; several rows share an id.
extern const ParserKeywordEntry VRMLKeywordTable[VRML_KEYWORD_COUNT];
