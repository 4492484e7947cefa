#pragma once
// Growable arrays of values. Resize gives exactly n elements and does not
// promise to keep the old contents; callers check their indices themselves.

#include "Color.h"
#include "Vectors.h"

#include <vector>

template <class T>
class trelArray {
public:
    trelArray() = default;
    explicit trelArray(int n) : items(n > 0 ? static_cast<size_t>(n) : 0) {}
    int GetSize() const { return static_cast<int>(items.size()); }
    bool IsEmpty() const { return items.empty(); }
    void Resize(int n) { items.assign(n > 0 ? static_cast<size_t>(n) : 0, T()); }
    void Clear() { items.clear(); }
    void Append(const T& value) { items.push_back(value); }
    typename std::vector<T>::reference operator[](int i) { return items[static_cast<size_t>(i)]; }
    typename std::vector<T>::const_reference operator[](int i) const { return items[static_cast<size_t>(i)]; }
    const std::vector<T>& Items() const { return items; }
    std::vector<T>& Items() { return items; }
    bool operator==(const trelArray& o) const { return items == o.items; }

private:
    std::vector<T> items;
};

using trelIntArray = trelArray<int>;
using trelDoubleArray = trelArray<double>;
using trelFloatPointArray = trelArray<trelFloatPoint>;
using trelVectorArray = trelArray<trelVector>;
using trelChromaArray = trelArray<trelChroma>;
using trelBoolArray = trelArray<trelBool>;
