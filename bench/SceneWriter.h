#pragma once
// Writing large generated scenes: text goes to the file in large pieces and
// is never held whole in memory, since the peak memory of a parse is measured
// against what the process holds before it.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

class SceneWriter {
public:
    explicit SceneWriter(const std::string& path) : out(path, std::ios::binary) { text.reserve(PieceSize + 4096); }
    ~SceneWriter() { Flush(); }
    SceneWriter(const SceneWriter&) = delete;
    SceneWriter& operator=(const SceneWriter&) = delete;

    SceneWriter& operator<<(const char* piece) { return Append(piece); }
    SceneWriter& operator<<(const std::string& piece) { return Append(piece); }
    SceneWriter& operator<<(char c) { return Append(c); }
    SceneWriter& operator<<(long long n) { return Append(std::to_string(n)); }
    SceneWriter& operator<<(int n) { return Append(std::to_string(n)); }
    // A fixed number of decimals, as exporters write them.
    SceneWriter& Number(double value, int decimals) {
        char number[48];
        std::snprintf(number, sizeof number, "%.*f", decimals, value);
        return Append(number);
    }
    // Three numbers separated by spaces.
    SceneWriter& Triple(double x, double y, double z, int decimals) {
        Number(x, decimals) << ' ';
        Number(y, decimals) << ' ';
        return Number(z, decimals);
    }
    uint64_t Size() const { return written + text.size(); }
    bool Good() const { return static_cast<bool>(out); }

private:
    static constexpr size_t PieceSize = 1u << 20;
    template <typename Piece>
    SceneWriter& Append(const Piece& piece) {
        text += piece;
        if (text.size() >= PieceSize)
            Flush();
        return *this;
    }
    void Flush() {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        written += text.size();
        text.clear();
    }
    std::ofstream out;
    std::string text;
    uint64_t written = 0;
};

// Deterministic, so that every run parses the same scenes.
class Random {
public:
    uint32_t Next() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    double Between(double low, double high) { return low + (high - low) * (Next() % 1000000) / 1000000.0; }

private:
    uint32_t seed = 20240611u;
};
