#pragma once
// A prototype body read once into dictionary entries, with the places in those
// entries that a use's values fill. A later use puts its values there and
// replays the entries as a USE does, instead of writing the body text again
// and reading it back.
//
// Only bodies that the entries express exactly are recorded: every node one of
// a few kinds whose reading leaves nothing behind but its entries, every IS
// reference one the slot table knows, every interface field referenced. A
// value that is not exactly the numbers its slot takes sends that use down
// the text path, so a replay never has to guess how the text would have read.

#include "parser/DictionaryEntries.h"
#include "parser/VRMLTypes.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CVRMLFieldDeclaration;
class CVRMLIOManager;

// How the numbers of one IS reference go into the entry its node records.
struct CVRMLSlotRow {
    VRMLTokenTypes node;
    VRMLTokenTypes field;
    VRMLTokenTypes conflict; // another field of the node that would change the entry too
    VRMLDictionaryEntryTypes entry;
    int count; // numbers the value must hold, no more and no fewer
    void (*apply)(CVRMLDictionaryEntry& entry, const double* numbers);
};

class CVRMLRecordedBody {
public:
    static constexpr int MaxNumbers = 4;
    enum class State { Unexamined, Recordable, Ready, TextOnly };

    // One IS reference of the body.
    struct Slot {
        const CVRMLFieldDeclaration* declared = nullptr;
        const CVRMLSlotRow* row = nullptr;
        size_t piece = 0;                      // the template piece holding the closing brace of the slot's node
        size_t offset = 0;                     // where that brace stands in the piece
        CVRMLDictionaryEntry* entry = nullptr; // found when the body is recorded
        bool defaultReadable = false;
        double defaults[MaxNumbers] = {};
    };

    State GetState() const { return state; }
    void SetState(State value) { state = value; }
    std::vector<Slot>& GetSlots() { return slots; }
    // The interface by name, each name once.
    std::vector<std::pair<std::string, CVRMLFieldDeclaration*>>& GetFields() { return fields; }
    // Separator levels the body nests at most, and entries it holds.
    int GetDepth() const { return depth; }
    size_t GetEntryCount() const { return owned.size(); }
    const CVRMLSeparatorEntry& GetRoot() const { return *root; }

    // The slot row of a field of a node kind; null when the replay cannot fill it.
    static const CVRMLSlotRow* FindSlotRow(VRMLTokenTypes node, VRMLTokenTypes field);
    // Node kinds whose reading leaves nothing but entries.
    static bool IsRecordableNode(VRMLTokenTypes kind);
    static bool IsRecordableEntry(int type);
    // Reads `text` as exactly `count` numbers, as the block loop would.
    static bool ReadNumbers(CVRMLIOManager& reader, std::string_view text, int count, double* numbers);

    // Takes over the tree read at the recording use; false when the slots
    // cannot all be matched to its entries (the tree is dropped then).
    // `entryOffsets` holds each recorded entry with the instance-text offset
    // of the token current when it was recorded; `pieceStarts` where each
    // template piece stands in that text.
    using LoggedEntry = std::pair<const CVRMLDictionaryEntry*, size_t>;
    bool Adopt(std::unique_ptr<CVRMLSeparatorEntry> tree, std::vector<std::unique_ptr<CVRMLDictionaryEntry>> entries,
               const std::vector<LoggedEntry>& entryOffsets, const std::vector<size_t>& pieceStarts);
    void Drop();

    // Recording uses that failed to match the slots (a cylinder of no height
    // records nothing): past a few the body keeps the text path.
    int CountFailedRecording() { return ++failedRecordings; }

private:
    State state = State::Unexamined;
    std::vector<Slot> slots;
    std::vector<std::pair<std::string, CVRMLFieldDeclaration*>> fields;
    std::unique_ptr<CVRMLSeparatorEntry> root;
    std::vector<std::unique_ptr<CVRMLDictionaryEntry>> owned;
    int depth = 0;
    int failedRecordings = 0;
};
