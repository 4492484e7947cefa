#pragma once
// A file being written by an exporter: buffered, with numbers in their
// shortest exact text form and binary values in little-endian order. A file
// that is not committed is removed, so a failed export leaves nothing behind.

#include "host/geometry/Vectors.h"

#include <cstdint>
#include <cstdio>
#include <string>

class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const { return file != nullptr; }
    // Flushes and closes; false (and the file removed) if any write failed.
    bool Commit();

    void Text(const std::string& text) { Bytes(text.data(), text.size()); }
    void Char(char c) { Bytes(&c, 1); }
    // The shortest text that reads back as the same float.
    void Number(float value);
    void Number(uint64_t value);
    void Point(const trelFloatPoint& p); // "x y z"

    void Bytes(const void* data, size_t size);
    void Float32(float value);
    void UInt32(uint32_t value);
    void UInt16(uint16_t value);
    void UInt8(uint8_t value) { Bytes(&value, 1); }

private:
    std::string path;
    std::FILE* file = nullptr;
    bool failed = false;
};
