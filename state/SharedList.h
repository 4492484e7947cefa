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

private:
    static const Array& Empty() {
        static const Array empty;
        return empty;
    }
    std::shared_ptr<Array> list; // null while empty
};
