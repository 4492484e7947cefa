#include "Prototypes.h"

#include "parser/VRMLParser.h"

#include <array>
#include <new>

namespace {
struct FieldTypeRow {
    VRMLFieldTypes code;
    std::string_view name;
};

// VRML 97 types known only under standard semantics.
constexpr std::array<FieldTypeRow, 6> StandardFieldTypeTable = {{
    {VRML_FIELD_SFINT32, "SFINT32"},
    {VRML_FIELD_MFINT32, "MFINT32"},
    {VRML_FIELD_SFNODE, "SFNODE"},
    {VRML_FIELD_SFTIME, "SFTIME"},
    {VRML_FIELD_MFTIME, "MFTIME"},
    {VRML_FIELD_MFROTATION, "MFROTATION"},
}};

constexpr std::array<FieldTypeRow, 19> FieldTypeTable = {{
    {VRML_FIELD_SFBITMASK, "SFBITMASK"}, {VRML_FIELD_SFBOOL, "SFBOOL"},     {VRML_FIELD_SFCOLOR, "SFCOLOR"},
    {VRML_FIELD_MFCOLOR, "MFCOLOR"},     {VRML_FIELD_SFENUM, "SFENUM"},     {VRML_FIELD_SFFLOAT, "SFFLOAT"},
    {VRML_FIELD_MFFLOAT, "MFFLOAT"},     {VRML_FIELD_SFIMAGE, "SFIMAGE"},   {VRML_FIELD_SFLONG, "SFLONG"},
    {VRML_FIELD_MFLONG, "MFLONG"},       {VRML_FIELD_SFMATRIX, "SFMATRIX"}, {VRML_FIELD_SFROTATION, "SFROTATION"},
    {VRML_FIELD_SFSTRING, "SFSTRING"},   {VRML_FIELD_MFSTRING, "MFSTRING"}, {VRML_FIELD_SFVEC2F, "SFVEC2F"},
    {VRML_FIELD_MFVEC2F, "MFVEC2F"},     {VRML_FIELD_SFVEC3F, "SFVEC3F"},   {VRML_FIELD_MFVEC3F, "MFVEC3F"},
    {VRML_FIELD_MFNODE, "MFNODE"},
}};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}
} // namespace

CVRMLFieldDeclaration::CVRMLFieldDeclaration(const std::string& fieldName, int fieldType, std::vector<char> value)
    : name(fieldName), type(fieldType), text(std::move(value)) {}

void CVRMLFieldDeclaration::Initialize() {
    name.clear();
    type = VRML_FIELD_UNKNOWN;
    text.clear();
    consumed = 0;
}

int CVRMLFieldDeclaration::GetFieldType(std::string_view typeName, int standard) {
    for (const FieldTypeRow& row : FieldTypeTable)
        if (EqualIgnoringCase(row.name, typeName))
            return row.code;
    if (standard)
        for (const FieldTypeRow& row : StandardFieldTypeTable)
            if (EqualIgnoringCase(row.name, typeName))
                return row.code;
    return VRML_FIELD_UNKNOWN;
}

void CVRMLPrototype::Initialize() {
    name.clear();
    body.clear();
    declarations.clear();
    declarationIndex.Clear();
    sourceFile.clear();
    buildingUses.clear();
    DropInstanceTemplate();
}

int CVRMLPrototype::AddFieldDeclaration(const std::string& fieldName, const std::string& typeName,
                                        std::vector<char> text) {
    return AddFieldDeclaration(fieldName, CVRMLFieldDeclaration::GetFieldType(typeName), std::move(text));
}

int CVRMLPrototype::AddFieldDeclaration(const std::string& fieldName, int type, std::vector<char> text) {
    DropInstanceTemplate(); // its references were resolved without this field
    try {
        declarations.push_back(std::make_unique<CVRMLFieldDeclaration>(fieldName, type, std::move(text)));
        if (!declarationIndex.Find(fieldName)) // an earlier one of the name stays first
            declarationIndex.Assign(fieldName, declarations.back().get());
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

int CVRMLParser::AddPrototypeToDictionary(CVRMLPrototype* prototype) {
    if (!prototype)
        return 0;
    try {
        PrototypeDictionary.push_back(prototype);
    } catch (const std::exception&) {
        delete prototype; // the dictionary takes ownership in every case
        return 0;
    }
    try {
        // The earliest declaration of a name stays in force.
        if (!prototype->GetName().empty() && !PrototypeIndex.Find(prototype->GetName()))
            PrototypeIndex.Assign(prototype->GetName(), prototype);
    } catch (const std::exception&) {
        // Without memory for the index the prototype is kept but cannot be used.
    }
    return 1;
}

int CVRMLParser::RemovePrototypeFromDictionary(CVRMLPrototype* prototype) {
    if (!prototype)
        return 0;
    PrototypeDictionary.remove(prototype);
    // A later declaration of the same name comes into force.
    PrototypeIndex.Clear();
    try {
        for (CVRMLPrototype* kept : PrototypeDictionary)
            if (!kept->GetName().empty() && !PrototypeIndex.Find(kept->GetName()))
                PrototypeIndex.Assign(kept->GetName(), kept);
    } catch (const std::exception&) {
        // Without memory for the index the prototypes left out cannot be used.
    }
    return 1;
}

void CVRMLParser::ClearPrototypeDictionary() {
    for (CVRMLPrototype* prototype : PrototypeDictionary)
        delete prototype;
    PrototypeDictionary.clear();
    PrototypeIndex.Clear();
}

CVRMLPrototype* CVRMLParser::FindPrototype(const std::string& name) { return PrototypeIndex.Find(name); }

// Marking runs for every word token: the lookup takes the token's text as it stands.
CVRMLPrototype* CVRMLParser::FindPrototypeByText(std::string_view name) { return PrototypeIndex.Find(name); }

int CVRMLParser::ParseProto() {
    if (!CurrentSeparator || SkippingBlock)
        return 0;
    AdvanceWhileKind({VRML_PROTO});
    std::string name;
    // A file read for its declarations may declare again a name that is in
    // force already (a scene that names its own prototypes): the word then
    // reads as a use of it, and is still the name of this declaration.
    if (GetCurrentTokenType() == VRML_WORD || (ReadingDeclarations && GetCurrentTokenType() == VRML_PROTO_INSTANCE)) {
        name = GetCurrentTokenString();
        Tokenize();
    }
    MoveUpToInterestingToken();

    std::unique_ptr<CVRMLPrototype> prototype(new (std::nothrow) CVRMLPrototype);
    if (!prototype)
        return 0;
    prototype->SetName(name);
    prototype->SetSourceFile(IOManager.GetFilename());

    while (GetCurrentTokenType() != VRML_CLOSE_BRACKET && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        switch (GetCurrentTokenType()) {
        case VRML_EVENTIN:
        case VRML_EVENTOUT:
            // Events are not kept: keyword, type, name.
            Tokenize();
            Tokenize();
            Tokenize();
            break;
        case VRML_FIELD:
        case VRML_EXPOSEDFIELD: {
            Tokenize();
            std::string typeName = GetCurrentTokenString();
            Tokenize();
            std::string fieldName = GetCurrentTokenString();
            Tokenize();
            std::vector<char> defaultValue;
            if (!IOManager.GetCurrentTokenEndsDeclaration())
                IOManager.CaptureBlock(defaultValue, 1); // a value cut off by the end of input is kept as read
            prototype->AddFieldDeclaration(fieldName, CVRMLFieldDeclaration::GetFieldType(typeName, StandardSemantics),
                                           std::move(defaultValue));
            break;
        }
        default: Tokenize(); break;
        }
    }
    Tokenize();
    MoveUpToInterestingToken();

    if (GetCurrentTokenType() != VRML_OPEN_BRACE)
        return 0;
    std::vector<char> body;
    IOManager.CaptureBlock(body, 0);
    prototype->SetBody(std::move(body));
    // A declaration whose name already names a prototype (read as no name
    // here) could never be used: the earliest declaration of a name stays in
    // force. It is read and dropped rather than kept, so that a body that
    // declares a prototype does not leave one more behind at every use.
    if (prototype->GetName().empty())
        return 1;
    return AddPrototypeToDictionary(prototype.release());
}

int CVRMLParser::ParseExternProto() {
    if (!CurrentSeparator)
        return 1;
    std::string name;
    if (StandardSemantics && Tokenize() && GetCurrentTokenType() != VRML_OPEN_BRACKET)
        name = GetCurrentTokenString();
    while (!GetCurrentTokenBeginType())
        if (!Tokenize())
            break;
    if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
        SkipArray(1);
    bool list = GetCurrentTokenType() == VRML_OPEN_BRACKET;
    if (list)
        Tokenize();
    std::string url;
    if (!GetCurrentTokenEndType() && GetCurrentTokenType() != VRML_END_OF_INPUT)
        url = GetCurrentTokenString();
    if (list)
        while (GetCurrentTokenType() != VRML_CLOSE_BRACKET)
            if (!Tokenize())
                break;
    // While a node is skipped nothing the file holds could be kept.
    if (SkippingBlock)
        return 1;
    return StandardSemantics ? DeclareExternalPrototype(name, url) : ReadReferencedFile(url, true);
}

bool CVRMLPrototype::IsBuilding(const char* useText, size_t useLength) const {
    const std::string_view use(useText ? useText : "", useText ? useLength : 0);
    for (const std::string& building : buildingUses)
        if (building == use)
            return true;
    return false;
}
