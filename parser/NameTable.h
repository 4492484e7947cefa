#pragma once
// The parser's indexes from names to what they name: DEF names to
// dictionary entries, prototype names to prototypes. Files from CAD exporters
// name every node and prototype libraries declare thousands, so an index
// takes one entry per name: it is an open-addressing table whose names sit
// together in one block of text, so that adding a name costs no allocation of
// its own, a lookup touches little memory, and clearing the index frees a
// handful of blocks rather than one per name.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The table itself, over untyped pointers; CVRMLNameTable gives it a type.
class CVRMLNameIndex {
public:
    // The entry of the name, or null.
    void* Find(std::string_view name) const;
    // Makes the name stand for `entry` and returns the entry it stood for
    // (null when it was new). May throw std::bad_alloc, leaving the table as it was.
    void* Assign(std::string_view name, void* entry);
    // Forgets the name if it stands for `entry`.
    void Erase(std::string_view name, const void* entry);
    void Clear();
    size_t Size() const { return used; }

private:
    // 16 bytes, so that a table of a few hundred thousand names stays small.
    // The name is in `names` at nameOffset: its length (4 bytes), then its text.
    struct Slot {
        uint32_t hash = 0;
        uint32_t nameOffset = 0;
        void* entry = nullptr; // null: empty; Erased(): a name forgotten
    };

    static void* Erased();
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

template <class Named>
class CVRMLNameTable {
public:
    Named* Find(std::string_view name) const { return static_cast<Named*>(index.Find(name)); }
    Named* Assign(std::string_view name, Named* entry) { return static_cast<Named*>(index.Assign(name, entry)); }
    void Erase(std::string_view name, const Named* entry) { index.Erase(name, entry); }
    void Clear() { index.Clear(); }
    size_t Size() const { return index.Size(); }

private:
    CVRMLNameIndex index;
};
