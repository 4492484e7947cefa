// Compressed files: a gzip stream reads as the text it holds, progress follows
// the compressed bytes, and broken or oversized streams are refused cleanly.

#include "host/tokenizer/GenericParser.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

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

class GzipFiles {
public:
    GzipFiles() {
        directory = fs::temp_directory_path() / "vrml_gzip_tests" /
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(directory);
        fs::create_directories(directory);
    }
    ~GzipFiles() {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    std::string Write(const std::string& name, const std::string& content) const {
        const fs::path path = directory / name;
        std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        return path.string();
    }

private:
    fs::path directory;
};

std::vector<std::string> AllTokens(CGenericParser& parser) {
    std::vector<std::string> tokens;
    while (parser.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT) {
        tokens.push_back(parser.GetCurrentTokenString());
        parser.Tokenize();
    }
    return tokens;
}

// Text that compresses well but not trivially, so that it spans many blocks.
std::string SceneText(int lines) {
    std::string text = "#VRML V2.0 utf8\n";
    for (int i = 0; i < lines; ++i) {
        text += "Transform { translation " + std::to_string(i) + " " + std::to_string(i * 7 % 13) +
                " 0 children [ Shape { geometry Box { size 1 2 " + std::to_string(i % 5 + 1) + " } } ] }\n";
    }
    return text;
}

TEST(GzipFile, CompressedTextReadsLikeThePlainFileAtAnyBlockSize) {
    const std::string text = SceneText(400);
    GzipFiles files;
    const std::string plainPath = files.Write("plain.wrl", text);
    CGenericParser plain;
    plain.SetFilename(plainPath);
    ASSERT_EQ(plain.OpenAndInitialize(), GENERIC_LOAD_OK);
    EXPECT_EQ(plain.GetFileInterface().GetIsCompressed(), 0);
    const std::vector<std::string> expected = AllTokens(plain);

    struct Case {
        const char* name;
        std::string content;
    };
    const std::string gz = Gzip(text);
    const size_t half = text.size() / 2;
    const std::vector<Case> cases = {
        {"scene.wrz", gz},
        // Any name: the magic bytes decide, not the extension.
        {"scene.wrl", gz},
        {"stored.wrl.gz", Gzip(text, Z_NO_COMPRESSION)},
        // Concatenated members read as one text; padding after the last is ignored.
        {"members.wrz", Gzip(text.substr(0, half)) + Gzip(text.substr(half))},
        {"padded.wrz", gz + std::string(100, '\0')},
    };
    for (const Case& c : cases) {
        for (size_t blockSize : {size_t(1), size_t(61), size_t(4096), C3DFileInterface::DefaultBlockSize}) {
            CGenericParser parser;
            parser.GetFileInterface().SetBlockSize(blockSize);
            parser.SetFilename(files.Write(c.name, c.content));
            ASSERT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK) << c.name << " " << blockSize;
            EXPECT_NE(parser.GetFileInterface().GetIsCompressed(), 0);
            EXPECT_EQ(parser.GetFileInterface().GetTextBytesDelivered(), text.size());
            EXPECT_EQ(parser.GetTotalFileSize(), c.content.size()) << c.name;
            EXPECT_EQ(AllTokens(parser), expected) << c.name << " " << blockSize;
            EXPECT_EQ(parser.GetCurrentFileOffset(), c.content.size()) << c.name;
        }
    }
}

TEST(GzipFile, ProgressFollowsCompressedBytesEvenly) {
    const std::string text = SceneText(3000);
    const std::string gz = Gzip(text);
    GzipFiles files;
    CGenericParser parser;
    parser.GetFileInterface().SetBlockSize(4096); // many blocks, so the map has many points
    parser.SetFilename(files.Write("progress.wrz", gz));
    ASSERT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK);
    ASSERT_GT(parser.GetFileInterface().GetPositionMap().size(), 10u);

    const uint64_t total = parser.GetTotalFileSize();
    ASSERT_EQ(total, gz.size());
    uint64_t last = 0;
    size_t tokens = 0;
    size_t tokensAtHalf = 0;
    while (parser.Tokenize() != 0) {
        const uint64_t offset = parser.GetCurrentFileOffset();
        ASSERT_GE(offset, last);
        ASSERT_LE(offset, total);
        last = offset;
        ++tokens;
        if (tokensAtHalf == 0 && offset >= total / 2)
            tokensAtHalf = tokens;
    }
    EXPECT_EQ(last, total);
    // The text repeats one pattern, so half of the compressed bytes stand for
    // about half of the tokens.
    EXPECT_NEAR(static_cast<double>(tokensAtHalf) / static_cast<double>(tokens), 0.5, 0.05);
}

TEST(GzipFile, BrokenOrOversizedStreamsAreRefusedWithAReason) {
    const std::string text = SceneText(200);
    const std::string gz = Gzip(text);
    std::string corrupt = gz;
    corrupt[gz.size() / 2] = static_cast<char>(corrupt[gz.size() / 2] ^ 0x55);
    std::string badCheck = gz;
    badCheck[gz.size() - 6] = static_cast<char>(badCheck[gz.size() - 6] ^ 0x01); // in the CRC

    struct Case {
        const char* name;
        std::string content;
        uint64_t maxInflated;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"corrupt.wrz", corrupt, C3DFileInterface::DefaultMaxInflatedSize, "corrupt gzip stream"},
        {"crc.wrz", badCheck, C3DFileInterface::DefaultMaxInflatedSize, "corrupt gzip stream"},
        {"truncated.wrz", gz.substr(0, gz.size() / 3), C3DFileInterface::DefaultMaxInflatedSize, "truncated"},
        {"header-only.wrz", gz.substr(0, 10), C3DFileInterface::DefaultMaxInflatedSize, "truncated"},
        {"magic-only.wrz", gz.substr(0, 2), C3DFileInterface::DefaultMaxInflatedSize, "truncated"},
        {"bomb.wrz", gz, text.size() - 1, "more than"},
    };
    GzipFiles files;
    for (const Case& c : cases) {
        for (size_t blockSize : {size_t(64), C3DFileInterface::DefaultBlockSize}) {
            CGenericParser parser;
            parser.GetFileInterface().SetBlockSize(blockSize);
            parser.GetFileInterface().SetMaxInflatedSize(c.maxInflated);
            parser.SetFilename(files.Write(c.name, c.content));
            EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_UNREADABLE) << c.name;
            EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT) << c.name;
            EXPECT_NE(parser.GetFileInterface().GetReadError().find(c.reason), std::string::npos)
                << c.name << ": " << parser.GetFileInterface().GetReadError();
        }
    }

    // Exactly at the limit is still allowed.
    CGenericParser parser;
    parser.GetFileInterface().SetMaxInflatedSize(text.size());
    parser.SetFilename(files.Write("limit.wrz", gz));
    EXPECT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK);
    EXPECT_TRUE(parser.GetFileInterface().GetReadError().empty());
}

TEST(GzipFile, OneByteOfMagicOrAPlainFileIsReadAsText) {
    GzipFiles files;
    for (const std::string& content : {std::string("\x1f"), std::string("\x1f" "abc"), std::string("ab")}) {
        CGenericParser parser;
        parser.GetFileInterface().SetBlockSize(1);
        parser.SetFilename(files.Write("short.wrl", content));
        ASSERT_EQ(parser.OpenAndInitialize(), GENERIC_LOAD_OK);
        EXPECT_EQ(parser.GetFileInterface().GetIsCompressed(), 0);
        EXPECT_EQ(parser.GetFileInterface().GetTextBytesDelivered(), content.size());
        EXPECT_EQ(parser.GetTotalFileSize(), content.size());
    }
}

} // namespace
