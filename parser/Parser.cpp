#include "VRMLParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>

CVRMLParser::CVRMLParser() { InitializeVariables(); }

CVRMLParser::CVRMLParser(C3DWorld* world, const std::string& fileName) {
    InitializeVariables();
    World = world;
    IOManager.SetFilename(fileName);
}

CVRMLParser::CVRMLParser(const CVRMLParser& other) : IOManager(other.IOManager) {
    InitializeVariables();
    *this = other;
}

CVRMLParser& CVRMLParser::operator=(const CVRMLParser& other) {
    if (this == &other)
        return *this;
    ClearPrototypeDictionary();
    ClearObjectDictionary();
    ClearSeparatorStack();
    TextureNames.Clear();
    ImageCache.clear();
    ImagePaths.clear();
    World = other.World;
    CurrentSeparator = nullptr;
    IOManager = other.IOManager;
    DefinedEntity = other.DefinedEntity;
    EntityName = other.EntityName;
    AllowDictionaryUpdate = other.AllowDictionaryUpdate;
    SkippingBlock = other.SkippingBlock;
    LastPercentage = other.LastPercentage;
    LoaderPtr = other.LoaderPtr;
    ImageUnits = other.ImageUnits;
    MaxNestingDepth = other.MaxNestingDepth;
    MaxReplayDepth = other.MaxReplayDepth;
    MaxReplayCount = other.MaxReplayCount;
    ReplayBudget = other.ReplayBudget;
    MaxInstanceDepth = other.MaxInstanceDepth;
    MaxInstanceCount = other.MaxInstanceCount;
    InstanceBudget = other.InstanceBudget;
    MaxInlineDepth = other.MaxInlineDepth;
    MaxInlineCount = other.MaxInlineCount;
    MaxReadBytes = other.MaxReadBytes;
    IncludeRoot = other.IncludeRoot;
    SetStandardSemantics(other.StandardSemantics);
    KeepUnusedNames = other.KeepUnusedNames;
    UsedNames = other.UsedNames;
    CheckedName = other.CheckedName;
    CheckedNameUsed = other.CheckedNameUsed;
    return *this;
}

CVRMLParser::~CVRMLParser() {
    ClearPrototypeDictionary();
    ClearObjectDictionary();
    ClearSeparatorStack();
}

void CVRMLParser::InitializeVariables() {
    World = nullptr;
    CurrentSeparator = nullptr;
    ForgetPendingDef();
    AllowDictionaryUpdate = 1;
    SkippingBlock = 0;
    LastPercentage = 0;
    LoaderPtr = nullptr;
    ImageUnits = VRML_UNITS_METRES;
}

// The input managers carry the setting too: they accept the byte-order mark
// and read prototype values by the standards' types.
void CVRMLParser::SetStandardSemantics(int value) {
    StandardSemantics = value ? 1 : 0;
    IOManager.SetStandardSemantics(StandardSemantics);
    InstanceReader.SetStandardSemantics(StandardSemantics);
}

int CVRMLParser::Parse(C3DWorld* world, const std::string& fileName) {
    World = world;
    IOManager.SetFilename(fileName);
    ReadBytes = 0;
    IOManager.GetFileInterface().SetMaxTextSize(MaxReadBytes);
    const VRMLLoadResultTypes opened = IOManager.OpenFile();
    OpenResult = opened;
    CountRead(IOManager.GetFileInterface());
    if (opened != VRML_LOAD_SUCCESS)
        return opened;
    CollectUsedNames(IOManager);
    MarkPrototypeNames(); // prototypes declared by an earlier parse are in force from the first token

    int result = VRML_LOAD_FAILURE;
    // A DEF pending from an earlier parse must not name (and record) the
    // root level of this one.
    ForgetPendingDef();
    InstanceCount = 0;
    ReplayCount = 0;
    // Budgets grow with the file: a large scene may rightly use its named
    // nodes and prototypes millions of times.
    const uint64_t fileBytes = IOManager.GetTotalFileSize();
    auto budget = [fileBytes](long long count) {
        const uint64_t room = static_cast<uint64_t>(LLONG_MAX) - static_cast<uint64_t>(std::max(count, 0LL));
        return std::max(count, 0LL) + static_cast<long long>(std::min(fileBytes, room));
    };
    ReplayBudget = budget(MaxReplayCount);
    InstanceBudget = budget(MaxInstanceCount);
    InlineCount = 0;
    ExternProtoFiles.clear();
    ExternalPrototypes.clear();
    FontStyleNames.clear();
    ImageCache.clear();
    ImagePaths.clear();
    ParsedFile = fileName;
    ResolveIncludeRoot();
    try {
        DefineSeparator();
        while (GetCurrentTokenType() != VRML_END_OF_INPUT) {
            if (ParseBlock())
                result = VRML_LOAD_SUCCESS;
        }
        PopSeparator();
    } catch (const std::exception&) {
        // Out of memory (or a list too long to hold): the parse fails, the
        // world keeps what was added to it, and the parser is left usable.
        result = VRML_LOAD_FAILURE;
        RecoverFromFailedParse();
    }
    IOManager.CloseFile();
    ImageCache.clear(); // the objects hold the pictures they use
    ImagePaths.clear();
    try {
        DetermineUnits();
    } catch (const std::exception&) {
        result = VRML_LOAD_FAILURE;
    }
    return result;
}

void CVRMLParser::RecoverFromFailedParse() {
    ClearSeparatorStack(); // open levels dispose of the groups they own
    SkippingBlock = 0;
    AllowDictionaryUpdate = 1;
    ForgetPendingDef();
    InstanceLevel = nullptr;
    EmbeddingLevel = nullptr;
    OpenSubfiles.clear();
}

void CVRMLParser::DetermineUnits() {
    if (!World)
        return;
    // Worlds smaller than this are taken to be written in a larger unit than
    // the metre and are scaled up by powers of ten.
    constexpr float SmallestWorld = 25.0f;
    World->RecursiveUpdateBBox();
    ImageUnits = VRML_UNITS_METRES;
    for (;;) {
        if (World->GetBBox().GetLargestDimension() >= SmallestWorld)
            return;
        float factor = 1.0f;
        bool last = false;
        switch (ImageUnits) {
        case VRML_UNITS_METRES:
            factor = 100.0f;
            ImageUnits = VRML_UNITS_CENTIMETRES;
            break;
        case VRML_UNITS_CENTIMETRES:
            factor = 10.0f;
            ImageUnits = VRML_UNITS_MILLIMETRES;
            break;
        default:
            factor = 1000.0f;
            ImageUnits = VRML_UNITS_MICROMETRES;
            last = true;
            break;
        }
        // Brings the boxes up to date as well.
        World->ApplyMatrixToGeometry(GetScaleMatrix(trelFloatPoint(factor, factor, factor)), true);
        if (last)
            return;
    }
}
