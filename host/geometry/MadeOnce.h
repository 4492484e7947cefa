#pragma once
// A value an object of a loaded world makes on the first request and then
// keeps, asked for from any number of threads: threads that race each make
// one, the first to publish it wins, and the others drop theirs. Forget is
// only for while the object is still being built.

#include <atomic>
#include <memory>

template <class Value>
class trelMadeOnce {
public:
    trelMadeOnce() = default;
    trelMadeOnce(const trelMadeOnce&) {} // a copy makes its own
    trelMadeOnce& operator=(const trelMadeOnce&) = delete;
    ~trelMadeOnce() { Forget(); }

    // The value if made, else null.
    const Value* Made() const { return value.load(std::memory_order_acquire); }
    // The value, made by `make` (returning a unique_ptr) if there is none yet.
    template <class Make>
    const Value& Get(Make make) const {
        if (const Value* kept = Made())
            return *kept;
        std::unique_ptr<Value> fresh = make();
        Value* expected = nullptr;
        if (value.compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel, std::memory_order_acquire))
            return *fresh.release();
        return *expected;
    }
    void Forget() { delete value.exchange(nullptr); }

private:
    mutable std::atomic<Value*> value{nullptr};
};
