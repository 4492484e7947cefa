#pragma once

#include "FileInterface.h"
#include "GenericIOState.h"
#include "GenericToken.h"
#include "GenericTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CKeywordLookup;

// The text a tokenizer reads: a whole file, or a text buffer handed in by the
// user. Shared by the tokenizer and by every state saved from it.
struct CGenericReadingSource {
    std::vector<char> bytes; // the text, unless the file was mapped
    CMappedText mapped;      // a mapped file's text; then `bytes` stays empty
    std::string fileName;    // the file the text came from (a buffer inherits its reader's)
    uint64_t fileSize = 0;   // size reported for progress
    bool isBuffer = false;
    // For text inflated from a compressed file: which file bytes each block
    // of text came from. Empty when text and file offsets are the same.
    std::vector<CTextFilePosition> positionMap;

    std::string_view Text() const {
        return mapped.IsMapped() ? mapped.View() : std::string_view(bytes.data(), bytes.size());
    }
    // The file position that the text up to `textOffset` was read from.
    uint64_t FilePositionOf(size_t textOffset) const;
};

// A fast tokenizer over a file or a text buffer, with one current and one
// look-ahead token. Subclasses check the file header through the one virtual hook.
//
// Lexical rules: '#' starts a comment to the end of the line (CR or LF) outside
// strings; spaces, commas and every control byte, NUL included, separate tokens;
// each of { } [ ] ( ) is a token of its own; a double-quoted string with \" and
// \\ escapes is one token whose text keeps its quotes and escapes, and an
// unterminated one ends with the input; any other run of bytes is a word. A
// word that is wholly a number (sign, decimal, fraction, exponent, or 0x and hex
// digits) is a number; TRUE and FALSE in exact upper case are booleans; a word
// matching a keyword row is a keyword; the rest are plain words.
//
// No operation throws: running out of memory shows as a failed result.
class CGenericParser {
public:
    CGenericParser();
    CGenericParser(const CGenericParser& other);
    CGenericParser& operator=(const CGenericParser& other);
    virtual ~CGenericParser();

    // Keyword table: words matching a row (ignoring ASCII letter case) become
    // GENERIC_KEYWORD tokens whose user-defined type is the row's id; of rows
    // with the same name the first counts. The table is referred to, not
    // copied, and must stay alive and unchanged while the tokenizer is used.
    void SetKeywordTable(const ParserKeywordEntry* table);
    void SetKeywordTableSize(int size);

    // The name "-" stands for the process's standard input (a file of that
    // name is reached as "./-").
    static constexpr const char* StandardInputName = "-";
    void SetFilename(const std::string& name);
    std::string GetFilename() const;

    // Opens the named file, runs CheckFileHeader and reads the first tokens.
    // GENERIC_LOAD_UNREADABLE when the file cannot be opened or read,
    // GENERIC_LOAD_REJECTED when CheckFileHeader refuses it. The header check
    // runs before the rest of the file is loaded; the whole file is then held
    // in memory, so tokens stay valid as long as anything refers to the source.
    GenericLoadResultTypes OpenAndInitialize();
    // Closes the file handle; the loaded text stays readable.
    void CloseFile();
    // Lets the text of a mapped file before the read position leave the
    // process's memory (CMappedText::ReleaseBefore); it stays readable.
    void ReleaseReadText() {
        if (!source->isBuffer)
            source->mapped.ReleaseBefore(readOffset);
    }
    C3DFileInterface& GetFileInterface();

    // Header support, for CheckFileHeader. GetNextLineFromBuffer takes the
    // next line (ended by CR, LF or CRLF) of the file being opened as a writable
    // input string, loading blocks as needed; 0 when nothing is left. Dropping
    // the string makes tokenizing start behind the lines taken; a line that is
    // not dropped is tokenized like the rest of the file (a '#' line is a comment).
    // A line longer than `maxLength` gives its first maxLength bytes and is
    // not taken: dropping the string then leaves tokenizing at its start.
    int GetNextLineFromBuffer(size_t maxLength = SIZE_MAX);
    int GetInputStringEmpty() const;
    char* GetInputString();
    void SetInputStringValue(const char* value); // null drops the line from the input

    // Non-zero when it advanced. Once the current token is end of input it
    // stays so and Tokenize returns 0; the advance that makes the end of input
    // current still returns non-zero.
    int Tokenize();
    // The queries run several times for every token, so they are inline.
    CGenericToken& GetCurrentToken() { return currentToken; }
    CGenericToken& GetNextToken() { return nextToken; }
    std::string GetCurrentTokenString() const;
    std::string GetNextTokenString() const;
    std::string_view GetCurrentTokenText() const { return currentToken.GetText(); }
    std::string_view GetNextTokenText() const { return nextToken.GetText(); }
    // Where the current token begins in the text being read (for a buffer,
    // in the text handed to StartBufferReading). Not for the end of input.
    size_t GetCurrentTokenOffset() const {
        return static_cast<size_t>(currentToken.GetText().data() - source->Text().data());
    }
    // 0 for tokens that are no number.
    double GetCurrentTokenNumericValue() const { return currentToken.GetNumericValue(); }
    double GetNextTokenNumericValue() const { return nextToken.GetNumericValue(); }
    // 1 for TRUE and for a non-zero number, 0 otherwise.
    int GetCurrentTokenBooleanValue() const { return currentToken.GetBooleanValue(); }
    int GetNextTokenBooleanValue() const { return nextToken.GetBooleanValue(); }

    // Calls `found` with the text of the token that follows each occurrence
    // of `word` (ASCII letters in lower case, matched in any letter case) as
    // a whole word anywhere in the text being read, from its start. The
    // search goes by the bytes, not by tokens: an occurrence in a comment or a
    // string counts too, so the calls cover every token that follows the word
    // read as a token, and possibly more. A plain word that repeats the one
    // reported just before is not reported again.
    void ForEachTokenAfterWord(std::string_view word, const std::function<void(std::string_view)>& found) const;

    // Raw scan from the read position (just behind the look-ahead token) to
    // the next bracket of kind `open` or `close`, passing over comments and
    // strings; 0 when the input ends first. The two tokens are left as they
    // were: after the scan, DecrementOffset and one Tokenize make the bracket
    // found the look-ahead token.
    int FindBlockToken(GenericTokenTypes open, GenericTokenTypes close, GenericTokenTypes& found);
    // For sizing a list before reading it: about how many numbers lie from
    // the look-ahead token (when it is a number) to the next "]", and how
    // many of them are -1 (the ends of index runs). Counted whole, or in a
    // few kilobytes at each end scaled to the whole stretch: a guess, never a bound, and
    // never more than the stretch could hold. Reading along the text, each
    // byte is searched for the bracket once, however many lists ask.
    struct NumbersAhead {
        size_t numbers = 0;
        size_t runEnds = 0;
    };
    NumbersAhead EstimateNumbersAhead();
    // Reads up to `maxGroups` groups of `groupSize` numbers from the current
    // token on into `values`, for as long as every token of a group is a
    // plain number, and leaves the tokenizer as Tokenize calls over the groups
    // read would have: the token after them current. A group that is not
    // whole is left unread. Returns the groups read. Meshes are long lists
    // of numbers: this reads them without the work of a Tokenize each.
    // `integers` says that the list is expected to hold plain integers
    // (indices), which are then read by a shorter route.
    size_t ReadNumberGroups(size_t groupSize, size_t maxGroups, double* values, bool integers = false);
    // Steps back to the bracket of the last successful FindBlockToken; does
    // nothing when no scan hit is pending (none was made, the scan failed, or a
    // Tokenize came in between).
    void DecrementOffset();

    // Progress measures the file underneath: while a buffer is read, the
    // position and size are those of the innermost file whose reading the
    // buffer interrupted, so progress does not jump back. A tokenizer that has
    // only ever read buffers reports its buffer's. For a compressed file both
    // count compressed bytes: the position is where in the file the text read
    // so far came from, so progress runs as evenly as for a plain file.
    // The parser asks after every token: a plain file is answered inline.
    uint64_t GetCurrentFileOffset() const {
        return ReadsPlainFile() ? readOffset : ReadsBufferOverFile() ? bufferProgress.offset : ProgressFileOffset();
    }
    uint64_t GetTotalFileSize() const {
        return ReadsPlainFile() ? source->fileSize : ReadsBufferOverFile() ? bufferProgress.size : ProgressFileSize();
    }

    // A state keeps its source alive and can be restored into any tokenizer;
    // restoring one that was never saved returns 0 and changes nothing. The
    // state's defined-entity flag and entity name belong to the user and are
    // neither written nor read here; the stack of StartBufferReading return
    // positions is the tokenizer's own and is not part of a state.
    int SaveIOState(CGenericIOState& state);
    int RestoreIOState(CGenericIOState& state);

    // Reads a copy of the text until StopBufferReading, which returns to the
    // position at this call (nesting to any depth). SetToStartOfBuffer rewinds
    // the buffer being read (0 when a file is being read). 0 on failure.
    int StartBufferReading(const char* buffer, size_t length);
    int SetToStartOfBuffer();
    int StopBufferReading();

protected:
    // Called by OpenAndInitialize before the first token; 0 refuses the file.
    virtual int CheckFileHeader();

private:
    void ReadToken(CGenericToken& token);
    void ReadFirstTokens();
    void SwitchToEmptySource();
    void CopyStateFrom(const CGenericParser& other);
    const CGenericReadingSource& ProgressSource(size_t& offset) const;
    // A file read as it is (not a buffer, not inflated): text offsets are file offsets.
    bool ReadsPlainFile() const { return !source->isBuffer && source->positionMap.empty(); }
    uint64_t ProgressFileOffset() const;
    uint64_t ProgressFileSize() const;
    // While a buffer is read over a file, progress stands where the file's
    // reading was interrupted: it depends on bufferStack alone and is kept
    // here whenever that changes, since the parser asks after every token.
    struct BufferProgress {
        bool overFile = false;
        uint64_t offset = 0;
        uint64_t size = 0;
    };
    void RefreshBufferProgress();
    bool ReadsBufferOverFile() const { return source->isBuffer && bufferProgress.overFile; }

    static constexpr size_t NoOffset = static_cast<size_t>(-1);

    std::shared_ptr<CGenericReadingSource> source; // never null
    size_t readOffset = 0;                         // just behind the look-ahead token
    size_t blockTokenOffset = NoOffset;            // bracket of the last FindBlockToken hit
    // Fixed objects, so that a reference from GetCurrentToken or GetNextToken
    // keeps meaning "the current token" across advances.
    CGenericToken currentToken;
    CGenericToken nextToken;
    std::vector<CGenericIOState> bufferStack; // where each StartBufferReading came from
    BufferProgress bufferProgress;
    // The source of a finished buffer that nothing refers to any more, kept
    // for the next StartBufferReading: a parser reads many short buffers.
    std::shared_ptr<CGenericReadingSource> spareSource;

    const ParserKeywordEntry* keywordTable = nullptr;
    int keywordTableSize = 0;
    std::shared_ptr<const CKeywordLookup> keywords;

    // Where the last EstimateNumbersAhead found its "]" (or the end of the
    // text), searching from `from`: a later search from between the two ends there too.
    struct ListEnd {
        const char* text = nullptr;
        size_t from = 0;
        size_t end = 0;
    };
    ListEnd lastListEnd;

    std::string fileName;
    C3DFileInterface fileInterface;
    // The source that blocks are loaded into while OpenAndInitialize runs.
    std::shared_ptr<CGenericReadingSource> loadingSource;
    std::string inputString;
    size_t lineCursor = 0;       // where GetNextLineFromBuffer takes the next line
    size_t firstTokenOffset = 0; // moved behind the header line when it is dropped
};
