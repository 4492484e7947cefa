#pragma once
// Text kept as long as its owner lives, in a few large blocks: the names of
// dictionary entries, which would otherwise each take an allocation of their
// own once past the small-string size (CAD exporters name every node, with
// names such as "Part_12345_Colour"). Nothing is given back before Clear.

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

class CVRMLTextArena {
public:
    // A copy of the text that stays put until Clear. May throw std::bad_alloc.
    std::string_view Keep(std::string_view text);
    void Clear();

private:
    static constexpr size_t BlockSize = size_t(64) << 10;
    std::vector<std::unique_ptr<char[]>> blocks;
    size_t used = 0; // in the last block
    size_t room = 0; // left in the last block
};
