#include "NameTable.h"

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace {
// Never a real entry: only its address is used.
char ErasedMark;
} // namespace

void* CVRMLNameIndex::Erased() { return &ErasedMark; }

uint32_t CVRMLNameIndex::Hash(std::string_view name) {
    // The standard hash mixed once more: the slot is taken from the low bits.
    uint64_t hash = static_cast<uint64_t>(std::hash<std::string_view>()(name));
    hash ^= hash >> 31;
    hash *= 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(hash >> 32);
}

std::string_view CVRMLNameIndex::NameOf(const Slot& slot) const {
    uint32_t length = 0;
    std::memcpy(&length, names.data() + slot.nameOffset, sizeof length);
    return std::string_view(names.data() + slot.nameOffset + sizeof length, length);
}

uint32_t CVRMLNameIndex::AppendName(std::vector<char>& text, std::string_view name) {
    const size_t offset = text.size();
    if (name.size() > UINT32_MAX || offset + sizeof(uint32_t) + name.size() > UINT32_MAX)
        throw std::length_error("DEF names past 4 GB");
    const auto length = static_cast<uint32_t>(name.size());
    char bytes[sizeof length];
    std::memcpy(bytes, &length, sizeof length);
    text.insert(text.end(), bytes, bytes + sizeof length);
    text.insert(text.end(), name.begin(), name.end());
    return static_cast<uint32_t>(offset);
}

size_t CVRMLNameIndex::Locate(std::string_view name, uint32_t hash, bool& found) const {
    const size_t mask = slots.size() - 1;
    size_t firstErased = slots.size();
    for (size_t index = hash & mask;; index = (index + 1) & mask) {
        const Slot& slot = slots[index];
        if (slot.entry == nullptr) {
            found = false;
            return firstErased < slots.size() ? firstErased : index;
        }
        if (slot.entry == Erased()) {
            if (firstErased == slots.size())
                firstErased = index;
        } else if (slot.hash == hash && NameOf(slot) == name) {
            found = true;
            return index;
        }
    }
}

void* CVRMLNameIndex::Find(std::string_view name) const {
    if (used == 0)
        return nullptr;
    bool found = false;
    const size_t index = Locate(name, Hash(name), found);
    return found ? slots[index].entry : nullptr;
}

void* CVRMLNameIndex::Assign(std::string_view name, void* entry) {
    // At most three slots in four in use, erased ones included: every search
    // still ends at an empty slot after a short run, and a table of a few
    // hundred thousand names stays a few megabytes. A rebuild leaves at most
    // three in eight in use.
    if ((occupied + 1) * 4 > slots.size() * 3)
        Rebuild((used + 1) * 2);
    const uint32_t hash = Hash(name);
    bool found = false;
    const size_t index = Locate(name, hash, found);
    Slot& slot = slots[index];
    if (found) {
        void* previous = slot.entry;
        slot.entry = entry;
        return previous;
    }
    const uint32_t offset = AppendName(names, name); // the only step that can throw
    if (slot.entry == nullptr)
        ++occupied;
    slot.hash = hash;
    slot.nameOffset = offset;
    slot.entry = entry;
    ++used;
    return nullptr;
}

void CVRMLNameIndex::Erase(std::string_view name, const void* entry) {
    if (used == 0)
        return;
    bool found = false;
    const size_t index = Locate(name, Hash(name), found);
    if (!found || slots[index].entry != entry)
        return;
    // The name's text stays in the block until the next rebuild.
    slots[index].entry = Erased();
    --used;
}

void CVRMLNameIndex::Clear() {
    std::vector<Slot>().swap(slots);
    std::vector<char>().swap(names);
    used = 0;
    occupied = 0;
}

void CVRMLNameIndex::Rebuild(size_t capacity) {
    size_t size = 16;
    while (size < capacity)
        size *= 2;
    std::vector<Slot> rebuilt(size);
    const size_t mask = size - 1;
    auto place = [&](const Slot& slot) -> Slot& {
        size_t index = slot.hash & mask;
        while (rebuilt[index].entry)
            index = (index + 1) & mask;
        return rebuilt[index] = slot;
    };
    // Without forgotten names the text holds only live names: it stays as it
    // is, and growing the table neither copies it nor holds it twice.
    if (occupied == used) {
        for (const Slot& slot : slots)
            if (Holds(slot))
                place(slot);
        slots.swap(rebuilt);
        return;
    }
    size_t textLength = 0;
    for (const Slot& slot : slots)
        if (Holds(slot))
            textLength += sizeof(uint32_t) + NameOf(slot).size();
    std::vector<char> text;
    text.reserve(textLength + textLength / 2 > 256 ? textLength + textLength / 2 : 256);
    // Nothing below allocates (the names fit in what was reserved, and fitted
    // in 32 bits before): the table changes only once both blocks exist.
    for (const Slot& slot : slots)
        if (Holds(slot))
            place(slot).nameOffset = AppendName(text, NameOf(slot));
    slots.swap(rebuilt);
    names.swap(text);
    occupied = used;
}
