#include "GenericParser.h"

#include "KeywordLookup.h"
#include "TokenScanner.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <utility>

namespace {

// What a tokenizer reads before it has a file or a buffer. It is never owned
// and never written to: sharing it keeps construction free of allocation, so
// a tokenizer can always be built and always holds a valid source.
const std::shared_ptr<CGenericReadingSource>& EmptySource() {
    static CGenericReadingSource empty;
    static const std::shared_ptr<CGenericReadingSource> nonOwning(std::shared_ptr<CGenericReadingSource>(), &empty);
    return nonOwning;
}

} // namespace

uint64_t CGenericReadingSource::FilePositionOf(size_t textOffset) const {
    if (positionMap.empty()) {
        return textOffset;
    }
    const auto after = std::lower_bound(
        positionMap.begin(), positionMap.end(), static_cast<uint64_t>(textOffset),
        [](const CTextFilePosition& position, uint64_t offset) { return position.textOffset < offset; });
    if (after == positionMap.end()) {
        return positionMap.back().fileOffset;
    }
    const CTextFilePosition before = after == positionMap.begin() ? CTextFilePosition{} : *(after - 1);
    if (after->textOffset <= before.textOffset) {
        return after->fileOffset;
    }
    // Within a block, compressed bytes are taken to be spread evenly over its text.
    const double fraction = static_cast<double>(textOffset - before.textOffset) /
                            static_cast<double>(after->textOffset - before.textOffset);
    return before.fileOffset +
           static_cast<uint64_t>(fraction * static_cast<double>(after->fileOffset - before.fileOffset));
}

CGenericParser::CGenericParser() : source(EmptySource()) {}

CGenericParser::CGenericParser(const CGenericParser& other) : source(EmptySource()) {
    try {
        CopyStateFrom(other);
    } catch (const std::exception&) {
        // Out of memory while copying: the copy reads nothing rather than half of something.
    }
}

CGenericParser& CGenericParser::operator=(const CGenericParser& other) {
    if (this != &other) {
        CloseFile();
        try {
            CopyStateFrom(other);
        } catch (const std::exception&) {
            // CopyStateFrom changes nothing before all its allocations succeeded.
        }
    }
    return *this;
}

CGenericParser::~CGenericParser() { CloseFile(); }

void CGenericParser::CopyStateFrom(const CGenericParser& other) {
    // Everything that allocates first, then the swaps that cannot throw.
    std::vector<CGenericIOState> stackCopy(other.bufferStack);
    std::string nameCopy(other.fileName);
    std::string inputCopy(other.inputString);

    source = other.source;
    readOffset = other.readOffset;
    blockTokenOffset = other.blockTokenOffset;
    currentToken = other.currentToken;
    nextToken = other.nextToken;
    bufferStack.swap(stackCopy);
    bufferProgress = other.bufferProgress;
    keywordTable = other.keywordTable;
    keywordTableSize = other.keywordTableSize;
    keywords = other.keywords;
    fileName.swap(nameCopy);
    inputString.swap(inputCopy);
    lineCursor = other.lineCursor;
    firstTokenOffset = other.firstTokenOffset;
    // The file handle stays with the original; a copy reads what is already loaded.
}

void CGenericParser::SetKeywordTable(const ParserKeywordEntry* table) {
    keywordTable = table;
    SetKeywordTableSize(keywordTableSize);
}

void CGenericParser::SetKeywordTableSize(int size) {
    keywordTableSize = size;
    keywords.reset();
    if (keywordTable == nullptr || keywordTableSize <= 0) {
        return;
    }
    try {
        keywords = std::make_shared<const CKeywordLookup>(keywordTable, keywordTableSize);
    } catch (const std::exception&) {
        // Without memory for the index every word reads as a plain word.
    }
}

void CGenericParser::SetFilename(const std::string& name) {
    try {
        fileName = name;
    } catch (const std::exception&) {
        fileName.clear();
    }
}

std::string CGenericParser::GetFilename() const {
    try {
        return fileName;
    } catch (const std::exception&) {
        return std::string();
    }
}

void CGenericParser::SwitchToEmptySource() {
    source = EmptySource();
    readOffset = 0;
    blockTokenOffset = NoOffset;
    currentToken = CGenericToken();
    nextToken = CGenericToken();
    bufferStack.clear();
    RefreshBufferProgress();
}

GenericLoadResultTypes CGenericParser::OpenAndInitialize() {
    CloseFile();
    SwitchToEmptySource();
    inputString.clear();
    lineCursor = 0;
    firstTokenOffset = 0;
    try {
        std::shared_ptr<CGenericReadingSource> fresh = std::make_shared<CGenericReadingSource>();
        fresh->fileName = fileName;
        const int opened =
            fileName == StandardInputName ? fileInterface.OpenStandardInput() : fileInterface.Open(fileName);
        if (opened == 0) {
            return GENERIC_LOAD_UNREADABLE;
        }
        // The header check runs before the file is read: it loads the first
        // block itself, and a refused file is never read further.
        source = fresh;
        loadingSource = fresh;
        // A mapped file is all there from the start; any other is read in
        // blocks into the source's bytes.
        if (!fileInterface.MapWholeFile(fresh->mapped))
            fileInterface.BindBuffer(&fresh->bytes);
        if (CheckFileHeader() == 0) {
            const bool readFailed = fileInterface.GetReadFailed() != 0;
            CloseFile();
            SwitchToEmptySource();
            return readFailed ? GENERIC_LOAD_UNREADABLE : GENERIC_LOAD_REJECTED;
        }
        while (fileInterface.ReadNextBlockFromFile() != 0) {
        }
        // Tokens are views into the bytes: nothing may append to them from now on.
        fileInterface.BindBuffer(nullptr);
        loadingSource.reset();
        if (fileInterface.GetReadFailed() != 0) {
            CloseFile();
            SwitchToEmptySource();
            return GENERIC_LOAD_UNREADABLE;
        }
        fresh->fileSize = fresh->Text().size();
        if (fileInterface.GetIsCompressed() != 0 && !fileInterface.GetPositionMap().empty()) {
            fresh->positionMap = fileInterface.GetPositionMap();
            fresh->fileSize = fresh->positionMap.back().fileOffset;
        }
        // The header check may have started buffer reading; the file starts afresh.
        SwitchToEmptySource();
        source = std::move(fresh);
        readOffset = std::min(firstTokenOffset, source->Text().size());
        ReadFirstTokens();
        return GENERIC_LOAD_OK;
    } catch (const std::exception&) {
        CloseFile();
        SwitchToEmptySource();
        return GENERIC_LOAD_UNREADABLE;
    }
}

void CGenericParser::CloseFile() {
    fileInterface.Close();
    loadingSource.reset();
}

C3DFileInterface& CGenericParser::GetFileInterface() { return fileInterface; }

int CGenericParser::CheckFileHeader() { return 1; }

int CGenericParser::GetNextLineFromBuffer(size_t maxLength) {
    try {
        const bool loading = loadingSource != nullptr && fileInterface.GetFileHandleIsValid() != 0;
        const CGenericReadingSource& reading = loadingSource != nullptr ? *loadingSource : *source;
        std::string_view bytes = reading.Text();
        // Load blocks until the line's end is known: a line may be longer than
        // a block, and a CR at a block's end may be the first half of a CRLF.
        size_t lineEnd = lineCursor;
        for (;; bytes = reading.Text()) {
            while (lineEnd < bytes.size() && bytes[lineEnd] != '\n' && bytes[lineEnd] != '\r') {
                ++lineEnd;
            }
            const bool endKnown = lineEnd < bytes.size() && !(bytes[lineEnd] == '\r' && lineEnd + 1 == bytes.size());
            if (endKnown || lineEnd - lineCursor > maxLength || !loading ||
                fileInterface.ReadNextBlockFromFile() == 0) {
                break;
            }
        }
        bytes = reading.Text(); // a read that failed may still have added to it
        if (lineCursor >= bytes.size()) {
            inputString.clear();
            return 0;
        }
        if (lineEnd - lineCursor > maxLength) {
            inputString.assign(bytes.data() + lineCursor, maxLength);
            return 1;
        }
        lineEnd = std::min(lineEnd, bytes.size());
        inputString.assign(bytes.data() + lineCursor, lineEnd - lineCursor);
        size_t next = lineEnd;
        if (next < bytes.size()) {
            next += (bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n') ? 2 : 1;
        }
        lineCursor = next;
        return 1;
    } catch (const std::exception&) {
        inputString.clear();
        return 0;
    }
}

int CGenericParser::GetInputStringEmpty() const { return inputString.empty() ? 1 : 0; }

char* CGenericParser::GetInputString() { return inputString.data(); }

void CGenericParser::SetInputStringValue(const char* value) {
    if (value == nullptr) {
        inputString.clear();
        firstTokenOffset = lineCursor;
        return;
    }
    try {
        inputString = value;
    } catch (const std::exception&) {
        inputString.clear();
    }
}

void CGenericParser::ReadToken(CGenericToken& token) {
    using namespace TokenScanner;
    const std::string_view bytes = source->Text();
    RawToken raw;
    readOffset = ScanToken(bytes.data(), bytes.size(), readOffset, raw);
    if (raw.end == raw.begin) {
        token.Set(raw.kind, std::string_view());
        return;
    }
    const std::string_view text(bytes.data() + raw.begin, raw.end - raw.begin);
    if (raw.kind == GENERIC_NUMBER) {
        token.Set(GENERIC_NUMBER, text, 0, raw.number, raw.number != 0.0 ? 1 : 0);
        return;
    }
    if (raw.kind != GENERIC_WORD) {
        token.Set(raw.kind, text);
        return;
    }
    double number = 0.0;
    if ((ClassOf(text[0]) & NumberStart) != 0 && ParseNumber(text.data(), text.data() + text.size(), number)) {
        token.Set(GENERIC_NUMBER, text, 0, number, number != 0.0 ? 1 : 0);
        return;
    }
    // Exact upper case only, as the VRML grammar has it: "true" stays a word,
    // so a DEF name or field value spelt that way keeps its meaning.
    if (text == "TRUE" || text == "FALSE") {
        token.Set(GENERIC_BOOLEAN, text, 0, 0.0, text[0] == 'T' ? 1 : 0);
        return;
    }
    int32_t id = 0;
    if (keywords != nullptr && keywords->Find(text, id)) {
        token.Set(GENERIC_KEYWORD, text, static_cast<uint32_t>(id));
        return;
    }
    token.Set(GENERIC_WORD, text);
}

void CGenericParser::ReadFirstTokens() {
    blockTokenOffset = NoOffset;
    ReadToken(currentToken);
    ReadToken(nextToken);
}

int CGenericParser::Tokenize() {
    if (currentToken.GetDataType() == GENERIC_END_OF_INPUT) {
        return 0;
    }
    // A DecrementOffset after this would step back over a token already read.
    blockTokenOffset = NoOffset;
    currentToken = nextToken;
    ReadToken(nextToken);
    return 1;
}

void CGenericParser::ForEachTokenAfterWord(std::string_view word,
                                           const std::function<void(std::string_view)>& found) const {
    using namespace TokenScanner;
    const std::string_view whole = source->Text();
    const char* text = whole.data();
    const size_t size = whole.size();
    // The plain word reported last, which the same bytes read again would be.
    std::string_view last;
    WordFinder finder(text, size, word);
    for (size_t at = finder.Next(); at < size; at = finder.Next()) {
        size_t pos = at + word.size();
        while (pos < size && (ClassOf(text[pos]) & Separator) != 0) {
            ++pos;
        }
        const size_t lastEnd = pos + last.size();
        if (!last.empty() && lastEnd <= size && std::string_view(text + pos, last.size()) == last &&
            (lastEnd == size || (ClassOf(text[lastEnd]) & WordByte) == 0)) {
            continue;
        }
        RawToken raw;
        ScanToken(text, size, pos, raw);
        const std::string_view token(text + raw.begin, raw.end - raw.begin);
        const bool plainWord = raw.kind == GENERIC_WORD && (ClassOf(token[0]) & NumberStart) == 0;
        last = plainWord ? token : std::string_view();
        found(token);
    }
}

std::string CGenericParser::GetCurrentTokenString() const {
    try {
        return std::string(currentToken.GetText());
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string CGenericParser::GetNextTokenString() const {
    try {
        return std::string(nextToken.GetText());
    } catch (const std::exception&) {
        return std::string();
    }
}

int CGenericParser::FindBlockToken(GenericTokenTypes open, GenericTokenTypes close, GenericTokenTypes& found) {
    const std::string_view bytes = source->Text();
    size_t pos = std::min(readOffset, bytes.size());
    for (;;) {
        pos = TokenScanner::FindBracket(bytes.data(), bytes.size(), pos);
        if (pos >= bytes.size()) {
            readOffset = bytes.size();
            blockTokenOffset = NoOffset;
            return 0;
        }
        const auto kind =
            static_cast<GenericTokenTypes>(TokenScanner::BracketKinds[static_cast<unsigned char>(bytes[pos])]);
        if (kind == open || kind == close) {
            found = kind;
            blockTokenOffset = pos;
            readOffset = pos + 1;
            return 1;
        }
        ++pos;
    }
}

size_t CGenericParser::ReadNumberGroups(size_t groupSize, size_t maxGroups, double* values, bool integers) {
    if (currentToken.GetDataType() != GENERIC_NUMBER || groupSize == 0)
        return 0;
    const std::string_view bytes = source->Text();
    // The token's text may stand in another buffer (a replaced source): then
    // it is left to Tokenize.
    const char* at = currentToken.GetText().data();
    const std::less<const char*> before;
    if (before(at, bytes.data()) || !before(at, bytes.data() + bytes.size()))
        return 0;
    // The scan starts again at the current token. A number Tokenize reads
    // by the longer route (a word that parses as one) ends the groups here,
    // and is read by Tokenize.
    size_t pos = static_cast<size_t>(at - bytes.data());
    size_t groups = 0;
    TokenScanner::RawToken raw;
    while (groups < maxGroups) {
        size_t end = pos;
        size_t taken = 0;
        for (; taken < groupSize; ++taken) {
            double& value = values[groups * groupSize + taken];
            if (integers) {
                if (const size_t behind = TokenScanner::ScanPlainInteger(bytes.data(), bytes.size(), end, value)) {
                    end = behind;
                    continue;
                }
            }
            end = TokenScanner::ScanToken(bytes.data(), bytes.size(), end, raw);
            if (raw.kind != GENERIC_NUMBER)
                break;
            value = raw.number;
        }
        if (taken < groupSize)
            break;
        ++groups;
        pos = end;
    }
    if (groups > 0) {
        readOffset = pos;
        ReadFirstTokens();
    }
    return groups;
}

CGenericParser::NumbersAhead CGenericParser::EstimateNumbersAhead() {
    NumbersAhead ahead;
    if (nextToken.GetDataType() != GENERIC_NUMBER)
        return ahead;
    const std::string_view bytes = source->Text();
    // The token's text may stand in another buffer (a replaced source): then there is nothing to count.
    const char* at = nextToken.GetText().data();
    const std::less<const char*> before;
    if (before(at, bytes.data()) || !before(at, bytes.data() + bytes.size()))
        return ahead;
    const size_t start = static_cast<size_t>(at - bytes.data());
    // Only a guess when the same address now holds another text of another
    // length (a buffer freed and made again), so the end is checked against
    // this text before it is read.
    const bool known =
        lastListEnd.text == bytes.data() && lastListEnd.from <= start && start <= lastListEnd.end &&
        (lastListEnd.end == bytes.size() || (lastListEnd.end < bytes.size() && bytes[lastListEnd.end] == ']'));
    if (!known) {
        const void* bracket = std::memchr(bytes.data() + start, ']', bytes.size() - start);
        const size_t end =
            bracket ? static_cast<size_t>(static_cast<const char*>(bracket) - bytes.data()) : bytes.size();
        lastListEnd = {bytes.data(), start, end};
    }
    const size_t end = std::min(lastListEnd.end, bytes.size());
    // Counted whole when short; else in a sample at each end, since numbers
    // such as indices grow longer along a list.
    constexpr size_t SampleSize = 2048;
    auto count = [&](size_t from, size_t to) {
        bool inWord = false;
        for (size_t pos = from; pos < to; ++pos) {
            const uint8_t cls = TokenScanner::ClassOf(bytes[pos]);
            if (cls & TokenScanner::CommentStart) {
                while (pos < to && !(TokenScanner::ClassOf(bytes[pos]) & TokenScanner::LineEnd))
                    ++pos;
                inWord = false;
            } else if (cls & (TokenScanner::Separator | TokenScanner::Bracket)) {
                inWord = false;
            } else if (!inWord) {
                inWord = true;
                ++ahead.numbers;
                const auto endsAt = [&](size_t p) {
                    return p >= to ||
                           (TokenScanner::ClassOf(bytes[p]) & (TokenScanner::Separator | TokenScanner::Bracket));
                };
                if (bytes[pos] == '-' && pos + 1 < to && bytes[pos + 1] == '1' && endsAt(pos + 2))
                    ++ahead.runEnds;
            }
        }
    };
    if (end - start <= 4 * SampleSize) {
        count(start, end);
        return ahead;
    }
    count(start, start + SampleSize);
    size_t tail = end - SampleSize; // from the first separator on, so that no number is cut
    while (tail < end && !(TokenScanner::ClassOf(bytes[tail]) & TokenScanner::Separator))
        ++tail;
    count(tail, end);
    // Scaled by bytes, with a little room so that a list whose middle runs
    // slightly denser than its ends still fits.
    const double scale = static_cast<double>(end - start) / static_cast<double>(SampleSize + end - tail) * 1.03;
    ahead.numbers = static_cast<size_t>(static_cast<double>(ahead.numbers) * scale);
    ahead.runEnds = static_cast<size_t>(static_cast<double>(ahead.runEnds) * scale);
    // A number takes at least one byte and one separator.
    ahead.numbers = std::min(ahead.numbers, (end - start) / 2 + 1);
    ahead.runEnds = std::min(ahead.runEnds, ahead.numbers);
    return ahead;
}

void CGenericParser::DecrementOffset() {
    if (blockTokenOffset != NoOffset) {
        readOffset = blockTokenOffset;
        blockTokenOffset = NoOffset;
    }
}

const CGenericReadingSource& CGenericParser::ProgressSource(size_t& offset) const {
    if (!source->isBuffer) {
        offset = readOffset;
        return *source;
    }
    for (auto saved = bufferStack.rbegin(); saved != bufferStack.rend(); ++saved) {
        if (!saved->source->isBuffer) {
            offset = saved->offset;
            return *saved->source;
        }
    }
    offset = readOffset;
    return *source;
}

void CGenericParser::RefreshBufferProgress() {
    bufferProgress = BufferProgress();
    for (auto saved = bufferStack.rbegin(); saved != bufferStack.rend(); ++saved) {
        if (!saved->source->isBuffer) {
            bufferProgress = {true, saved->source->FilePositionOf(saved->offset), saved->source->fileSize};
            return;
        }
    }
}

uint64_t CGenericParser::ProgressFileOffset() const {
    size_t offset = 0;
    return ProgressSource(offset).FilePositionOf(offset);
}

uint64_t CGenericParser::ProgressFileSize() const {
    size_t offset = 0;
    return ProgressSource(offset).fileSize;
}

int CGenericParser::SaveIOState(CGenericIOState& state) {
    state.source = source;
    state.offset = readOffset;
    state.currentToken = currentToken;
    state.nextToken = nextToken;
    return 1;
}

int CGenericParser::RestoreIOState(CGenericIOState& state) {
    if (!state.IsValid()) {
        return 0;
    }
    source = state.source;
    readOffset = std::min(state.offset, source->Text().size());
    currentToken = state.currentToken;
    nextToken = state.nextToken;
    blockTokenOffset = NoOffset;
    return 1;
}

int CGenericParser::StartBufferReading(const char* buffer, size_t length) {
    if (buffer == nullptr && length > 0) {
        return 0;
    }
    try {
        std::shared_ptr<CGenericReadingSource> fresh;
        if (spareSource != nullptr && spareSource.use_count() == 1) {
            fresh = std::move(spareSource);
            fresh->bytes.clear();
            fresh->positionMap.clear();
        } else {
            spareSource.reset();
            fresh = std::make_shared<CGenericReadingSource>();
        }
        if (length > 0) {
            fresh->bytes.assign(buffer, buffer + length);
        }
        fresh->fileName = fileName;
        fresh->fileSize = length;
        fresh->isBuffer = true;
        CGenericIOState returnPosition;
        SaveIOState(returnPosition);
        bufferStack.push_back(std::move(returnPosition));
        RefreshBufferProgress();
        source = std::move(fresh);
        readOffset = 0;
        ReadFirstTokens();
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

int CGenericParser::SetToStartOfBuffer() {
    if (!source->isBuffer) {
        return 0;
    }
    readOffset = 0;
    ReadFirstTokens();
    return 1;
}

int CGenericParser::StopBufferReading() {
    if (bufferStack.empty()) {
        return 0;
    }
    CGenericIOState& returnPosition = bufferStack.back();
    std::shared_ptr<CGenericReadingSource> finished = std::move(source);
    source = std::move(returnPosition.source);
    readOffset = std::min(returnPosition.offset, source->Text().size());
    currentToken = returnPosition.currentToken;
    nextToken = returnPosition.nextToken;
    blockTokenOffset = NoOffset;
    bufferStack.pop_back();
    RefreshBufferProgress();
    // Kept only when no saved state still reads it, and not when large.
    constexpr size_t MaxSpareBytes = size_t(1) << 20;
    if (finished != nullptr && finished.use_count() == 1 && finished->isBuffer &&
        finished->bytes.capacity() <= MaxSpareBytes) {
        spareSource = std::move(finished);
    }
    return 1;
}
