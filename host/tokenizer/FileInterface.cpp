#if defined(_MSC_VER) && !defined(_CRT_SECURE_NO_WARNINGS)
#define _CRT_SECURE_NO_WARNINGS // std::fopen is the portable call; MSVC's _s variants are not
#endif

#include "FileInterface.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

// Asked for once the size reported at opening has been read: enough to notice
// a file that grew meanwhile, and small enough to fit into the slack reserved
// by the first read, so the end-of-file probe never reallocates the buffer.
constexpr size_t EndProbeSize = 4096;

} // namespace

C3DFileInterface::~C3DFileInterface() {
    Close();
}

int C3DFileInterface::Open(const std::string& path) {
    Close();
    fileSize = 0;
    bytesRead = 0;
    readFailed = false;
    if (path.empty()) {
        return 0;
    }
    try {
        const std::filesystem::path fsPath(path);
        std::error_code error;
        // Some C runtimes open a directory for reading and fail only on the first read.
        if (std::filesystem::is_directory(fsPath, error)) {
            return 0;
        }
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            return 0;
        }
        // Only a hint for reserving the buffer: a pipe has no size, and a file
        // may change while it is read. Reading always goes on to the real end.
        const std::uintmax_t size = std::filesystem::file_size(fsPath, error);
        fileSize = error ? 0 : static_cast<uint64_t>(size);
        return 1;
    } catch (const std::exception&) {
        Close();
        return 0;
    }
}

void C3DFileInterface::Close() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    boundBuffer = nullptr;
}

int C3DFileInterface::GetFileHandleIsValid() const {
    return file != nullptr ? 1 : 0;
}

size_t C3DFileInterface::ReadBlockInto(std::vector<char>& buffer) {
    if (file == nullptr || readFailed) {
        return 0;
    }
    try {
        const uint64_t remaining = fileSize > bytesRead ? fileSize - bytesRead : 0;
        if (bytesRead == 0 && remaining > 0 && remaining < buffer.max_size() - buffer.size() - EndProbeSize) {
            // One allocation for the whole file: growing block by block would
            // copy a large file several times over.
            buffer.reserve(buffer.size() + static_cast<size_t>(remaining) + EndProbeSize);
        }
        const size_t request = remaining > 0
                                   ? static_cast<size_t>(std::min<uint64_t>(blockSize, remaining))
                                   : std::min(blockSize, EndProbeSize);
        const size_t oldSize = buffer.size();
        buffer.resize(oldSize + request);
        const size_t got = std::fread(buffer.data() + oldSize, 1, request, file);
        buffer.resize(oldSize + got);
        bytesRead += got;
        if (got < request && std::ferror(file) != 0) {
            readFailed = true;
        }
        return got;
    } catch (const std::exception&) {
        readFailed = true;
        return 0;
    }
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
        buffer.insert(buffer.end(), boundBuffer->begin() + static_cast<std::ptrdiff_t>(oldSize),
                      boundBuffer->end());
    } catch (const std::exception&) {
        readFailed = true;
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
