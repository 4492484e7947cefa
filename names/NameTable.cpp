#include "NameTable.h"

#include <functional>
#include <string>

uint64_t CVRMLNameTable::Hash(std::string_view name) {
    // The standard hash mixed once more: the slot is taken from the low bits.
    uint64_t hash = static_cast<uint64_t>(std::hash<std::string_view>()(name));
    hash ^= hash >> 31;
    hash *= 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 29);
}

size_t CVRMLNameTable::Locate(std::string_view name, uint64_t hash, bool& found) const {
    const size_t mask = slots.size() - 1;
    size_t firstErased = slots.size();
    for (size_t index = hash & mask;; index = (index + 1) & mask) {
        const Slot& slot = slots[index];
        if (slot.entry == nullptr && !slot.erased) {
            found = false;
            return firstErased < slots.size() ? firstErased : index;
        }
        if (slot.erased) {
            if (firstErased == slots.size())
                firstErased = index;
        } else if (slot.hash == hash && NameOf(slot) == name) {
            found = true;
            return index;
        }
    }
}

CVRMLDictionaryEntry* CVRMLNameTable::Find(std::string_view name) const {
    if (used == 0)
        return nullptr;
    bool found = false;
    const size_t index = Locate(name, Hash(name), found);
    return found ? slots[index].entry : nullptr;
}

CVRMLDictionaryEntry* CVRMLNameTable::Assign(std::string_view name, CVRMLDictionaryEntry* entry) {
    // At most half the slots in use, erased ones included, so that every
    // search ends at an empty slot after a short run.
    if ((occupied + 1) * 2 > slots.size())
        Rebuild(used * 4 > 16 ? used * 4 : 16);
    const uint64_t hash = Hash(name);
    bool found = false;
    const size_t index = Locate(name, hash, found);
    Slot& slot = slots[index];
    if (found) {
        CVRMLDictionaryEntry* previous = slot.entry;
        slot.entry = entry;
        return previous;
    }
    const size_t offset = names.size();
    names.insert(names.end(), name.begin(), name.end()); // the only step that can throw
    if (!slot.erased)
        ++occupied;
    slot.hash = hash;
    slot.nameOffset = offset;
    slot.nameLength = name.size();
    slot.entry = entry;
    slot.erased = false;
    ++used;
    return nullptr;
}

void CVRMLNameTable::Erase(std::string_view name, const CVRMLDictionaryEntry* entry) {
    if (used == 0)
        return;
    bool found = false;
    const size_t index = Locate(name, Hash(name), found);
    if (!found || slots[index].entry != entry)
        return;
    // The name's text stays in the block until the next rebuild.
    slots[index].entry = nullptr;
    slots[index].erased = true;
    --used;
}

void CVRMLNameTable::Clear() {
    std::vector<Slot>().swap(slots);
    std::vector<char>().swap(names);
    used = 0;
    occupied = 0;
}

void CVRMLNameTable::Rebuild(size_t capacity) {
    size_t size = 16;
    while (size < capacity)
        size *= 2;
    size_t textLength = 0;
    for (const Slot& slot : slots)
        if (slot.entry)
            textLength += slot.nameLength;
    std::vector<Slot> rebuilt(size);
    std::vector<char> text;
    text.reserve(textLength * 2 > 256 ? textLength * 2 : 256);
    // Nothing below allocates: the table is changed only once both blocks exist.
    const size_t mask = size - 1;
    for (const Slot& slot : slots) {
        if (!slot.entry)
            continue;
        size_t index = slot.hash & mask;
        while (rebuilt[index].entry)
            index = (index + 1) & mask;
        Slot& moved = rebuilt[index];
        moved = slot;
        moved.nameOffset = text.size();
        const std::string_view name = NameOf(slot);
        text.insert(text.end(), name.begin(), name.end());
    }
    slots.swap(rebuilt);
    names.swap(text);
    occupied = used;
}
