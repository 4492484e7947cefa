#pragma once
// A list of the separator state that levels share until one of them changes
// it. A level starts as a copy of the level below, and most levels never
// change the coordinates, normals or colours they inherit: one Coordinate3
// followed by thousands of separators would otherwise be copied once per
// separator. Each level still behaves as if it held its own copy.

#include <memory>

template <class Array>
class CVRMLSharedList {
public:
    const Array& Read() const { return list ? *list : Empty(); }
    // This level's own list, copied first when another level shares it. The
    // reference is good until the next change of levels: a level opened
    // meanwhile would share what is written through it.
    Array& Write() {
        if (!list)
            list = std::make_shared<Array>();
        else if (list.use_count() > 1)
            list = std::make_shared<Array>(*list);
        return *list;
    }
    void Assign(const Array& value) {
        if (list && list.use_count() == 1)
            *list = value;
        else
            list = std::make_shared<Array>(value);
    }
    void Clear() { list.reset(); }
    // The list itself, held also outside the levels (by a recorded entry, so
    // that a USE finds the very list its definition read). Whoever holds it
    // counts as sharing it: Write copies first, so a holder never sees it change.
    std::shared_ptr<const Array> Share() const { return list; }
    void Adopt(std::shared_ptr<const Array> shared) {
        // Every list was made here as a changeable Array.
        list = std::const_pointer_cast<Array>(std::move(shared));
    }

private:
    static const Array& Empty() {
        static const Array empty;
        return empty;
    }
    std::shared_ptr<Array> list; // null while empty
};
