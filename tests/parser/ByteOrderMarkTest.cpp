// A UTF-8 byte-order mark before the header: refused by default, accepted
// under standard semantics, in the file given to Parse and in inline files.

#include "TestScene.h"

#include <gtest/gtest.h>

namespace {
const std::string Bom = "\xEF\xBB\xBF";
}

TEST(ByteOrderMark, AcceptedBeforeTheHeaderOnlyInStandardMode) {
    const struct {
        std::string text;
        int version;
        bool acceptedByDefault;
    } cases[] = {
        {Bom + "#VRML V2.0 utf8\nShape { geometry Box { } }\n", VRML_VERSION_2, false},
        {Bom + "#VRML V1.0 ascii\nCube { }\n", VRML_VERSION_1, false},
        {"#VRML V2.0 utf8\nShape { geometry Box { } }\n", VRML_VERSION_2, true},
    };
    for (const auto& c : cases) {
        for (int standard : {0, 1}) {
            SCOPED_TRACE(c.text + (standard ? " standard" : " default"));
            LoadedText loaded = LoadTextInMode(c.text, standard);
            const bool accepted = standard || c.acceptedByDefault;
            EXPECT_EQ(loaded.result, accepted ? VRML_LOAD_SUCCESS : VRML_LOAD_FAILURE);
            EXPECT_EQ(AllObjects(*loaded.world).size(), accepted ? 1u : 0u);
            if (accepted) {
                EXPECT_EQ(loaded.parser->GetVersion(), c.version);
            }
        }
    }
}

TEST(ByteOrderMark, NotAcceptedTwiceNorWithoutAHeader) {
    for (const std::string& text : {Bom + Bom + "#VRML V2.0 utf8\n", Bom + "\n#VRML V2.0 utf8\n", Bom}) {
        LoadedText loaded = LoadTextInMode(text, 1);
        EXPECT_EQ(loaded.result, VRML_LOAD_FAILURE);
    }
}

TEST(ByteOrderMark, InlineFilesMayStartWithOneInStandardMode) {
    WriteTempFile("part.wrl", Bom + "#VRML V2.0 utf8\nShape { geometry Sphere { } }\n");
    for (int standard : {0, 1}) {
        LoadedText loaded =
            LoadTextInMode(std::string(V2) + "Inline { url \"part.wrl\" } Shape { geometry Box { } }\n", standard);
        EXPECT_EQ(AllObjects(*loaded.world).size(), standard ? 2u : 1u);
    }
}
