#include "KeywordLookup.h"

#include <cstring>

namespace {

// Up to eight bytes of text as one number; missing bytes are zero. A short
// word is read in at most three loads rather than byte by byte. Words and
// names go through this same function, so what the layout is on a given
// machine does not matter, only that equal bytes give equal numbers.
inline uint64_t LoadUpTo8(const char* text, size_t length) {
    uint64_t value = 0;
    if (length >= 8) {
        std::memcpy(&value, text, 8);
    } else if (length >= 4) {
        uint32_t low = 0, high = 0;
        std::memcpy(&low, text, 4);
        std::memcpy(&high, text + length - 4, 4); // overlaps low by 8 - length bytes
        value = low | (static_cast<uint64_t>(high) << (8 * (length - 4)));
    } else if (length > 0) {
        const auto byte = [text](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(text[i])); };
        value = byte(0) | (byte(length / 2) << (8 * (length / 2))) | (byte(length - 1) << (8 * (length - 1)));
    }
    return value;
}

constexpr uint64_t Fold = 0x2020202020202020u;

// The first eight bytes of a word and, for a longer one, its last eight
// (zero otherwise): together they hold every byte of a word of up to
// sixteen, the length of nearly every keyword.
struct HeadAndTail {
    uint64_t head;
    uint64_t tail;
};

inline HeadAndTail HeadAndTailOf(const char* text, size_t length) {
    return {LoadUpTo8(text, length), length > 8 ? LoadUpTo8(text + length - 8, 8) : 0};
}

// Hashes the length and the first and last eight bytes, each byte with its
// 0x20 bit set: words equal but for ASCII letter case hash alike (other bytes
// that this merges are told apart by the comparison). Keyword tables have
// few rows, so the words that share a hash stay few.
inline uint32_t HashFolded(const HeadAndTail& bytes, size_t length) {
    const uint64_t tail = length > 8 ? bytes.tail | Fold : 0;
    uint64_t hash = ((bytes.head | Fold) * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^ length;
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9u;
    return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// A row's name field has a fixed size; a name that fills it without a
// terminator ends at the field's end rather than running into the id.
inline size_t NameLength(const ParserKeywordEntry& entry) {
    const void* terminator = std::memchr(entry.name, '\0', sizeof entry.name);
    return terminator != nullptr ? static_cast<size_t>(static_cast<const char*>(terminator) - entry.name)
                                 : sizeof entry.name;
}

} // namespace

CKeywordLookup::CKeywordLookup(const ParserKeywordEntry* keywordTable, int size) : table(keywordTable) {
    if (table == nullptr || size <= 0) {
        return;
    }
    // At most half full, so that probe runs stay short.
    size_t capacity = 16;
    while (capacity < static_cast<size_t>(size) * 2) {
        capacity *= 2;
    }
    slots.resize(capacity);
    mask = capacity - 1;
    // Each name eight bytes at a time, with the 0x20 bit set at its letters:
    // a word byte with that bit set then equals the name's byte exactly when
    // it is the same letter in either case, or the same other byte. Only
    // ASCII letters fold: keyword tables are ASCII, and folding other bytes
    // would depend on an encoding that the tokenizer does not know.
    foldedNames.resize(static_cast<size_t>(size));
    for (int32_t row = 0; row < size; ++row) {
        const size_t length = NameLength(table[row]);
        char bytes[sizeof table[row].name] = {};
        char bits[sizeof table[row].name] = {};
        for (size_t i = 0; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(table[row].name[i]);
            const bool letter = (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
            bytes[i] = static_cast<char>(letter ? byte | 0x20 : byte);
            bits[i] = letter ? 0x20 : 0x00;
        }
        // Cut into chunks as RowMatches cuts a word of the same length.
        FoldedName& folded = foldedNames[static_cast<size_t>(row)];
        for (size_t offset = 0, chunk = 0; offset < length; offset += 8, ++chunk) {
            folded.bytes[chunk] = LoadUpTo8(bytes + offset, length - offset);
            folded.letterBits[chunk] = LoadUpTo8(bits + offset, length - offset);
        }
        // The rows above are folded already, which the check for a name
        // met twice compares with.
        const uint32_t hash = HashFolded(HeadAndTailOf(table[row].name, length), length);
        size_t index = hash & mask;
        bool duplicate = false;
        while (slots[index].row >= 0) {
            // The first of two rows with the same name wins, as in a scan from the top.
            if (slots[index].hash == hash && slots[index].length == length &&
                RowMatches(slots[index].row, table[row].name, length)) {
                duplicate = true;
                break;
            }
            index = (index + 1) & mask;
        }
        if (!duplicate) {
            // Head and tail cut as Find cuts a word.
            const HeadAndTail foldedEnds = HeadAndTailOf(bytes, length), bitEnds = HeadAndTailOf(bits, length);
            slots[index] = Slot{row, hash, length, foldedEnds.head, bitEnds.head, foldedEnds.tail, bitEnds.tail};
            if (length > longestName) {
                longestName = length;
            }
        }
    }
}

bool CKeywordLookup::RowMatches(int32_t row, const char* word, size_t length) const {
    const FoldedName& name = foldedNames[static_cast<size_t>(row)];
    for (size_t offset = 0, chunk = 0; offset < length; offset += 8, ++chunk) {
        if ((LoadUpTo8(word + offset, length - offset) | name.letterBits[chunk]) != name.bytes[chunk]) {
            return false;
        }
    }
    return true;
}

bool CKeywordLookup::Find(std::string_view word, int32_t& id) const {
    const size_t length = word.size();
    if (length == 0 || length > longestName) {
        return false;
    }
    const HeadAndTail ends = HeadAndTailOf(word.data(), length);
    const uint32_t hash = HashFolded(ends, length);
    for (size_t index = hash & mask; slots[index].row >= 0; index = (index + 1) & mask) {
        const Slot& slot = slots[index];
        // Head and tail hold every byte of a word of up to sixteen.
        if (slot.hash == hash && slot.length == length && (ends.head | slot.headBits) == slot.head &&
            (ends.tail | slot.tailBits) == slot.tail && (length <= 16 || RowMatches(slot.row, word.data(), length))) {
            id = table[slot.row].id;
            return true;
        }
    }
    return false;
}
