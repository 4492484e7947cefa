#include "TextArena.h"

#include <cstring>

std::string_view CVRMLTextArena::Keep(std::string_view text) {
    if (text.empty())
        return {};
    if (text.size() > room) {
        // A text too long for a block gets one of its own; the block being
        // filled stays the last one, so its room is not lost.
        if (text.size() > BlockSize / 4) {
            auto own = std::make_unique<char[]>(text.size());
            std::memcpy(own.get(), text.data(), text.size());
            const char* kept = own.get();
            blocks.insert(blocks.end() - (blocks.empty() ? 0 : 1), std::move(own));
            return std::string_view(kept, text.size());
        }
        blocks.push_back(std::make_unique<char[]>(BlockSize));
        used = 0;
        room = BlockSize;
    }
    char* place = blocks.back().get() + used;
    std::memcpy(place, text.data(), text.size());
    used += text.size();
    room -= text.size();
    return std::string_view(place, text.size());
}

void CVRMLTextArena::Clear() {
    blocks.clear();
    used = room = 0;
}
