#include "VRMLSeparator.h"

#include "parser/DictionaryEntries.h"
#include "parser/VRMLParser.h"

#include <new>

int CVRMLParser::DefineSeparator(int restores) {
    CVRMLSeparator* separator = new (std::nothrow) CVRMLSeparator;
    if (!separator)
        return 0;
    separator->SetRestores(restores);
    // Decided while the level below is still current.
    if (GetDefiningObjects()) {
        auto* entry = new (std::nothrow) CVRMLSeparatorEntry;
        if (entry) {
            entry->SetName(GetEntityName());
            entry->SetRestores(restores);
            if (AddDictionaryObject(entry))
                separator->SetDictionaryEntry(entry);
        }
    }
    int result = PushSeparator(separator);
    if (!result)
        delete separator;
    return result;
}

int CVRMLParser::PushSeparator(CVRMLSeparator* separator) {
    if (!separator)
        return 0;
    if (CurrentSeparator)
        *separator = *CurrentSeparator;
    if (!EntityName.empty()) {
        C3DGroup* group = new (std::nothrow) C3DGroup;
        if (group) {
            group->SetGroupName(EntityNameRope());
            separator->SetGroup(group);
            separator->SetOwnsGroup(1);
        }
    }
    if (!separator->GetGroup())
        separator->SetGroup(World);
    if (SpareStackNodes.empty()) {
        SeparatorStack.push_front(separator);
    } else {
        SpareStackNodes.front() = separator;
        SeparatorStack.splice(SeparatorStack.begin(), SpareStackNodes, SpareStackNodes.begin());
    }
    CurrentSeparator = separator;
    return 1;
}

int CVRMLParser::PopSeparator() {
    if (!CurrentSeparator)
        return 0;
    CVRMLSeparator* level = CurrentSeparator;
    if (!SeparatorStack.empty())
        SpareStackNodes.splice(SpareStackNodes.begin(), SeparatorStack, SeparatorStack.begin());
    CVRMLSeparator* parent = SeparatorStack.empty() ? nullptr : SeparatorStack.front();
    if (parent && level->GetRestores() != CVRMLSeparator::RestoresAll) {
        // The state the level's children set carries on below it; the level
        // below keeps its own group (and a TransformSeparator's its transform).
        trelBaseGroup* group = parent->GetGroup();
        const int ownsGroup = parent->GetOwnsGroup();
        const trelMatrix4x4 matrix = parent->GetMatrix();
        parent->SetOwnsGroup(0);
        *parent = *level;
        parent->SetGroup(group);
        parent->SetOwnsGroup(ownsGroup);
        if (level->GetRestores() == CVRMLSeparator::RestoresTransform)
            parent->SetMatrix(matrix);
    }

    trelBaseGroup* group = level->GetGroup();
    if (level->GetOwnsGroup() && group) {
        // Only a named level that received something leaves a group behind.
        trelBaseGroup* receiver = parent ? parent->GetGroup() : World;
        bool received = group->GetNumObjects() > 0 || group->GetNumGroups() > 0;
        if (received && receiver && receiver != group)
            receiver->AddGroup(static_cast<C3DGroup*>(group), true);
        else if (receiver != group)
            delete group;
        level->SetGroup(nullptr);
        level->SetOwnsGroup(0);
    }
    delete level;
    CurrentSeparator = parent;
    return 1;
}

// Levels left open by an abandoned parse also dispose of the groups they own:
// nothing else would.
void CVRMLParser::ClearSeparatorStack() {
    for (CVRMLSeparator* level : SeparatorStack) {
        if (level->GetOwnsGroup())
            delete level->GetGroup();
        delete level;
    }
    SeparatorStack.clear();
    CurrentSeparator = nullptr;
}

int CVRMLParser::ParseSeparator(int restores) {
    do {
        if (!Tokenize())
            break;
    } while (GetCurrentTokenType() != VRML_OPEN_BRACE);
    if (GetCurrentTokenType() != VRML_OPEN_BRACE)
        return 0;

    // renderCaching and renderCulling with their values may open the body.
    if (GetNextTokenType() == VRML_RENDERCACHING || GetNextTokenType() == VRML_RENDERCULLING)
        Tokenize();
    while (GetCurrentTokenType() == VRML_RENDERCACHING || GetCurrentTokenType() == VRML_RENDERCULLING) {
        if (!Tokenize())
            break;
        bool more = (GetCurrentTokenType() == VRML_BOOLEAN && GetNextTokenType() == VRML_RENDERCACHING) ||
                    GetNextTokenType() == VRML_RENDERCULLING;
        if (!more || !Tokenize())
            break;
    }
    return DefineSeparator(restores);
}

const trelRope& CVRMLParser::EntityNameRope() {
    if (EntityRope.GetString() != EntityName)
        EntityRope = trelRope(EntityName);
    return EntityRope;
}

void CVRMLParser::SetupObjectAdd(trelBaseObject* object) {
    if (CurrentSeparator && object) {
        object->SetObjectName(EntityNameRope());
        CurrentSeparator->AttachTexture(*object);
    }
}

namespace {
// Objects that cannot be added (a block is being skipped, or no level is open)
// are destroyed and count as handled.
template <class Insert>
int AddOrDiscard(CVRMLParser& parser, trelBaseObject* object, Insert insert) {
    if (!object)
        return 0;
    if (!parser.CanAddObjectToSeparator()) {
        delete object;
        return 1;
    }
    parser.SetupObjectAdd(object);
    int added = insert(*parser.GetCurrentSeparator());
    if (!added)
        delete object; // a level without a group did not take it
    return added;
}
} // namespace

int CVRMLParser::AddObjectToSeparator(trelBaseObject* object) {
    return AddOrDiscard(*this, object, [&](CVRMLSeparator& level) { return level.InsertObject(object); });
}

int CVRMLParser::AddObjectToSeparator(trelBaseObject* object, int index) {
    return AddOrDiscard(*this, object, [&](CVRMLSeparator& level) { return level.InsertObject(object, index); });
}

int CVRMLParser::AddObjectToSeparator(trelBaseObject* object, int face, int first, int count) {
    return AddOrDiscard(*this, object,
                        [&](CVRMLSeparator& level) { return level.InsertObject(object, face, first, count); });
}
