#pragma once
// Raw token kinds and open results of the generic tokenizer. The tokenizer
// knows characters and tokens only; what a keyword means is its user's business.

#include <cstdint>

enum GenericTokenTypes : int {
    GENERIC_WORD = 0,          // a word that is in no keyword table
    GENERIC_END_OF_INPUT = 1,  // sticky: every advance past the end keeps it
    GENERIC_OPEN_BRACE = 2,    // {
    GENERIC_CLOSE_BRACE = 3,   // }
    GENERIC_OPEN_BRACKET = 4,  // [
    GENERIC_CLOSE_BRACKET = 5, // ]
    GENERIC_OPEN_PAREN = 6,    // (
    GENERIC_CLOSE_PAREN = 7,   // )
    GENERIC_STRING = 8,        // "quoted", text keeps its quotes
    GENERIC_BOOLEAN = 9,       // TRUE / FALSE
    GENERIC_NUMBER = 10,       // integer, decimal, exponent, hexadecimal
    GENERIC_KEYWORD = 11       // a word found in the keyword table
};

enum GenericLoadResultTypes : int {
    GENERIC_LOAD_OK = 0,
    GENERIC_LOAD_REJECTED = 1,  // the file was read but its header check refused it
    GENERIC_LOAD_UNREADABLE = 2 // the file could not be opened or read
};

// One row of a keyword table: an upper-case name and the id that a matching
// word carries as its user-defined type.
struct ParserKeywordEntry {
    char name[52];
    int32_t id;
};
