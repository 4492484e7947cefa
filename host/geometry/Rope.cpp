#include "Rope.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

trelRope::trelRope(std::string_view text) {
    if (text.empty())
        return;
    // A name longer than 4 GB is cut there; no file names a node so.
    const size_t size = std::min<size_t>(text.size(), std::numeric_limits<uint32_t>::max());
    void* memory = ::operator new(sizeof(Body) + size + 1);
    body = new (memory) Body{{1}, static_cast<uint32_t>(size)};
    char* chars = reinterpret_cast<char*>(body + 1);
    std::memcpy(chars, text.data(), size);
    chars[size] = '\0';
}

trelRope& trelRope::operator=(const trelRope& other) noexcept {
    Body* const kept = other.body; // read first: `other` may be this rope
    other.Hold();
    Release();
    body = kept;
    return *this;
}

trelRope& trelRope::operator=(trelRope&& other) noexcept {
    if (this != &other) {
        Release();
        body = other.body;
        other.body = nullptr;
    }
    return *this;
}

void trelRope::Release() noexcept {
    if (body && body->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        body->~Body();
        ::operator delete(body);
    }
    body = nullptr;
}
