// Prototype instances replayed from a body recorded once (see RecordedBody.h).

#include "RecordedBody.h"

#include "Prototypes.h"

#include "parser/DepthGuard.h"
#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

template <class Entry>
Entry& As(CVRMLDictionaryEntry& entry) {
    return static_cast<Entry&>(entry);
}

// The conversions of the field readers: points, rotation axes and colours
// in single precision, sizes and radii as read. Colour and number lists of
// one element are set in place: a replay writes them for every use, and the
// entry keeps their memory from one use to the next.
template <class Entry, void (Entry::*Set)(const trelFloatPoint&)>
void ApplyPoint(CVRMLDictionaryEntry& e, const double* n) {
    (As<Entry>(e).*Set)(trelFloatPoint(static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])));
}
template <void (CVRMLTransformEntry::*Set)(const trelMatrix4x4&)>
void ApplyRotation(CVRMLDictionaryEntry& e, const double* n) {
    const trelVector axis(static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]));
    (As<CVRMLTransformEntry>(e).*Set)(CreateRotationMatrixForNormalAngle(axis, n[3]));
}
template <class Entry, void (Entry::*Set)(const double&)>
void ApplyNumber(CVRMLDictionaryEntry& e, const double* n) {
    (As<Entry>(e).*Set)(n[0]);
}
// The entry's list of one value: written in place while the entry alone
// holds it, else replaced, since a list a level adopted is never changed.
template <class Array>
Array& OneValueList(std::shared_ptr<const Array>& list) {
    if (!list || list.use_count() > 1 || list->GetSize() != 1)
        list = std::make_shared<Array>(1);
    return const_cast<Array&>(*list); // made changeable here, and held by no one else
}
template <std::shared_ptr<const trelChromaArray> CVRMLMaterialLists::*List>
void ApplyColourList(CVRMLDictionaryEntry& e, const double* n) {
    OneValueList(As<CVRMLMaterialEntry>(e).GetLists().*List)[0] =
        trelChroma(static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]), 1.0f);
}
template <std::shared_ptr<const trelDoubleArray> CVRMLMaterialLists::*List>
void ApplyNumberList(CVRMLDictionaryEntry& e, const double* n) {
    OneValueList(As<CVRMLMaterialEntry>(e).GetLists().*List)[0] = n[0];
}
void ApplySize(CVRMLDictionaryEntry& e, const double* n) {
    auto& cube = As<CVRMLCubeEntry>(e);
    cube.SetWidth(n[0]);
    cube.SetHeight(n[1]);
    cube.SetDepth(n[2]);
}

using Transform = CVRMLTransformEntry;

// A field whose value a node reads in more than one way (ambientIntensity
// scales the diffuse colour into the ambient one) has a conflict: a node
// that also writes the conflicting field keeps the text path.
const CVRMLSlotRow SlotTable[] = {
    {VRML_TRANSFORM, VRML_TRANSLATION, VRML_TRANSLATION, VRML_ENTRY_TRANSFORM, 3,
     ApplyPoint<Transform, &Transform::SetTranslation>},
    {VRML_TRANSFORM, VRML_SCALE, VRML_SCALEFACTOR, VRML_ENTRY_TRANSFORM, 3,
     ApplyPoint<Transform, &Transform::SetScaleFactor>},
    {VRML_TRANSFORM, VRML_SCALEFACTOR, VRML_SCALE, VRML_ENTRY_TRANSFORM, 3,
     ApplyPoint<Transform, &Transform::SetScaleFactor>},
    {VRML_TRANSFORM, VRML_CENTER, VRML_CENTER, VRML_ENTRY_TRANSFORM, 3, ApplyPoint<Transform, &Transform::SetCenter>},
    {VRML_TRANSFORM, VRML_ROTATION, VRML_ROTATION, VRML_ENTRY_TRANSFORM, 4, ApplyRotation<&Transform::SetRotation>},
    {VRML_TRANSFORM, VRML_SCALEORIENTATION, VRML_SCALEORIENTATION, VRML_ENTRY_TRANSFORM, 4,
     ApplyRotation<&Transform::SetScaleOrientation>},
    {VRML_MATERIAL, VRML_DIFFUSECOLOR, VRML_AMBIENTINTENSITY, VRML_ENTRY_MATERIAL, 3,
     ApplyColourList<&CVRMLMaterialLists::diffuse>},
    {VRML_MATERIAL, VRML_SPECULARCOLOR, VRML_SPECULARCOLOR, VRML_ENTRY_MATERIAL, 3,
     ApplyColourList<&CVRMLMaterialLists::specular>},
    {VRML_MATERIAL, VRML_EMISSIVECOLOR, VRML_EMISSIVECOLOR, VRML_ENTRY_MATERIAL, 3,
     ApplyColourList<&CVRMLMaterialLists::emissive>},
    {VRML_MATERIAL, VRML_SHININESS, VRML_SHININESS, VRML_ENTRY_MATERIAL, 1,
     ApplyNumberList<&CVRMLMaterialLists::shininess>},
    {VRML_MATERIAL, VRML_TRANSPARENCY, VRML_TRANSPARENCY, VRML_ENTRY_MATERIAL, 1,
     ApplyNumberList<&CVRMLMaterialLists::transparency>},
    {VRML_BOX, VRML_SIZE, VRML_SIZE, VRML_ENTRY_CUBE, 3, ApplySize},
    {VRML_CYLINDER, VRML_RADIUS, VRML_RADIUS, VRML_ENTRY_CYLINDER, 1,
     ApplyNumber<CVRMLCylinderEntry, &CVRMLCylinderEntry::SetRadius>},
    {VRML_CYLINDER, VRML_HEIGHT, VRML_HEIGHT, VRML_ENTRY_CYLINDER, 1,
     ApplyNumber<CVRMLCylinderEntry, &CVRMLCylinderEntry::SetHeight>},
    {VRML_SPHERE, VRML_RADIUS, VRML_RADIUS, VRML_ENTRY_SPHERE, 1,
     ApplyNumber<CVRMLSphereEntry, &CVRMLSphereEntry::SetRadius>},
    {VRML_CONE, VRML_BOTTOMRADIUS, VRML_BOTTOMRADIUS, VRML_ENTRY_CONE, 1,
     ApplyNumber<CVRMLConeEntry, &CVRMLConeEntry::SetBottomRadius>},
    {VRML_CONE, VRML_HEIGHT, VRML_HEIGHT, VRML_ENTRY_CONE, 1, ApplyNumber<CVRMLConeEntry, &CVRMLConeEntry::SetHeight>},
};

// Grouping, shape and solid nodes: what they build and set is all in their entries.
constexpr VRMLTokenTypes RecordableNodes[] = {VRML_TRANSFORM, VRML_GROUP, VRML_SHAPE,    VRML_APPEARANCE, VRML_MATERIAL,
                                              VRML_BOX,       VRML_CONE,  VRML_CYLINDER, VRML_SPHERE};
constexpr VRMLDictionaryEntryTypes RecordableEntries[] = {
    VRML_ENTRY_SEPARATOR, VRML_ENTRY_TRANSFORM, VRML_ENTRY_MATERIAL, VRML_ENTRY_CUBE,
    VRML_ENTRY_CONE,      VRML_ENTRY_CYLINDER,  VRML_ENTRY_SPHERE};
// Tokens that name, use or declare something, or read pictures: their
// effects outlive the entries.
constexpr VRMLTokenTypes TextOnlyTokens[] = {
    VRML_DEF, VRML_USE, VRML_IS, VRML_PROTO, VRML_EXTERNPROTO, VRML_TEXTURE, VRML_TEXTURETRANSFORM};

template <class List, class Value>
bool Contains(const List& list, Value value) {
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

// Every entry of a recorded tree, depth first, and how deep its separators nest.
void CollectEntries(const CVRMLSeparatorEntry& separator, int level, std::vector<CVRMLDictionaryEntry*>& entries,
                    int& depth) {
    depth = std::max(depth, level);
    for (CVRMLDictionaryEntry* child : separator.GetChildren()) {
        entries.push_back(child);
        if (child->GetType() == VRML_ENTRY_SEPARATOR)
            CollectEntries(static_cast<const CVRMLSeparatorEntry&>(*child), level + 1, entries, depth);
    }
}

// Each slot's numbers, MaxNumbers apart: the use's value where it gave one,
// through `readGiven(slot, given, out)`, else the declared default.
template <class ReadGiven>
bool FillSlotNumbers(const std::vector<CVRMLRecordedBody::Slot>& slots, std::vector<double>& numbers,
                     ReadGiven readGiven) {
    numbers.resize(slots.size() * CVRMLRecordedBody::MaxNumbers);
    for (size_t i = 0; i < slots.size(); ++i) {
        const CVRMLRecordedBody::Slot& slot = slots[i];
        double* out = numbers.data() + i * CVRMLRecordedBody::MaxNumbers;
        const size_t given = slot.declared->GetGivenValue();
        if (given != CVRMLFieldDeclaration::NotGiven) {
            if (!readGiven(slot, given, out))
                return false;
        } else if (slot.defaultReadable) {
            std::copy(slot.defaults, slot.defaults + slot.row->count, out);
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

const CVRMLSlotRow* CVRMLRecordedBody::FindSlotRow(VRMLTokenTypes node, VRMLTokenTypes field) {
    for (const CVRMLSlotRow& row : SlotTable)
        if (row.node == node && row.field == field)
            return &row;
    return nullptr;
}

bool CVRMLRecordedBody::IsRecordableNode(VRMLTokenTypes kind) { return Contains(RecordableNodes, kind); }

bool CVRMLRecordedBody::IsRecordableEntry(int type) {
    return Contains(RecordableEntries, static_cast<VRMLDictionaryEntryTypes>(type));
}

bool CVRMLRecordedBody::ReadNumbers(CVRMLIOManager& reader, std::string_view text, int count, double* numbers) {
    if (text.empty() || !reader.StartBufferReading(text.data(), text.size()))
        return false;
    int read = 0;
    bool exact = true;
    for (; reader.GetCurrentTokenType() != VRML_END_OF_INPUT; reader.Tokenize()) {
        if (reader.GetCurrentTokenType() != VRML_NUMBER || read == count) {
            exact = false;
            break;
        }
        numbers[read++] = reader.GetCurrentTokenNumericValue();
    }
    reader.StopBufferReading();
    return exact && read == count;
}

bool CVRMLRecordedBody::Adopt(std::unique_ptr<CVRMLSeparatorEntry> tree,
                              std::vector<std::unique_ptr<CVRMLDictionaryEntry>> entries,
                              const std::vector<LoggedEntry>& entryOffsets, const std::vector<size_t>& pieceStarts) {
    Drop();
    root = std::move(tree);
    owned = std::move(entries);
    std::vector<CVRMLDictionaryEntry*> all;
    CollectEntries(*root, 0, all, depth);
    bool matched = all.size() == owned.size();
    for (const CVRMLDictionaryEntry* entry : all)
        matched = matched && IsRecordableEntry(entry->GetType());
    for (Slot& slot : slots) {
        if (!matched || slot.piece >= pieceStarts.size()) {
            matched = false;
            break;
        }
        // The node's entry is the one of the slot's kind recorded while its
        // closing brace was the current token: exactly one, or none is sure.
        const size_t brace = pieceStarts[slot.piece] + slot.offset;
        slot.entry = nullptr;
        int found = 0;
        for (const LoggedEntry& logged : entryOffsets) {
            if (logged.second != brace || logged.first->GetType() != slot.row->entry)
                continue;
            auto owner = std::find(all.begin(), all.end(), logged.first);
            if (owner == all.end())
                continue;
            slot.entry = *owner;
            ++found;
        }
        matched = found == 1;
    }
    if (!matched) {
        Drop();
        return false;
    }
    state = State::Ready;
    return true;
}

void CVRMLRecordedBody::Drop() {
    for (Slot& slot : slots)
        slot.entry = nullptr;
    root.reset();
    owned.clear();
    depth = 0;
}

// The template read as nodes: each IS reference is matched to the node it
// stands in and the field before it; the body is recordable when every one
// matches a slot row and nothing in it has effects beyond its entries.
int CVRMLPrototype::ExamineBodyForReplay(CVRMLIOManager& reader, CVRMLParser& parser) {
    CVRMLRecordedBody& recorded = GetRecordedBody();
    std::vector<CVRMLRecordedBody::Slot>& slots = recorded.GetSlots();
    slots.clear();
    recorded.SetState(CVRMLRecordedBody::State::TextOnly);
    if (!templateBuilt || templatePieces.empty())
        return 0;
    // Every field is referenced, once declared: nothing is appended to the
    // instance, and each use value has its place.
    for (size_t i = 0; i < declarations.size(); ++i)
        if (firstOfName[i] != declarations[i].get())
            return 0;
    std::vector<bool> referenced(declarations.size(), false);

    struct OpenNode {
        VRMLTokenTypes kind;
        int brackets; // open brackets when the node opened: its own fields stand at this count
        std::vector<VRMLTokenTypes> fields;
        std::vector<size_t> slots;
    };
    std::vector<OpenNode> nodes;
    int brackets = 0;
    VRMLTokenTypes last = VRML_END_OF_INPUT;
    bool lastInRun = false;
    bool recordable = true;
    bool inBuffer = false;
    try {
        for (size_t p = 0; p < templatePieces.size() && recordable; ++p) {
            const TemplatePiece& piece = templatePieces[p];
            if (piece.reference) {
                const CVRMLSlotRow* row =
                    nodes.empty() || !lastInRun ? nullptr : CVRMLRecordedBody::FindSlotRow(nodes.back().kind, last);
                if (!row || !piece.declared || nodes.back().brackets != brackets)
                    return 0;
                CVRMLRecordedBody::Slot slot;
                slot.declared = piece.declared;
                slot.row = row;
                slot.defaultReadable = CVRMLRecordedBody::ReadNumbers(
                    reader, std::string_view(piece.declared->GetText().data(), piece.declared->GetText().size()),
                    row->count, slot.defaults);
                nodes.back().slots.push_back(slots.size());
                slots.push_back(slot);
                for (size_t i = 0; i < declarations.size(); ++i)
                    referenced[i] = referenced[i] || declarations[i].get() == piece.declared;
                lastInRun = false;
                continue;
            }
            if (!reader.StartBufferReading(templateText.data() + piece.offset, piece.length))
                return 0;
            inBuffer = true;
            for (; reader.GetCurrentTokenType() != VRML_END_OF_INPUT && recordable; reader.Tokenize()) {
                const VRMLTokenTypes kind = reader.GetCurrentTokenType();
                if (Contains(TextOnlyTokens, kind) ||
                    (kind == VRML_WORD && parser.FindPrototype(reader.GetCurrentTokenString()))) {
                    recordable = false;
                } else if (kind == VRML_OPEN_BRACE) {
                    recordable = lastInRun && CVRMLRecordedBody::IsRecordableNode(last);
                    if (recordable) {
                        // The node's kind is no field of its parent.
                        if (!nodes.empty() && nodes.back().brackets == brackets && !nodes.back().fields.empty())
                            nodes.back().fields.pop_back();
                        nodes.push_back({last, brackets, {}, {}});
                    }
                } else if (kind == VRML_CLOSE_BRACE) {
                    recordable = !nodes.empty() && nodes.back().brackets == brackets;
                    if (!recordable)
                        break;
                    const OpenNode& node = nodes.back();
                    for (size_t index : node.slots) {
                        CVRMLRecordedBody::Slot& slot = slots[index];
                        const auto times = [&](VRMLTokenTypes field) {
                            return std::count(node.fields.begin(), node.fields.end(), field);
                        };
                        // A field written twice, or with a field that also
                        // changes its entry, reads in ways a slot does not follow.
                        if (times(slot.row->field) != 1 ||
                            (slot.row->conflict != slot.row->field && times(slot.row->conflict) != 0))
                            recordable = false;
                        slot.piece = p;
                        slot.offset = reader.GetCurrentTokenOffset();
                    }
                    nodes.pop_back();
                } else if (kind == VRML_OPEN_BRACKET) {
                    ++brackets;
                } else if (kind == VRML_CLOSE_BRACKET) {
                    recordable = brackets-- > 0;
                } else if (nodes.empty()) {
                    // At the top only nodes stand: anything else the block
                    // loop would read as a statement of its own.
                    recordable =
                        CVRMLRecordedBody::IsRecordableNode(kind) && reader.GetNextTokenType() == VRML_OPEN_BRACE;
                } else if (nodes.back().brackets == brackets) {
                    nodes.back().fields.push_back(kind);
                }
                last = kind;
                lastInRun = true;
            }
            reader.StopBufferReading();
            inBuffer = false;
            lastInRun = lastInRun && recordable;
        }
    } catch (const std::exception&) {
        if (inBuffer)
            reader.StopBufferReading(); // the reader is shared, and left as found
        slots.clear();
        return 0;
    }
    if (!recordable || !nodes.empty() || brackets != 0 ||
        std::find(referenced.begin(), referenced.end(), false) != referenced.end()) {
        slots.clear();
        return 0;
    }
    std::vector<std::pair<std::string, CVRMLFieldDeclaration*>>& fields = recorded.GetFields();
    fields.clear();
    try {
        for (auto& declaration : declarations)
            fields.emplace_back(declaration->GetName(), declaration.get());
    } catch (const std::exception&) {
        slots.clear();
        return 0;
    }
    recorded.SetState(CVRMLRecordedBody::State::Recordable);
    return 1;
}

CVRMLRecordedBody& CVRMLPrototype::GetRecordedBody() {
    if (!recordedBody)
        recordedBody = std::make_unique<CVRMLRecordedBody>();
    return *recordedBody;
}

// What the text path would do differently from a recording: a pending DEF
// names the first node of the instance, an unchosen child keeps nothing, and
// the node kinds read differently outside VRML 2.0.
bool CVRMLParser::MayBuildFromRecording() const {
    return CurrentSeparator && !SkippingBlock && !HiddenDepth && !DefinedEntity && EntityName.empty() &&
           GetVersion() == VRML_VERSION_2;
}

// The recording use is read from its text, as any other: it must leave
// nothing in a recording level, and its values must be the plain numbers
// that every later use will hold too, so that its reading is theirs.
bool CVRMLParser::MayRecordBody(CVRMLPrototype& prototype, const char* useText, size_t useLength) {
    return MayBuildFromRecording() && !CurrentSeparator->GetDictionaryEntry() &&
           ReadSlotNumbers(prototype, useText, useLength);
}

bool CVRMLParser::ReadSlotNumbers(CVRMLPrototype& prototype, const char* useText, size_t useLength) {
    std::vector<CVRMLUseValue> values;
    if (useText) {
        if (!prototype.ReadUseValues(useText, useLength, values, &InstanceReader))
            return false;
    } else {
        for (const auto& declaration : prototype.GetFieldDeclarations())
            declaration->SetGivenValue(CVRMLFieldDeclaration::NotGiven);
    }
    return FillSlotNumbers(prototype.GetRecordedBody().GetSlots(), SlotNumbers,
                           [&](const CVRMLRecordedBody::Slot& slot, size_t given, double* out) {
                               return CVRMLRecordedBody::ReadNumbers(InstanceReader, values[given].text,
                                                                     slot.row->count, out);
                           });
}

void CVRMLParser::LogRecordedEntry(const CVRMLDictionaryEntry* entry) {
    const size_t offset =
        GetCurrentTokenType() == VRML_END_OF_INPUT ? static_cast<size_t>(-1) : IOManager.GetCurrentTokenOffset();
    try {
        RecordedEntryLog->emplace_back(entry, offset);
    } catch (const std::exception&) {
        // Without memory the entry is not found again, and the body keeps the text path.
    }
}

void CVRMLParser::AdoptRecordedBody(CVRMLPrototype& prototype, std::unique_ptr<CVRMLSeparatorEntry> capture,
                                    const std::vector<std::pair<const CVRMLDictionaryEntry*, size_t>>& entryOffsets,
                                    const std::vector<size_t>& pieceStarts) {
    CVRMLRecordedBody& recorded = prototype.GetRecordedBody();
    // The entries leave the dictionary for the prototype: nothing names them,
    // and they live as long as the prototype does.
    std::vector<std::unique_ptr<CVRMLDictionaryEntry>> entries;
    std::vector<CVRMLDictionaryEntry*> all;
    int depth = 0;
    CollectEntries(*capture, 0, all, depth);
    bool adopted = false;
    try {
        entries.reserve(all.size());
        for (CVRMLDictionaryEntry* entry : all) {
            if (entry->GetInDictionary()) {
                ObjectDictionary.Erase(entry);
                entry->SetInDictionary(false);
            }
            entries.emplace_back(entry);
        }
        adopted = recorded.Adopt(std::move(capture), std::move(entries), entryOffsets, pieceStarts);
    } catch (const std::exception&) {
        adopted = false;
    }
    constexpr int MaxFailedRecordings = 4;
    if (!adopted && recorded.CountFailedRecording() >= MaxFailedRecordings)
        recorded.SetState(CVRMLRecordedBody::State::TextOnly);
}

bool CVRMLParser::MayReplayRecordedBody(const CVRMLRecordedBody& recorded) const {
    if (recorded.GetState() != CVRMLRecordedBody::State::Ready || !MayBuildFromRecording())
        return false;
    // The text path would read the body through a block loop per node and
    // count no replays: near either limit it decides.
    const int depth = recorded.GetDepth() + 2;
    return NestingDepth + 4 * depth < MaxNestingDepth && ReplayDepth + depth < MaxReplayDepth &&
           ReplayCount + static_cast<long long>(recorded.GetEntryCount()) < ReplayBudget;
}

void CVRMLParser::ReplaySlots(CVRMLRecordedBody& recorded) {
    std::vector<CVRMLRecordedBody::Slot>& slots = recorded.GetSlots();
    for (size_t i = 0; i < slots.size(); ++i)
        slots[i].row->apply(*slots[i].entry, SlotNumbers.data() + i * CVRMLRecordedBody::MaxNumbers);
    // Instances have their own budget; their replays do not spend the one of USE.
    ValueGuard<long long> replays(ReplayCount, ReplayCount);
    ValueGuard<int> unrecorded(AllowDictionaryUpdate, 0);
    ReplayRecordedLevel(recorded.GetRoot());
}

// As a replay of a separator entry, without what guards a USE: a recorded
// body names nothing and uses nothing, so its levels need no name of their
// own and no guard against replaying themselves, and its lists cannot
// change while they are walked.
void CVRMLParser::ReplayRecordedLevel(const CVRMLSeparatorEntry& level) {
    for (CVRMLDictionaryEntry* child : level.GetChildren()) {
        if (child->GetType() != VRML_ENTRY_SEPARATOR) {
            ServiceDictionaryObject(child);
        } else if (DefineSeparator()) {
            DepthGuard depth(ReplayDepth);
            ReplayRecordedLevel(static_cast<const CVRMLSeparatorEntry&>(*child));
            PopSeparator();
        }
    }
}

int CVRMLParser::ReplayRecordedBody(CVRMLPrototype& prototype, const std::string& name, const char* useText,
                                    size_t useLength) {
    CVRMLRecordedBody& recorded = prototype.GetRecordedBody();
    if (!MayReplayRecordedBody(recorded) || !ReadSlotNumbers(prototype, useText, useLength))
        return 0;
    RecordEntry<CVRMLProtoUseEntry>(*this, [&](CVRMLProtoUseEntry& e) {
        e.SetPrototypeName(name);
        if (useText && useLength > 0)
            e.SetUseText(std::vector<char>(useText, useText + useLength));
    });
    ReplaySlots(recorded);
    return 1;
}

namespace {
// The numbers a value of a declared type holds when written plainly; 0 for
// the types whose values are not plain numbers.
int PlainNumbersOf(int type) {
    switch (type) {
    case VRML_FIELD_SFFLOAT: return 1;
    case VRML_FIELD_SFVEC2F: return 2;
    case VRML_FIELD_SFVEC3F:
    case VRML_FIELD_SFCOLOR: return 3;
    case VRML_FIELD_SFROTATION: return 4;
    default: return 0;
    }
}
} // namespace

// The use's values read straight from the file: a block of declared names,
// each followed by exactly the plain numbers of its type, read as the
// capture and the use-value reader would read them. Anything else (a name
// given twice or not declared, brackets, too few numbers) puts the reader
// back on the "{" for the text path.
bool CVRMLParser::ReadSlotNumbersInPlace(CVRMLPrototype& prototype) {
    CVRMLRecordedBody& recorded = prototype.GetRecordedBody();
    for (const auto& declaration : prototype.GetFieldDeclarations())
        declaration->SetGivenValue(CVRMLFieldDeclaration::NotGiven);
    GivenNumbers.clear();
    IOManager.Tokenize(); // past the "{"
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        // A recorded body's interface names each field once, and holds few:
        // a walk finds one faster than the index does.
        CVRMLFieldDeclaration* declared = nullptr;
        const std::string_view fieldName = IOManager.GetCurrentTokenText();
        for (const auto& field : recorded.GetFields())
            if (field.first == fieldName) {
                declared = field.second;
                break;
            }
        if (!declared || declared->GetGivenValue() != CVRMLFieldDeclaration::NotGiven)
            return false;
        const int count = PlainNumbersOf(declared->GetType());
        if (count == 0)
            return false;
        declared->SetGivenValue(GivenNumbers.size());
        for (int i = 0; i < count; ++i) {
            IOManager.Tokenize();
            if (GetCurrentTokenType() != VRML_NUMBER)
                return false;
            GivenNumbers.push_back(GetCurrentTokenNumericValue());
        }
        IOManager.Tokenize();
    }
    return FillSlotNumbers(
        recorded.GetSlots(), SlotNumbers, [&](const CVRMLRecordedBody::Slot& slot, size_t given, double* out) {
            if (PlainNumbersOf(slot.declared->GetType()) != slot.row->count)
                return false;
            std::copy(GivenNumbers.data() + given, GivenNumbers.data() + given + slot.row->count, out);
            return true;
        });
}

int CVRMLParser::ReplayUseInPlace(CVRMLPrototype& prototype) {
    CVRMLRecordedBody& recorded = prototype.GetRecordedBody();
    // A use recorded into a named level keeps its text in its entry: it is
    // captured as usual.
    if (!MayReplayRecordedBody(recorded) || GetDefiningObjects() || prototype.IsBuildingAny() ||
        InstanceDepth >= MaxInstanceDepth || InstanceCount >= InstanceBudget)
        return 0;
    CGenericIOState start;
    if (!IOManager.SaveIOState(start))
        return 0;
    bool read = false;
    try {
        read = ReadSlotNumbersInPlace(prototype);
    } catch (const std::exception&) {
        read = false;
    }
    if (!read) {
        IOManager.RestoreIOState(start);
        return 0;
    }
    ++InstanceCount;
    ReplaySlots(recorded);
    return 1;
}
