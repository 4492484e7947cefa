// Building a use of a prototype by text substitution: the body is rewritten
// with every IS reference replaced by the value given at the use (or the
// declared default), and the result is read in place by the block loop.

#include "Prototypes.h"
#include "parser/DictionaryEntries.h"
#include "parser/RecordEntry.h"

#include "parser/DepthGuard.h"
#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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

// The caller's reader, or else one of the prototype's own (null when there
// is no memory for it).
CVRMLIOManager* ChooseReader(CVRMLIOManager* shared, std::unique_ptr<CVRMLIOManager>& own) {
    if (shared)
        return shared;
    own.reset(new (std::nothrow) CVRMLIOManager);
    return own.get();
}

} // namespace

int CVRMLPrototype::ReadUseValues(const char* useText, size_t useLength, VRMLFieldDeclarationList& values,
                                  CVRMLIOManager* sharedReader) {
    std::unique_ptr<CVRMLIOManager> ownReader;
    CVRMLIOManager* const chosen = ChooseReader(sharedReader, ownReader);
    if (!chosen)
        return 0;
    CVRMLIOManager& reader = *chosen;
    if (!reader.StartBufferReading(useText, useLength))
        return 0;
    if (reader.GetCurrentTokenBeginType())
        reader.Tokenize();
    // A field given twice keeps its first value, which is the one an IS
    // would take; the repeat is read and dropped rather than appended. A use
    // gives few values: they are searched in place until there are many.
    constexpr size_t MaxSearchedInPlace = 16;
    std::vector<const CVRMLFieldDeclaration*> givenList;
    std::unordered_set<const CVRMLFieldDeclaration*> givenSet;
    auto firstGiven = [&](const CVRMLFieldDeclaration* declared) {
        if (givenList.size() < MaxSearchedInPlace) {
            for (const CVRMLFieldDeclaration* given : givenList)
                if (given == declared)
                    return false;
            givenList.push_back(declared);
            if (givenList.size() == MaxSearchedInPlace)
                givenSet.insert(givenList.begin(), givenList.end());
            return true;
        }
        return givenSet.insert(declared).second;
    };
    std::string fieldName;
    while (reader.GetCurrentTokenType() != VRML_END_OF_INPUT) {
        try {
            fieldName.assign(reader.GetCurrentTokenText());
        } catch (const std::exception&) {
            fieldName.clear();
        }
        reader.Tokenize();
        const CVRMLFieldDeclaration* declared = FindFieldDeclaration(fieldName);
        if (!declared)
            continue; // not a declared field: the next token is tried as a name
        std::vector<char> text;
        reader.CaptureFieldValue(text, declared->GetType(), 1);
        try {
            if (firstGiven(declared))
                values.push_back(
                    std::make_unique<CVRMLFieldDeclaration>(fieldName, declared->GetType(), std::move(text)));
        } catch (const std::exception&) {
            break; // without memory the values read so far are used
        }
    }
    reader.StopBufferReading();
    return 1;
}

void CVRMLPrototype::DropInstanceTemplate() {
    templateBuilt = false;
    templateText.clear();
    templatePieces.clear();
}

int CVRMLPrototype::BuildInstanceTemplate(CVRMLIOManager& reader) {
    DropInstanceTemplate();
    if (!reader.StartBufferReading(body.data(), body.size()))
        return 0;
    int built = 1;
    try {
        if (reader.GetCurrentTokenBeginType())
            reader.Tokenize();
        TemplatePiece run;
        bool inRun = false;
        auto closeRun = [&] {
            if (!inRun)
                return;
            run.length = templateText.size() - run.offset;
            templatePieces.push_back(run);
            inRun = false;
        };
        while (reader.GetCurrentTokenType() != VRML_END_OF_INPUT) {
            const std::string_view token = reader.GetCurrentTokenText();
            if (inRun) {
                templateText.push_back(' ');
            } else {
                run = TemplatePiece();
                run.offset = templateText.size();
                inRun = true;
            }
            templateText.insert(templateText.end(), token.begin(), token.end());
            if (reader.GetNextTokenType() == VRML_IS) {
                reader.Tokenize();
                reader.Tokenize();
                closeRun();
                // At the end of the body the name is empty, and is looked up as such.
                const std::string referenced = reader.GetCurrentTokenString();
                TemplatePiece reference;
                reference.offset = templateText.size();
                reference.length = referenced.size();
                reference.reference = true;
                reference.declared = FindFieldDeclaration(referenced);
                templateText.insert(templateText.end(), referenced.begin(), referenced.end());
                templatePieces.push_back(reference);
            }
            reader.Tokenize();
        }
        closeRun();
    } catch (const std::exception&) {
        built = 0;
    }
    reader.StopBufferReading();
    if (built)
        templateBuilt = true;
    else
        DropInstanceTemplate();
    return built;
}

int CVRMLPrototype::BuildInstanceText(const char* useText, size_t useLength, std::vector<char>& text,
                                      CVRMLIOManager* sharedReader, int appendUnconsumed) {
    text.clear();
    if (body.empty())
        return 0;
    std::unique_ptr<CVRMLIOManager> ownReader;
    CVRMLIOManager* const chosen = ChooseReader(sharedReader, ownReader);
    if (!chosen)
        return 0;
    CVRMLIOManager& reader = *chosen;
    if (!templateBuilt && !BuildInstanceTemplate(reader))
        return 0;
    VRMLFieldDeclarationList values;
    if (useText)
        ReadUseValues(useText, useLength, values, &reader);

    // The value given for a name: the first of that name. A use gives at
    // most one value per field, so a short list is searched in place.
    std::vector<std::pair<std::string, CVRMLFieldDeclaration*>> givenNames;
    std::unordered_map<std::string_view, CVRMLFieldDeclaration*> givenIndex;
    constexpr size_t MaxSearchedInPlace = 16;
    try {
        givenNames.reserve(values.size());
        for (auto& value : values)
            givenNames.emplace_back(value->GetName(), value.get());
        if (givenNames.size() > MaxSearchedInPlace)
            for (auto& given : givenNames)
                givenIndex.emplace(given.first, given.second);
    } catch (const std::exception&) {
        return 0;
    }
    auto givenValue = [&](std::string_view fieldName) -> CVRMLFieldDeclaration* {
        if (givenNames.size() > MaxSearchedInPlace) {
            auto found = givenIndex.find(fieldName);
            return found == givenIndex.end() ? nullptr : found->second;
        }
        for (auto& given : givenNames)
            if (given.first == fieldName)
                return given.second;
        return nullptr;
    };

    for (auto& declaration : declarations)
        declaration->SetConsumed(givenValue(declaration->GetName()) ? 1 : 0);

    auto walk = [&](PieceWriter& writer) {
        for (const TemplatePiece& piece : templatePieces) {
            const std::string_view pieceText(templateText.data() + piece.offset, piece.length);
            if (!piece.reference) {
                writer.Piece(pieceText);
                continue;
            }
            CVRMLFieldDeclaration* found = givenValue(pieceText);
            if (!found)
                found = piece.declared;
            if (found) {
                writer.Piece(found->GetText());
                found->SetConsumed(1);
            }
        }
        // Fields that nothing took are appended as name and value: the block
        // loop passes over a name that is no keyword and acts on one that is.
        if (!appendUnconsumed)
            return;
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
    if (length == 0 || length > MaxInstanceTextLength)
        return 0;
    try {
        text.assign(length, ' ');
        writer.StartWriting(text);
        walk(writer);
        return 1;
    } catch (const std::exception&) {
        text.clear();
        return 0;
    }
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
    if (!prototype->BuildInstanceText(useText, useLength, text, &InstanceReader, !StandardSemantics))
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
