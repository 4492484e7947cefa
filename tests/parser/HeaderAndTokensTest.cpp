#include "TestScene.h"

#include <gtest/gtest.h>

TEST(HeaderCheck, AcceptsOnlyTheTwoVersionPrefixesInAnyCase) {
    const struct {
        std::string firstLine;
        int expectedOpen;
        int expectedVersion;
    } cases[] = {
        {"#VRML V1.0 ascii", VRML_LOAD_SUCCESS, VRML_VERSION_1},
        {"#vrml v1.0 ascii", VRML_LOAD_SUCCESS, VRML_VERSION_1},
        {"#VRML V2.0 utf8 # exported by a modeller", VRML_LOAD_SUCCESS, VRML_VERSION_2},
        {" #VRML V2.0 utf8", VRML_LOAD_FAILURE, VRML_VERSION_1},
        {"#VRML V2.0 latin1", VRML_LOAD_FAILURE, VRML_VERSION_1},
        {"#VRML V3.0 utf8", VRML_LOAD_FAILURE, VRML_VERSION_1},
        {"", VRML_LOAD_FAILURE, VRML_VERSION_1},
        // A header line longer than the prefix looked at is still a comment.
        {"#VRML V2.0 utf8 #" + std::string(5000, 'x'), VRML_LOAD_SUCCESS, VRML_VERSION_2},
    };
    for (const auto& c : cases) {
        CVRMLIOManager manager;
        manager.SetFilename(WriteTempFile("header.wrl", c.firstLine + "\nSeparator { }\n"));
        EXPECT_EQ(manager.OpenFile(), c.expectedOpen) << c.firstLine.substr(0, 40);
        EXPECT_EQ(manager.GetVersion(), c.expectedVersion) << c.firstLine.substr(0, 40);
        if (c.expectedOpen == VRML_LOAD_SUCCESS) { // the whole header line was passed over
            ASSERT_EQ(manager.GetCurrentTokenType(), VRML_SEPARATOR) << c.firstLine.substr(0, 40);
        }
    }
    // A file of one endless line is refused from its first bytes, not read
    // to the line's end.
    CVRMLIOManager manager;
    manager.GetFileInterface().SetBlockSize(64);
    manager.SetFilename(WriteTempFile("one-line.wrl", std::string(1 << 20, 'x')));
    EXPECT_EQ(manager.OpenFile(), VRML_LOAD_FAILURE);
    EXPECT_LT(manager.GetFileInterface().GetBytesRead(), 1024u);
}

TEST(HeaderCheck, MissingOrRefusedFileLeavesTheWorldUntouched) {
    CVRMLIOManager manager;
    manager.SetFilename((TestTempDir() / "no-such-file.wrl").string());
    EXPECT_EQ(manager.OpenFile(), VRML_LOAD_UNREADABLE);

    LoadedText loaded = LoadText("#VRML V2.0 latin1\nShape { }\n");
    EXPECT_EQ(loaded.result, VRML_LOAD_FAILURE);
    EXPECT_EQ(loaded.parser->GetCurrentSeparator(), nullptr);
    EXPECT_EQ(loaded.parser->GetImageUnits(), VRML_UNITS_METRES); // DetermineUnits did not run
}

TEST(TokenClassification, KeywordsIgnoreCaseAndSharedIdsAgree) {
    // One shared id stands for all of them; "side" must not match "sides".
    const std::pair<const char*, int> cases[] = {
        {"separator", VRML_SEPARATOR},
        {"TransformSeparator", VRML_SEPARATOR},
        {"side", 133},
        {"sides", 90},
        {"\"a quoted string\"", VRML_STRING},
        {"TRUE", VRML_BOOLEAN},
        {"1.5", VRML_NUMBER},
        {"texture2", VRML_TEXTURE2},
        {"ImageTexture", VRML_WORD},
        {")", VRML_CLOSE_PAREN},
    };
    for (const auto& [text, kind] : cases) {
        CVRMLIOManager manager;
        manager.SetFilename(WriteTempFile("token.wrl", std::string(V1) + text + "\n"));
        ASSERT_EQ(manager.OpenFile(), VRML_LOAD_SUCCESS);
        EXPECT_EQ(manager.GetCurrentTokenType(), kind) << text;
    }
}

TEST(TokenClassification, ParenthesesOpenAndCloseLikeBraces) {
    CVRMLIOManager manager;
    manager.SetFilename(WriteTempFile("brackets.wrl", std::string(V1) + "( ) [ ] { } word\n"));
    ASSERT_EQ(manager.OpenFile(), VRML_LOAD_SUCCESS);
    const int begins[] = {1, 0, 1, 0, 1, 0, 0};
    for (int expected : begins) {
        EXPECT_EQ(manager.GetCurrentTokenBeginType(), expected);
        EXPECT_EQ(manager.GetCurrentTokenEndType(), manager.GetCurrentTokenType() == VRML_WORD ? 0 : 1 - expected);
        manager.Tokenize();
    }
    EXPECT_EQ(manager.GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(TokenClassification, DeclarationEndsAtInterfaceKeywordsBracketAndEnd) {
    const std::string text = "exposedField field eventIn eventOut ] x } 1";
    CVRMLIOManager io;
    ASSERT_EQ(io.StartBufferReading(text.data(), text.size()), 1);
    const int ends[] = {1, 1, 1, 1, 1, 0, 0, 0, 1}; // the last one for the end of input
    for (size_t i = 0; i + 1 < std::size(ends); ++i) {
        EXPECT_EQ(io.GetCurrentTokenEndsDeclaration(), ends[i]) << io.GetCurrentTokenString();
        EXPECT_EQ(io.GetNextTokenEndsDeclaration(), ends[i + 1]) << io.GetCurrentTokenString();
        io.Tokenize();
    }
    EXPECT_EQ(io.GetCurrentTokenType(), VRML_END_OF_INPUT);
    EXPECT_EQ(io.GetCurrentTokenEndsDeclaration(), 1);
}
