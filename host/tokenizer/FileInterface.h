#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CGenericParser;

// A whole file's bytes mapped read-only into memory (C3DFileInterface::
// MapWholeFile), unmapped when this goes. Empty when nothing is mapped.
class CMappedText {
public:
    CMappedText() = default;
    ~CMappedText();
    CMappedText(const CMappedText&) = delete;
    CMappedText& operator=(const CMappedText&) = delete;
    std::string_view View() const { return {data, size}; }
    bool IsMapped() const { return data != nullptr; }
    // Takes the pages wholly before `offset` out of the process's memory, a
    // few megabytes at a time: text that has been read is rarely read again,
    // and when it is, it comes back from the system's cache of the file, the
    // same. A large file then occupies only the stretch being read.
    void ReleaseBefore(size_t offset);

private:
    friend class C3DFileInterface;
    const char* data = nullptr;
    size_t size = 0;
    size_t released = 0; // the pages before this are out
};

// Where a stretch of text came from in the file: the text up to `textOffset`
// was made from the file's bytes up to `fileOffset`. Plain files need no such
// record (the two offsets are the same); compressed files keep one per block.
struct CTextFilePosition {
    uint64_t textOffset = 0;
    uint64_t fileOffset = 0;
};

// Raw file reading for the tokenizer: opens a file and appends it, one large
// block at a time, to a byte buffer. The only place that touches the file system.
//
// A file that begins with the gzip magic bytes (1f 8b), whatever its name, is
// inflated on the fly: the blocks are then blocks of inflated text. Concatenated
// gzip members are read one after the other; bytes after the last member that
// do not start another one are ignored, as gzip itself does. A corrupt or
// truncated stream fails the read (GetReadFailed, GetReadError): the file is
// refused as a whole rather than loaded in part, since a host could not tell
// a silently shortened scene from the real one.
//
// The interface belongs to one tokenizer, which binds its own text buffer to it
// while it opens a file. Every block read during that time lands in the bound
// buffer, whichever overload reads it: a header check that passes a vector of
// its own gets the block there as well, so it can never take bytes away from
// the tokenizer.
class C3DFileInterface {
public:
    static constexpr size_t DefaultBlockSize = size_t(4) << 20;
    // Inflated text allowed from one compressed file. A few kilobytes of gzip
    // can inflate to gigabytes; real scenes stay far below this, and the whole
    // text is held in memory, so a larger stream is taken for an attack.
    static constexpr uint64_t DefaultMaxInflatedSize = uint64_t(1) << 30;

    C3DFileInterface();
    ~C3DFileInterface();
    C3DFileInterface(const C3DFileInterface&) = delete;
    C3DFileInterface& operator=(const C3DFileInterface&) = delete;

    // Non-zero on success. Only a regular file is opened (symbolic links are
    // followed): a device, FIFO, socket or directory could block or never
    // end, and fails like a missing file, with GetReadError saying why.
    int Open(const std::string& path);
    // Reads the process's standard input instead, gzip too. A stream has no
    // size to trust: its text is held to the inflated-size cap.
    int OpenStandardInput();
    void Close();
    int GetFileHandleIsValid() const;
    // Appends the next block of the file to `buffer`; 0 when nothing was left.
    int ReadNextBlockFromFile(std::vector<char>& buffer);
    // Appends the next block to the tokenizer's buffer only; 0 when nothing was
    // left or no tokenizer is loading a file through this interface.
    int ReadNextBlockFromFile();
    uint64_t GetFileSize() const { return fileSize; }
    // Bytes taken from the file so far (compressed bytes for a gzip file).
    uint64_t GetBytesRead() const { return bytesRead; }
    // Bytes of text delivered so far (the same as GetBytesRead for a plain file).
    uint64_t GetTextBytesDelivered() const { return textDelivered; }
    // Non-zero once a read failed for another reason than the end of the file
    // (an I/O error, no memory for the block, a corrupt or oversized gzip stream).
    int GetReadFailed() const { return readFailed ? 1 : 0; }
    // Why the read failed, in a few words; empty while it has not.
    const std::string& GetReadError() const { return readError; }

    // Non-zero when the file last opened is gzip-compressed (also once closed,
    // so that a failed open can still be explained).
    int GetIsCompressed() const { return compressed ? 1 : 0; }
    // For a compressed file: one entry per block delivered, in increasing
    // order; the last one maps the end of the text to the end of the file
    // once everything was read. Empty for a plain file.
    const std::vector<CTextFilePosition>& GetPositionMap() const { return positionMap; }
    void SetMaxInflatedSize(uint64_t bytes) { maxInflatedSize = bytes; }
    uint64_t GetMaxInflatedSize() const { return maxInflatedSize; }
    // Text allowed from the file, compressed or not (a reader's share of a
    // budget over several files). A file with more fails the read.
    void SetMaxTextSize(uint64_t bytes) { maxTextSize = bytes; }
    uint64_t GetMaxTextSize() const { return maxTextSize; }

    // Whether MapWholeFile may map files rather than have them read (off by
    // default). Mapping saves copying a large file's text and faulting in a
    // buffer for it, but on POSIX systems a program that maps a file which
    // another program then cuts short is stopped by a bus error when it reads
    // past the new end: only a program that accepts that, or guards against
    // it with GuardMappedFiles, turns mapping on.
    void SetMapFiles(bool on) { mapFiles = on; }
    bool GetMapFiles() const { return mapFiles; }
    // Maps the whole of the open file into `text` in place of reading it,
    // when mapping is on, the system maps files (POSIX), and the file is a
    // plain (not gzip) regular file of at least MinMappedSize bytes within
    // the text allowance. No block is read after that. False, with nothing
    // changed, when the file is to be read block by block.
    bool MapWholeFile(CMappedText& text);
    // Whether the file last opened was mapped by MapWholeFile.
    bool GetWholeFileMapped() const { return wholeFileMapped; }
    static constexpr uint64_t MinMappedSize = uint64_t(256) << 10;
    // Ends the program with `message` on standard error and exit status
    // `status` when a file mapped by MapWholeFile is cut short while it is
    // read, rather than the bare bus error. For programs, not libraries: it
    // takes over the process's SIGBUS. Does nothing where files are not mapped.
    static void GuardMappedFiles(const char* message, int status);

    // Block size of later reads (at least one byte). Small blocks only make
    // sense in tests of the reading loop.
    void SetBlockSize(size_t bytes) { blockSize = bytes > 0 ? bytes : 1; }
    size_t GetBlockSize() const { return blockSize; }

private:
    friend class CGenericParser;
    struct Inflater;

    void BindBuffer(std::vector<char>* target) { boundBuffer = target; }
    // Starts reading the opened `file`: looks for the gzip magic.
    int StartReading();
    void ResetState();
    size_t ReadBlockInto(std::vector<char>& buffer);
    size_t ReadPlainBlockInto(std::vector<char>& buffer);
    size_t InflateBlockInto(std::vector<char>& buffer);
    // Makes sure the inflater holds input; false at the end of the file.
    bool FillInflaterInput();
    void Fail(const std::string& reason);
    void FailOverSize();

    std::FILE* file = nullptr;
    bool ownsFile = false; // standard input is read, never closed
    uint64_t fileSize = 0;
    uint64_t bytesRead = 0;
    uint64_t textDelivered = 0;
    std::vector<char>* boundBuffer = nullptr;
    size_t blockSize = DefaultBlockSize;
    bool readFailed = false;
    bool mapFiles = false;
    bool wholeFileMapped = false; // the open file's text is mapped: no blocks to read
    std::string readError;
    // Bytes read while looking for the gzip magic, not yet handed on.
    unsigned char lookahead[2] = {0, 0};
    size_t lookaheadSize = 0;
    std::unique_ptr<Inflater> inflater; // set while a compressed file is open
    bool compressed = false;
    std::vector<CTextFilePosition> positionMap;
    uint64_t maxInflatedSize = DefaultMaxInflatedSize;
    uint64_t maxTextSize = UINT64_MAX;
    uint64_t textLimit = UINT64_MAX; // for the file now open
};
