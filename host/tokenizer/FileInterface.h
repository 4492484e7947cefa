#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CGenericParser;

// Raw file reading for the tokenizer: opens a file and appends it, one large
// block at a time, to a byte buffer. The only place that touches the file system.
//
// The interface belongs to one tokenizer, which binds its own text buffer to it
// while it opens a file. Every block read during that time lands in the bound
// buffer, whichever overload reads it: a header check that passes a vector of
// its own gets the block there as well, so it can never take bytes away from
// the tokenizer.
class C3DFileInterface {
public:
    static constexpr size_t DefaultBlockSize = size_t(4) << 20;

    C3DFileInterface() = default;
    ~C3DFileInterface();
    C3DFileInterface(const C3DFileInterface&) = delete;
    C3DFileInterface& operator=(const C3DFileInterface&) = delete;

    int Open(const std::string& path);       // non-zero on success
    void Close();
    int GetFileHandleIsValid() const;
    // Appends the next block of the file to `buffer`; 0 when nothing was left.
    int ReadNextBlockFromFile(std::vector<char>& buffer);
    // Appends the next block to the tokenizer's buffer only; 0 when nothing was
    // left or no tokenizer is loading a file through this interface.
    int ReadNextBlockFromFile();
    uint64_t GetFileSize() const { return fileSize; }
    uint64_t GetBytesRead() const { return bytesRead; }
    // Non-zero once a read failed for another reason than the end of the file
    // (an I/O error, or no memory for the block).
    int GetReadFailed() const { return readFailed ? 1 : 0; }

    // Block size of later reads (at least one byte). Small blocks only make
    // sense in tests of the reading loop.
    void SetBlockSize(size_t bytes) { blockSize = bytes > 0 ? bytes : 1; }
    size_t GetBlockSize() const { return blockSize; }

private:
    friend class CGenericParser;
    void BindBuffer(std::vector<char>* target) { boundBuffer = target; }
    size_t ReadBlockInto(std::vector<char>& buffer);

    std::FILE* file = nullptr;
    uint64_t fileSize = 0;
    uint64_t bytesRead = 0;
    std::vector<char>* boundBuffer = nullptr;
    size_t blockSize = DefaultBlockSize;
    bool readFailed = false;
};
