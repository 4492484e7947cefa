#pragma once
// The pieces of a glTF document written as they come: each top-level array
// is spooled to a temporary file item by item, and the binary buffer to
// another, so that a writer holds one item at a time, never the document.
// The document is then put together from them once its lengths are known.

#include "OutputFile.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <string>

namespace vrml {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// A JSON array's items, each written whole by RapidJSON and appended with
// the separating comma.
class JsonSpool {
public:
    explicit JsonSpool(const std::string& beside) : file(OutputFile::Temporary{beside}) {}

    // Writes one item with `write(JsonWriter&)`; returns its index.
    template <class Write>
    int Add(Write write) {
        text.Clear();
        JsonWriter writer(text);
        write(writer);
        if (count > 0)
            Append(",", 1);
        Append(text.GetString(), text.GetSize());
        return static_cast<int>(count++);
    }
    size_t Count() const { return count; }
    uint64_t Bytes() const { return bytes; } // the items and their commas
    bool IsOpen() const { return file.IsOpen(); }
    bool CopyTo(OutputFile& out) { return bytes == 0 || file.CopyTo(out); }

private:
    void Append(const char* data, size_t size) {
        file.Bytes(data, size);
        bytes += size;
    }

    OutputFile file;
    rapidjson::StringBuffer text;
    size_t count = 0;
    uint64_t bytes = 0;
};

// The binary buffer: values gathered in memory a geometry at a time, then
// spooled.
class BinarySpool {
public:
    explicit BinarySpool(const std::string& beside) : file(OutputFile::Temporary{beside}) {}

    uint64_t Size() const { return spooled + pending.size(); }
    std::vector<unsigned char>& Pending() { return pending; }
    // Sends what is gathered to the file once it is large enough, or with `all`.
    void Spool(bool all = false) {
        if (pending.empty() || (!all && pending.size() < Gathered))
            return;
        file.Bytes(pending.data(), pending.size());
        spooled += pending.size();
        pending.clear();
        if (pending.capacity() > 4 * Gathered)
            pending.shrink_to_fit(); // a large geometry's room is not held for the rest
    }
    bool IsOpen() const { return file.IsOpen(); }
    OutputFile& File() {
        Spool(true);
        return file;
    }

private:
    static constexpr size_t Gathered = size_t(4) << 20;
    OutputFile file;
    std::vector<unsigned char> pending;
    uint64_t spooled = 0;
};

} // namespace vrml
