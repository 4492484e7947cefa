#pragma once

// Counts one level of nesting for as long as it lives.
class DepthGuard {
public:
    explicit DepthGuard(int& counter) : depth(counter) { ++depth; }
    ~DepthGuard() { --depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth;
};
