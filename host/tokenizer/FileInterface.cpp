#if defined(_MSC_VER) && !defined(_CRT_SECURE_NO_WARNINGS)
#define _CRT_SECURE_NO_WARNINGS // std::fopen is the portable call; MSVC's _s variants are not
#endif

#include "FileInterface.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#define FILE_INTERFACE_MAPS_FILES 1
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Asked for once the size reported at opening has been read: enough to notice
// a file that grew meanwhile, and small enough to fit into the slack reserved
// by the first read, so the end-of-file probe never reallocates the buffer.
constexpr size_t EndProbeSize = 4096;

// Compressed bytes taken from the file at a time.
constexpr size_t InflaterInputSize = size_t(64) << 10;
// zlib counts in 32-bit units; one call never asks it for more than this.
constexpr uint64_t MaxInflatedPerBlock = uint64_t(64) << 20;

constexpr unsigned char GzipMagic[2] = {0x1f, 0x8b};

// A large file's text is faulted in by the kernel a page at a time; asking
// for huge pages where the system grants them on request (Linux) makes that
// a few hundred times fewer faults. Only a hint: nothing changes without it.
void AdviseLargeBuffer(char* begin, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t HugePage = uintptr_t(2) << 20;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(begin) + size) & ~(HugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)size;
#endif
}

#ifdef FILE_INTERFACE_MAPS_FILES

// The files mapped now, for the bus error guard to tell a cut-short mapped
// file from any other bus error. A mapping that finds no free slot is still
// made; the guard then leaves its bus error to the system.
struct MappedRange {
    std::atomic<uintptr_t> begin{0};
    std::atomic<size_t> size{0};
};
MappedRange mappedRanges[16];

void RegisterMapping(const void* begin, size_t size) {
    for (MappedRange& range : mappedRanges) {
        uintptr_t empty = 0;
        if (range.begin.compare_exchange_strong(empty, reinterpret_cast<uintptr_t>(begin))) {
            range.size = size;
            return;
        }
    }
}

void UnregisterMapping(const void* begin) {
    for (MappedRange& range : mappedRanges) {
        if (range.begin.load() == reinterpret_cast<uintptr_t>(begin)) {
            range.size = 0;
            range.begin = 0;
            return;
        }
    }
}

const char* guardMessage = "";
size_t guardMessageLength = 0;
int guardStatus = 1;

void OnBusError(int, siginfo_t* info, void*) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (const MappedRange& range : mappedRanges) {
        if (range.begin.load() != 0 && at - range.begin.load() < range.size.load()) {
            const ssize_t written = write(STDERR_FILENO, guardMessage, guardMessageLength);
            (void)written; // nothing more can be done about a failed write here
            _exit(guardStatus);
        }
    }
    // Not a mapped file's: the faulting read, run again, ends the program as
    // the system would have.
    signal(SIGBUS, SIG_DFL);
}

#endif

} // namespace

CMappedText::~CMappedText() {
#ifdef FILE_INTERFACE_MAPS_FILES
    if (data != nullptr) {
        UnregisterMapping(data);
        munmap(const_cast<char*>(data), size);
    }
#endif
}

void CMappedText::ReleaseBefore(size_t offset) {
#ifdef FILE_INTERFACE_MAPS_FILES
    constexpr size_t Step = size_t(4) << 20; // one call per this much text read
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t end = page > 0 ? std::min(offset, size) / page * page : 0;
    if (data == nullptr || end < released + Step)
        return;
    // The mapping is private and never written: its pages are the file's.
    if (madvise(const_cast<char*>(data) + released, end - released, MADV_DONTNEED) == 0)
        released = end;
#else
    (void)offset;
#endif
}

bool C3DFileInterface::MapWholeFile(CMappedText& text) {
#ifdef FILE_INTERFACE_MAPS_FILES
    if (!mapFiles || file == nullptr || !ownsFile || inflater != nullptr || readFailed || textDelivered != 0 ||
        text.IsMapped())
        return false;
    const int descriptor = fileno(file);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    // The size now is the text: a file that grows meanwhile is read as it
    // was at this moment. A file over the allowance is left to the reading,
    // which fails it.
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    if (size < MinMappedSize || size > textLimit || size > SIZE_MAX)
        return false;
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE; // all of it is read: its pages come in one go
#endif
    void* address = mmap(nullptr, static_cast<size_t>(size), PROT_READ, flags, descriptor, 0);
    if (address == MAP_FAILED)
        return false;
    RegisterMapping(address, static_cast<size_t>(size));
    text.data = static_cast<const char*>(address);
    text.size = static_cast<size_t>(size);
    bytesRead = size;
    textDelivered = size;
    wholeFileMapped = true;
    return true;
#else
    (void)text;
    return false;
#endif
}

void C3DFileInterface::GuardMappedFiles(const char* message, int status) {
#ifdef FILE_INTERFACE_MAPS_FILES
    guardMessage = message != nullptr ? message : "";
    guardMessageLength = std::strlen(guardMessage);
    guardStatus = status;
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
#else
    (void)message;
    (void)status;
#endif
}

struct C3DFileInterface::Inflater {
    z_stream stream{};
    bool initialized = false;
    std::vector<unsigned char> input;
    bool memberEnded = false; // the member being read is complete
    bool finished = false;    // nothing more will be inflated

    ~Inflater() {
        if (initialized) {
            inflateEnd(&stream);
        }
    }
};

C3DFileInterface::C3DFileInterface() = default;

C3DFileInterface::~C3DFileInterface() { Close(); }

void C3DFileInterface::ResetState() {
    Close();
    fileSize = 0;
    bytesRead = 0;
    textDelivered = 0;
    readFailed = false;
    readError.clear();
    lookaheadSize = 0;
    positionMap.clear();
    compressed = false;
    wholeFileMapped = false;
    textLimit = maxTextSize;
}

int C3DFileInterface::Open(const std::string& path) {
    ResetState();
    if (path.empty()) {
        return 0;
    }
    try {
        const std::filesystem::path fsPath(path);
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(fsPath, error);
        if (error || !std::filesystem::exists(status)) {
            return 0;
        }
        // Checked before opening: opening a FIFO blocks until a writer comes,
        // and a device such as /dev/zero never ends.
        if (!std::filesystem::is_regular_file(status)) {
            Fail("not a regular file");
            return 0;
        }
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            return 0;
        }
        ownsFile = true;
        // Only a hint for reserving the buffer: a file may change while it
        // is read. Reading always goes on to the real end.
        const std::uintmax_t size = std::filesystem::file_size(fsPath, error);
        fileSize = error ? 0 : static_cast<uint64_t>(size);
        return StartReading();
    } catch (const std::exception&) {
        Close();
        return 0;
    }
}

int C3DFileInterface::OpenStandardInput() {
    ResetState();
#ifdef _WIN32
    // Text mode would turn CR LF into LF and stop at a Ctrl-Z, also in gzip data.
    if (_setmode(_fileno(stdin), _O_BINARY) == -1) {
        return 0;
    }
#endif
    file = stdin;
    ownsFile = false;
    textLimit = std::min(maxTextSize, maxInflatedSize);
    try {
        return StartReading();
    } catch (const std::exception&) {
        Close();
        return 0;
    }
}

int C3DFileInterface::StartReading() {
    // The magic is read rather than peeked so that pipes work too; the two
    // bytes are handed on by whichever reader takes over.
    lookaheadSize = std::fread(lookahead, 1, sizeof lookahead, file);
    if (lookaheadSize < sizeof lookahead && std::ferror(file) != 0) {
        Fail("read error");
        return 1;
    }
    if (lookaheadSize == sizeof lookahead && std::memcmp(lookahead, GzipMagic, sizeof GzipMagic) == 0) {
        compressed = true;
        auto fresh = std::make_unique<Inflater>();
        fresh->input.resize(InflaterInputSize);
        // 16 + 15: a gzip wrapper and the largest window.
        if (inflateInit2(&fresh->stream, 16 + MAX_WBITS) != Z_OK) {
            Fail("no memory to inflate the file");
            return 1;
        }
        fresh->initialized = true;
        std::memcpy(fresh->input.data(), lookahead, lookaheadSize);
        fresh->stream.next_in = fresh->input.data();
        fresh->stream.avail_in = static_cast<uInt>(lookaheadSize);
        bytesRead = lookaheadSize;
        lookaheadSize = 0;
        inflater = std::move(fresh);
    }
    return 1;
}

void C3DFileInterface::Close() {
    if (file != nullptr && ownsFile) {
        std::fclose(file);
    }
    file = nullptr;
    ownsFile = false;
    inflater.reset();
    boundBuffer = nullptr;
}

int C3DFileInterface::GetFileHandleIsValid() const { return file != nullptr ? 1 : 0; }

void C3DFileInterface::Fail(const std::string& reason) {
    readFailed = true;
    try {
        if (readError.empty()) {
            readError = reason;
        }
    } catch (const std::exception&) {
        // The flag alone still tells the failure.
    }
}

void C3DFileInterface::FailOverSize() { Fail("more than the " + std::to_string(textLimit) + " bytes allowed"); }

size_t C3DFileInterface::ReadBlockInto(std::vector<char>& buffer) {
    if (file == nullptr || readFailed || wholeFileMapped) {
        return 0;
    }
    try {
        return inflater != nullptr ? InflateBlockInto(buffer) : ReadPlainBlockInto(buffer);
    } catch (const std::exception&) {
        Fail("no memory for the file's text");
        return 0;
    }
}

size_t C3DFileInterface::ReadPlainBlockInto(std::vector<char>& buffer) {
    const uint64_t remaining = fileSize > bytesRead ? fileSize - bytesRead : 0;
    if (bytesRead == 0 && remaining > 0 && remaining < buffer.max_size() - buffer.size() - EndProbeSize) {
        // One allocation for the whole file: growing block by block would
        // copy a large file several times over.
        buffer.reserve(buffer.size() + static_cast<size_t>(remaining) + EndProbeSize);
        AdviseLargeBuffer(buffer.data(), buffer.capacity());
    }
    // One byte beyond the allowance is asked for, so that a file that would
    // exceed it is noticed rather than cut short silently.
    const uint64_t allowance = textLimit > textDelivered ? textLimit - textDelivered : 0;
    const size_t wanted = remaining > 0 ? static_cast<size_t>(std::min<uint64_t>(blockSize, remaining))
                                        : std::min(blockSize, EndProbeSize);
    const size_t request =
        static_cast<size_t>(std::min<uint64_t>(wanted, allowance < UINT64_MAX ? allowance + 1 : allowance));
    const size_t oldSize = buffer.size();
    buffer.resize(oldSize + request);
    const size_t fromLookahead = std::min(lookaheadSize, request);
    std::memcpy(buffer.data() + oldSize, lookahead, fromLookahead);
    std::memmove(lookahead, lookahead + fromLookahead, lookaheadSize - fromLookahead);
    lookaheadSize -= fromLookahead;
    const size_t got =
        fromLookahead + std::fread(buffer.data() + oldSize + fromLookahead, 1, request - fromLookahead, file);
    buffer.resize(oldSize + got);
    bytesRead += got;
    textDelivered += got;
    if (got < request && std::ferror(file) != 0) {
        Fail("read error");
    }
    if (textDelivered > textLimit) {
        FailOverSize();
        return 0;
    }
    return got;
}

bool C3DFileInterface::FillInflaterInput() {
    z_stream& stream = inflater->stream;
    if (stream.avail_in > 0) {
        return true;
    }
    const size_t got = std::fread(inflater->input.data(), 1, inflater->input.size(), file);
    bytesRead += got;
    stream.next_in = inflater->input.data();
    stream.avail_in = static_cast<uInt>(got);
    if (got == 0 && std::ferror(file) != 0) {
        Fail("read error");
    }
    return got > 0;
}

size_t C3DFileInterface::InflateBlockInto(std::vector<char>& buffer) {
    Inflater& state = *inflater;
    z_stream& stream = state.stream;
    if (state.finished) {
        return 0;
    }
    // One byte beyond the allowance is asked for, so that a stream that would
    // exceed it is noticed rather than cut short silently.
    const uint64_t limit = std::min(maxInflatedSize, textLimit);
    const uint64_t allowance = limit > textDelivered ? limit - textDelivered : 0;
    const size_t request = static_cast<size_t>(std::min<uint64_t>({blockSize, allowance + 1, MaxInflatedPerBlock}));
    const size_t oldSize = buffer.size();
    buffer.resize(oldSize + request);
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data() + oldSize);
    stream.avail_out = static_cast<uInt>(request);
    while (stream.avail_out > 0) {
        if (state.memberEnded) {
            // Another member follows only where its magic does; anything else
            // (zero padding, stray bytes) ends the text.
            if (!FillInflaterInput() || stream.next_in[0] != GzipMagic[0]) {
                state.finished = true;
                break;
            }
            if (inflateReset(&stream) != Z_OK) {
                Fail("corrupt gzip stream");
                break;
            }
            state.memberEnded = false;
        }
        if (!FillInflaterInput()) {
            Fail("truncated gzip stream");
            break;
        }
        const uInt inputBefore = stream.avail_in;
        const uInt outputBefore = stream.avail_out;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            state.memberEnded = true;
        } else if (status == Z_MEM_ERROR) {
            Fail("no memory to inflate the file");
            break;
        } else if (status != Z_OK &&
                   !(status == Z_BUF_ERROR && (stream.avail_in != inputBefore || stream.avail_out != outputBefore))) {
            // Z_BUF_ERROR with input and room left would loop for ever.
            Fail(std::string("corrupt gzip stream (") + (stream.msg != nullptr ? stream.msg : "invalid data") + ")");
            break;
        }
    }
    const size_t produced = request - stream.avail_out;
    buffer.resize(oldSize + produced);
    textDelivered += produced;
    if (textDelivered > maxInflatedSize) {
        Fail("inflates to more than " + std::to_string(maxInflatedSize >> 20) + " MiB");
        return 0;
    }
    if (textDelivered > textLimit) {
        FailOverSize();
        return 0;
    }
    if (readFailed) {
        return 0;
    }
    // Progress counts the compressed bytes the text came from; once all is
    // read, the end of the text stands for the end of the file.
    const uint64_t consumed = state.finished ? std::max(bytesRead, fileSize) : bytesRead - stream.avail_in;
    if (!positionMap.empty() && positionMap.back().textOffset == textDelivered) {
        positionMap.back().fileOffset = std::max(positionMap.back().fileOffset, consumed);
    } else {
        positionMap.push_back({textDelivered, consumed});
    }
    return produced;
}

int C3DFileInterface::ReadNextBlockFromFile(std::vector<char>& buffer) {
    if (boundBuffer == nullptr || boundBuffer == &buffer) {
        return ReadBlockInto(buffer) > 0 ? 1 : 0;
    }
    const size_t oldSize = boundBuffer->size();
    if (ReadBlockInto(*boundBuffer) == 0) {
        return 0;
    }
    try {
        buffer.insert(buffer.end(), boundBuffer->begin() + static_cast<std::ptrdiff_t>(oldSize), boundBuffer->end());
    } catch (const std::exception&) {
        Fail("no memory for the file's text");
        return 0;
    }
    return 1;
}

int C3DFileInterface::ReadNextBlockFromFile() {
    if (boundBuffer == nullptr) {
        return 0;
    }
    return ReadBlockInto(*boundBuffer) > 0 ? 1 : 0;
}
