#pragma once
// Items made on one thread and used, in order, on another: the maker need
// not wait for the user to finish the last item before making the next.
// Items are swapped in and out, so the buffers they hold go round between
// the two threads instead of being allocated for each item.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace vrml {

template <class Item>
class HandOver {
public:
    // At most `depth` items wait to be used, which bounds the memory held.
    explicit HandOver(size_t depth) : depth(depth) {}

    // Making side: hands `item` over, leaving in it an item already used
    // (or a new one), whose contents the maker overwrites.
    void Put(Item& item) {
        std::unique_lock<std::mutex> lock(guard);
        changed.wait(lock, [&] { return waiting.size() < depth || stopped; });
        if (stopped)
            return;
        Item used;
        if (!spare.empty()) {
            used = std::move(spare.back());
            spare.pop_back();
        }
        std::swap(used, item);
        waiting.push_back(std::move(used));
        changed.notify_all();
    }
    // No more items will come.
    void Close() {
        std::lock_guard<std::mutex> lock(guard);
        closed = true;
        changed.notify_all();
    }

    // Using side: swaps the next item into `item`, whose old contents go
    // back to the making side; false once closed and empty.
    bool Next(Item& item) {
        std::unique_lock<std::mutex> lock(guard);
        changed.wait(lock, [&] { return !waiting.empty() || closed; });
        if (waiting.empty())
            return false;
        std::swap(item, waiting.front());
        spare.push_back(std::move(waiting.front()));
        waiting.pop_front();
        changed.notify_all();
        return true;
    }
    // The user gives up: items that come are dropped.
    void Stop() {
        std::lock_guard<std::mutex> lock(guard);
        stopped = true;
        waiting.clear();
        changed.notify_all();
    }

private:
    const size_t depth;
    std::mutex guard;
    std::condition_variable changed;
    std::deque<Item> waiting;
    std::vector<Item> spare;
    bool closed = false, stopped = false;
};

} // namespace vrml
