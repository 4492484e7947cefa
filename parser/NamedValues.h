#pragma once
// Values looked up by name, kept in place: one block of values and one name
// index for all of them, rather than a node, a string and a bucket for each
// name. Appearance names come with every part of a CAD export.

#include "NameTable.h"

#include <deque>
#include <string_view>

template <class Value>
class CVRMLNamedValues {
public:
    // The value of the name, or null; good until the next Clear.
    const Value* Find(std::string_view name) const { return index.Find(name); }
    // May throw std::bad_alloc, leaving the name as it was.
    void Set(std::string_view name, const Value& value) {
        if (Value* found = index.Find(name)) {
            *found = value;
            return;
        }
        values.push_back(value);
        try {
            index.Assign(name, &values.back());
        } catch (...) {
            values.pop_back();
            throw;
        }
    }
    void Clear() {
        index.Clear();
        values.clear();
    }

private:
    std::deque<Value> values; // a deque never moves what it holds
    CVRMLNameTable<Value> index;
};
