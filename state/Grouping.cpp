#include "VRMLSeparator.h"

#include "parser/DepthGuard.h"
#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"

#include <new>

// Opens a grouping node's level; the node's DEF name names the level (and its
// entry) and must not be taken again by the first child.
int CVRMLParser::OpenNodeLevel(int restores) {
    int result = DefineSeparator(restores);
    ForgetPendingDef();
    return result;
}

void CVRMLParser::AdvanceToOpeningBrace() {
    do {
        if (!Tokenize())
            break;
    } while (GetCurrentTokenType() != VRML_OPEN_BRACE);
}

// Reads a children value: a bracketed list (the result is 1 when any child
// succeeded) or one child (its result). Leaves the "]" or the token after
// the child current.
int CVRMLParser::ReadChildren(int& result) {
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET) {
        Tokenize();
        while (GetCurrentTokenType() != VRML_CLOSE_BRACKET && GetCurrentTokenType() != VRML_END_OF_INPUT)
            if (ParseBlock())
                result = 1;
        return 1;
    }
    result = ParseBlock();
    return 0;
}

// A child that a Switch or LOD does not choose is read at a level of its own
// that records nothing into the node's entry (a USE of the node repeats only
// what it chose), while nothing it builds is kept. Its DEF names are defined,
// as the standards define a node whether or not it is chosen.
int CVRMLParser::ReadChoice(bool built) {
    if (built)
        return ParseBlock();
    ForgetPendingDef(); // the level must not take a name: it is no node of the file
    const size_t levelsBefore = SeparatorStack.size();
    CVRMLSeparator* level = new (std::nothrow) CVRMLSeparator;
    if (!level || !PushSeparator(level)) {
        delete level;
        SkipBlock(1);
        return 0;
    }
    int result;
    {
        DepthGuard hidden(HiddenDepth);
        result = ParseBlock();
    }
    // A stray "}" of the child may have closed the level already.
    while (SeparatorStack.size() > levelsBefore)
        PopSeparator();
    return result;
}

// Reads a list of choices (or one) as ReadChildren does, building only the
// child numbered `chosen` from 0, or every child for AllChoices.
void CVRMLParser::ReadChoices(int chosen, int& result) {
    int index = 0;
    auto readOne = [&] {
        const bool built = chosen == AllChoices || chosen == index;
        ++index;
        if (ReadChoice(built) && built)
            result = 1;
    };
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET) {
        Tokenize();
        while (GetCurrentTokenType() != VRML_CLOSE_BRACKET && GetCurrentTokenType() != VRML_END_OF_INPUT)
            readOne();
        return;
    }
    readOne();
}

// The value of a Switch's whichChild (VRML 1.0) or whichChoice (VRML 2.0),
// -1 when absent: looked for through the whole node first, since the field
// may follow the children it chooses among. The reading position is kept.
int CVRMLParser::FindChoiceField() {
    int chosen = -1;
    CGenericIOState nodeStart;
    SaveIOState(nodeStart);
    Tokenize(); // past the node's "{"
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        const bool field = GetVersion() == VRML_VERSION_1 ? GetCurrentTokenType() == VRML_WHICHCHILD
                                                          : IOManager.GetCurrentTokenText() == "whichChoice";
        if (field && GetNextTokenType() == VRML_NUMBER) {
            chosen = ToIndex(GetNextTokenNumericValue());
            break;
        }
        if (GetCurrentTokenType() == VRML_OPEN_BRACE)
            SkipBlock(0);
        else if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
            SkipArray(0);
        if (!Tokenize())
            break;
    }
    RestoreIOState(nodeStart);
    return chosen;
}

// A node whose level could not be opened (no memory) is passed over whole:
// reading its children would fill the level below, and its PopSeparator would
// close that level too.
int CVRMLParser::SkipUnopenedNode() {
    while (GetCurrentTokenType() != VRML_OPEN_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (!Tokenize())
            break;
    }
    if (GetCurrentTokenType() == VRML_OPEN_BRACE)
        SkipBlock(0);
    return 0;
}

int CVRMLParser::ParseGroup() {
    int result = 0;
    AdvanceToOpeningBrace();
    if (!OpenNodeLevel())
        return SkipUnopenedNode();
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (GetCurrentTokenType() == VRML_CHILDREN) {
            Tokenize();
            ReadChildren(result);
        } else {
            Tokenize();
        }
    }
    PopSeparator();
    return result;
}

int CVRMLParser::ParseCollision() {
    int result = 0;
    if (!CurrentSeparator)
        return 0;
    AdvanceWhileKind({VRML_COLLISION});
    if (!OpenNodeLevel())
        return SkipUnopenedNode();
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_COLLISION});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        bool advanced = true;
        switch (GetCurrentTokenType()) {
        case VRML_COLLIDE: advanced = Tokenize() && Tokenize(); break;
        case VRML_ADDCHILDREN:
        case VRML_REMOVECHILDREN:
        case VRML_PROXY:
            // SkipBlock(1) leaves the token after the value whether it skipped
            // a block or read a whole node (DEF P Shape {...}, USE P); a
            // further advance would eat the first token of the next field.
            advanced = Tokenize();
            if (advanced && GetCurrentTokenType() == VRML_NULL)
                advanced = Tokenize();
            else if (advanced)
                SkipBlock(1);
            break;
        case VRML_CHILDREN:
            advanced = Tokenize();
            if (advanced && ReadChildren(result))
                advanced = Tokenize(); // past the "]"
            break;
        default: advanced = Tokenize(); break;
        }
        if (!advanced)
            break;
    }
    PopSeparator();
    return result;
}

int CVRMLParser::ParseLevelOfDetail() {
    AdvanceToOpeningBrace();
    int result = OpenNodeLevel();
    if (!result)
        return SkipUnopenedNode();
    if (GetVersion() == VRML_VERSION_1) {
        // Every level is a child node; range and its values are stepped over
        // by the block loop. Under standard semantics only the first child,
        // the most detailed level, is built, so the fields are passed here
        // and not counted as children.
        if (GetCurrentTokenBeginType())
            Tokenize();
        int child = 0;
        while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
            if (!StandardSemantics)
                ParseBlock();
            else if (GetCurrentTokenType() == VRML_RANGE || GetCurrentTokenType() == VRML_CENTER)
                SkipFieldValue();
            else
                ReadChoice(child++ == 0);
        }
        result = 1;
    } else {
        while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
            switch (GetCurrentTokenType()) {
            case VRML_CENTER: {
                Tokenize();
                trelFloatPoint center;
                ParsePoint(center);
                break;
            }
            case VRML_RANGE: {
                Tokenize();
                trelDoubleArray range;
                ParseFloatArray(range);
                break;
            }
            case VRML_LEVEL:
                Tokenize();
                if (StandardSemantics)
                    ReadChoices(0, result);
                else
                    ReadChildren(result);
                break;
            default: Tokenize(); break;
            }
        }
    }
    PopSeparator();
    return result;
}

// Two passes over the same tokens: the appearance takes effect before the
// geometry, whichever comes first in the file.
int CVRMLParser::ParseShape() {
    AdvanceToOpeningBrace();
    int result = OpenNodeLevel();
    if (!result)
        return SkipUnopenedNode();
    CGenericIOState fieldsStart;
    SaveIOState(fieldsStart);

    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (GetCurrentTokenType() == VRML_APPEARANCE) {
            Tokenize();
            result = ParseBlock();
        } else if (GetCurrentTokenType() == VRML_GEOMETRY) {
            Tokenize();
            SkipBlock(1);
        } else {
            Tokenize();
        }
    }

    RestoreIOState(fieldsStart);
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (GetCurrentTokenType() == VRML_APPEARANCE) {
            Tokenize();
            SkipBlock(1);
        } else if (GetCurrentTokenType() == VRML_GEOMETRY) {
            Tokenize();
            result = ParseShapeGeometry();
        } else {
            Tokenize();
        }
    }
    PopSeparator();
    return result;
}

// A geometry read under its own DEF name gets a level whose group carries the
// name; the block loop then sees the DEF again, so the objects and the entry
// are named as usual. That level records nothing of its own: inside a named
// group it goes on recording into the group's entry, so that the geometry's
// entry is not replaced by a separator entry of the same name and a USE of
// the group repeats it.
int CVRMLParser::ParseShapeGeometry() {
    CGenericIOState geometryStart;
    SaveIOState(geometryStart);
    EntityName.clear();
    bool namedLevel = false;
    if (GetCurrentTokenType() == VRML_DEF) {
        Tokenize();
        if (!GetCurrentTokenString().empty() && CurrentSeparator) {
            CVRMLDictionaryEntry* recording = CurrentSeparator->GetDictionaryEntry();
            {
                ValueGuard<int> unrecorded(AllowDictionaryUpdate, 0);
                EntityName.assign(GetIOManager()->GetCurrentTokenText());
                namedLevel = DefineSeparator() != 0;
            }
            if (namedLevel)
                CurrentSeparator->SetDictionaryEntry(recording);
        }
        ForgetPendingDef();
    }
    RestoreIOState(geometryStart);
    int result = ParseBlock();
    if (namedLevel)
        PopSeparator();
    return result;
}

// By default a Switch is read as a separator and every child is built.
int CVRMLParser::ParseSwitch() { return StandardSemantics ? ParseStandardSwitch() : ParseSeparator(); }

// Builds only the chosen child: VRML 1.0 whichChild (-1 none, -3 all) among
// the children, VRML 2.0 whichChoice (-1 none) among the choice list; a
// number past the last child builds none.
int CVRMLParser::ParseStandardSwitch() {
    AdvanceToOpeningBrace();
    if (GetCurrentTokenType() != VRML_OPEN_BRACE)
        return 0;
    int chosen = FindChoiceField();
    if (GetVersion() == VRML_VERSION_2 && chosen == AllChoices)
        chosen = -1; // -3 means all only in VRML 1.0
    // A VRML 1.0 Switch is a group: its chosen child's state carries on.
    if (!OpenNodeLevel(GetVersion() == VRML_VERSION_1 ? CVRMLSeparator::RestoresNothing : CVRMLSeparator::RestoresAll))
        return SkipUnopenedNode();
    Tokenize(); // past the "{"
    int childResult = 0;
    if (GetVersion() == VRML_VERSION_1) {
        int child = 0;
        while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
            if (GetCurrentTokenType() == VRML_WHICHCHILD) {
                SkipFieldValue();
                continue;
            }
            ReadChoice(chosen == AllChoices || chosen == child);
            ++child;
        }
    } else {
        while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
            if (IOManager.GetCurrentTokenText() == "choice") {
                Tokenize();
                ReadChoices(chosen, childResult);
            } else {
                Tokenize();
            }
        }
    }
    PopSeparator();
    return 1; // like a separator, a Switch that chooses nothing is still read
}

// Passes a field keyword and its value: a bracketed list or a run of numbers.
void CVRMLParser::SkipFieldValue() {
    Tokenize();
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET) {
        SkipArray(1);
        return;
    }
    while (GetCurrentTokenType() == VRML_NUMBER)
        if (!Tokenize())
            break;
}

int CVRMLParser::ParseInfo() {
    Tokenize();
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
        SkipArray(0);
    else
        SkipBlock(0);
    return 1;
}

// Nodes the loader reads past: they leave no trace in the world or the state.
// A field keyword that is also the node's keyword ("fontStyle FontStyle {")
// is stepped off first, or skipping would read the same node again.
int CVRMLParser::SkipPassiveNode() {
    AdvanceWhileKind({GetCurrentTokenType()});
    SkipBlock(0);
    return 1;
}

int CVRMLParser::ParseCallback() { return SkipPassiveNode(); }
int CVRMLParser::ParseOrthographicCamera() { return SkipPassiveNode(); }
int CVRMLParser::ParsePerspectiveCamera() { return SkipPassiveNode(); }
int CVRMLParser::ParseDirectionalLight() { return SkipPassiveNode(); }
int CVRMLParser::ParsePointLight() { return SkipPassiveNode(); }
int CVRMLParser::ParseSpotLight() { return SkipPassiveNode(); }
