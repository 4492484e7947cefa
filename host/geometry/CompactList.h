#pragma once
// The list a group keeps of its objects or of its child groups. Most groups
// of a loaded world hold one of each at most (every use of a part is a group
// of one object), so the first element lives in place; more move to the
// heap, whose room is the power of two at or above the count. The list thus
// costs one element and a count where a vector would cost three pointers and
// an allocation.

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

template <class T>
class trelCompactList {
    static_assert(std::is_trivially_copyable<T>::value, "elements are moved as bytes");

public:
    trelCompactList() : many(nullptr) {}
    trelCompactList(const trelCompactList&) = delete;
    trelCompactList& operator=(const trelCompactList&) = delete;
    ~trelCompactList() { clear(); }

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    T* begin() { return count > 1 ? many : &one; }
    T* end() { return begin() + count; }
    const T* begin() const { return count > 1 ? many : &one; }
    const T* end() const { return begin() + count; }
    T& operator[](size_t i) { return begin()[i]; }
    const T& operator[](size_t i) const { return begin()[i]; }

    // std::bad_alloc, with the list unchanged, when it cannot grow.
    void push_back(const T& value) {
        if (count == 0) {
            one = value;
        } else {
            if ((count & (count - 1)) == 0) { // full: 1, 2, 4, 8... places
                if (count > UINT32_MAX / 2)
                    throw std::bad_alloc();
                T* grown = static_cast<T*>(::operator new(sizeof(T) * 2 * count));
                std::memcpy(static_cast<void*>(grown), begin(), sizeof(T) * count);
                if (count > 1)
                    ::operator delete(many);
                many = grown;
            }
            many[count] = value;
        }
        ++count;
    }
    void clear() {
        if (count > 1)
            ::operator delete(many);
        many = nullptr;
        count = 0;
    }

private:
    union {
        T one;
        T* many;
    };
    uint32_t count = 0;
};
