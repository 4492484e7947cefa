#pragma once
// The parser's index from DEF names to dictionary entries. Files from CAD
// exporters name every node, so the index takes one entry per node: it is an
// open-addressing table whose names sit together in one block of text, so
// that adding a name costs no allocation of its own and clearing the index
// frees a handful of blocks rather than one per name.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class CVRMLDictionaryEntry;

class CVRMLNameTable {
public:
    // The entry of the name, or null.
    CVRMLDictionaryEntry* Find(std::string_view name) const;
    // Makes the name stand for `entry` and returns the entry it stood for
    // (null when it was new). May throw std::bad_alloc, leaving the table as it was.
    CVRMLDictionaryEntry* Assign(std::string_view name, CVRMLDictionaryEntry* entry);
    // Forgets the name if it stands for `entry`.
    void Erase(std::string_view name, const CVRMLDictionaryEntry* entry);
    void Clear();
    size_t Size() const { return used; }

private:
    // 16 bytes, so that a table of a few hundred thousand names stays small.
    // The name is in `names` at nameOffset: its length (4 bytes), then its text.
    struct Slot {
        uint32_t hash = 0;
        uint32_t nameOffset = 0;
        CVRMLDictionaryEntry* entry = nullptr; // null: empty; Erased(): a name forgotten
    };

    static CVRMLDictionaryEntry* Erased();
    static bool Holds(const Slot& slot) { return slot.entry != nullptr && slot.entry != Erased(); }
    static uint32_t Hash(std::string_view name);
    std::string_view NameOf(const Slot& slot) const;
    // The slot holding the name, or the slot where it would go (the first erased one on its way, if any).
    size_t Locate(std::string_view name, uint32_t hash, bool& found) const;
    // Rebuilds the table with room for `capacity` slots, dropping erased slots and their names.
    void Rebuild(size_t capacity);
    // Appends a name to `text`; its offset, or throws when past what 32 bits can address.
    static uint32_t AppendName(std::vector<char>& text, std::string_view name);

    std::vector<Slot> slots;
    std::vector<char> names;
    size_t used = 0;     // slots with an entry
    size_t occupied = 0; // slots with an entry or erased
};
