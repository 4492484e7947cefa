#pragma once
// The VRML loader. A host constructs a CVRMLParser, may install a progress
// callback, and calls Parse with an empty world and a file name; the world
// comes back filled with groups, objects and their materials. The loader
// starts no thread; after Parse the world is read-only, and its objects may
// be tessellated from several threads at once (see host/geometry/BaseObject.h).
//
// Member functions are defined in the folder of the subsystem they belong to:
// parser/ (entry, loop, reading control, field readers), state/ (separator
// stack, transforms, materials, grouping), geometry/ (one file per family of
// geometry nodes) and names/ (dictionary, prototypes, inline files).
//
// Quick start (CMake: find_package(VRMLParser), link VRMLParser::vrmlparser):
//
//     C3DWorld world;                           // the host owns the world
//     CVRMLParser parser;
//     int result = parser.Parse(&world, path);  // 0 loaded, 1 failed, 2 unreadable
//     trelTessellation mesh;                    // triangles, lines, points
//     for (int i = 0; i < world.GetNumObjects(); ++i)
//         world.GetObject(i)->Tessellate(mesh, trelTessellationOptions());
//     // ... and the same below each world.GetGroup(g), with GetObjectMatProps(i)
//
// parser.GetVersion() and parser.GetImageUnits() tell what was read. To
// convert or draw, see export/Convert.h and render/Render.h (targets
// VRMLParser::vrmlexport and VRMLParser::vrmlrender) and
// examples/convert_scene.cpp; the whole guide is docs/library.md.

#include "DictionaryEntries.h"
#include "MaterialLists.h"
#include "NameTable.h"
#include "NamedValues.h"
#include "TextArena.h"
#include "UsedNames.h"
#include "VRMLIOManager.h"
#include "VRMLTypes.h"
#include "host/geometry/Geometry.h"

#include <functional>
#include <initializer_list>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class CVRMLSeparator;
class CVRMLPrototype;
class CVRMLDictionaryEntry;
class CVRMLSeparatorEntry;
class CVRMLRecordedBody;
struct CVRMLAttributeFields;
struct CVRMLSharedFaceSet;
struct CVRMLMaterialLists;

using VRMLLoaderCallback = void (*)(int percentage);

class CVRMLParser {
public:
    // Life cycle. Copying gives a parser with the same world, settings and
    // reading state but with empty separator stack and dictionaries: the
    // records they hold belong to exactly one parser, which deletes them.
    CVRMLParser();
    CVRMLParser(C3DWorld* world, const std::string& fileName);
    CVRMLParser(const CVRMLParser& other);
    CVRMLParser& operator=(const CVRMLParser& other);
    ~CVRMLParser();
    void InitializeVariables();

    // Entry and loop. The file name "-" reads the scene from standard input
    // (gzip too, up to the inflated-size cap); the files it names are then
    // looked for from the current folder.
    int Parse(C3DWorld* world, const std::string& fileName);
    int ParseBlock();
    void DetermineUnits();

    // Reading control.
    int Tokenize();
    void MoveUpToInterestingToken();
    void SkipBlock(GenericTokenTypes open, GenericTokenTypes close, int passClose);
    void SkipBlock(int passClose);
    void SkipArray(int passClose);
    void SkipNodeStatement();
    void SkipBracketedBlock(GenericTokenTypes open, GenericTokenTypes close);
    int SaveIOState(CGenericIOState& state);
    int RestoreIOState(CGenericIOState& state);
    // Runs for every token, so it is inline: below the offset at which the
    // percentage next rises there is nothing to compute. Progress measures
    // the file given to Parse; an included file has its own size and would
    // make the percentage jump.
    void UpdateStatus() {
        if (SkippingBlock || InlineDepth > 0)
            return;
        const uint64_t offset = IOManager.GetCurrentFileOffset(), total = IOManager.GetTotalFileSize();
        if (offset < ProgressNextOffset && total == ProgressTotal && LastPercentage == ProgressLastPercentage)
            return;
        ReportProgress(offset, total);
    }

    // Token queries, forwarded to the input manager.
    VRMLTokenTypes GetCurrentTokenType() { return IOManager.GetCurrentTokenType(); }
    VRMLTokenTypes GetNextTokenType() { return IOManager.GetNextTokenType(); }
    GenericTokenTypes GetCurrentTokenDataType() { return IOManager.GetCurrentTokenDataType(); }
    GenericTokenTypes GetNextTokenDataType() { return IOManager.GetNextTokenDataType(); }
    int GetCurrentTokenBeginType() { return IOManager.GetCurrentTokenBeginType(); }
    int GetNextTokenBeginType() { return IOManager.GetNextTokenBeginType(); }
    int GetCurrentTokenEndType() { return IOManager.GetCurrentTokenEndType(); }
    int GetNextTokenEndType() { return IOManager.GetNextTokenEndType(); }
    std::string GetCurrentTokenString() const { return IOManager.GetCurrentTokenString(); }
    std::string GetNextTokenString() const { return IOManager.GetNextTokenString(); }
    double GetCurrentTokenNumericValue() const { return IOManager.GetCurrentTokenNumericValue(); }
    double GetNextTokenNumericValue() const { return IOManager.GetNextTokenNumericValue(); }
    int GetCurrentTokenBooleanValue() const { return IOManager.GetCurrentTokenBooleanValue(); }
    int GetNextTokenBooleanValue() const { return IOManager.GetNextTokenBooleanValue(); }
    int GetVersion() const { return IOManager.GetVersion(); }

    // Accessors.
    C3DWorld* GetWorld() const { return World; }
    void SetWorld(C3DWorld* world) { World = world; }
    CVRMLIOManager* GetIOManager() { return &IOManager; }
    std::list<CVRMLSeparator*>* GetSeparatorStack() { return &SeparatorStack; }
    CVRMLDictionaryList* GetObjectDictionary() { return &ObjectDictionary; }
    int GetDefinedEntity() const { return DefinedEntity; }
    void SetDefinedEntity(int value) { DefinedEntity = value; }
    const std::string& GetEntityName() const { return EntityName; }
    void SetEntityName(const std::string& name) { EntityName = name; }
    int GetAllowDictionaryUpdate() const { return AllowDictionaryUpdate; }
    void SetAllowDictionaryUpdate(int value) { AllowDictionaryUpdate = value; }
    int GetSkippingBlock() const { return SkippingBlock; }
    void SetSkippingBlock(int value) { SkippingBlock = value; }
    int GetLastPercentage() const { return LastPercentage; }
    void SetLastPercentage(int value) { LastPercentage = value; }
    VRMLLoaderCallback GetLoaderPtr() const { return LoaderPtr; }
    void SetLoaderPtr(VRMLLoaderCallback callback) { LoaderPtr = callback; }
    VRMLImageUnitsTypes GetImageUnits() const { return ImageUnits; }
    void SetImageUnits(VRMLImageUnitsTypes units) { ImageUnits = units; }
    // Limits that keep hostile or broken files from exhausting the stack. A
    // node nested deeper than the nesting limit, or a USE replayed through
    // more nested replays than the replay limit, fails as a malformed node.
    static constexpr int DefaultMaxNestingDepth = 1000;
    static constexpr int DefaultMaxReplayDepth = 200;
    int GetMaxNestingDepth() const { return MaxNestingDepth; }
    void SetMaxNestingDepth(int depth) { MaxNestingDepth = depth; }
    int GetMaxReplayDepth() const { return MaxReplayDepth; }
    void SetMaxReplayDepth(int depth) { MaxReplayDepth = depth; }
    // Named nodes that use each other twice over double their replays at
    // every level: past this many replays in one Parse a USE builds nothing
    // and fails as a malformed node. The budget of a Parse is this count
    // plus one for each byte of the file given to Parse: a large file of
    // plain uses loads whole, and the work stays linear in the file's size.
    static constexpr long long DefaultMaxReplayCount = 1000000;
    long long GetMaxReplayCount() const { return MaxReplayCount; }
    // Also the budget of replays made outside a Parse.
    void SetMaxReplayCount(long long count) { MaxReplayCount = ReplayBudget = count; }

    // Standard semantics (default 0): where this loader deliberately departs
    // from the VRML 97 and VRML 1.0 standards (every choice of a Switch and
    // every level of a LOD built, Billboard and Anchor passed over, no grid or
    // extrusion without spacing or cross-section, prototype values of some
    // types not substituted and unreferenced fields read as statements, no
    // byte-order mark), 1 follows the standards instead, text included.
    // Scripts, sensors, interpolators and routes are left out in both. Set
    // before Parse.
    int GetStandardSemantics() const { return StandardSemantics; }
    void SetStandardSemantics(int value);
    // Text (VRML 2.0 Text, VRML 1.0 AsciiText) as the glyphs of a real font,
    // flat triangles facing +z in the text's own frame: built in the standard
    // mode, and in the default mode only when this is 1 (0, the default,
    // builds none). A string that is not UTF-8, or a machine without a font,
    // builds nothing for that node. Set before Parse.
    int GetBuildText() const { return BuildText; }
    void SetBuildText(int value) { BuildText = value ? 1 : 0; }
    bool IsBuildingText() const { return StandardSemantics || BuildText; }

    // 1 (the default): every DEF is recorded in the dictionary, so that a
    // later Parse, or another file read into the same world, may USE it. 0:
    // only the names that the files this parser reads USE somewhere in their
    // own text are recorded (with a texture or appearance name), found by a
    // pass over each file's bytes as it is opened. The world is the same; a
    // name used only from another file than the one defining it is then not
    // found, as under the standards, where each file has names of its own.
    // Files that name every node and use few of the names keep far less.
    int GetKeepUnusedNames() const { return KeepUnusedNames; }
    void SetKeepUnusedNames(int value) { KeepUnusedNames = value ? 1 : 0; }
    // Whether a DEF of `name` must be kept for a USE.
    bool MayBeUsed(const std::string& name) const;
    // Whether the file given to Parse may be mapped into memory rather than
    // read (off by default; see C3DFileInterface::SetMapFiles for what a
    // program that maps files takes on). The world is the same either way.
    void SetMapFiles(int value) { IOManager.GetFileInterface().SetMapFiles(value != 0); }

    CVRMLSeparator* GetCurrentSeparator() const { return CurrentSeparator; }
    void SetCurrentSeparator(CVRMLSeparator* separator) { CurrentSeparator = separator; }
    int CanAddObjectToSeparator() const { return !SkippingBlock && !HiddenDepth && CurrentSeparator ? 1 : 0; }
    int GetDefiningObjects() const;
    // Whether what is read now goes into the entry of a named level being
    // recorded, whatever the pending DEF name.
    int IsRecordingLevel() const;

    // Field readers: each leaves a documented token current for its caller.
    int ParseColor(trelChroma& color);
    int ParseColorArray(trelChromaArray& colors);
    int ParseColor3();
    int ParsePoint(trelFloatPoint& point);
    int ParsePointArray(trelFloatPointArray& points);
    int ParseFloatArray(trelDoubleArray& values);
    int ParseIndexArray(std::vector<int>& indices, std::vector<int>& counts);
    // Reads groups of `groupSize` numbers from the current token on, as
    // ReadNumberGroups does (`integers` for index lists), calling
    // take(values) for each; progress and
    // prototype names are kept as Tokenize keeps them. The groups read.
    template <class Take>
    size_t TakeNumberGroups(size_t groupSize, bool integers, Take take);
    int ParseRotationVector(trelVector& axis, double& angle);
    int ParseRotationVectorArray(trelVectorArray& axes, trelDoubleArray& angles);
    static int RemoveQuotes(char* text);
    static int RemoveQuotes(std::string& text);
    // A number of the file as an index: truncated toward zero, clamped to int.
    static int ToIndex(double value);

    // Separator stack.
    // `restores`: CVRMLSeparator::Restores, what the level gives back at its end.
    int DefineSeparator(int restores = 0);
    int ParseSeparator(int restores = 0);
    int PushSeparator(CVRMLSeparator* separator);
    int PopSeparator();
    void ClearSeparatorStack();
    void SetupObjectAdd(trelBaseObject* object);
    // EntityName as a name for groups and objects; the uses of one part
    // share a single copy of it.
    const trelRope& EntityNameRope();
    int AddObjectToSeparator(trelBaseObject* object);
    int AddObjectToSeparator(trelBaseObject* object, int index);
    int AddObjectToSeparator(trelBaseObject* object, int face, int first, int count);

    // Transforms.
    int ParseTranslation();
    int ParseScale();
    int ParseRotation();
    int ParseMatrixTransform();
    int ParseTransform();
    int DefineTranslation(trelFloatPoint& translation);
    int DefineScale(trelFloatPoint& scaleFactor);
    int DefineRotation(trelMatrix4x4& rotation);
    int DefineMatrixTransform(trelMatrix4x4& matrix);
    int DefineTransform(trelFloatPoint& translation, trelFloatPoint& scaleFactor, trelMatrix4x4& rotation,
                        trelMatrix4x4& scaleOrientation, trelFloatPoint& center);
    static trelMatrix4x4 CreateBaseTranslationMatrix();

    // Materials, colours and bindings.
    int ParseMaterial();
    int DefineMaterial(trelChromaArray& ambient, trelChromaArray& diffuse, trelChromaArray& specular,
                       trelChromaArray& emissive, trelDoubleArray& shininess, trelDoubleArray& transparency);
    int DefineMaterial(const CVRMLMaterialLists& lists);
    int ParseBinding();
    int DefineBinding(int material, VRMLBindingTypes binding);
    int ParseAppearance();

    // Textures and texture transforms (state/Textures.cpp, state/TextureImages.cpp).
    // A picture written in the file (PixelTexture, Texture2 image) of more
    // pixels than this is dropped, whatever pixels follow.
    static constexpr int MaxPixelTexturePixels = 1 << 24;
    int ParseTexture2();
    int ParseTexture2Transform();
    // A texture without a picture takes the level's texture away.
    int DefineTexture(const std::shared_ptr<const trelTexture>& texture);
    // The matrix acts on texture coordinates before the level's own.
    int DefineTextureTransform(const trelTexMatrix& matrix);

    // Grouping and structural nodes.
    int ParseGroup();
    int ParseCollision();
    int ParseLevelOfDetail();
    int ParseShape();
    int ParseSwitch();
    int ParseInfo();
    int ParseShapeHints();
    int ParseAsciiText();
    int ParseFontStyle();
    // The glyphs of `lines` laid out, placed by the current transform.
    int DefineText(const std::vector<std::u32string>& lines, const trelTextLayout& layout);
    // VRML 1.0's FontStyle: the font of the AsciiText that follows.
    int DefineFontStyle(const CVRMLFontStyle& style);
    int ParseCallback();
    int ParseTextureCoordinate();
    int ParseOrthographicCamera();
    int ParsePerspectiveCamera();
    int ParseDirectionalLight();
    int ParsePointLight();
    int ParseSpotLight();

    // Primitive solids.
    int ParseCube();
    int ParseBox();
    int ParseCone();
    int ParseCylinder();
    int ParseSphere();
    int DefineCube(double width, double height, double depth);
    static constexpr int CylinderSides = 1, CylinderTop = 2, CylinderBottom = 4,
                         CylinderAll = CylinderSides | CylinderTop | CylinderBottom;
    int DefineCone(double bottomRadius, double height, int side, int bottom);
    // `parts`: CylinderSides, CylinderTop and CylinderBottom, or'd.
    int DefineCylinder(double radius, double height, int parts = CylinderAll);
    int DefineSphere(double radius);
    int AddDiskToModel(trelFloatPoint& center, double radius, trelVector normal, int part);

    // DEF/USE dictionary.
    int AddDictionaryObject(CVRMLDictionaryEntry* entry);
    CVRMLDictionaryEntry* FindObjectInDictionary(const std::string& name);
    int RemoveDictionaryObject(CVRMLDictionaryEntry* entry);
    int RemoveDictionaryObjectFromSeparators(CVRMLDictionaryEntry* entry);
    void ClearObjectDictionary();
    int ServiceDictionaryObject(CVRMLDictionaryEntry* entry);
    int DefineUse(const std::string& name);
    int ParseUse();
    int ReplaySeparator(CVRMLSeparatorEntry& entry);

    // Attribute nodes and fields (geometry/AttributeNodes.cpp). Color,
    // Normal, TextureCoordinate and ShapeHints nodes set the level's file
    // attributes; a geometry node builds its block from them and its own
    // fields and hands it to its Define... (and a replay hands the block its
    // entry kept) through the geometry attributes, null for none.
    int DefineColor(trelChromaArray& colors);
    int DefineTextureCoordinate(trelTexCoordArray& points);
    int DefineShapeHints(double creaseAngle, int ccw);
    const std::shared_ptr<const trelAttributes>& GetGeometryAttributes() const { return GeometryAttributes; }
    void SetGeometryAttributes(std::shared_ptr<const trelAttributes> block) { GeometryAttributes = std::move(block); }

    // Coordinates, normals and indexed face and line sets (geometry/IndexedSets.cpp).
    int ParseCoordinate3();
    int DefineCoordinate3(trelFloatPointArray& points);
    // A replay: the level takes over the recorded list itself.
    int DefineCoordinate3(std::shared_ptr<const trelFloatPointArray> points);
    int ParseNormal();
    int DefineNormal(trelVectorArray& vectors);
    int ParseIndexedSet();
    // A replay hands the geometry its entry shares (see CVRMLSharedFaceSet):
    // a face set of one material then uses it, or builds it for the uses
    // that follow.
    int DefineIndexedSet(int faceSet, trelIntArray& coordIndex, trelIntArray& materialIndex, trelIntArray& normalIndex,
                         CVRMLSharedFaceSet* shared = nullptr);
    // The use of a face set whose shared geometry fits where it stands; false
    // (and nothing done) when it does not.
    bool DefineSharedFaceSet(CVRMLSharedFaceSet& shared, int& result);
    int MergeIndexLists(trelIntArray& merged, std::vector<int>& indices, std::vector<int>& counts);
    // The block of what the file says about the set read now; null for nothing.
    std::shared_ptr<const trelAttributes> BuildSetAttributes(int faceSet, const CVRMLAttributeFields& fields,
                                                             const trelIntArray& coordIndex,
                                                             const trelIntArray& materialIndex);

    // Point sets and triangle strip sets (geometry/PointAndStripSets.cpp).
    int ParsePointSet();
    int DefinePointSet(int startIndex, int numPoints);
    int ParseTriangleStripSet();
    int DefineTriangleStripSet(trelIntArray& numVertices);

    // Elevation grid (geometry/ElevationGrid.cpp). A grid of more points than
    // this is refused, whatever heights it has: it would exhaust memory.
    static constexpr int MaxElevationGridPoints = 1 << 24;
    int ParseElevationGrid();
    int DefineElevationGrid(int solid, trelDoubleArray& height, double xDimension, double xSpacing, double zDimension,
                            double zSpacing);
    trelFloatPoint GetElevationGridPoint(double i, double j, trelDoubleArray& height, double xDimension,
                                         double xSpacing, double zDimension, double zSpacing);

    // Extrusion (geometry/Extrusion.cpp). Likewise a mesh of more spine
    // points times cross-section points than this is refused.
    static constexpr int MaxExtrusionPoints = 1 << 24;
    int ParseExtrusion();
    int DefineExtrusion(int solid, int beginCap, int endCap, trelVectorArray& axes, trelDoubleArray& angles,
                        trelDoubleArray& scale, trelDoubleArray& crossSection, trelFloatPointArray& spine);
    int GetExtrusionMesh(trelFloatPointArray& mesh, trelVectorArray& axes, trelDoubleArray& angles,
                         trelDoubleArray& scale, trelDoubleArray& crossSection, trelFloatPointArray& spine);
    int GetExtrusionCrossSectionPoints(int spineIndex, trelFloatPointArray& points, trelVectorArray& axes,
                                       trelDoubleArray& angles, trelDoubleArray& scale, trelDoubleArray& crossSection,
                                       trelFloatPointArray& spine);
    trelMatrix4x4 CreateExtrusionCrossSectionTransform(int spineIndex, trelVectorArray& axes, trelDoubleArray& angles,
                                                       trelDoubleArray& scale, trelFloatPointArray& spine);
    trelVector GetExtrusionTangentVector(int spineIndex, trelFloatPointArray& spine);
    int DefineExtrusionCap(int spineIndex, int pointCount, trelFloatPointArray& mesh);

    // Prototypes (names/Prototypes.cpp, names/ProtoInstances.cpp).
    int ParseProto();
    int ParseExternProto();
    int AddPrototypeToDictionary(CVRMLPrototype* prototype);
    int RemovePrototypeFromDictionary(CVRMLPrototype* prototype);
    void ClearPrototypeDictionary();
    CVRMLPrototype* FindPrototype(const std::string& name);
    std::list<CVRMLPrototype*>* GetPrototypeDictionary() { return &PrototypeDictionary; }
    int ParseProtoUse();
    int DefineProtoUse(const std::string& name, const char* useText, size_t useLength);
    // A prototype instance read through more nested instances than this
    // fails as a malformed node.
    static constexpr int DefaultMaxInstanceDepth = 200;
    int GetMaxInstanceDepth() const { return MaxInstanceDepth; }
    void SetMaxInstanceDepth(int depth) { MaxInstanceDepth = depth; }
    // Prototypes that use each other twice over multiply their instances at
    // every level: past this many instances in one Parse a use builds
    // nothing and fails as a malformed node. As for replays, the budget of a
    // Parse adds one for each byte of the file given to Parse.
    static constexpr long long DefaultMaxInstanceCount = 1000000;
    long long GetMaxInstanceCount() const { return MaxInstanceCount; }
    void SetMaxInstanceCount(long long count) { MaxInstanceCount = InstanceBudget = count; }
    // Uses built from a recorded body (names/RecordedBody.cpp): 1 when the
    // use was built so, 0 when it is to be built from its text.
    int ReplayRecordedBody(CVRMLPrototype& prototype, const std::string& name, const char* useText, size_t useLength);
    // Called for every entry a Define... records: while a body is recorded,
    // where the reading stood then tells which node recorded it.
    void NoteRecordedEntry(const CVRMLDictionaryEntry* entry) {
        if (RecordedEntryLog)
            LogRecordedEntry(entry);
    }

    // Inline files and subfiles (names/InlineFiles.cpp).
    int ParseWWWInline();
    int CreateSubfilePath(std::string& name);
    int ParseSubfile(const std::string& path);
    // A file included through more nested inline files than this is not read.
    static constexpr int DefaultMaxInlineDepth = 64;
    int GetMaxInlineDepth() const { return MaxInlineDepth; }
    void SetMaxInlineDepth(int depth) { MaxInlineDepth = depth; }
    // A file included twice by each of a chain of files is read 2^n times:
    // past this many file reads in one Parse an inline node reads nothing
    // and fails as a malformed node.
    static constexpr long long DefaultMaxInlineCount = 10000;
    long long GetMaxInlineCount() const { return MaxInlineCount; }
    void SetMaxInlineCount(long long count) { MaxInlineCount = count; }
    // Bytes of text one Parse may read from all the files of the scene
    // together: the file given to Parse, inline and EXTERNPROTO files and
    // images. A file that would pass the budget is not read: its node fails
    // and the load goes on (the file given to Parse fails the load).
    static constexpr uint64_t DefaultMaxReadBytes = uint64_t(8) << 30;
    uint64_t GetMaxReadBytes() const { return MaxReadBytes; }
    void SetMaxReadBytes(uint64_t bytes) { MaxReadBytes = bytes; }
    uint64_t GetReadBytes() const { return ReadBytes; } // read by the last Parse
    // When set, every file the scene names must lie inside this folder once
    // ".." and symbolic links are resolved; any other is treated as missing.
    // The file given to Parse may lie anywhere. Set it whenever the scene
    // comes from someone else. Empty (the default): no such check.
    const std::string& GetIncludeRoot() const { return IncludeRoot; }
    void SetIncludeRoot(const std::string& folder) { IncludeRoot = folder; }
    // How opening the file given to the last Parse went: 0 opened, 1 its
    // header was refused, 2 it could not be read. A result of 1 from Parse
    // with 0 here is a file in which no statement could be read.
    VRMLLoadResultTypes GetOpenResult() const { return OpenResult; }
    // Why the file given to the last Parse could not be read ("not a regular
    // file", "corrupt gzip stream", ...); empty when it could.
    const std::string& GetReadError() { return IOManager.GetFileInterface().GetReadError(); }

private:
    void RecoverFromFailedParse();
    // The pending DEF state is DefinedEntity and EntityName: the name a DEF
    // gave the node being read, which its objects, group and entry take. A
    // node that hands its name to a level it opens forgets it, so that its
    // first child does not take it too.
    void ForgetPendingDef() {
        EntityName.clear();
        DefinedEntity = 0;
    }
    // Reading helpers shared by the node readers.
    void AdvanceWhileKind(std::initializer_list<VRMLTokenTypes> kinds);
    void AdvanceToClosingBrace();
    void ReadOptionalTriple(trelFloatPoint& value);
    // One field of a primitive solid: its keyword and where its value goes
    // (`count` numbers, or one truth value; neither for a field passed over).
    struct SolidField {
        VRMLTokenTypes keyword;
        double* number = nullptr;
        int* flag = nullptr;
        int count = 1;
        // VRML 1.0's parts: SIDES, TOP and BOTTOM (bits 1, 2 and 4), ALL,
        // or several between parentheses.
        int* parts = nullptr;
    };
    int ReadPartsValue();
    int OpenNodeLevel(int restores = 0);
    void AdvanceToOpeningBrace();
    int ReadChildren(int& result);
    // Standard semantics: Switch and LOD build only their chosen children.
    static constexpr int AllChoices = -3;
    int ParseStandardSwitch();
    // Text readers (geometry/TextNodes.cpp). Each value reader starts at the
    // field's name and leaves the value's last token current.
    int ParseVrml2Text();
    int ParseVrml1AsciiText();
    void ReadVrml2FontStyle(trelTextLayout& layout);
    bool ReadStringsValue(std::vector<std::string>& strings);
    void ReadNumbersValue(std::vector<double>& numbers);
    bool ReadNumberValue(double& number);
    bool ReadBooleanValue(bool& flag);
    bool NextIsValue();
    // Calls `field` at each token of the node's body from its "{": it reads
    // a value it knows and returns true, or false to pass the token over.
    void ReadNodeFields(const std::function<bool(std::string_view)>& field);
    int FindChoiceField();
    void SkipFieldValue();
    int ReadChoice(bool built);
    void ReadChoices(int chosen, int& result);
    VRMLTokenTypes StatementKind();
    int ParseShapeGeometry();
    int SkipUnopenedNode();
    int SkipPassiveNode();
    int ReadSolidFields(VRMLTokenTypes nodeKind, std::initializer_list<SolidField> fields);
    trelMatrix4x4 SolidPlacement(double height);

    // Extrusion frames: the rotation axis for a tangent along -y.
    trelVector ExtrusionAntiParallelAxis(int spineIndex, const trelVector& tangent, trelFloatPointArray& spine);
    // A stretch of spine points whose tangents all run along -y, with the
    // nearest points on either side whose tangents do not (-1: none). Kept
    // only while GetExtrusionMesh runs over `spine`, so that a long straight
    // stretch is walked once rather than once for each of its points.
    struct AntiParallelStretch {
        const trelFloatPointArray* spine = nullptr;
        int first = 0, last = -1, before = -1, after = -1;
    };
    // Texture readers: the value of an Appearance's texture and
    // textureTransform fields, the uses of texture names, and where pictures
    // come from (a file named by a url, or pixels written in the file).
    struct NamedTexture {
        std::shared_ptr<const trelTexture> texture;
        trelTexMatrix matrix;
        bool hasTexture = false, hasMatrix = false;
    };
    bool StepOverUseOrNull(const NamedTexture*& named);
    void ReadTextureField(NamedTexture& appearance);
    void ReadTextureTransformField(NamedTexture& appearance);
    int UseTextureName(const std::string& name);
    // Keeps a texture state under a DEF name for later uses, when one may come.
    void NameTextureState(const std::string& name, const NamedTexture& state);
    std::shared_ptr<const trelTexture> ReadTextureNode();
    std::shared_ptr<const trelImage> LoadTextureImage(const std::string& reference);
    std::shared_ptr<const trelImage> ReadTextureImageFile(const std::string& path);
    std::shared_ptr<const trelImage> ReadPixelImage();

    // Geometry nodes that read other nodes in their fields (coord, color,
    // normal, texCoord).
    void RecordWithOwnCoordinates(const trelFloatPointArray& points, CVRMLDictionaryEntry* geometryEntry);
    void RecordWithOwnCoordinates(std::shared_ptr<const trelFloatPointArray> points,
                                  CVRMLDictionaryEntry* geometryEntry);
    // Reads the field a plain word names when it is an attribute field
    // (colorIndex, colorPerVertex, normalPerVertex, texCoordIndex,
    // creaseAngle, ccw), leaving its last value current; false for any other word.
    bool ReadAttributeField(CVRMLAttributeFields& fields);
    void ReadAttributeIndexField(trelIntArray& merged);
    // The level's file attributes with one change made, in a copy.
    trelAttributes EditFileAttributes() const;

    // Separator entries replaced by a later definition of their name while a
    // closed separator entry still lists them: kept alive so that no children
    // list ever holds a dangling pointer, and a replay of that closed
    // separator still repeats what it held when it was read.
    void RetireEntry(CVRMLDictionaryEntry* entry);
    // Adds what a file just opened USEs, when unused names are not kept.
    void CollectUsedNames(const CGenericParser& reader);
    void DestroyEntry(CVRMLDictionaryEntry* entry);

    // Recording a prototype body at one of its uses, and what a use must
    // satisfy for the recording to stand for its text.
    bool MayBuildFromRecording() const;
    bool MayRecordBody(CVRMLPrototype& prototype, const char* useText, size_t useLength);
    bool ReadSlotNumbers(CVRMLPrototype& prototype, const char* useText, size_t useLength);
    bool MayReplayRecordedBody(const CVRMLRecordedBody& recorded) const;
    void ReplaySlots(CVRMLRecordedBody& recorded);
    void ReplayRecordedLevel(const CVRMLSeparatorEntry& level);
    // A use whose values are plain numbers is replayed as it is read, without
    // capturing its text: 1 when it was, the reader left on its "}"; 0 with
    // the reader back on its "{".
    int ReplayUseInPlace(CVRMLPrototype& prototype);
    bool ReadSlotNumbersInPlace(CVRMLPrototype& prototype);
    void AdoptRecordedBody(CVRMLPrototype& prototype, std::unique_ptr<CVRMLSeparatorEntry> capture,
                           const std::vector<std::pair<const CVRMLDictionaryEntry*, size_t>>& entryOffsets,
                           const std::vector<size_t>& pieceStarts);
    void LogRecordedEntry(const CVRMLDictionaryEntry* entry);

    // Prototype names become PROTO_INSTANCE tokens: checked for the current
    // and the look-ahead token after every advance and every change of source.
    void MarkPrototypeNames();
    CVRMLPrototype* FindPrototypeByText(std::string_view name);
    // Reads an included file or an instance text to its end at the current
    // level, which the text can neither close nor leave with levels open.
    int ReadEmbeddedStatements();
    // Reads the file a Inline or EXTERNPROTO names; `once` reads a file only
    // the first time it is named.
    int ReadReferencedFile(const std::string& reference, bool once);
    // The standard mode's EXTERNPROTO: the prototype the URL's "#name" names
    // in its file (without one, the file's first), declared under `name`.
    // Only the file's prototype declarations are read, never its scene.
    int DeclareExternalPrototype(const std::string& name, const std::string& url);
    void ReadDeclarationStatement();
    // Whether a file the scene names may be read: inside the include root,
    // and within what is left of the read budget (the reader is told that
    // share). Afterwards CountRead adds what the reader took.
    bool MayReadReferencedFile(const std::string& path, C3DFileInterface& reader);
    void ResolveIncludeRoot();
    void CountRead(const C3DFileInterface& reader);

    C3DWorld* World = nullptr;
    CVRMLSeparator* CurrentSeparator = nullptr;
    CVRMLIOManager IOManager;
    std::list<CVRMLSeparator*> SeparatorStack;
    // The list nodes of closed levels, moved here rather than freed: the next
    // level opened takes one back, so opening a level allocates no node.
    std::list<CVRMLSeparator*> SpareStackNodes;
    // Every entry, in the order it was recorded (linked through the entries).
    CVRMLDictionaryList ObjectDictionary;
    std::vector<CVRMLDictionaryEntry*> RetiredEntries;
    // The names of the entries: one copy for all the entries of a name.
    CVRMLTextArena EntryNames;
    // The one entry (not a USE) of each non-empty name, so that a lookup is
    // not a walk of the whole dictionary; always agrees with ObjectDictionary.
    CVRMLNameTable<CVRMLDictionaryEntry> NamedEntries;
    int KeepUnusedNames = 1;
    CVRMLUsedNames UsedNames; // what the files read USE, when unused names are not kept
    // The last name MayBeUsed answered for: a node's operations ask again and again.
    mutable std::string CheckedName;
    mutable bool CheckedNameUsed = true;
    int DefinedEntity = 0;
    std::string EntityName;
    trelRope EntityRope;
    int AllowDictionaryUpdate = 1;
    int SkippingBlock = 0;
    int StandardSemantics = 0;
    int BuildText = 0;
    std::unordered_map<std::string, trelTextLayout> FontStyleNames; // VRML 2.0 FontStyles by DEF name
    // Above 0 while a child that a Switch or LOD does not choose is read: its
    // DEF names are defined, but nothing it builds is kept.
    int HiddenDepth = 0;
    int LastPercentage = 0;
    void ReportProgress(uint64_t offset, uint64_t total);
    // Where the progress percentage next rises, for this total and LastPercentage.
    uint64_t ProgressNextOffset = 0;
    uint64_t ProgressTotal = 0;
    int ProgressLastPercentage = -1;
    VRMLLoaderCallback LoaderPtr = nullptr;
    VRMLImageUnitsTypes ImageUnits = VRML_UNITS_METRES;
    int MaxNestingDepth = DefaultMaxNestingDepth;
    int MaxReplayDepth = DefaultMaxReplayDepth;
    int NestingDepth = 0;
    int ReplayDepth = 0;
    long long MaxReplayCount = DefaultMaxReplayCount;
    long long ReplayCount = 0;                      // replays in this Parse
    long long ReplayBudget = DefaultMaxReplayCount; // replays allowed in this Parse
    AntiParallelStretch ExtrusionStretch;
    // In the standard mode, while GetExtrusionMesh runs over a spine that is
    // not straight: the plane of each spine point's cross-section (rows X,
    // Y, Z), which replaces the turn of +y onto the spine's tangent.
    std::vector<trelMatrix4x4> ExtrusionPlanes;
    // Set by a geometry reader while it defines its node when the node's own
    // coord field gave the coordinates in force (see RecordWithOwnCoordinates).
    int GeometryHasOwnCoordinates = 0;
    std::shared_ptr<const trelAttributes> GeometryAttributes;

    std::list<CVRMLPrototype*> PrototypeDictionary;
    // The first prototype of each name; always agrees with PrototypeDictionary.
    CVRMLNameTable<CVRMLPrototype> PrototypeIndex;
    // Reads use-site values and bodies while instance texts are written; one
    // reader serves every build, since a build ends before its text is read.
    CVRMLIOManager InstanceReader;
    // While a body is recorded: each entry recorded, with the instance-text
    // offset of the token current then.
    std::vector<std::pair<const CVRMLDictionaryEntry*, size_t>>* RecordedEntryLog = nullptr;
    // The numbers of the slots of the use being replayed, kept for their memory.
    std::vector<double> SlotNumbers;
    std::vector<double> GivenNumbers; // the numbers of the values a use read in place gave
    int MaxInstanceDepth = DefaultMaxInstanceDepth;
    int InstanceDepth = 0;
    long long MaxInstanceCount = DefaultMaxInstanceCount;
    long long InstanceCount = 0;                        // instances built in this Parse
    long long InstanceBudget = DefaultMaxInstanceCount; // instances allowed in this Parse
    // The level at which the innermost instance text is read. Nodes read
    // there are recorded only under their own DEF name and never into that
    // level's separator entry, which records the use itself: a replay of the
    // separator then builds each instance once.
    CVRMLSeparator* InstanceLevel = nullptr;
    // The level at which the innermost included file or instance text is
    // read; a stray "}" of that text does not close it.
    CVRMLSeparator* EmbeddingLevel = nullptr;

    int MaxInlineDepth = DefaultMaxInlineDepth;
    int InlineDepth = 0;
    long long MaxInlineCount = DefaultMaxInlineCount;
    long long InlineCount = 0; // files read for inline nodes and EXTERNPROTO in this Parse
    // The files being read, as canonical paths: the file given to Parse and
    // the file that included the first one at the bottom. A file is never
    // included into itself, however indirectly (a prototype declared in one
    // file and used in another included both).
    std::vector<std::string> OpenSubfiles;
    std::string ParsedFile;
    // Files read for EXTERNPROTO: a library named by many declarations is read once.
    std::vector<std::string> ExternProtoFiles;
    // In the standard mode, the prototypes each such file declared, in order.
    std::map<std::string, std::vector<CVRMLPrototype*>> ExternalPrototypes;
    // Set while a file is read for its prototype declarations alone.
    int ReadingDeclarations = 0;

    VRMLLoadResultTypes OpenResult = VRML_LOAD_SUCCESS;
    uint64_t MaxReadBytes = DefaultMaxReadBytes;
    uint64_t ReadBytes = 0;
    std::string IncludeRoot;
    std::string IncludeRootCanonical; // resolved once per Parse; empty while no root is set

    // DEF names of textures, texture transforms and appearances. Kept apart
    // from the object dictionary, so that such a name never changes what a
    // USE of an object name builds.
    CVRMLNamedValues<NamedTexture> TextureNames;
    // Pictures read in this Parse by resolved path (null: could not be
    // read), so that a file that many shapes name is decoded once.
    std::unordered_map<std::string, std::shared_ptr<const trelImage>> ImageCache;
    // Where each image reference of this Parse led, by including file and
    // reference (empty: nowhere).
    std::unordered_map<std::string, std::string> ImagePaths;
};
