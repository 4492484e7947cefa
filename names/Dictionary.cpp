#include "parser/DictionaryEntries.h"

#include "geometry/AttributeScope.h"

#include "parser/DepthGuard.h"
#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {
CVRMLSeparatorEntry* AsSeparatorEntry(CVRMLDictionaryEntry* entry) {
    return entry && entry->GetType() == VRML_ENTRY_SEPARATOR ? static_cast<CVRMLSeparatorEntry*>(entry) : nullptr;
}

bool IsNamedDefinition(const CVRMLDictionaryEntry* entry) {
    return entry->GetType() != VRML_ENTRY_USE && !entry->GetName().empty();
}

// An entry stands in at most one children list, its parent's.
bool Unlink(CVRMLSeparatorEntry* parent, CVRMLDictionaryEntry* entry) {
    if (entry->GetParentEntry() != parent)
        return false;
    parent->GetChildren().Erase(entry);
    entry->SetParentEntry(nullptr);
    return true;
}

// Marks an entry as being replayed for as long as the guard lives.
class ReplayGuard {
public:
    explicit ReplayGuard(CVRMLDictionaryEntry* e) : entry(e) { entry->SetReplaying(true); }
    ~ReplayGuard() { entry->SetReplaying(false); }
    ReplayGuard(const ReplayGuard&) = delete;
    ReplayGuard& operator=(const ReplayGuard&) = delete;

private:
    CVRMLDictionaryEntry* entry;
};

// The replay table: each entry kind calls its Define... with its fields.
using ReplayFunction = int (*)(CVRMLParser&, CVRMLDictionaryEntry&);

template <class Entry>
Entry& As(CVRMLDictionaryEntry& entry) {
    return static_cast<Entry&>(entry);
}

struct ReplayRow {
    VRMLDictionaryEntryTypes code;
    ReplayFunction replay;
};

const ReplayRow ReplayTable[] = {
    {VRML_ENTRY_SEPARATOR,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.ReplaySeparator(As<CVRMLSeparatorEntry>(e)); }},
    {VRML_ENTRY_CUBE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& c = As<CVRMLCubeEntry>(e);
         return p.DefineCube(c.GetWidth(), c.GetHeight(), c.GetDepth());
     }},
    {VRML_ENTRY_CONE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& c = As<CVRMLConeEntry>(e);
         return p.DefineCone(c.GetBottomRadius(), c.GetHeight(), c.GetSide(), c.GetBottom());
     }},
    {VRML_ENTRY_CYLINDER,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& c = As<CVRMLCylinderEntry>(e);
         return p.DefineCylinder(c.GetRadius(), c.GetHeight(), c.GetParts());
     }},
    {VRML_ENTRY_TEXT,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& t = As<CVRMLTextEntry>(e);
         return p.DefineText(t.GetLines(), t.GetLayout());
     }},
    {VRML_ENTRY_FONT_STYLE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineFontStyle(As<CVRMLFontStyleEntry>(e).GetStyle()); }},
    {VRML_ENTRY_SPHERE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineSphere(As<CVRMLSphereEntry>(e).GetRadius()); }},
    {VRML_ENTRY_MATERIAL,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineMaterial(As<CVRMLMaterialEntry>(e).GetLists()); }},
    {VRML_ENTRY_MATERIAL_BINDING,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineBinding(1, static_cast<VRMLBindingTypes>(As<CVRMLBindingEntry>(e).GetBinding()));
     }},
    {VRML_ENTRY_NORMAL_BINDING,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineBinding(0, static_cast<VRMLBindingTypes>(As<CVRMLBindingEntry>(e).GetBinding()));
     }},
    {VRML_ENTRY_TRANSFORM,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& t = As<CVRMLTransformEntry>(e);
         trelMatrix4x4 rotation = t.GetRotation(), scaleOrientation = t.GetScaleOrientation();
         return p.DefineTransform(t.GetTranslation(), t.GetScaleFactor(), rotation, scaleOrientation, t.GetCenter());
     }},
    {VRML_ENTRY_MATRIX_TRANSFORM,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineMatrixTransform(As<CVRMLMatrixTransformEntry>(e).GetMatrix());
     }},
    {VRML_ENTRY_ROTATION,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineRotation(As<CVRMLRotationEntry>(e).GetRotation()); }},
    {VRML_ENTRY_SCALE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineScale(As<CVRMLScaleEntry>(e).GetScaleFactor()); }},
    {VRML_ENTRY_TRANSLATION,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineTranslation(As<CVRMLTranslationEntry>(e).GetTranslation());
     }},
    {VRML_ENTRY_USE, [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineUse(std::string(e.GetName())); }},

    // Coordinates, normals and indexed sets.
    {VRML_ENTRY_INDEXED_SET,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& s = As<CVRMLIndexedSetEntry>(e);
         CVRMLGeometryAttributesScope attributes(p, s.GetAttributes());
         int result = 0;
         if (s.GetFaceSet() && p.DefineSharedFaceSet(s.GetShared(), result))
             return result;
         // DefineIndexedSet renumbers the list it is given; the entry keeps its own.
         trelIntArray coordIndex = s.GetCoordIndex();
         return p.DefineIndexedSet(s.GetFaceSet(), coordIndex, s.GetMaterialIndex(), s.GetNormalIndex(),
                                   &s.GetShared());
     }},
    {VRML_ENTRY_COORDINATE3,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineCoordinate3(As<CVRMLCoordinate3Entry>(e).GetPoints());
     }},
    {VRML_ENTRY_NORMAL,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineNormal(As<CVRMLNormalEntry>(e).GetVectors()); }},
    {VRML_ENTRY_COLOR,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineColor(As<CVRMLColorEntry>(e).GetColors()); }},
    {VRML_ENTRY_TEXTURE_COORDINATE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineTextureCoordinate(As<CVRMLTextureCoordinateEntry>(e).GetPoints());
     }},

    // Point sets and triangle strip sets.
    {VRML_ENTRY_POINT_SET,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& s = As<CVRMLPointSetEntry>(e);
         CVRMLGeometryAttributesScope attributes(p, s.GetAttributes());
         return p.DefinePointSet(s.GetStartIndex(), s.GetNumPoints());
     }},
    {VRML_ENTRY_TRIANGLE_STRIP_SET,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineTriangleStripSet(As<CVRMLTriangleStripSetEntry>(e).GetNumVertices());
     }},

    // Elevation grid and extrusion.
    {VRML_ENTRY_ELEVATION_GRID,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& g = As<CVRMLElevationGridEntry>(e);
         CVRMLGeometryAttributesScope attributes(p, g.GetAttributes());
         return p.DefineElevationGrid(g.GetSolid(), g.GetHeight(), g.GetXDimension(), g.GetXSpacing(),
                                      g.GetZDimension(), g.GetZSpacing());
     }},
    {VRML_ENTRY_EXTRUSION,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& x = As<CVRMLExtrusionEntry>(e);
         CVRMLGeometryAttributesScope attributes(p, x.GetAttributes());
         return p.DefineExtrusion(x.GetSolid(), x.GetBeginCap(), x.GetEndCap(), x.GetAxes(), x.GetAngles(),
                                  x.GetScale(), x.GetCrossSection(), x.GetSpine());
     }},

    // Textures and texture transforms.
    {VRML_ENTRY_TEXTURE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) { return p.DefineTexture(As<CVRMLTextureEntry>(e).GetTexture()); }},
    {VRML_ENTRY_TEXTURE_TRANSFORM,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         return p.DefineTextureTransform(As<CVRMLTextureTransformEntry>(e).GetMatrix());
     }},

    // Prototype instances.
    {VRML_ENTRY_PROTO_USE,
     [](CVRMLParser& p, CVRMLDictionaryEntry& e) {
         auto& u = As<CVRMLProtoUseEntry>(e);
         return p.DefineProtoUse(u.GetPrototypeName(), u.GetUseText().data(), u.GetUseText().size());
     }},
};

// Indexed by code: a use replays every entry of its part, so the search
// runs once per entry replayed.
ReplayFunction FindReplay(int code) {
    static const std::vector<ReplayFunction> byCode = [] {
        int most = 0;
        for (const ReplayRow& row : ReplayTable)
            most = std::max<int>(most, row.code);
        std::vector<ReplayFunction> table(static_cast<size_t>(most) + 1, nullptr);
        // Backwards, so that the first row of a code wins, as a search from the top would.
        for (size_t i = std::size(ReplayTable); i-- > 0;)
            if (ReplayTable[i].code >= 0)
                table[static_cast<size_t>(ReplayTable[i].code)] = ReplayTable[i].replay;
        return table;
    }();
    // A code outside the table replays nothing and fails.
    return code >= 0 && static_cast<size_t>(code) < byCode.size() ? byCode[static_cast<size_t>(code)] : nullptr;
}
} // namespace

int CVRMLParser::AddDictionaryObject(CVRMLDictionaryEntry* entry) {
    if (!entry)
        return 0;
    if (SkippingBlock) {
        DestroyEntry(entry);
        return 0;
    }
    // The level at which an instance text is read keeps its entry for the
    // use of the prototype; what the text defines is not added to it.
    auto recordingLevel = [this] {
        return CurrentSeparator && CurrentSeparator->GetDictionaryEntry() && CurrentSeparator != InstanceLevel;
    };
    bool wasRecording = recordingLevel();
    // One lookup both finds the entry the name had and takes the name over:
    // the removal below leaves a name that no longer points at the entry
    // removed. The entry takes its text from that entry, so that a name given
    // again and again is kept once.
    const bool named = IsNamedDefinition(entry);
    CVRMLDictionaryEntry* previous = nullptr;
    try {
        previous = named ? NamedEntries.Assign(entry->GetName(), entry) : nullptr;
        entry->SetName(previous ? previous->GetName() : EntryNames.Keep(entry->GetName()));
    } catch (const std::exception&) {
        // Only a name new to the index can be left without its text; the
        // entry is held by nothing else, and the parse fails for want of memory.
        if (named)
            NamedEntries.Erase(entry->GetName(), entry);
        DestroyEntry(entry);
        throw;
    }
    if (previous)
        RemoveDictionaryObject(previous);
    if (recordingLevel()) {
        auto* recording = static_cast<CVRMLSeparatorEntry*>(CurrentSeparator->GetDictionaryEntry());
        recording->GetChildren().PushBack(entry);
        entry->SetParentEntry(recording);
    } else if (wasRecording && entry->GetType() == VRML_ENTRY_SEPARATOR) {
        // The level's own entry was just replaced by this one of the same
        // name, which takes over the recording of the level.
        CurrentSeparator->SetDictionaryEntry(entry);
    }
    ObjectDictionary.PushBack(entry);
    entry->SetInDictionary(true);
    return 1;
}

CVRMLDictionaryEntry* CVRMLParser::FindObjectInDictionary(const std::string& name) {
    if (name.empty())
        return nullptr;
    return NamedEntries.Find(name);
}

int CVRMLParser::RemoveDictionaryObjectFromSeparators(CVRMLDictionaryEntry* entry) {
    int changed = 0;
    for (CVRMLSeparator* level : SeparatorStack) {
        CVRMLSeparatorEntry* recording = AsSeparatorEntry(level->GetDictionaryEntry());
        if (!recording)
            continue;
        if (recording == entry) {
            level->SetDictionaryEntry(nullptr);
            changed = 1;
        } else if (Unlink(recording, entry)) {
            changed = 1;
        }
    }
    return changed;
}

int CVRMLParser::RemoveDictionaryObject(CVRMLDictionaryEntry* entry) {
    if (!entry)
        return 0;
    RemoveDictionaryObjectFromSeparators(entry);
    if (entry->GetInDictionary()) {
        ObjectDictionary.Erase(entry);
        entry->SetInDictionary(false);
    }
    NamedEntries.Erase(entry->GetName(), entry);
    // Kept alive while a closed separator entry still lists it, and while any
    // replay runs: a separator replays a copy of its list of children, and
    // what one child builds can define again the name of a later one.
    if (entry->GetParentEntry() || ReplayDepth > 0)
        RetireEntry(entry);
    else
        DestroyEntry(entry);
    return 1;
}

void CVRMLParser::RetireEntry(CVRMLDictionaryEntry* entry) { RetiredEntries.push_back(entry); }

void CVRMLParser::DestroyEntry(CVRMLDictionaryEntry* entry) {
    if (CVRMLSeparatorEntry* separator = AsSeparatorEntry(entry)) {
        for (CVRMLDictionaryEntry* child : separator->GetChildren())
            if (child->GetParentEntry() == separator)
                child->SetParentEntry(nullptr);
    }
    delete entry;
}

void CVRMLParser::ClearObjectDictionary() {
    // Each entry is unlinked from nothing: all of them go, and their names with them.
    for (auto entry = ObjectDictionary.begin(); entry != ObjectDictionary.end();)
        delete *entry++;
    for (CVRMLDictionaryEntry* entry : RetiredEntries)
        delete entry;
    ObjectDictionary.Forget();
    RetiredEntries.clear();
    NamedEntries.Clear();
    EntryNames.Clear();
    for (CVRMLSeparator* level : SeparatorStack)
        level->SetDictionaryEntry(nullptr);
}

int CVRMLParser::ParseUse() {
    if (!CurrentSeparator)
        return 0;
    if (GetCurrentTokenType() == VRML_USE)
        Tokenize();
    return DefineUse(GetCurrentTokenString());
}

int CVRMLParser::DefineUse(const std::string& name) {
    if (SkippingBlock || !CurrentSeparator || name.empty())
        return 1;
    CVRMLDictionaryEntry* found = FindObjectInDictionary(name);
    if (!found)
        return UseTextureName(name);
    // In a child that a Switch or LOD does not choose the use is only
    // recorded: nothing its replay built would be kept.
    int result = HiddenDepth ? 1 : ServiceDictionaryObject(found);
    if (GetDefiningObjects()) {
        if (auto* use = new (std::nothrow) CVRMLUseEntry) {
            use->SetName(name);
            AddDictionaryObject(use);
        }
    }
    return result;
}

int CVRMLParser::ReplaySeparator(CVRMLSeparatorEntry& entry) {
    // The level takes the entry's name; the name pending at the USE is
    // pending again afterwards.
    ValueGuard<std::string> name(EntityName, std::string(entry.GetName()));
    int result = DefineSeparator(entry.GetRestores());
    // A copy: the list must not change under the loop whatever a child does.
    const std::vector<CVRMLDictionaryEntry*> children(entry.GetChildren().begin(), entry.GetChildren().end());
    for (CVRMLDictionaryEntry* child : children)
        if (!ServiceDictionaryObject(child))
            result = 0;
    PopSeparator();
    return result;
}

int CVRMLParser::ServiceDictionaryObject(CVRMLDictionaryEntry* entry) {
    if (SkippingBlock || !entry)
        return 0;
    // A replay reached again from inside itself (a separator that uses its own
    // name) is cut off: it builds nothing and does not fail the statement.
    if (entry->GetReplaying())
        return 1;
    if (ReplayDepth >= MaxReplayDepth || ReplayCount >= ReplayBudget)
        return 0;
    ++ReplayCount;
    DepthGuard depth(ReplayDepth);
    ReplayGuard guard(entry);
    ValueGuard<int> unrecorded(AllowDictionaryUpdate, 0);
    const ReplayFunction replay = FindReplay(entry->GetType());
    return replay ? replay(*this, *entry) : 0;
}

int CVRMLParser::GetDefiningObjects() const {
    if (!AllowDictionaryUpdate)
        return 0;
    if (IsRecordingLevel())
        return 1;
    return DefinedEntity && MayBeUsed(EntityName) ? DefinedEntity : 0;
}

bool CVRMLParser::MayBeUsed(const std::string& name) const {
    if (KeepUnusedNames)
        return true;
    if (name != CheckedName) {
        CheckedNameUsed = UsedNames.Contains(name);
        CheckedName = name;
    }
    return CheckedNameUsed;
}

void CVRMLParser::CollectUsedNames(const CGenericParser& reader) {
    if (KeepUnusedNames)
        return;
    UsedNames.Collect(reader);
    CheckedName.clear();
    CheckedNameUsed = UsedNames.Contains(CheckedName);
}

int CVRMLParser::IsRecordingLevel() const {
    // At the level of an instance text only named nodes are recorded: the
    // level's own entry records the use, which builds the rest again.
    const bool recording = AllowDictionaryUpdate && CurrentSeparator && CurrentSeparator->GetDictionaryEntry() &&
                           CurrentSeparator != InstanceLevel;
    return recording ? 1 : 0;
}
