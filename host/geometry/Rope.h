#pragma once
// A name handed to groups and objects. A loaded world names each use of a
// part after the part, by the hundred thousand: copies share one immutable
// text, so a name costs a pointer where it repeats. Copies may be made and
// dropped from several threads at once.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

class trelRope {
public:
    trelRope() = default;
    trelRope(const char* text) : trelRope(std::string_view(text ? text : "")) {}
    trelRope(const std::string& text) : trelRope(std::string_view(text)) {}
    explicit trelRope(std::string_view text);
    trelRope(const trelRope& other) noexcept : body(other.body) { Hold(); }
    trelRope(trelRope&& other) noexcept : body(other.body) { other.body = nullptr; }
    trelRope& operator=(const trelRope& other) noexcept;
    trelRope& operator=(trelRope&& other) noexcept;
    ~trelRope() { Release(); }

    std::string_view GetString() const { return body ? std::string_view(Text(), body->size) : std::string_view(); }
    const char* c_str() const { return body ? Text() : ""; }
    bool IsEmpty() const { return body == nullptr; }

private:
    // The text follows the header in the same allocation, ended by a NUL.
    struct Body {
        std::atomic<uint32_t> references;
        uint32_t size;
    };
    const char* Text() const { return reinterpret_cast<const char*>(body + 1); }
    void Hold() const {
        if (body)
            body->references.fetch_add(1, std::memory_order_relaxed);
    }
    void Release() noexcept;

    Body* body = nullptr; // null for the empty name
};
