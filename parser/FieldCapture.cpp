// Capturing tokens as text, for prototype declarations and the values given
// where a prototype is used. Every capture first counts its tokens, so that
// each text takes one allocation of exactly its size; the tokens' texts are
// kept while counting and written from there, and only a capture too long
// to keep (or one whose end is unusual) reads its tokens a second time.

#include "VRMLIOManager.h"

#include <cstring>
#include <exception>
#include <new>

namespace {
bool IsNumber(VRMLTokenTypes kind) { return kind == VRML_NUMBER; }

// An image dimension as a count: truncated, never negative, at most 2^31 - 1
// (so that a product of two fits in 64 bits); NaN gives 0.
long long ToCount(double value) {
    if (!(value > 0.0))
        return 0;
    return value >= 2147483647.0 ? 2147483647LL : static_cast<long long>(value);
}
// The numbers in one value of a multiple-valued type; 0 for one token of any
// kind (a string, a bitmask word).
int SingleValueNumbers(int type) {
    switch (type) {
    case VRML_FIELD_MFCOLOR:
    case VRML_FIELD_MFVEC3F: return 3;
    case VRML_FIELD_MFVEC2F: return 2;
    case VRML_FIELD_MFROTATION: return 4;
    case VRML_FIELD_MFFLOAT:
    case VRML_FIELD_MFLONG:
    case VRML_FIELD_MFINT32:
    case VRML_FIELD_MFTIME: return 1;
    default: return 0;
    }
}

// Past this many tokens a capture is read twice rather than remembered, so
// that capturing a huge value does not hold a second index of its tokens.
constexpr size_t MaxRecordedTokens = size_t(1) << 16;

// The captured text of the first `count` recorded tokens, into `out`, which
// has exactly the room CapturedTextLength gives.
void WriteRecordedTokens(const std::vector<std::string_view>& tokens, size_t count, char* out) {
    for (size_t i = 1; i <= count; ++i) {
        const std::string_view token = tokens[i - 1];
        if (!token.empty())
            std::memcpy(out, token.data(), token.size());
        out += token.size();
        if (i < count)
            *out++ = ' ';
        if (i % 5 == 0)
            *out++ = '\n';
    }
}
} // namespace

void CVRMLIOManager::RecordTokenGrowing(VRMLCaptureCursor& capture, std::string_view text) {
    if (capture.overflow)
        return;
    if (capture.recorded->size() >= MaxRecordedTokens) {
        capture.overflow = true;
        return;
    }
    try {
        capture.recorded->push_back(text);
    } catch (const std::exception&) {
        capture.overflow = true;
    }
}

int CVRMLIOManager::GetCurrentTokenEndsDeclaration() { return EndsDeclaration(GetCurrentTokenType()); }

size_t CVRMLIOManager::CapturedTextLength(size_t totalLength, size_t tokenCount) {
    if (tokenCount == 0)
        return totalLength;
    return totalLength + (tokenCount - 1) + tokenCount / 5;
}

int CVRMLIOManager::CopyCurrentToken(VRMLCaptureCursor& capture) {
    if (GetCurrentTokenType() == VRML_END_OF_INPUT)
        return 0;
    std::string_view text = GetCurrentTokenText();
    const size_t offset = GetCurrentTokenOffset();
    if (capture.tokenCount == 0)
        capture.firstOffset = offset;
    capture.endOffset = offset + text.size();
    capture.totalLength += text.size();
    ++capture.tokenCount;
    if (!capture.cursor && capture.recorded)
        RecordToken(capture, text);
    if (capture.cursor) {
        // The copying pass reads the tokens the counting pass sized the
        // buffer for; the end is checked all the same, so that nothing is
        // ever written past it.
        size_t room = static_cast<size_t>(capture.end - capture.cursor);
        size_t copied = text.size() < room ? text.size() : room;
        if (copied > 0)
            std::memcpy(capture.cursor, text.data(), copied);
        capture.cursor += copied;
        if (capture.tokenCount < capture.limit && capture.cursor < capture.end)
            ++capture.cursor; // over the space the buffer was filled with
        if (capture.tokenCount % 5 == 0 && capture.cursor < capture.end)
            *capture.cursor++ = '\n';
    }
    Tokenize();
    return 1;
}

int CVRMLIOManager::CopyFieldValueTokens(VRMLCaptureCursor& capture, int type, int allowNodes) {
    const size_t before = capture.tokenCount;
    auto taken = [&] { return capture.tokenCount > before ? 1 : 0; };
    switch (type) {
    case VRML_FIELD_SFBOOL:
    case VRML_FIELD_SFENUM:
    case VRML_FIELD_SFFLOAT:
    case VRML_FIELD_SFLONG:
    case VRML_FIELD_SFSTRING:
    case VRML_FIELD_SFINT32:
    case VRML_FIELD_SFTIME: return CopyCurrentToken(capture);

    case VRML_FIELD_SFBITMASK:
    case VRML_FIELD_MFCOLOR:
    case VRML_FIELD_MFFLOAT:
    case VRML_FIELD_MFLONG:
    case VRML_FIELD_MFSTRING:
    case VRML_FIELD_MFVEC2F:
    case VRML_FIELD_MFVEC3F:
    case VRML_FIELD_MFINT32:
    case VRML_FIELD_MFTIME:
    case VRML_FIELD_MFROTATION:
        if (!GetCurrentTokenBeginType()) {
            // The standards allow one value of a multiple-valued field
            // without brackets.
            if (!StandardSemantics)
                return 0;
            const int numbers = SingleValueNumbers(type);
            if (numbers == 0)
                return CopyCurrentToken(capture);
            for (int i = 0; i < numbers && IsNumber(GetCurrentTokenType()); ++i)
                CopyCurrentToken(capture);
            return taken();
        }
        CopyCurrentToken(capture);
        while (!GetCurrentTokenEndType() && CopyCurrentToken(capture)) {
        }
        CopyCurrentToken(capture); // the closing bracket (nothing at the end of input)
        return taken();

    case VRML_FIELD_SFVEC2F:
    case VRML_FIELD_SFVEC3F:
    case VRML_FIELD_SFCOLOR:
    case VRML_FIELD_SFMATRIX:
    case VRML_FIELD_SFROTATION: {
        const int numbers = type == VRML_FIELD_SFVEC2F      ? 2
                            : type == VRML_FIELD_SFMATRIX   ? 16
                            : type == VRML_FIELD_SFROTATION ? 4
                                                            : 3;
        if (GetCurrentTokenBeginType())
            CopyCurrentToken(capture);
        for (int i = 0; i < numbers && IsNumber(GetCurrentTokenType()); ++i)
            CopyCurrentToken(capture);
        if (GetCurrentTokenEndType())
            CopyCurrentToken(capture);
        return taken();
    }

    case VRML_FIELD_SFIMAGE: {
        if (!IsNumber(GetCurrentTokenType()))
            return 0;
        // The pixel count is only an upper bound: pixels are taken while
        // they are numbers, so a header claiming a huge image takes no more
        // than the tokens that are really there.
        const long long width = ToCount(GetCurrentTokenNumericValue());
        CopyCurrentToken(capture);
        const long long height = IsNumber(GetCurrentTokenType()) ? ToCount(GetCurrentTokenNumericValue()) : 0;
        for (int i = 0; i < 2 && IsNumber(GetCurrentTokenType()); ++i)
            CopyCurrentToken(capture); // height and the component count
        const long long pixels = width * height;
        for (long long i = 0; i < pixels && IsNumber(GetCurrentTokenType()); ++i)
            CopyCurrentToken(capture);
        return taken();
    }

    case VRML_FIELD_MFNODE:
    case VRML_FIELD_SFNODE: {
        if (!allowNodes)
            return 0;
        if (GetCurrentTokenType() == VRML_USE) {
            CopyCurrentToken(capture);
            CopyCurrentToken(capture);
            return taken();
        }
        // NULL is a whole node value; without this the capture would run on
        // to the next bracket of whatever follows.
        if (GetCurrentTokenType() == VRML_NULL)
            return CopyCurrentToken(capture);
        while (!GetCurrentTokenBeginType() && !GetCurrentTokenEndType() && CopyCurrentToken(capture)) {
        }
        if (!GetCurrentTokenBeginType())
            return taken();
        int depth = 0;
        do {
            if (GetCurrentTokenBeginType())
                ++depth;
            else if (GetCurrentTokenEndType())
                --depth;
            if (!CopyCurrentToken(capture))
                break;
        } while (depth > 0);
        return taken();
    }

    default: return 0;
    }
}

int CVRMLIOManager::CaptureFieldValue(std::vector<char>& text, int type, int allowNodes) {
    text.clear();
    CGenericIOState start;
    SaveIOState(start);
    VRMLCaptureCursor counting;
    CaptureTokens.clear();
    counting.recorded = &CaptureTokens;
    const int taken = CopyFieldValueTokens(counting, type, allowNodes);
    if (!taken)
        return 0;
    try {
        text.assign(CapturedTextLength(counting.totalLength, counting.tokenCount), ' ');
    } catch (const std::exception&) {
        text.clear();
        return 0;
    }
    if (!counting.overflow) {
        // The reader already stands where a second pass would leave it.
        WriteRecordedTokens(CaptureTokens, counting.tokenCount, text.data());
        return taken;
    }
    RestoreIOState(start);
    VRMLCaptureCursor copying;
    copying.cursor = text.data();
    copying.end = text.data() + text.size();
    copying.limit = counting.tokenCount;
    return CopyFieldValueTokens(copying, type, allowNodes);
}

int CVRMLIOManager::CaptureBlock(std::vector<char>& text, int stopAtDeclarationEnd) {
    text.clear();
    CGenericIOState start;
    SaveIOState(start);
    const bool opened = GetCurrentTokenBeginType() != 0;
    const bool squareOpened = GetCurrentTokenType() == VRML_OPEN_BRACKET;
    if (opened)
        Tokenize();

    long long depth = 1;
    size_t count = 0, length = 0;
    // Every token the loop stands on, in order, and whether it stopped
    // before the end of input.
    VRMLCaptureCursor visited;
    CaptureTokens.clear();
    visited.recorded = &CaptureTokens;
    size_t visitedCount = 0;
    bool stopped = false;
    while (GetCurrentTokenType() != VRML_END_OF_INPUT) {
        RecordToken(visited, GetCurrentTokenText());
        ++visitedCount;
        if (GetCurrentTokenEndType())
            --depth;
        else if (GetCurrentTokenBeginType())
            ++depth;
        if (depth > 0) {
            ++count;
            length += GetCurrentTokenText().size();
        }
        // An unbracketed value may hold brackets of its own (a node default
        // such as Group { children [ ] }): the "]" that ends the interface
        // counts only outside them.
        if ((!opened && depth <= 1) || depth < 1) {
            if (!stopAtDeclarationEnd || GetNextTokenEndsDeclaration()) {
                stopped = true;
                break;
            }
        }
        Tokenize();
    }
    if (squareOpened) {
        // The list keeps its brackets; a closing one cut off by the end of
        // input leaves its place filled with a space.
        count += 2;
        length += 2;
    }
    if (length == 0)
        return 0;

    try {
        text.assign(CapturedTextLength(length, count), ' ');
    } catch (const std::exception&) {
        text.clear();
        return 0;
    }
    // The copy would take the first `count` tokens the loop stood on and
    // leave the reader on the one after them. When those were all kept and
    // the reader is at most one token short of it, they are written from
    // what was kept; otherwise they are read again.
    const size_t standingOn = stopped ? visitedCount : visitedCount + 1;
    if (!visited.overflow && !squareOpened && count <= visitedCount && count + 1 >= standingOn) {
        WriteRecordedTokens(CaptureTokens, count, text.data());
        if (count + 1 > standingOn)
            Tokenize();
        return 1;
    }
    RestoreIOState(start);
    if (opened && !squareOpened)
        Tokenize();
    VRMLCaptureCursor copying;
    copying.cursor = text.data();
    copying.end = text.data() + text.size();
    copying.limit = count;
    for (size_t i = 0; i < count; ++i)
        if (!CopyCurrentToken(copying))
            return 0;
    return 1;
}
