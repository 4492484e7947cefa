#include "TestScene.h"

#include "names/Prototypes.h"

#include <gtest/gtest.h>

namespace {
std::string AsString(const std::vector<char>& text) { return std::string(text.begin(), text.end()); }

const CVRMLPrototype* Declared(const LoadedText& loaded, const std::string& name) {
    return loaded.parser->FindPrototype(name);
}
} // namespace

TEST(Prototypes, DeclarationKeepsFieldsDefaultsAndBodyAsText) {
    LoadedText loaded = LoadText(std::string(V2) +
                                 "PROTO Ball [ field SFFloat radius 1 exposedField SFColor c 1 0 0 "
                                 "eventIn SFBool set field MFFloat list [ 1 2 3 ] field SFInt32 count ] "
                                 "{ Sphere { radius IS radius } }\n");
    const CVRMLPrototype* ball = Declared(loaded, "Ball");
    ASSERT_NE(ball, nullptr);
    const auto& fields = ball->GetFieldDeclarations();
    ASSERT_EQ(fields.size(), 4u); // the event is not kept
    struct Expected {
        const char* name;
        int type;
        const char* text;
    };
    const Expected expected[] = {
        {"radius", VRML_FIELD_SFFLOAT, "1"},
        {"c", VRML_FIELD_SFCOLOR, "1 0 0"},
        {"list", VRML_FIELD_MFFLOAT, "[ 1 2 3 ]\n"},
        {"count", VRML_FIELD_UNKNOWN, ""}, // no default written
    };
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i]->GetName(), expected[i].name);
        EXPECT_EQ(fields[i]->GetType(), expected[i].type);
        EXPECT_EQ(AsString(fields[i]->GetText()), expected[i].text);
        EXPECT_EQ(fields[i]->GetTextLength(), std::string(expected[i].text).size());
    }
    EXPECT_EQ(AsString(ball->GetBody()), "Sphere { radius IS radius \n}");
    EXPECT_EQ(ball->GetBodyLength(), 28u);
    EXPECT_EQ(ball->GetSourceFile(), loaded.parser->GetIOManager()->GetFilename());
}

TEST(Prototypes, TypeNamesMapToTheirCodesIgnoringCase) {
    struct Case {
        const char* name;
        int code;
    };
    const Case cases[] = {
        {"SFBitMask", 1}, {"SFBool", 2},    {"SFColor", 3},  {"MFColor", 4},    {"SFEnum", 5},
        {"SFFloat", 6},   {"sffloat", 6},   {"MFFloat", 7},  {"SFImage", 8},    {"SFLong", 9},
        {"MFLong", 10},   {"SFMatrix", 11}, {"SFRotation", 12}, {"SFString", 13}, {"MFString", 14},
        {"SFVec2f", 15},  {"MFVec2f", 16},  {"SFVec3f", 17}, {"MFVEC3F", 18},   {"MFNode", 19},
        {"SFInt32", 0},   {"MFInt32", 0},   {"SFNode", 0},   {"SFTime", 0},     {"MFTime", 0},
        {"MFRotation", 0}, {"SFFloa", 0},   {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CVRMLFieldDeclaration::GetFieldType(c.name), c.code) << c.name;
}

TEST(Prototypes, EmptyDeclarationHasNoFieldsAndNoBody) {
    LoadedText loaded = LoadText(std::string(V2) + "PROTO Foo [ ] { }\nShape { }\n");
    const CVRMLPrototype* foo = Declared(loaded, "Foo");
    ASSERT_NE(foo, nullptr);
    EXPECT_TRUE(foo->GetFieldDeclarations().empty());
    EXPECT_EQ(foo->GetBodyLength(), 0u);
    EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(Prototypes, EarliestDeclarationOfANameStaysInForce) {
    LoadedText loaded = LoadText(std::string(V2) +
                                 "PROTO Foo [ ] { Box { } }\n"
                                 "PROTO Foo [ ] { Sphere { } }\n"
                                 "Foo { }\n" +
                                 FarAnchor(V2));
    EXPECT_EQ(loaded.parser->GetPrototypeDictionary()->size(), 1u);
    auto objects = AllObjects(*loaded.world);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].object->GetObjectType(), TREL_BOX);
}

TEST(Prototypes, DeclarationWithoutBodyFailsAndKeepsNothing) {
    PositionedParser positioned("PROTO Foo [ field SFFloat a 1 ] Sphere { }\n");
    EXPECT_EQ(positioned.parser.ParseBlock(), 0);
    EXPECT_TRUE(positioned.parser.GetPrototypeDictionary()->empty());

    // Without a level, or while a node is skipped, nothing is read.
    CVRMLParser bare;
    EXPECT_EQ(bare.ParseProto(), 0);
    PositionedParser skipping("PROTO Foo [ ] { }\n");
    skipping.parser.SetSkippingBlock(1);
    EXPECT_EQ(skipping.parser.ParseProto(), 0);
    EXPECT_EQ(skipping.Current(), "PROTO");
}

TEST(Prototypes, NodeDefaultsWithBracketsOfTheirOwnAreCapturedWhole) {
    LoadedText loaded = LoadText(std::string(V2) +
                                 "PROTO Holder [ field SFNode kid Group { children [ Box { } ] } field SFFloat w 2 ] "
                                 "{ Sphere { } }\n");
    const CVRMLPrototype* holder = Declared(loaded, "Holder");
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(holder->GetFieldDeclarations().size(), 2u);
    EXPECT_EQ(AsString(holder->GetFieldDeclarations()[0]->GetText()), "Group { children [ Box \n{ } ] }");
    EXPECT_EQ(AsString(holder->GetFieldDeclarations()[1]->GetText()), "2");
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

TEST(Prototypes, DictionaryOwnsAndIndexesItsPrototypes) {
    CVRMLParser parser;
    EXPECT_EQ(parser.AddPrototypeToDictionary(nullptr), 0);
    EXPECT_EQ(parser.RemovePrototypeFromDictionary(nullptr), 0);
    auto* first = new CVRMLPrototype;
    first->SetName("P");
    auto* second = new CVRMLPrototype;
    second->SetName("P");
    EXPECT_EQ(parser.AddPrototypeToDictionary(first), 1);
    EXPECT_EQ(parser.AddPrototypeToDictionary(second), 1);
    EXPECT_EQ(parser.FindPrototype("P"), first);
    EXPECT_EQ(parser.FindPrototype("p"), nullptr);
    // Removing the one in force brings the later one into force; the removed
    // one is the caller's again.
    EXPECT_EQ(parser.RemovePrototypeFromDictionary(first), 1);
    EXPECT_EQ(parser.FindPrototype("P"), second);
    delete first;
    parser.ClearPrototypeDictionary();
    EXPECT_EQ(parser.FindPrototype("P"), nullptr);
    EXPECT_TRUE(parser.GetPrototypeDictionary()->empty());
}

TEST(Prototypes, PrototypesOutliveAParse) {
    CVRMLParser parser;
    C3DWorld first, second;
    parser.Parse(&first, WriteTempFile("first.wrl", std::string(V2) + "PROTO Big [ ] { Box { size 30 30 30 } }\n"));
    EXPECT_EQ(parser.Parse(&second, WriteTempFile("second.wrl", std::string(V2) + "Big { }\n")), VRML_LOAD_SUCCESS);
    EXPECT_EQ(second.GetNumObjects(), 1);
}

TEST(Prototypes, FieldDeclarationsAreFoundCaseSensitivelyFirstFirst) {
    CVRMLPrototype prototype;
    EXPECT_EQ(prototype.AddFieldDeclaration("size", "SFVec3f", {'1'}), 1);
    EXPECT_EQ(prototype.AddFieldDeclaration("size", VRML_FIELD_SFFLOAT, {'2'}), 1);
    ASSERT_NE(prototype.FindFieldDeclaration("size"), nullptr);
    EXPECT_EQ(prototype.FindFieldDeclaration("size")->GetType(), VRML_FIELD_SFVEC3F);
    EXPECT_EQ(prototype.FindFieldDeclaration("Size"), nullptr);
    prototype.Initialize();
    EXPECT_EQ(prototype.FindFieldDeclaration("size"), nullptr);
    EXPECT_TRUE(prototype.GetFieldDeclarations().empty());
}
