#pragma once

#include "GenericTypes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Case-insensitive lookup of words in a caller's keyword table. The table is
// referred to, not copied: it must outlive the lookup and keep its contents.
// Built once per table; a lookup hashes the word and compares at most a few
// rows, whatever the size of the table.
class CKeywordLookup {
public:
    // May throw std::bad_alloc; the tokenizer catches it and does without keywords.
    CKeywordLookup(const ParserKeywordEntry* table, int size);

    // The id of the first row whose name equals `word` ignoring ASCII letter
    // case; false when there is none.
    bool Find(std::string_view word, int32_t& id) const;

private:
    // A row's name folded as in FoldedName, its first and last eight bytes
    // (the last only when longer than eight) compared without a loop.
    struct Slot {
        int32_t row = -1; // -1: empty
        uint32_t hash = 0;
        size_t length = 0;
        uint64_t head = 0, headBits = 0;
        uint64_t tail = 0, tailBits = 0;
    };

    bool RowMatches(int32_t row, const char* word, size_t length) const;

    // A row's name as compared with words (see the constructor).
    static constexpr size_t NameChunks = (sizeof(ParserKeywordEntry::name) + 7) / 8;
    struct FoldedName {
        uint64_t bytes[NameChunks] = {};
        uint64_t letterBits[NameChunks] = {};
    };

    const ParserKeywordEntry* table;
    std::vector<Slot> slots;
    std::vector<FoldedName> foldedNames;
    size_t mask = 0;
    size_t longestName = 0;
};
