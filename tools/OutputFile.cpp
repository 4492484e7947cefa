#if defined(_MSC_VER) && !defined(_CRT_SECURE_NO_WARNINGS)
#define _CRT_SECURE_NO_WARNINGS
#endif

#include "OutputFile.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>

OutputFile::OutputFile(const std::string& target) : path(target) {
    file = std::fopen(path.c_str(), "wb");
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, size_t(1) << 20);
}

OutputFile::~OutputFile() {
    if (file != nullptr) {
        std::fclose(file);
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
}

bool OutputFile::Commit() {
    if (file == nullptr)
        return false;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (failed || !closed) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return false;
    }
    return true;
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
    const auto result = std::to_chars(text, text + sizeof text, value);
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
