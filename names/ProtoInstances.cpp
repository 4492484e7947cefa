// Building a use of a prototype by text substitution: the body is rewritten
// with every IS reference replaced by the value given at the use (or the
// declared default), and the result is read in place by the block loop.

#include "Prototypes.h"
#include "parser/DictionaryEntries.h"
#include "parser/RecordEntry.h"

#include "parser/DepthGuard.h"
#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>
#include <new>
#include <string_view>
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
    // Where the next piece begins in the text being written.
    size_t Written() const { return static_cast<size_t>(cursor - start); }

    size_t TextLength() const { return count == 0 ? 0 : length + count - 1; }
    void StartWriting(std::vector<char>& text) {
        limit = count;
        count = 0;
        length = 0;
        cursor = start = text.data();
        end = text.data() + text.size();
    }

private:
    size_t length = 0;
    size_t count = 0;
    size_t limit = 0;
    char* cursor = nullptr;
    char* start = nullptr;
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

// Makes a level record into a body's capture for as long as the guard lives
// (nothing when there is no capture). A stray "}" in a malformed body can
// close the level the text is read at; the level is then gone, and so is the
// recording, which no longer matches what the text builds.
class RecordingLevelGuard {
public:
    RecordingLevelGuard(const std::list<CVRMLSeparator*>& levels, CVRMLSeparator* l, CVRMLSeparatorEntry* capture)
        : levels(levels), level(capture ? l : nullptr) {
        if (level)
            level->SetDictionaryEntry(capture);
    }
    ~RecordingLevelGuard() {
        if (LevelStands())
            level->SetDictionaryEntry(nullptr);
    }
    // Compares pointers only: a closed level is never read.
    bool LevelStands() const { return level && std::find(levels.begin(), levels.end(), level) != levels.end(); }
    RecordingLevelGuard(const RecordingLevelGuard&) = delete;
    RecordingLevelGuard& operator=(const RecordingLevelGuard&) = delete;

private:
    const std::list<CVRMLSeparator*>& levels;
    CVRMLSeparator* level;
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

int CVRMLPrototype::ReadUseValues(const char* useText, size_t useLength, std::vector<CVRMLUseValue>& values,
                                  CVRMLIOManager* sharedReader) {
    values.clear();
    for (auto& declaration : declarations)
        declaration->SetGivenValue(CVRMLFieldDeclaration::NotGiven);
    std::unique_ptr<CVRMLIOManager> ownReader;
    CVRMLIOManager* const chosen = ChooseReader(sharedReader, ownReader);
    if (!chosen)
        return 0;
    CVRMLIOManager& reader = *chosen;
    if (!reader.StartBufferReading(useText, useLength))
        return 0;
    if (reader.GetCurrentTokenBeginType())
        reader.Tokenize();
    // The reader reads a copy of the use's text: offsets in it are offsets in the use.
    auto inUse = [&](size_t offset, size_t length) { return std::string_view(useText + offset, length); };
    while (reader.GetCurrentTokenType() != VRML_END_OF_INPUT) {
        const std::string_view fieldName = inUse(reader.GetCurrentTokenOffset(), reader.GetCurrentTokenText().size());
        reader.Tokenize();
        CVRMLFieldDeclaration* declared = declarationIndex.Find(fieldName);
        if (!declared)
            continue; // not a declared field: the next token is tried as a name
        VRMLCaptureCursor counting;
        reader.CopyFieldValueTokens(counting, declared->GetType(), 1);
        if (declared->GetGivenValue() != CVRMLFieldDeclaration::NotGiven)
            continue; // a repeat: read and dropped, the first value is the one an IS takes
        CVRMLUseValue value;
        value.declared = declared;
        value.name = fieldName;
        if (counting.tokenCount > 0)
            value.text = inUse(counting.firstOffset, counting.endOffset - counting.firstOffset);
        try {
            values.push_back(value);
        } catch (const std::exception&) {
            break; // without memory the values read so far are used
        }
        declared->SetGivenValue(values.size() - 1);
    }
    reader.StopBufferReading();
    return 1;
}

void CVRMLPrototype::DropInstanceTemplate() {
    recordedBody.reset(); // its slots refer to the template's pieces
    templateBuilt = false;
    templateText.clear();
    templatePieces.clear();
    firstOfName.clear();
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
        firstOfName.reserve(declarations.size());
        for (auto& declaration : declarations)
            firstOfName.push_back(FindFieldDeclaration(declaration->GetName()));
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
                                      CVRMLIOManager* sharedReader, int appendUnconsumed,
                                      std::vector<size_t>* pieceStarts) {
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
    std::vector<CVRMLUseValue>& values = useValues;
    values.clear();
    for (auto& declaration : declarations)
        declaration->SetGivenValue(CVRMLFieldDeclaration::NotGiven);
    if (useText)
        ReadUseValues(useText, useLength, values, &reader);

    // A field is taken by a value given under its name: duplicates of a
    // name are all overridden by the value that overrides the first.
    for (size_t i = 0; i < declarations.size(); ++i)
        declarations[i]->SetConsumed(firstOfName[i]->GetGivenValue() != CVRMLFieldDeclaration::NotGiven ? 1 : 0);

    auto walk = [&](PieceWriter& writer, std::vector<size_t>* starts) {
        for (const TemplatePiece& piece : templatePieces) {
            if (starts)
                starts->push_back(writer.Written());
            const std::string_view pieceText(templateText.data() + piece.offset, piece.length);
            if (!piece.reference) {
                writer.Piece(pieceText);
                continue;
            }
            CVRMLFieldDeclaration* declared = piece.declared;
            if (!declared)
                continue; // IS naming no interface field: nothing can be given for it either
            if (declared->GetGivenValue() != CVRMLFieldDeclaration::NotGiven) {
                CVRMLUseValue& given = values[declared->GetGivenValue()];
                writer.Piece(given.text);
                given.consumed = true;
            } else {
                writer.Piece(declared->GetText());
                declared->SetConsumed(1);
            }
        }
        // Fields that nothing took are appended as name and value: the block
        // loop passes over a name that is no keyword and acts on one that is.
        // The standards' reading draws none of them, but a node value's DEF
        // names stay defined for later uses: such a value is read as the
        // choices of a Switch that chooses none, which define and build nothing.
        const auto append = [&](std::string_view name, std::string_view value) {
            if (appendUnconsumed == AppendAsStatements) {
                writer.Piece(name);
                writer.Piece(value);
            } else if (appendUnconsumed == AppendNamesOnly && value.find("DEF") != std::string_view::npos) {
                writer.Piece("Switch { choice");
                writer.Piece(value);
                writer.Piece("}");
            }
        };
        for (auto& declaration : declarations)
            if (!declaration->GetConsumed())
                append(declaration->GetName(),
                       std::string_view(declaration->GetText().data(), declaration->GetText().size()));
        for (const CVRMLUseValue& value : values)
            if (!value.consumed)
                append(value.name, value.text);
    };

    PieceWriter writer;
    walk(writer, nullptr);
    const size_t length = writer.TextLength();
    if (length == 0 || length > MaxInstanceTextLength)
        return 0;
    try {
        text.assign(length, ' ');
        writer.StartWriting(text);
        if (pieceStarts) {
            pieceStarts->clear();
            pieceStarts->reserve(templatePieces.size());
        }
        walk(writer, pieceStarts);
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
        if (ReplayUseInPlace(*prototype))
            return 1;
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

    if (ReplayRecordedBody(*prototype, name, useText, useLength))
        return 1;

    std::vector<char> text;
    // Until the body is recorded (or known not to be recordable) a use may be
    // the one that records it; the recording needs to know where each piece
    // of the body stands in the instance text.
    const CVRMLRecordedBody::State before = prototype->GetRecordedBody().GetState();
    const bool mayRecord =
        before == CVRMLRecordedBody::State::Unexamined || before == CVRMLRecordedBody::State::Recordable;
    std::vector<size_t> pieceStarts;
    if (!prototype->BuildInstanceText(useText, useLength, text, &InstanceReader,
                                      StandardSemantics ? CVRMLPrototype::AppendNamesOnly
                                                        : CVRMLPrototype::AppendAsStatements,
                                      mayRecord ? &pieceStarts : nullptr))
        return 1; // nothing to build
    // The body's template exists now (a new one drops what was recorded).
    CVRMLRecordedBody& current = prototype->GetRecordedBody();
    if (current.GetState() == CVRMLRecordedBody::State::Unexamined)
        prototype->ExamineBodyForReplay(InstanceReader, *this);
    std::unique_ptr<CVRMLSeparatorEntry> capture;
    if (mayRecord && current.GetState() == CVRMLRecordedBody::State::Recordable &&
        MayRecordBody(*prototype, useText, useLength))
        capture.reset(new (std::nothrow) CVRMLSeparatorEntry);

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
    std::vector<std::pair<const CVRMLDictionaryEntry*, size_t>> entryOffsets;
    bool levelClosed = false;
    if (IOManager.StartBufferReading(text.data(), text.size())) {
        std::vector<char>().swap(text); // the reader holds its own copy
        MarkPrototypeNames();
        BuildingGuard building(*prototype, useText, useLength);
        DepthGuard depth(InstanceDepth);
        // A use that records the body records all of it at its level;
        // otherwise nothing is recorded there, as the use's own entry builds
        // the rest again.
        ValueGuard<CVRMLSeparator*> instanceLevel(InstanceLevel, capture ? nullptr : CurrentSeparator);
        RecordingLevelGuard recording(SeparatorStack, CurrentSeparator, capture.get());
        ValueGuard<std::vector<std::pair<const CVRMLDictionaryEntry*, size_t>>*> logging(
            RecordedEntryLog, capture ? &entryOffsets : nullptr);
        // A DEF inside the body is recorded even while the use is replayed,
        // so that a USE inside the body finds it.
        ValueGuard<int> allowRecording(AllowDictionaryUpdate, 1);
        ReadEmbeddedStatements();
        IOManager.StopBufferReading();
        levelClosed = capture && !recording.LevelStands();
    }
    IOManager.SetFilename(includingFile);
    RestoreIOState(returnPosition);
    if (capture)
        AdoptRecordedBody(*prototype, std::move(capture), entryOffsets, pieceStarts);
    if (levelClosed) // what was recorded is not what the text builds
        prototype->GetRecordedBody().SetState(CVRMLRecordedBody::State::TextOnly);
    return 1;
}
