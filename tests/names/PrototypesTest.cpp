#include "TestScene.h"

#include "names/Prototypes.h"

#include <gtest/gtest.h>

namespace {
std::string AsString(const std::vector<char>& text) { return std::string(text.begin(), text.end()); }
} // namespace

TEST(Prototypes, DeclarationKeepsFieldsDefaultsAndBodyAsText) {
    LoadedText loaded =
        LoadText(std::string(V2) + "PROTO Ball [ field SFFloat radius 1 exposedField SFColor c 1 0 0 "
                                   "eventIn SFBool set field MFFloat list [ 1 2 3 ] field SFInt32 count "
                                   "field SFNode kid Group { children [ Box { } ] } ] "
                                   "{ Sphere { radius IS radius } }\n");
    const CVRMLPrototype* ball = loaded.parser->FindPrototype("Ball");
    ASSERT_NE(ball, nullptr);
    const auto& fields = ball->GetFieldDeclarations();
    const std::vector<std::tuple<std::string, int, std::string>> expected = {
        {"radius", VRML_FIELD_SFFLOAT, "1"},
        {"c", VRML_FIELD_SFCOLOR, "1 0 0"},
        // the event is not kept
        {"list", VRML_FIELD_MFFLOAT, "[ 1 2 3 ]\n"},
        {"count", VRML_FIELD_UNKNOWN, ""},                               // no default written
        {"kid", VRML_FIELD_UNKNOWN, "Group { children [ Box \n{ } ] }"}, // brackets of its own, captured whole
    };
    ASSERT_EQ(fields.size(), expected.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(std::make_tuple(fields[i]->GetName(), fields[i]->GetType(), AsString(fields[i]->GetText())),
                  expected[i]);
    }
    EXPECT_EQ(AsString(ball->GetBody()), "Sphere { radius IS radius \n}");
    EXPECT_EQ(ball->GetSourceFile(), loaded.parser->GetIOManager()->GetFilename());
}

TEST(Prototypes, TypeNamesMapToTheirCodesIgnoringCase) {
    struct Case {
        const char* name;
        int code;
    };
    // The field types of the declaration test above are checked there.
    const Case cases[] = {
        {"SFBitMask", 1}, {"sffloat", 6}, {"MFVEC3F", 18}, {"MFNode", 19}, {"SFTime", 0}, {"SFFloa", 0}, {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CVRMLFieldDeclaration::GetFieldType(c.name), c.code) << c.name;
}

TEST(Prototypes, EarliestDeclarationOfANameStaysInForce) {
    LoadedText loaded =
        LoadText(std::string(V2) + "PROTO Foo [ ] { Box { } }\nPROTO Foo [ ] { Sphere { } }\nFoo { }\n");
    EXPECT_EQ(loaded.parser->GetPrototypeDictionary()->size(), 1u);
    ASSERT_EQ(loaded.world->GetNumObjects(), 1);
    EXPECT_EQ(loaded.world->GetObject(0)->GetObjectType(), TREL_BOX);
}

TEST(Prototypes, DeclarationWithoutBodyFailsAndKeepsNothing) {
    PositionedParser positioned("PROTO Foo [ field SFFloat a 1 ] Sphere { }\n");
    EXPECT_EQ(positioned.parser.ParseBlock(), 0);
    EXPECT_TRUE(positioned.parser.GetPrototypeDictionary()->empty());

    CVRMLParser bare; // without a level nothing is read
    EXPECT_EQ(bare.ParseProto(), 0);
}

TEST(Prototypes, DeclaredNamesBecomePrototypeInstanceTokens) {
    PositionedParser positioned("Ball PROTO Ball [ ] { } Ball ball Balls Sphere\n");
    std::vector<int> kinds;
    while (positioned.parser.GetCurrentTokenType() != VRML_END_OF_INPUT) {
        int kind = positioned.parser.GetCurrentTokenType();
        kinds.push_back(kind);
        if (kind == VRML_PROTO)
            positioned.parser.ParseProto(); // leaves the body's "}" current
        positioned.parser.Tokenize();
    }
    // Before the declaration a word, after it a prototype use; names compare
    // case-sensitively and whole.
    EXPECT_EQ(kinds, (std::vector<int>{VRML_WORD, VRML_PROTO, VRML_PROTO_INSTANCE, VRML_WORD, VRML_WORD, VRML_SPHERE}));
}

// The first declaration of a name is in force (see above); removing it brings
// the next one into force and gives the removed one back to the caller.
TEST(Prototypes, RemovingTheDeclarationInForceBringsTheNextIntoForce) {
    CVRMLParser parser;
    EXPECT_EQ(parser.AddPrototypeToDictionary(nullptr), 0);
    auto first = std::make_unique<CVRMLPrototype>();
    auto* second = new CVRMLPrototype;
    first->SetName("P");
    second->SetName("P");
    parser.AddPrototypeToDictionary(first.get());
    parser.AddPrototypeToDictionary(second);
    EXPECT_EQ(parser.RemovePrototypeFromDictionary(first.get()), 1);
    EXPECT_EQ(parser.FindPrototype("P"), second);
}
