#pragma once

// Sets a value for as long as the guard lives and then puts the old one back,
// whichever way the scope is left.
template <class T>
class ValueGuard {
public:
    ValueGuard(T& target, T value) : place(target), saved(target) { place = value; }
    ~ValueGuard() { place = saved; }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;

private:
    T& place;
    T saved;
};
