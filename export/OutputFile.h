#pragma once
// A file being written by an exporter: buffered, with numbers in their
// shortest exact text form and binary values in little-endian order. A file
// that is not committed is removed, so a failed export leaves nothing behind;
// where the system allows, it has no name until committed, so that not even
// a killed export leaves one (see UnnamedFile.h).

#include "host/geometry/Vectors.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vrml {

class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    // A temporary file, removed when closed, for what must wait until a
    // header before it is known (see CopyTo): in the folder of `beside`
    // where the system allows, so that a large one lands on the output's
    // disk, else in the system's temporary folder.
    OutputFile();
    struct Temporary {
        std::string beside;
    };
    explicit OutputFile(const Temporary& where);
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
    // Overwrites four bytes already written at `offset` (the output must be seekable).
    void PatchUInt32(long offset, uint32_t value);
    // Everything written here so far appended to `out`: of each record of
    // `record` bytes, its first `keep` (all of it by default). False if
    // anything failed.
    bool CopyTo(OutputFile& out, size_t keep = 0, size_t record = 0);
    // Everything written here so far, handed to `take` in blocks of a
    // multiple of `record` bytes (the last may be shorter). False if
    // anything failed.
    template <class Take>
    bool ReadBack(Take take, size_t record = 1);
    void Float32(float value);
    void UInt32(uint32_t value);
    void UInt16(uint16_t value);
    void UInt8(uint8_t value) { Bytes(&value, 1); }

private:
    bool Rewind();
    bool ReadBlock(std::vector<unsigned char>& block, size_t record);

    std::string path;
    std::FILE* file = nullptr;
    bool unnamed = false; // given its name only by Commit
    bool failed = false;
};

template <class Take>
bool OutputFile::ReadBack(Take take, size_t record) {
    if (!Rewind())
        return false;
    std::vector<unsigned char> block;
    while (ReadBlock(block, record))
        take(block.data(), block.size());
    return !failed;
}

} // namespace vrml
