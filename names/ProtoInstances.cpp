// Building a use of a prototype by text substitution: the body is rewritten
// with every IS reference replaced by the value given at the use (or the
// declared default), and the result is read in place by the block loop.

#include "DictionaryEntries.h"
#include "Prototypes.h"
#include "RecordEntry.h"

#include "parser/DepthGuard.h"
#include "parser/VRMLParser.h"

#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

namespace {

// An instance text larger than this is not built. Substitution multiplies
// sizes (a value referenced many times, prototypes nested in prototypes), so
// a small hostile file could otherwise ask for any amount of memory.
constexpr size_t MaxInstanceTextLength = size_t(64) << 20;

// Pieces of an instance text: counted in the first pass, written in the
// second. Pieces are separated by one space; a piece is never split.
class PieceWriter {
public:
    void Piece(std::string_view piece) {
        length += piece.size();
        ++count;
        if (!cursor)
            return;
        size_t room = static_cast<size_t>(end - cursor);
        size_t copied = piece.size() < room ? piece.size() : room;
        if (copied > 0) // an empty piece may have no data at all
            std::memcpy(cursor, piece.data(), copied);
        cursor += copied;
        if (count < limit && cursor < end)
            ++cursor; // over the space the buffer was filled with
    }
    void Piece(const std::vector<char>& text) { Piece(std::string_view(text.data(), text.size())); }

    size_t TextLength() const { return count == 0 ? 0 : length + count - 1; }
    void StartWriting(std::vector<char>& text) {
        limit = count;
        count = 0;
        length = 0;
        cursor = text.data();
        end = text.data() + text.size();
    }

private:
    size_t length = 0;
    size_t count = 0;
    size_t limit = 0;
    char* cursor = nullptr;
    char* end = nullptr;
};

// Marks a use of a prototype as being built for as long as the guard lives.
class BuildingGuard {
public:
    BuildingGuard(CVRMLPrototype& p, const char* useText, size_t useLength) : prototype(p) {
        prototype.BeginBuilding(useText, useLength);
    }
    ~BuildingGuard() { prototype.EndBuilding(); }
    BuildingGuard(const BuildingGuard&) = delete;
    BuildingGuard& operator=(const BuildingGuard&) = delete;

private:
    CVRMLPrototype& prototype;
};

// Sets a value for as long as the guard lives and then puts the old one back.
template <class T>
class ValueGuard {
public:
    ValueGuard(T& target, T value) : place(target), saved(target) { place = value; }
    ~ValueGuard() { place = saved; }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;

private:
    T& place;
    T saved;
};

} // namespace

int CVRMLPrototype::ReadUseValues(const char* useText, size_t useLength, VRMLFieldDeclarationList& values,
                                  CVRMLIOManager* sharedReader) {
    std::unique_ptr<CVRMLIOManager> ownReader;
    if (!sharedReader) {
        ownReader.reset(new (std::nothrow) CVRMLIOManager);
        if (!ownReader)
            return 0;
    }
    CVRMLIOManager& reader = sharedReader ? *sharedReader : *ownReader;
    if (!reader.StartBufferReading(useText, useLength))
        return 0;
    if (reader.GetCurrentTokenBeginType())
        reader.Tokenize();
    // A field given twice keeps its first value, which is the one an IS
    // would take; the repeat is read and dropped rather than appended.
    std::unordered_set<const CVRMLFieldDeclaration*> given;
    while (reader.GetCurrentTokenType() != VRML_END_OF_INPUT) {
        std::string fieldName = reader.GetCurrentTokenString();
        reader.Tokenize();
        const CVRMLFieldDeclaration* declared = FindFieldDeclaration(fieldName);
        if (!declared)
            continue; // not a declared field: the next token is tried as a name
        std::vector<char> text;
        reader.CaptureFieldValue(text, declared->GetType(), 1);
        try {
            if (given.insert(declared).second)
                values.push_back(std::make_unique<CVRMLFieldDeclaration>(fieldName, declared->GetType(), std::move(text)));
        } catch (const std::exception&) {
            break; // without memory the values read so far are used
        }
    }
    reader.StopBufferReading();
    return 1;
}

int CVRMLPrototype::BuildInstanceText(const char* useText, size_t useLength, std::vector<char>& text,
                                      CVRMLIOManager* sharedReader) {
    text.clear();
    if (body.empty())
        return 0;
    std::unique_ptr<CVRMLIOManager> ownReader;
    if (!sharedReader) {
        ownReader.reset(new (std::nothrow) CVRMLIOManager);
        if (!ownReader)
            return 0;
    }
    CVRMLIOManager& reader = sharedReader ? *sharedReader : *ownReader;
    VRMLFieldDeclarationList values;
    if (useText)
        ReadUseValues(useText, useLength, values, &reader);
    std::unordered_map<std::string, CVRMLFieldDeclaration*> valueIndex;
    try {
        for (auto& value : values)
            valueIndex.emplace(value->GetName(), value.get());
    } catch (const std::exception&) {
        return 0;
    }

    if (!reader.StartBufferReading(body.data(), body.size()))
        return 0;
    const bool skipOpening = reader.GetCurrentTokenBeginType() != 0;

    for (auto& declaration : declarations)
        declaration->SetConsumed(valueIndex.count(declaration->GetName()) ? 1 : 0);

    auto walk = [&](PieceWriter& writer) {
        reader.SetToStartOfBuffer();
        if (skipOpening)
            reader.Tokenize();
        while (reader.GetCurrentTokenType() != VRML_END_OF_INPUT) {
            writer.Piece(reader.GetCurrentTokenText());
            if (reader.GetNextTokenType() == VRML_IS) {
                reader.Tokenize();
                reader.Tokenize();
                const std::string referenced = reader.GetCurrentTokenString();
                CVRMLFieldDeclaration* found = nullptr;
                auto given = valueIndex.find(referenced);
                if (given != valueIndex.end())
                    found = given->second;
                else
                    found = FindFieldDeclaration(referenced);
                if (found) {
                    writer.Piece(found->GetText());
                    found->SetConsumed(1);
                }
            }
            reader.Tokenize();
        }
        // Fields that nothing took are appended as name and value: the block
        // loop passes over a name that is no keyword and acts on one that is.
        for (auto& declaration : declarations) {
            if (!declaration->GetConsumed()) {
                writer.Piece(declaration->GetName());
                writer.Piece(declaration->GetText());
            }
        }
        for (auto& value : values) {
            if (!value->GetConsumed()) {
                writer.Piece(value->GetName());
                writer.Piece(value->GetText());
            }
        }
    };

    PieceWriter writer;
    walk(writer);
    const size_t length = writer.TextLength();
    int result = 0;
    if (length > 0 && length <= MaxInstanceTextLength) {
        try {
            text.assign(length, ' ');
            writer.StartWriting(text);
            walk(writer);
            result = 1;
        } catch (const std::exception&) {
            text.clear();
        }
    }
    reader.StopBufferReading();
    return result;
}

int CVRMLParser::ParseProtoUse() {
    if (!CurrentSeparator)
        return 0;
    CVRMLPrototype* prototype = FindPrototype(GetCurrentTokenString());
    if (!prototype) {
        Tokenize();
        return 0;
    }
    const std::string name = prototype->GetName();
    std::vector<char> useText;
    // A name without a block after it (not valid VRML) is built with its
    // defaults, and the token after it is read as the next statement rather
    // than taken as the use's values.
    if (GetNextTokenType() == VRML_OPEN_BRACE) {
        Tokenize();
        IOManager.CaptureBlock(useText, 0);
    }
    return DefineProtoUse(name, useText.empty() ? nullptr : useText.data(), useText.size());
}

int CVRMLParser::DefineProtoUse(const std::string& name, const char* useText, size_t useLength) {
    if (!CurrentSeparator || SkippingBlock)
        return 0;
    CVRMLPrototype* prototype = FindPrototype(name);
    if (!prototype)
        return 0;
    // A prototype whose body uses itself, however indirectly, would be built
    // without end: the inner use is passed over.
    if (prototype->IsBuilding(useText, useLength))
        return 1;
    if (InstanceDepth >= MaxInstanceDepth || InstanceCount >= InstanceBudget)
        return 0;
    ++InstanceCount;

    std::vector<char> text;
    if (!prototype->BuildInstanceText(useText, useLength, text, &InstanceReader))
        return 1; // nothing to build
    CGenericIOState returnPosition;
    SaveIOState(returnPosition);
    RecordEntry<CVRMLProtoUseEntry>(*this, [&](CVRMLProtoUseEntry& e) {
        e.SetPrototypeName(name);
        if (useText && useLength > 0)
            e.SetUseText(std::vector<char>(useText, useText + useLength));
    });

    const std::string includingFile = IOManager.GetFilename();
    if (!prototype->GetSourceFile().empty())
        IOManager.SetFilename(prototype->GetSourceFile());
    if (IOManager.StartBufferReading(text.data(), text.size())) {
        std::vector<char>().swap(text); // the reader holds its own copy
        MarkPrototypeNames();
        BuildingGuard building(*prototype, useText, useLength);
        DepthGuard depth(InstanceDepth);
        ValueGuard<CVRMLSeparator*> instanceLevel(InstanceLevel, CurrentSeparator);
        // A DEF inside the body is recorded even while the use is replayed,
        // so that a USE inside the body finds it.
        ValueGuard<int> allowRecording(AllowDictionaryUpdate, 1);
        ReadEmbeddedStatements();
        IOManager.StopBufferReading();
    }
    IOManager.SetFilename(includingFile);
    RestoreIOState(returnPosition);
    return 1;
}
