#if defined(_MSC_VER) && !defined(_CRT_SECURE_NO_WARNINGS)
#define _CRT_SECURE_NO_WARNINGS
#endif

#include "OutputFile.h"

#include "UnnamedFile.h"
#include "host/tokenizer/FloatChars.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vrml {

OutputFile::OutputFile(const std::string& target) : path(target) {
    file = OpenUnnamed(path);
    unnamed = file != nullptr;
    if (file == nullptr)
        file = std::fopen(path.c_str(), "wb");
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, size_t(1) << 20);
}

OutputFile::OutputFile() {
    file = std::tmpfile();
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, size_t(1) << 20);
}

OutputFile::OutputFile(const Temporary& where) {
    file = where.beside.empty() ? nullptr : OpenUnnamed(where.beside);
    if (file == nullptr)
        file = std::tmpfile();
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, size_t(1) << 20);
}

OutputFile::~OutputFile() {
    if (file != nullptr) {
        std::fclose(file);
        if (path.empty() || unnamed)
            return; // a file without a name goes by itself
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
}

bool OutputFile::Commit() {
    if (file == nullptr)
        return false;
    bool written = !failed;
    if (unnamed)
        written = written && std::fflush(file) == 0 && GiveName(file, path);
    written = std::fclose(file) == 0 && written;
    file = nullptr;
    if (!written && !unnamed) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return written;
}

void OutputFile::Bytes(const void* data, size_t size) {
    if (file == nullptr || failed || size == 0)
        return;
    failed = std::fwrite(data, 1, size, file) != size;
}

void OutputFile::Number(float value) {
    if (!std::isfinite(value))
        value = 0.0f; // the export step lets no such value through; never write "nan"
    char text[32];
    const auto result = trelChars::ToChars(text, text + sizeof text, value);
    Bytes(text, static_cast<size_t>(result.ptr - text));
}

void OutputFile::Number(uint64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    Bytes(text, static_cast<size_t>(result.ptr - text));
}

void OutputFile::Point(const trelFloatPoint& p) {
    Number(p.x);
    Char(' ');
    Number(p.y);
    Char(' ');
    Number(p.z);
}

void OutputFile::Float32(float value) {
    uint32_t bits;
    static_assert(sizeof bits == sizeof value, "IEEE single precision expected");
    std::memcpy(&bits, &value, sizeof bits);
    UInt32(bits);
}

void OutputFile::UInt32(uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    Bytes(bytes, sizeof bytes);
}

void OutputFile::UInt16(uint16_t value) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
    Bytes(bytes, sizeof bytes);
}

void OutputFile::PatchUInt32(long offset, uint32_t value) {
    if (file == nullptr || failed)
        return;
    if (std::fseek(file, offset, SEEK_SET) != 0) {
        failed = true;
        return;
    }
    UInt32(value);
    failed = failed || std::fseek(file, 0, SEEK_END) != 0;
}

bool OutputFile::Rewind() {
    failed = failed || file == nullptr || std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0;
    return !failed;
}

bool OutputFile::ReadBlock(std::vector<unsigned char>& block, size_t record) {
    // Whole records per read, so that each is cut the same way.
    const size_t step = std::max<size_t>(record, 1);
    block.resize((size_t(1) << 20) / step * step);
    block.resize(std::fread(block.data(), 1, block.size(), file));
    failed = failed || std::ferror(file) != 0;
    return !failed && !block.empty();
}

bool OutputFile::CopyTo(OutputFile& out, size_t keep, size_t record) {
    const bool read = ReadBack(
        [&](const unsigned char* bytes, size_t size) {
            if (record == 0 || keep >= record) {
                out.Bytes(bytes, size);
                return;
            }
            for (size_t at = 0; at + record <= size; at += record)
                out.Bytes(bytes + at, keep);
        },
        std::max<size_t>(record, 1));
    return read && !out.failed;
}

} // namespace vrml
