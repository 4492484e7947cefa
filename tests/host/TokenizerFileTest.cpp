// Opening files: results, the header hook, block loading, line ends and progress.

#include "host/tokenizer/GenericParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TempFiles {
public:
    TempFiles() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory = fs::temp_directory_path() / "vrml_tokenizer_tests" / info->name();
        fs::remove_all(directory);
        fs::create_directories(directory);
    }
    ~TempFiles() {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    std::string Write(const std::string& name, const std::string& content) const {
        const fs::path path = directory / name;
        std::ofstream out(path, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return path.string();
    }
    std::string PathOf(const std::string& name) const { return (directory / name).string(); }

private:
    fs::path directory;
};

std::vector<std::string> RemainingTokens(CGenericParser& parser) {
    std::vector<std::string> tokens;
    for (int guard = 0; guard < 100000 && parser.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT; ++guard) {
        tokens.push_back(parser.GetCurrentTokenString());
        parser.Tokenize();
    }
    return tokens;
}

// A header check in the way a file-format user writes one: it reads the first
// block into a vector of its own, takes the first line, upper-cases it in
// place, compares a prefix and drops the line.
class HeaderCheckingParser : public CGenericParser {
public:
    std::string expectedPrefix = "HEADER";
    bool dropLine = true;
    std::string seenLine;
    int blocksSeenByCheck = 0;

protected:
    int CheckFileHeader() override {
        if (GetFileInterface().GetFileHandleIsValid() == 0) {
            return 0;
        }
        std::vector<char> ownBlock;
        blocksSeenByCheck = GetFileInterface().ReadNextBlockFromFile(ownBlock);
        if (GetNextLineFromBuffer() == 0 || GetInputStringEmpty() != 0) {
            return 0;
        }
        char* line = GetInputString();
        for (char* c = line; *c != '\0'; ++c) {
            *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
        }
        seenLine = line;
        const bool accepted = seenLine.compare(0, expectedPrefix.size(), expectedPrefix) == 0;
        if (dropLine) {
            SetInputStringValue(nullptr);
        }
        return accepted ? 1 : 0;
    }
};

TEST(TokenizerFile, OpenReportsUnreadableAndRejectedFiles) {
    TempFiles files;
    HeaderCheckingParser parser;
    parser.SetFilename(files.PathOf("missing.wrl"));
    EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_UNREADABLE);
    EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);

    fs::create_directories(files.PathOf("a_directory"));
    parser.SetFilename(files.PathOf("a_directory"));
    EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_UNREADABLE);

    parser.SetFilename("");
    EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_UNREADABLE);

    parser.SetFilename(files.Write("wrong.wrl", "OTHER v1\nword\n"));
    EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_REJECTED);
    EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
    EXPECT_EQ(parser.GetFileInterface().GetFileHandleIsValid(), 0);

    parser.SetFilename(files.Write("empty.wrl", ""));
    EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_REJECTED);

    // The base class accepts any file, an empty one too.
    CGenericParser plain;
    plain.SetFilename(files.PathOf("empty.wrl"));
    EXPECT_EQ(plain.OpenAndInitialize(), GENERIC_LOAD_OK);
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
        {"HEADER\n", true, "HEADER", {}},
        // Not dropped: the line is read like the rest of the file, and the
        // check's upper-casing of its copy leaves the file's text alone.
        {"header a\nb", false, "HEADER A", {"header", "a", "b"}},
    };
    TempFiles files;
    for (const auto& c : cases) {
        HeaderCheckingParser parser;
        parser.dropLine = c.dropLine;
        parser.SetFilename(files.Write("header.wrl", c.content));
        ASSERT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK) << c.content;
        EXPECT_EQ(parser.seenLine, c.line);
        EXPECT_EQ(parser.blocksSeenByCheck, 1);
        EXPECT_EQ(RemainingTokens(parser), c.tokens) << c.content;
        EXPECT_EQ(parser.GetTotalFileSize(), c.content.size());
    }
}

TEST(TokenizerFile, SmallBlocksLoadTheWholeFileAndLongHeaderLines) {
    std::string content = "HEADER and a header line longer than several blocks\r\n";
    for (int i = 0; i < 200; ++i) {
        content += "Node" + std::to_string(i) + " { point [ 1.5 -2 " + std::to_string(i) + " ] \"s " +
                   std::to_string(i) + "\" } # comment\n";
    }
    TempFiles files;
    const std::string path = files.Write("blocks.wrl", content);

    // The same text read as a buffer is the reference.
    CGenericParser reference;
    const size_t bodyStart = content.find('\n') + 1;
    ASSERT_NE(reference.StartBufferReading(content.data() + bodyStart, content.size() - bodyStart), 0);
    const std::vector<std::string> expected = RemainingTokens(reference);
    ASSERT_EQ(expected.size(), 200u * 10u); // ten tokens a line

    for (size_t blockSize : {size_t(1), size_t(7), size_t(53), size_t(4096)}) {
        HeaderCheckingParser parser;
        parser.GetFileInterface().SetBlockSize(blockSize);
        parser.SetFilename(path);
        ASSERT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK) << blockSize;
        EXPECT_EQ(parser.seenLine, "HEADER AND A HEADER LINE LONGER THAN SEVERAL BLOCKS");
        EXPECT_EQ(parser.GetTotalFileSize(), content.size());
        EXPECT_EQ(RemainingTokens(parser), expected) << blockSize;
    }
}

TEST(TokenizerFile, ProgressGrowsToTheFileSizeAndHoldsDuringBuffers) {
    const std::string content = "a b c d e f g h i j";
    TempFiles files;
    CGenericParser parser;
    parser.SetFilename(files.Write("progress.wrl", content));
    ASSERT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK);
    EXPECT_EQ(parser.GetTotalFileSize(), content.size());

    uint64_t last = parser.GetCurrentFileOffset();
    parser.Tokenize();
    const uint64_t beforeBuffer = parser.GetCurrentFileOffset();
    EXPECT_GT(beforeBuffer, last);

    const std::string text = "x y z";
    ASSERT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
    const std::string nested = "n";
    ASSERT_NE(parser.StartBufferReading(nested.data(), nested.size()), 0);
    parser.Tokenize();
    EXPECT_EQ(parser.GetCurrentFileOffset(), beforeBuffer);
    EXPECT_EQ(parser.GetTotalFileSize(), content.size());
    parser.StopBufferReading();
    parser.StopBufferReading();

    last = beforeBuffer;
    for (size_t guard = 0; parser.Tokenize() != 0; ++guard) {
        ASSERT_LE(guard, content.size());
        EXPECT_GE(parser.GetCurrentFileOffset(), last);
        last = parser.GetCurrentFileOffset();
    }
    EXPECT_EQ(last, content.size());
}

// An included file: a second tokenizer opens it, its start position is
// restored into the first, and later both return to where they were.
TEST(TokenizerFile, StateOfAnotherFileRestoresAcrossTokenizers) {
    TempFiles files;
    CGenericParser includer;
    includer.SetFilename(files.Write("main.wrl", "m1 m2 m3"));
    ASSERT_EQ(includer.OpenAndInitialize(), GENERIC_LOAD_OK);
    includer.Tokenize();
    CGenericIOState returnPosition;
    ASSERT_NE(includer.SaveIOState(returnPosition), 0);

    CGenericIOState included;
    {
        CGenericParser opener;
        opener.SetFilename(files.Write("sub.wrl", "s1 s2"));
        ASSERT_EQ(opener.OpenAndInitialize(), GENERIC_LOAD_OK);
        ASSERT_NE(opener.SaveIOState(included), 0);
        opener.CloseFile();
    }
    ASSERT_NE(includer.RestoreIOState(included), 0);
    EXPECT_EQ(RemainingTokens(includer), (std::vector<std::string>{"s1", "s2"}));
    // The included file's own size and position drive progress meanwhile.
    EXPECT_EQ(includer.GetTotalFileSize(), 5u);
    ASSERT_NE(includer.RestoreIOState(returnPosition), 0);
    EXPECT_EQ(RemainingTokens(includer), (std::vector<std::string>{"m2", "m3"}));
    // The name is the one given, not that of the source last read.
    EXPECT_EQ(includer.GetFilename(), files.PathOf("main.wrl"));
}

TEST(TokenizerFile, CopyHasNoFileHandleButReadsTheLoadedText) {
    TempFiles files;
    CGenericParser original;
    original.SetFilename(files.Write("copy.wrl", "a b c"));
    ASSERT_EQ(original.OpenAndInitialize(), GENERIC_LOAD_OK);
    EXPECT_NE(original.GetFileInterface().GetFileHandleIsValid(), 0);
    original.Tokenize();

    CGenericParser copy(original);
    EXPECT_EQ(copy.GetFileInterface().GetFileHandleIsValid(), 0);
    EXPECT_EQ(copy.GetFilename(), original.GetFilename());
    original.CloseFile();
    EXPECT_EQ(original.GetFileInterface().GetFileHandleIsValid(), 0);
    EXPECT_EQ(RemainingTokens(copy), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(RemainingTokens(original), (std::vector<std::string>{"b", "c"}));

    CGenericParser assigned;
    assigned.SetFilename(files.Write("other.wrl", "z"));
    ASSERT_EQ(assigned.OpenAndInitialize(), GENERIC_LOAD_OK);
    assigned = original;
    EXPECT_EQ(assigned.GetFileInterface().GetFileHandleIsValid(), 0);
    EXPECT_EQ(assigned.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
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
    if (corpus.empty() || !fs::is_directory(corpus, error)) {
        GTEST_SKIP() << "no corpus";
    }
    size_t filesRead = 0;
    size_t compressedRead = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md" || entry.path().extension() == ".tsv") {
            continue;
        }
        CGenericParser parser;
        parser.SetFilename(entry.path().string());
        const GenericLoadResultTypes opened = parser.OpenAndInitialize();
        const bool compressed = parser.GetFileInterface().GetIsCompressed() != 0;
        if (opened == GENERIC_LOAD_UNREADABLE && compressed) {
            EXPECT_NE(parser.GetFileInterface().GetReadError().find("gzip"), std::string::npos) << entry.path();
            continue;
        }
        ASSERT_EQ(opened, GENERIC_LOAD_OK) << entry.path();
        const uint64_t size = parser.GetTotalFileSize();
        EXPECT_EQ(size, entry.file_size());
        const uint64_t textSize = parser.GetFileInterface().GetTextBytesDelivered();
        uint64_t tokenBytes = 0;
        uint64_t tokens = 0;
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
