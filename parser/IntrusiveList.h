#pragma once
// A list whose links live in its elements: adding an element allocates
// nothing and removing one needs no search. Files from CAD exporters record
// hundreds of thousands of named nodes, and a list node of their own for each
// would double the allocations of a named part. An element carries one pair
// of links per chain (its GetListLinks(chain)), so it can stand in one list of
// each chain at once; the list neither owns nor copies its elements.

#include <cstddef>
#include <iterator>

template <class T>
struct CVRMLListLinks {
    T* previous = nullptr;
    T* next = nullptr;
};

template <class T, int Chain>
class CVRMLIntrusiveList {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T* const*;
        using reference = T* const&;

        iterator() = default;
        explicit iterator(T* first) : element(first) {}
        reference operator*() const { return element; }
        iterator& operator++() {
            element = element->GetListLinks(Chain).next;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& other) const { return element == other.element; }
        bool operator!=(const iterator& other) const { return element != other.element; }

    private:
        T* element = nullptr;
    };

    CVRMLIntrusiveList() = default;
    // Two lists may not hold the same links: copying would corrupt both.
    CVRMLIntrusiveList(const CVRMLIntrusiveList&) = delete;
    CVRMLIntrusiveList& operator=(const CVRMLIntrusiveList&) = delete;

    iterator begin() const { return iterator(first); }
    iterator end() const { return iterator(); }
    size_t size() const { return count; }
    bool empty() const { return count == 0; }

    void PushBack(T* element) {
        auto& links = element->GetListLinks(Chain);
        links.previous = last;
        links.next = nullptr;
        (last ? last->GetListLinks(Chain).next : first) = element;
        last = element;
        ++count;
    }
    // The element must stand in this list.
    void Erase(T* element) {
        auto& links = element->GetListLinks(Chain);
        (links.previous ? links.previous->GetListLinks(Chain).next : first) = links.next;
        (links.next ? links.next->GetListLinks(Chain).previous : last) = links.previous;
        links.previous = links.next = nullptr;
        --count;
    }
    // Forgets every element without touching it: for when they are all being destroyed.
    void Forget() {
        first = last = nullptr;
        count = 0;
    }

private:
    T* first = nullptr;
    T* last = nullptr;
    size_t count = 0;
};
