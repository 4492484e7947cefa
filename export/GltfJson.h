#pragma once
// The pieces of a glTF document written as they come: each top-level array
// is spooled item by item, and the binary buffer apart, so that a writer
// holds one item at a time, never the document.
// The document is then put together from them once its lengths are known.

#include "OutputFile.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vrml {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// Bytes kept until the document is put together: in memory while they are
// few (a small scene then touches no temporary file), in a temporary file
// beside the output once they are many.
class Spool {
public:
    explicit Spool(const std::string& beside) : beside(beside) {}

    void Write(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        size_ += size;
        if (!file && memory.size() + size < InMemory) {
            memory.insert(memory.end(), bytes, bytes + size);
            return;
        }
        // Past the limit, blocks go straight to the file, never through memory.
        Spill();
        file->Bytes(bytes, size);
    }
    uint64_t Size() const { return size_; }
    bool CopyTo(OutputFile& out) {
        return ReadBack([&](const unsigned char* bytes, size_t size) { out.Bytes(bytes, size); });
    }
    // Everything written, handed to `take` in blocks of a multiple of `record` bytes but the last.
    template <class Take>
    bool ReadBack(Take take, size_t record = 1) {
        if (!file) {
            if (!memory.empty())
                take(memory.data(), memory.size());
            return true;
        }
        Spill();
        return file->ReadBack(take, record);
    }

private:
    static constexpr size_t InMemory = size_t(256) << 10;
    void Spill() {
        if (!file)
            file = std::make_unique<OutputFile>(OutputFile::Temporary{beside});
        file->Bytes(memory.data(), memory.size()); // a file that could not be made fails its read back
        memory = std::vector<unsigned char>();
    }

    std::string beside;
    std::unique_ptr<OutputFile> file;
    std::vector<unsigned char> memory;
    uint64_t size_ = 0;
};

// A JSON array's items, each written whole by RapidJSON and appended with
// the separating comma.
class JsonSpool {
public:
    explicit JsonSpool(const std::string& beside) : spool(beside) {}

    // Writes one item with `write(JsonWriter&)`; returns its index.
    template <class Write>
    int Add(Write write) {
        text.Clear();
        JsonWriter writer(text);
        write(writer);
        if (count > 0)
            spool.Write(",", 1);
        spool.Write(text.GetString(), text.GetSize());
        return static_cast<int>(count++);
    }
    size_t Count() const { return count; }
    uint64_t Bytes() const { return spool.Size(); } // the items and their commas
    bool CopyTo(OutputFile& out) { return spool.CopyTo(out); }

private:
    Spool spool;
    rapidjson::StringBuffer text;
    size_t count = 0;
};

// The binary buffer: values gathered a geometry at a time, then spooled.
class BinarySpool {
public:
    explicit BinarySpool(const std::string& beside) : spool(beside) {}

    uint64_t Size() const { return spool.Size() + pending.size(); }
    std::vector<unsigned char>& Pending() { return pending; }
    // Sends what is gathered on once it is large enough, or with `all`.
    void Flush(bool all = false) {
        if (pending.empty() || (!all && pending.size() < Gathered))
            return;
        spool.Write(pending.data(), pending.size());
        pending.clear();
        if (pending.capacity() > 4 * Gathered)
            pending.shrink_to_fit(); // a large geometry's room is not held for the rest
    }
    Spool& Whole() {
        Flush(true);
        return spool;
    }

private:
    static constexpr size_t Gathered = size_t(1) << 20;
    Spool spool;
    std::vector<unsigned char> pending;
};

} // namespace vrml
