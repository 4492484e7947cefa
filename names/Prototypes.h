#pragma once
// Prototype declarations kept as text: a PROTO's name, its interface fields
// with the text of their default values, and the text of its body. A use of
// the prototype is built by writing a new text from these and parsing it.

#include "RecordedBody.h"

#include "parser/NameTable.h"
#include "parser/VRMLTypes.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CVRMLIOManager;
class CVRMLParser;

// One interface field of a prototype, or one value given where it is used.
class CVRMLFieldDeclaration {
public:
    CVRMLFieldDeclaration() { CVRMLFieldDeclaration::Initialize(); }
    CVRMLFieldDeclaration(const std::string& name, int type, std::vector<char> text);
    CVRMLFieldDeclaration(const CVRMLFieldDeclaration&) = delete;
    CVRMLFieldDeclaration& operator=(const CVRMLFieldDeclaration&) = delete;
    virtual ~CVRMLFieldDeclaration() = default;
    virtual void Initialize();
    virtual std::string GetName() const { return name; }
    virtual void SetName(const std::string& value) { name = value; }
    virtual int GetType() const { return type; }
    virtual void SetType(int value) { type = value; }

    // The captured value; empty when none was written.
    const std::vector<char>& GetText() const { return text; }
    void SetText(std::vector<char> value) { text = std::move(value); }
    size_t GetTextLength() const { return text.size(); }
    // 1 once a build has used the declaration (overridden, or taken by IS).
    int GetConsumed() const { return consumed; }
    void SetConsumed(int value) { consumed = value; }
    // During a build: which of the use's values overrides the field, or NotGiven.
    static constexpr size_t NotGiven = static_cast<size_t>(-1);
    size_t GetGivenValue() const { return givenValue; }
    void SetGivenValue(size_t value) { givenValue = value; }

    // The VRMLFieldTypes code of a type name; 0 for a name not in the list
    // (of the names from code 20 on, unless `standard` is set).
    static int GetFieldType(std::string_view typeName, int standard = 0);

private:
    std::string name;
    int type = VRML_FIELD_UNKNOWN;
    std::vector<char> text;
    int consumed = 0;
    size_t givenValue = NotGiven;
};

using VRMLFieldDeclarationList = std::vector<std::unique_ptr<CVRMLFieldDeclaration>>;

// One value given where a prototype is used, referred to where it stands in
// the use's text: a use is read once and nothing of it is copied.
struct CVRMLUseValue {
    const CVRMLFieldDeclaration* declared = nullptr; // the first interface field of the name
    std::string_view name;
    std::string_view text; // the value's tokens as the use wrote them; empty when none was taken
    bool consumed = false;
};

class CVRMLPrototype {
public:
    CVRMLPrototype() = default;
    CVRMLPrototype(const CVRMLPrototype&) = delete;
    CVRMLPrototype& operator=(const CVRMLPrototype&) = delete;
    virtual ~CVRMLPrototype() = default;
    void Initialize();

    // A prototype's name must not change while the parser's dictionary holds
    // it: the dictionary indexes it by the name it had when it was added.
    std::string GetName() const { return name; }
    void SetName(const std::string& value) { name = value; }
    // The text between the body's braces; empty when the body was empty.
    const std::vector<char>& GetBody() const { return body; }
    void SetBody(std::vector<char> value) {
        body = std::move(value);
        DropInstanceTemplate();
    }
    size_t GetBodyLength() const { return body.size(); }
    // The file the declaration was read from: a file named inside the body
    // (an Inline) is looked for beside it, wherever the prototype is used.
    const std::string& GetSourceFile() const { return sourceFile; }
    void SetSourceFile(const std::string& value) { sourceFile = value; }

    // Take the text over into a new declaration; 1, or 0 without memory.
    int AddFieldDeclaration(const std::string& fieldName, const std::string& typeName, std::vector<char> text);
    int AddFieldDeclaration(const std::string& fieldName, int type, std::vector<char> text);
    // The first declaration of that name (case-sensitive), or null.
    CVRMLFieldDeclaration* FindFieldDeclaration(std::string_view fieldName) const {
        return declarationIndex.Find(fieldName);
    }
    const VRMLFieldDeclarationList& GetFieldDeclarations() const { return declarations; }

    // Instancing (names/ProtoInstances.cpp). Each reads its text with
    // `reader`, which must not be reading a buffer and is left so; without
    // one it makes a reader of its own, which costs a keyword index per call.
    // The values refer into `useText`, which must outlive them; each field
    // overridden is marked with its value (SetGivenValue), and a field
    // given twice keeps its first value.
    int ReadUseValues(const char* useText, size_t useLength, std::vector<CVRMLUseValue>& values,
                      CVRMLIOManager* reader = nullptr);
    // What becomes of the fields that neither the use nor an IS took:
    // dropped; appended as name and value, for the block loop to read as
    // statements (the default); or (standard semantics, where such a field
    // has no effect) only a node value's DEF names kept, the value appended
    // as the choices of a Switch that chooses none.
    enum Unconsumed { DropUnconsumed = 0, AppendAsStatements = 1, AppendNamesOnly = 2 };
    // `pieceStarts`, when given, receives where each template piece begins in
    // the text (the recording of the body finds its nodes by it).
    int BuildInstanceText(const char* useText, size_t useLength, std::vector<char>& text,
                          CVRMLIOManager* reader = nullptr, int appendUnconsumed = AppendAsStatements,
                          std::vector<size_t>* pieceStarts = nullptr);

    // Replaying recorded bodies (names/RecordedBody.cpp). Examining the
    // template decides once whether the body can be recorded, and where each
    // IS reference's value goes; `parser` tells prototype names.
    int ExamineBodyForReplay(CVRMLIOManager& reader, CVRMLParser& parser);
    CVRMLRecordedBody& GetRecordedBody();
    // The use-site texts of the instances of this prototype being read. A
    // use met while an instance with the very same use-site text is being
    // read (directly, through other prototypes or through a USE) would
    // repeat that build without end, and is cut off. A use whose text
    // differs is built: nested values such as a Joint among the children of
    // a Joint shrink at every level and end by themselves (and the instance
    // depth limit ends the rest).
    bool IsBuilding(const char* useText, size_t useLength) const;
    void BeginBuilding(const char* useText, size_t useLength) {
        buildingUses.emplace_back(useText ? useText : "", useText ? useLength : 0);
    }
    void EndBuilding() { buildingUses.pop_back(); }
    bool IsBuildingAny() const { return !buildingUses.empty(); }

private:
    // The body read once into what every instance shares: runs of tokens,
    // already joined by single spaces, and the IS references between them.
    // Built at the first use; a new body or a new field drops it.
    struct TemplatePiece {
        size_t offset = 0; // into templateText: the run, or the name after IS
        size_t length = 0;
        bool reference = false;
        CVRMLFieldDeclaration* declared = nullptr; // the field the name finds in the interface
    };
    int BuildInstanceTemplate(CVRMLIOManager& reader);
    void DropInstanceTemplate();

    std::string name;
    VRMLFieldDeclarationList declarations;
    // The first declaration of each name, so that resolving every IS of a
    // large body does not walk the whole interface each time.
    CVRMLNameTable<CVRMLFieldDeclaration> declarationIndex;
    std::vector<char> body;
    std::string sourceFile;
    std::vector<std::string> buildingUses;
    bool templateBuilt = false;
    std::vector<char> templateText;
    std::vector<TemplatePiece> templatePieces;
    // For each declaration, the first of its name: the one a use's value of
    // that name overrides.
    std::vector<CVRMLFieldDeclaration*> firstOfName;
    std::vector<CVRMLUseValue> useValues;            // of the build under way, kept for its memory
    std::unique_ptr<CVRMLRecordedBody> recordedBody; // made with the template, dropped with it
};
