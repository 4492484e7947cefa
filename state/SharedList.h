#pragma once
// A list of the separator state that levels share until one of them changes
// it. A level starts as a copy of the level below, and most levels never
// change the coordinates, normals or colours they inherit: one Coordinate3
// followed by thousands of separators would otherwise be copied once per
// separator. Each level still behaves as if it held its own copy.

#include <memory>
#include <utility>

template <class Array>
class CVRMLSharedList {
public:
    const Array& Read() const { return list ? *list : Empty(); }
    // This level's own list, copied first when another level or a holder
    // shares it, or when it was adopted. The reference is good until the
    // next change of levels: a level opened meanwhile would share what is
    // written through it.
    Array& Write() {
        if (!writable || list.use_count() > 1) {
            list = list ? std::make_shared<Array>(*list) : std::make_shared<Array>();
            writable = true;
        }
        // Made by make_shared<Array> above, so not a const object.
        return const_cast<Array&>(*list);
    }
    void Assign(const Array& value) {
        if (writable && list.use_count() == 1)
            const_cast<Array&>(*list) = value;
        else
            list = std::make_shared<Array>(value);
        writable = true;
    }
    void Clear() {
        list.reset();
        writable = false;
    }
    // The list itself, held also outside the levels (by a recorded entry, so
    // that a USE finds the very list its definition read). Whoever holds it
    // counts as sharing it: Write copies first, so a holder never sees it change.
    std::shared_ptr<const Array> Share() const { return list; }
    // Shares a list made elsewhere, perhaps as a const object: never written
    // in place, Write copies it first.
    void Adopt(std::shared_ptr<const Array> shared) {
        list = std::move(shared);
        writable = false;
    }

private:
    static const Array& Empty() {
        static const Array empty;
        return empty;
    }
    std::shared_ptr<const Array> list; // null while empty
    bool writable = false;             // made here by Write or Assign, never adopted
};
