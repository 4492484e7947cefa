// Opening files: results, the header hook, block loading, line ends, gzip
// streams, progress, and states and copies that outlive the file.

#include "host/tokenizer/GenericParser.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A directory of the test's own, removed with everything in it afterwards.
class TempFiles {
public:
    TempFiles() {
        fs::remove_all(directory);
        fs::create_directories(directory);
    }
    ~TempFiles() {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(directory / name, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
        return PathOf(name);
    }
    std::string PathOf(const std::string& name) const { return (directory / name).string(); }

private:
    const fs::path directory =
        fs::temp_directory_path() /
        (std::string("vrml_tokenizer_test.") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

GenericLoadResultTypes Open(CGenericParser& parser, const std::string& path,
                            size_t blockSize = C3DFileInterface::DefaultBlockSize) {
    parser.GetFileInterface().SetBlockSize(blockSize);
    parser.SetFilename(path);
    return parser.OpenAndInitialize();
}

// The tokens up to the end of input. Progress on the way must never fall
// back nor pass the size reported.
std::vector<std::string> RemainingTokens(CGenericParser& parser) {
    std::vector<std::string> tokens;
    uint64_t last = parser.GetCurrentFileOffset();
    for (int guard = 0; guard < 1000000 && parser.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT; ++guard) {
        tokens.push_back(parser.GetCurrentTokenString());
        parser.Tokenize();
        EXPECT_GE(parser.GetCurrentFileOffset(), last);
        last = parser.GetCurrentFileOffset();
        EXPECT_LE(last, parser.GetTotalFileSize());
    }
    return tokens;
}

std::string Gzip(const std::string& text, int level = Z_DEFAULT_COMPRESSION) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Text that compresses well but not trivially, so that it spans many blocks.
std::string SceneText(int lines) {
    std::string text = "#VRML V2.0 utf8\n";
    for (int i = 0; i < lines; ++i)
        text += "Transform { translation " + std::to_string(i) + " " + std::to_string(i * 7 % 13) +
                " 0 children [ Shape { geometry Box { size 1 2 " + std::to_string(i % 5 + 1) + " } } ] } # \"\n" +
                "WorldInfo { title \"" + std::to_string(i) + " { [\" }\n";
    return text;
}

// A header check in the way a file-format user writes one: it reads the first
// block into a vector of its own, takes the first line, upper-cases it in
// place, compares a prefix and drops the line.
class HeaderCheckingParser : public CGenericParser {
public:
    bool dropLine = true;
    std::string seenLine;
    int blocksSeenByCheck = 0;

protected:
    int CheckFileHeader() override {
        if (GetFileInterface().GetFileHandleIsValid() == 0)
            return 0;
        std::vector<char> ownBlock;
        blocksSeenByCheck = GetFileInterface().ReadNextBlockFromFile(ownBlock);
        if (GetNextLineFromBuffer() == 0 || GetInputStringEmpty() != 0)
            return 0;
        for (char* c = GetInputString(); *c != '\0'; ++c)
            *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
        seenLine = GetInputString();
        if (dropLine)
            SetInputStringValue(nullptr);
        return seenLine.compare(0, 6, "HEADER") == 0 ? 1 : 0;
    }
};

TEST(TokenizerFile, OpenReportsUnreadableAndRejectedFiles) {
    TempFiles files;
    fs::create_directories(files.PathOf("a_directory"));
    for (const std::string& path : {files.PathOf("missing.wrl"), files.PathOf("a_directory"), std::string()}) {
        HeaderCheckingParser parser;
        EXPECT_EQ(Open(parser, path), GENERIC_LOAD_UNREADABLE) << path;
        EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
    }
    for (const std::string content : {"OTHER v1\nword\n", ""}) {
        HeaderCheckingParser parser;
        EXPECT_EQ(Open(parser, files.Write("refused.wrl", content)), GENERIC_LOAD_REJECTED) << content;
        EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
        EXPECT_EQ(parser.GetFileInterface().GetFileHandleIsValid(), 0);
    }
    // The base class accepts any file, an empty one too.
    CGenericParser plain;
    EXPECT_EQ(Open(plain, files.Write("empty.wrl", "")), GENERIC_LOAD_OK);
    EXPECT_EQ(plain.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
    EXPECT_EQ(plain.GetTotalFileSize(), 0u);
}

TEST(TokenizerFile, HeaderLineIsTakenAndDroppedWhateverTheLineEnds) {
    const struct {
        std::string content;
        bool dropLine;
        std::string line;
        std::vector<std::string> tokens;
    } cases[] = {
        {"header v1\nCube { }\n", true, "HEADER V1", {"Cube", "{", "}"}},
        {"Header\r\nx y", true, "HEADER", {"x", "y"}},
        {"HEADER\rx\ry\r", true, "HEADER", {"x", "y"}},
        {"HEADER # trailing text\n\nx", true, "HEADER # TRAILING TEXT", {"x"}},
        {"HEADER", true, "HEADER", {}},
        // Not dropped: the line is read like the rest of the file, and the
        // check's upper-casing of its copy leaves the file's text alone.
        {"header a\nb", false, "HEADER A", {"header", "a", "b"}},
    };
    TempFiles files;
    for (const auto& c : cases) {
        // Blocks shorter than the line, too.
        for (size_t blockSize : {size_t(1), size_t(7), C3DFileInterface::DefaultBlockSize}) {
            SCOPED_TRACE(testing::Message() << c.content << " in blocks of " << blockSize);
            HeaderCheckingParser parser;
            parser.dropLine = c.dropLine;
            ASSERT_EQ(Open(parser, files.Write("header.wrl", c.content), blockSize), GENERIC_LOAD_OK);
            EXPECT_EQ(parser.seenLine, c.line);
            EXPECT_EQ(parser.blocksSeenByCheck, 1);
            EXPECT_EQ(RemainingTokens(parser), c.tokens);
            EXPECT_EQ(parser.GetTotalFileSize(), c.content.size());
        }
    }
}

// An included file: a second tokenizer opens it, its start position is
// restored into the first, and later the first returns to where it was.
TEST(TokenizerFile, StateOfAnotherFileRestoresAcrossTokenizers) {
    TempFiles files;
    CGenericParser includer;
    ASSERT_EQ(Open(includer, files.Write("main.wrl", "m1 m2 m3")), GENERIC_LOAD_OK);
    includer.Tokenize();
    CGenericIOState returnPosition;
    // A state never saved is refused and changes nothing.
    EXPECT_EQ(includer.RestoreIOState(returnPosition), 0);
    EXPECT_EQ(includer.GetCurrentTokenString(), "m2");
    ASSERT_NE(includer.SaveIOState(returnPosition), 0);

    CGenericIOState included;
    {
        CGenericParser opener;
        ASSERT_EQ(Open(opener, files.Write("sub.wrl", "s1 s2 s3")), GENERIC_LOAD_OK);
        // Marks set by the user on the tokens travel with the state, and the
        // user's own fields of the state are left alone.
        opener.GetNextToken().SetDataType(GENERIC_KEYWORD);
        opener.GetNextToken().SetUserDefinedType(113);
        included.SetEntityName("kept");
        ASSERT_NE(opener.SaveIOState(included), 0);
        opener.Tokenize();
        opener.CloseFile();
    }
    EXPECT_EQ(included.GetEntityName(), "kept");
    ASSERT_NE(includer.RestoreIOState(included), 0);
    EXPECT_EQ(includer.GetNextToken().GetDataType(), GENERIC_KEYWORD);
    EXPECT_EQ(includer.GetNextToken().GetUserDefinedType(), 113u);
    // The included file's own size and position drive progress meanwhile.
    EXPECT_EQ(RemainingTokens(includer), (std::vector<std::string>{"s1", "s2", "s3"}));
    EXPECT_EQ(includer.GetTotalFileSize(), 8u);
    ASSERT_NE(includer.RestoreIOState(returnPosition), 0);
    EXPECT_EQ(RemainingTokens(includer), (std::vector<std::string>{"m2", "m3"}));
    // The name is the one given, not that of the source last read.
    EXPECT_EQ(includer.GetFilename(), files.PathOf("main.wrl"));
}

// A copy taken while a buffer is read over a file; progress holds at the
// file's position while buffers are read.
TEST(TokenizerFile, CopyHasNoFileHandleButReadsOnIndependently) {
    TempFiles files;
    CGenericParser original;
    ASSERT_EQ(Open(original, files.Write("copy.wrl", "a b c")), GENERIC_LOAD_OK);
    EXPECT_NE(original.GetFileInterface().GetFileHandleIsValid(), 0);
    original.Tokenize();
    const uint64_t beforeBuffer = original.GetCurrentFileOffset();
    EXPECT_GT(beforeBuffer, 0u);
    const std::string inner = "i1 i2";
    ASSERT_NE(original.StartBufferReading(inner.data(), inner.size()), 0);
    ASSERT_NE(original.StartBufferReading("n", 1), 0);
    original.Tokenize();
    EXPECT_EQ(original.GetCurrentFileOffset(), beforeBuffer);
    EXPECT_EQ(original.GetTotalFileSize(), 5u);
    ASSERT_NE(original.StopBufferReading(), 0);

    CGenericParser copy(original);
    EXPECT_EQ(copy.GetFileInterface().GetFileHandleIsValid(), 0);
    EXPECT_EQ(copy.GetFilename(), original.GetFilename());
    original.Tokenize();
    original.CloseFile();
    EXPECT_EQ(original.GetFileInterface().GetFileHandleIsValid(), 0);
    EXPECT_EQ(copy.GetCurrentTokenString(), "i1");
    // The copy has its own stack of return positions.
    ASSERT_NE(copy.StopBufferReading(), 0);
    EXPECT_EQ(RemainingTokens(copy), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(original.GetCurrentTokenString(), "i2");
    ASSERT_NE(original.StopBufferReading(), 0);
    EXPECT_EQ(RemainingTokens(original), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(original.GetCurrentFileOffset(), 5u);

    CGenericParser assigned;
    ASSERT_EQ(Open(assigned, files.Write("other.wrl", "z")), GENERIC_LOAD_OK);
    assigned = original;
    EXPECT_EQ(assigned.GetFileInterface().GetFileHandleIsValid(), 0);
    EXPECT_EQ(assigned.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
}

TEST(TokenizerFile, PlainAndCompressedFilesReadLikeTheTextAtAnyBlockSize) {
    const std::string text = SceneText(400);
    // The same text read as a buffer is the reference.
    CGenericParser reference;
    ASSERT_NE(reference.StartBufferReading(text.data(), text.size()), 0);
    const std::vector<std::string> expected = RemainingTokens(reference);
    ASSERT_EQ(expected.size(), 400u * 26u); // 21 tokens of the Transform, 5 of the WorldInfo

    const std::string gz = Gzip(text);
    const size_t half = text.size() / 2;
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"plain.wrl", text},
        // Any name: the magic bytes decide, not the extension.
        {"scene.wrl", gz},
        {"stored.wrl.gz", Gzip(text, Z_NO_COMPRESSION)},
        // Concatenated members read as one text; padding after the last is ignored.
        {"members.wrz", Gzip(text.substr(0, half)) + Gzip(text.substr(half))},
        {"padded.wrz", gz + std::string(100, '\0')},
    };
    TempFiles files;
    for (const auto& c : cases) {
        for (size_t blockSize : {size_t(1), size_t(61), size_t(4096), C3DFileInterface::DefaultBlockSize}) {
            SCOPED_TRACE(testing::Message() << c.name << " in blocks of " << blockSize);
            CGenericParser parser;
            ASSERT_EQ(Open(parser, files.Write(c.name, c.content), blockSize), GENERIC_LOAD_OK);
            EXPECT_EQ(parser.GetFileInterface().GetIsCompressed() != 0, c.content != text);
            EXPECT_EQ(parser.GetFileInterface().GetTextBytesDelivered(), text.size());
            EXPECT_EQ(parser.GetTotalFileSize(), c.content.size());
            EXPECT_EQ(RemainingTokens(parser), expected);
            EXPECT_EQ(parser.GetCurrentFileOffset(), c.content.size());
        }
    }
    // One byte of the magic, or a file that only starts like it, is plain text.
    for (const std::string& content : {std::string("\x1f"), std::string("\x1f"
                                                                        "abc")}) {
        CGenericParser parser;
        ASSERT_EQ(Open(parser, files.Write("short.wrl", content), 1), GENERIC_LOAD_OK);
        EXPECT_EQ(parser.GetFileInterface().GetIsCompressed(), 0);
        EXPECT_EQ(parser.GetFileInterface().GetTextBytesDelivered(), content.size());
    }
}

// Large plain files may be mapped rather than read: the text, the header
// check (which then finds no block to read), progress and the refusals are
// the same; small and compressed files are read as before.
TEST(TokenizerFile, MappedFilesReadLikeReadFiles) {
    const std::string text = SceneText(2500);
    ASSERT_GE(text.size(), C3DFileInterface::MinMappedSize);
    const auto tokensOf = [](const std::string& content) {
        CGenericParser reference;
        EXPECT_NE(reference.StartBufferReading(content.data(), content.size()), 0);
        return RemainingTokens(reference);
    };
    const std::vector<std::string> expected = tokensOf(text);
    const std::string small = SceneText(10);
    TempFiles files;
    const struct {
        const char* name;
        std::string content;
        bool mapped;
    } cases[] = {{"large.wrl", text, true}, {"large.wrz", Gzip(text), false}, {"small.wrl", small, false}};
    for (const auto& c : cases) {
        const std::string path = files.Write(c.name, c.content);
        for (bool map : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (map ? " mapped" : " read"));
            CGenericParser parser;
            parser.GetFileInterface().SetMapFiles(map);
            ASSERT_EQ(Open(parser, path), GENERIC_LOAD_OK);
            EXPECT_EQ(parser.GetFileInterface().GetWholeFileMapped(), map && c.mapped);
            EXPECT_EQ(parser.GetTotalFileSize(), c.content.size());
            EXPECT_EQ(RemainingTokens(parser), c.content == small ? tokensOf(small) : expected);
            EXPECT_EQ(parser.GetCurrentFileOffset(), c.content.size());
        }
    }
    const std::string headed = "Header v1\r\n" + text;
    for (bool drop : {true, false}) {
        HeaderCheckingParser parser;
        parser.dropLine = drop;
        parser.GetFileInterface().SetMapFiles(true);
        ASSERT_EQ(Open(parser, files.Write("headed.wrl", headed)), GENERIC_LOAD_OK);
        EXPECT_TRUE(parser.GetFileInterface().GetWholeFileMapped());
        EXPECT_EQ(parser.seenLine, "HEADER V1");
        EXPECT_EQ(parser.blocksSeenByCheck, 0);
        const std::vector<std::string> tokens = RemainingTokens(parser);
        ASSERT_EQ(tokens.size(), expected.size() + (drop ? 0 : 2));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tokens.end() - static_cast<long>(expected.size())));
    }
    HeaderCheckingParser refusing;
    refusing.GetFileInterface().SetMapFiles(true);
    EXPECT_EQ(Open(refusing, files.Write("refused.wrl", "Other\n" + text)), GENERIC_LOAD_REJECTED);
    // Over the allowance, the file is read as before, and refused.
    CGenericParser limited;
    limited.GetFileInterface().SetMapFiles(true);
    limited.GetFileInterface().SetMaxTextSize(text.size() - 1);
    EXPECT_EQ(Open(limited, files.PathOf("large.wrl")), GENERIC_LOAD_UNREADABLE);
    EXPECT_FALSE(limited.GetFileInterface().GetWholeFileMapped());
    EXPECT_NE(limited.GetFileInterface().GetReadError().find("allowed"), std::string::npos);
}

#ifdef __linux__
// The process's resident memory, from the kernel's count of its pages.
size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The text of a mapped file that has been read can leave memory as the
// reading goes on; read again, from a state saved before, it is the same.
TEST(TokenizerFile, MappedTextLeavesMemoryBehindTheReaderAndReadsTheSameAgain) {
    const std::string text = SceneText(45000);
    TempFiles files;
    CGenericParser parser;
    parser.GetFileInterface().SetMapFiles(true);
    ASSERT_EQ(Open(parser, files.Write("long.wrl", text)), GENERIC_LOAD_OK);
    ASSERT_TRUE(parser.GetFileInterface().GetWholeFileMapped());
    CGenericIOState start;
    ASSERT_NE(parser.SaveIOState(start), 0);
    size_t mostReleased = 0;
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "releasing" : "reading again");
        CGenericParser reference;
        ASSERT_NE(reference.StartBufferReading(text.data(), text.size()), 0);
        for (size_t count = 1; reference.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT; ++count) {
            ASSERT_EQ(parser.GetCurrentToken().GetDataType(), reference.GetCurrentToken().GetDataType());
            ASSERT_EQ(parser.GetCurrentTokenText(), reference.GetCurrentTokenText());
            if (pass == 0 && count % 4096 == 0) {
                const size_t before = ResidentBytes();
                parser.ReleaseReadText();
                const size_t after = ResidentBytes();
                mostReleased = std::max(mostReleased, before > after ? before - after : 0);
            }
            parser.Tokenize();
            reference.Tokenize();
        }
        EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
        ASSERT_NE(parser.RestoreIOState(start), 0);
    }
    // Released four megabytes at a time.
    EXPECT_GE(mostReleased, size_t(3) << 20);
}
#endif

#if defined(__unix__) || defined(__APPLE__)
// A mapped file that another program cuts short would stop the reader with a
// bus error; a program that guards against it ends with its own message.
TEST(TokenizerFileDeathTest, MappedFileCutShortEndsTheGuardedProgramWithItsMessage) {
    TempFiles files;
    const std::string path = files.Write("cut.wrl", SceneText(2500));
    EXPECT_EXIT(
        {
            C3DFileInterface::GuardMappedFiles("the file was cut short\n", 3);
            CGenericParser parser;
            parser.GetFileInterface().SetMapFiles(true);
            if (Open(parser, path) != GENERIC_LOAD_OK || !parser.GetFileInterface().GetWholeFileMapped())
                std::exit(1);
            fs::resize_file(path, 0);
            RemainingTokens(parser);
            std::exit(0);
        },
        testing::ExitedWithCode(3), "the file was cut short");
}
#endif

TEST(TokenizerFile, CompressedProgressFollowsTheCompressedBytesEvenly) {
    const std::string gz = Gzip(SceneText(3000));
    TempFiles files;
    CGenericParser parser;
    // Many blocks, so the map has many points.
    ASSERT_EQ(Open(parser, files.Write("progress.wrz", gz), 4096), GENERIC_LOAD_OK);
    ASSERT_GT(parser.GetFileInterface().GetPositionMap().size(), 10u);
    ASSERT_EQ(parser.GetTotalFileSize(), gz.size());
    size_t tokens = 0;
    size_t tokensAtHalf = 0;
    while (parser.Tokenize() != 0) {
        ++tokens;
        if (tokensAtHalf == 0 && parser.GetCurrentFileOffset() >= gz.size() / 2)
            tokensAtHalf = tokens;
    }
    EXPECT_EQ(parser.GetCurrentFileOffset(), gz.size());
    // The text repeats one pattern, so half of the compressed bytes stand for
    // about half of the tokens.
    EXPECT_NEAR(static_cast<double>(tokensAtHalf) / static_cast<double>(tokens), 0.5, 0.05);
}

TEST(TokenizerFile, BrokenOrOversizedStreamsAreRefusedWithAReason) {
    const std::string text = SceneText(200);
    const std::string gz = Gzip(text);
    std::string corrupt = gz;
    corrupt[gz.size() / 2] = static_cast<char>(corrupt[gz.size() / 2] ^ 0x55);
    std::string badCheck = gz;
    badCheck[gz.size() - 6] = static_cast<char>(badCheck[gz.size() - 6] ^ 0x01); // in the CRC
    const uint64_t noLimit = C3DFileInterface::DefaultMaxInflatedSize;
    const struct {
        const char* name;
        std::string content;
        uint64_t maxInflated;
        const char* reason;
        uint64_t maxText = UINT64_MAX;
    } cases[] = {
        {"corrupt.wrz", corrupt, noLimit, "corrupt gzip stream"},
        {"crc.wrz", badCheck, noLimit, "corrupt gzip stream"},
        {"truncated.wrz", gz.substr(0, gz.size() / 3), noLimit, "truncated"},
        {"header-only.wrz", gz.substr(0, 10), noLimit, "truncated"},
        {"magic-only.wrz", gz.substr(0, 2), noLimit, "truncated"},
        {"bomb.wrz", gz, text.size() - 1, "more than"},
        {"limit.wrz", gz, text.size(), nullptr}, // exactly at the limit is still allowed
        // A reader's share of a read budget, on plain and compressed text.
        {"share.wrz", gz, noLimit, "allowed", text.size() - 1},
        {"share.wrl", text, noLimit, "allowed", text.size() - 1},
        {"exact-share.wrl", text, noLimit, nullptr, text.size()},
    };
    TempFiles files;
    for (const auto& c : cases) {
        for (size_t blockSize : {size_t(64), C3DFileInterface::DefaultBlockSize}) {
            SCOPED_TRACE(testing::Message() << c.name << " in blocks of " << blockSize);
            CGenericParser parser;
            parser.GetFileInterface().SetMaxInflatedSize(c.maxInflated);
            parser.GetFileInterface().SetMaxTextSize(c.maxText);
            const GenericLoadResultTypes opened = Open(parser, files.Write(c.name, c.content), blockSize);
            const std::string error = parser.GetFileInterface().GetReadError();
            if (c.reason == nullptr) {
                EXPECT_EQ(opened, GENERIC_LOAD_OK);
                EXPECT_TRUE(error.empty()) << error;
                continue;
            }
            EXPECT_EQ(opened, GENERIC_LOAD_UNREADABLE);
            EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
}

// Standard input is named "-" and read like a file, gzip too. (The test
// process reads nothing else from it.)
TEST(TokenizerFile, StandardInputIsReadLikeAFile) {
    const std::string text = "header from stdin\n" + SceneText(50);
    TempFiles files;
    for (const std::string& content : {text, Gzip(text)}) {
        ASSERT_NE(std::freopen(files.Write("input", content).c_str(), "rb", stdin), nullptr);
        HeaderCheckingParser parser;
        ASSERT_EQ(Open(parser, CGenericParser::StandardInputName), GENERIC_LOAD_OK);
        EXPECT_EQ(parser.seenLine, "HEADER FROM STDIN");
        const std::vector<std::string> tokens = RemainingTokens(parser);
        ASSERT_FALSE(tokens.empty());
        EXPECT_EQ(tokens.back(), "}");
    }
}

// Every file of the shared corpus, compressed and broken ones included,
// tokenizes to its end without leaving the loaded text; the only files
// refused are gzip streams that fail their checks.
TEST(TokenizerFile, CorpusFilesTokenizeToTheirEnd) {
#ifdef VRML_CORPUS_DIR
    const fs::path corpus(VRML_CORPUS_DIR);
#else
    const fs::path corpus;
#endif
    std::error_code error;
    if (corpus.empty() || !fs::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus";
    size_t filesRead = 0, compressedRead = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md" || entry.path().extension() == ".tsv")
            continue;
        CGenericParser parser;
        const GenericLoadResultTypes opened = Open(parser, entry.path().string());
        const bool compressed = parser.GetFileInterface().GetIsCompressed() != 0;
        if (opened == GENERIC_LOAD_UNREADABLE && compressed) {
            EXPECT_NE(parser.GetFileInterface().GetReadError().find("gzip"), std::string::npos) << entry.path();
            continue;
        }
        ASSERT_EQ(opened, GENERIC_LOAD_OK) << entry.path();
        const uint64_t size = parser.GetTotalFileSize();
        EXPECT_EQ(size, entry.file_size());
        const uint64_t textSize = parser.GetFileInterface().GetTextBytesDelivered();
        uint64_t tokenBytes = 0, tokens = 0;
        while (parser.Tokenize() != 0) {
            tokenBytes += static_cast<uint64_t>(parser.GetCurrentToken().GetTokenLength());
            ASSERT_LE(++tokens, textSize + 1);
        }
        EXPECT_LE(tokenBytes, textSize);
        EXPECT_EQ(parser.GetCurrentFileOffset(), size);
        ++filesRead;
        compressedRead += compressed ? 1 : 0;
    }
    EXPECT_GT(filesRead, 0u);
    EXPECT_GT(compressedRead, 0u);
}

} // namespace
