#include "TestScene.h"

#include "names/Prototypes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using State = CVRMLRecordedBody::State;
using Values = std::vector<std::pair<std::string, std::string>>;

struct Field {
    std::string type, name, value;
};

// The body with each "IS name" replaced by the use's first value of that
// name, or else the declared default: the instance as text, read without
// any prototype.
std::string Expand(const std::string& body, const std::vector<Field>& fields, const Values& use) {
    std::string text = body;
    for (const Field& field : fields) {
        std::string value = field.value;
        for (const auto& given : use)
            if (given.first == field.name) {
                value = given.second;
                break;
            }
        const std::string reference = "IS " + field.name + " ";
        for (size_t at = text.find(reference); at != std::string::npos; at = text.find(reference, at))
            text.replace(at, reference.size(), value + " ");
    }
    return text;
}

struct Scenes {
    std::string withPrototype, expanded;
};

Scenes Write(const std::vector<Field>& fields, const std::string& body, const std::vector<Values>& uses) {
    Scenes scenes;
    scenes.withPrototype = std::string(V2) + FarAnchor(V2) + "PROTO P [";
    for (const Field& field : fields)
        scenes.withPrototype += " field " + field.type + " " + field.name + " " + field.value;
    scenes.withPrototype += " ] { " + body + " }\n";
    scenes.expanded = std::string(V2) + FarAnchor(V2);
    for (const Values& use : uses) {
        scenes.withPrototype += "P {";
        for (const auto& given : use)
            scenes.withPrototype += " " + given.first + " " + given.second;
        scenes.withPrototype += " }\n";
        scenes.expanded += Expand(body, fields, use) + "\n";
    }
    return scenes;
}

// Everything a host reads of the objects, in order.
void ExpectSameWorlds(const LoadedText& actual, const LoadedText& expected) {
    const std::vector<FoundObject> a = AllObjects(*actual.world), b = AllObjects(*expected.world);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a[i].object->GetObjectType(), b[i].object->GetObjectType());
        EXPECT_EQ(a[i].groupName, b[i].groupName);
        EXPECT_EQ(a[i].object->GetObjectName().GetString(), b[i].object->GetObjectName().GetString());
        EXPECT_TRUE(*a[i].props == *b[i].props);
        const trelBBox boxA = a[i].object->GetBBox(), boxB = b[i].object->GetBBox();
        EXPECT_THAT(boxA.GetMin(), NearPoint(boxB.GetMin().x, boxB.GetMin().y, boxB.GetMin().z));
        EXPECT_THAT(boxA.GetMax(), NearPoint(boxB.GetMax().x, boxB.GetMax().y, boxB.GetMax().z));
    }
}

State StateOf(const LoadedText& loaded, const std::string& name) {
    CVRMLPrototype* prototype = loaded.parser->FindPrototype(name);
    return prototype ? prototype->GetRecordedBody().GetState() : State::Unexamined;
}

const std::vector<Field> EveryKind = {
    {"SFVec3f", "t", "0 0 0"},      {"SFVec3f", "s", "1 1 1"},       {"SFVec3f", "c", "0 0 0"},
    {"SFRotation", "r", "0 0 1 0"}, {"SFRotation", "so", "0 0 1 0"}, {"SFColor", "d", "0.8 0.8 0.8"},
    {"SFColor", "sp", "0 0 0"},     {"SFColor", "em", "0 0 0"},      {"SFFloat", "sh", "0.2"},
    {"SFFloat", "tr", "0"},         {"SFVec3f", "size", "2 2 2"},    {"SFFloat", "cr", "1"},
    {"SFFloat", "ch", "2"},         {"SFFloat", "sr", "1"},          {"SFFloat", "br", "1"},
    {"SFFloat", "bh", "2"},
};
const std::string EveryKindBody =
    "Transform { translation IS t scale IS s center IS c rotation IS r scaleOrientation IS so children [ "
    "Shape { appearance Appearance { material Material { diffuseColor IS d specularColor IS sp "
    "emissiveColor IS em shininess IS sh transparency IS tr } } geometry Box { size IS size } } "
    "Shape { geometry Cylinder { radius IS cr height IS ch } } Shape { geometry Sphere { radius IS sr } } "
    "Shape { geometry Cone { bottomRadius IS br height IS bh } } ] }";

} // namespace

TEST(RecordedBody, ReplayedInstancesBuildWhatTheirTextBuilds) {
    struct Case {
        const char* what;
        std::vector<Field> fields;
        std::string body;
        std::vector<Values> uses;
        State state;
    };
    const Values allGiven = {{"t", "1 2 3"},      {"s", "2 1 1"}, {"c", "0 1 0"},    {"r", "0 1 0 0.5"},
                             {"so", "1 0 0 0.3"}, {"d", "1 0 0"}, {"sp", "0 1 0"},   {"em", "0 0 1"},
                             {"sh", "0.7"},       {"tr", "0.25"}, {"size", "1 2 3"}, {"cr", "0.5"},
                             {"ch", "4"},         {"sr", "2"},    {"br", "3"},       {"bh", "1"}};
    const Case cases[] = {
        {"every field kind, defaults and given",
         EveryKind,
         EveryKindBody,
         {{}, allGiven, {{"t", "5 5 5"}}, {}},
         State::Ready},
        // Uses the replay does not read stay on the text path, one by one.
        {"uses that need their text",
         EveryKind,
         EveryKindBody,
         {allGiven,
          {{"t", "1 2"}},
          {{"t", "4 5 6"}, {"t", "7 8 9"}},
          {{"d", "[ 1 0 0 ]"}},
          {{"unknown", "3"}, {"sr", "4"}},
          {{"sr", "TRUE"}}},
         State::Ready},
        {"a first use that records nothing for its node",
         {{"SFFloat", "cr", "1"}},
         "Shape { geometry Cylinder { radius IS cr } }",
         {{{"cr", "0"}}, {{"cr", "1"}}, {{"cr", "0"}}, {{"cr", "2.5"}}},
         State::Ready},
        // Bodies the entries cannot express keep the text path.
        {"DEF and USE inside the body",
         {{"SFVec3f", "t", "0 0 0"}, {"SFFloat", "r", "1"}},
         "Transform { translation IS t children [ DEF S Shape { geometry Sphere { radius IS r } } "
         "Transform { translation 3 0 0 children USE S } ] }",
         {{}, {{"t", "1 1 1"}, {"r", "2"}}},
         State::TextOnly},
        {"a field nothing references",
         {{"SFFloat", "r", "1"}, {"SFFloat", "unused", "5"}},
         "Sphere { radius IS r }",
         {{}, {{"r", "2"}}},
         State::TextOnly},
        {"a field written twice in its node",
         {{"SFFloat", "r", "1"}},
         "Sphere { radius IS r radius 3 }",
         {{}, {{"r", "2"}}},
         State::TextOnly},
        {"a diffuse colour scaled by an ambient intensity",
         {{"SFColor", "d", "1 1 1"}},
         "Shape { appearance Appearance { material Material { ambientIntensity 0.5 diffuseColor IS d } } "
         "geometry Box { } }",
         {{}, {{"d", "0 1 0"}}},
         State::TextOnly},
        {"a field the slots do not know",
         {{"SFFloat", "b", "1"}},
         "Transform { translation 1 2 3 children Shape { geometry Cone { side IS b } } }",
         {{}, {{"b", "0"}}},
         State::TextOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Scenes scenes = Write(c.fields, c.body, c.uses);
        LoadedText replayed = LoadText(scenes.withPrototype);
        LoadedText read = LoadText(scenes.expanded);
        ASSERT_EQ(replayed.result, VRML_LOAD_SUCCESS);
        ExpectSameWorlds(replayed, read);
        EXPECT_EQ(StateOf(replayed, "P"), c.state);
    }
}

TEST(RecordedBody, InstancesInGroupsAndNamedLevelsBuildWhatTheirTextBuilds) {
    const std::string proto = "PROTO Ball [ field SFVec3f t 0 0 0 field SFFloat r 1 ] "
                              "{ Transform { translation IS t children Shape { geometry Sphere { radius IS r } } } }\n"
                              "PROTO Pair [ field SFFloat r 1 ] { Group { children [ Ball { r IS r } "
                              "Ball { t 2 0 0 } ] } }\n";
    auto ball = [](const std::string& t, const std::string& r) {
        return "Transform { translation " + t + " children Shape { geometry Sphere { radius " + r + " } } }";
    };
    struct Case {
        const char* what;
        std::string withPrototype, expanded;
    };
    const Case cases[] = {
        {"in groups and transforms",
         "Ball { } Group { children [ Ball { r 2 } Transform { translation 5 0 0 "
         "children Ball { t 1 1 1 } } ] }",
         ball("0 0 0", "1") + " Group { children [ " + ball("0 0 0", "2") + " Transform { translation 5 0 0 children " +
             ball("1 1 1", "1") + " } ] }"},
        // A use's DEF names the use (which USE builds again), not a node of its body.
        {"named, and used again", "Ball { } DEF B Ball { r 3 } USE B DEF G Group { children Ball { t 4 0 0 } } USE G",
         ball("0 0 0", "1") + " " + ball("0 0 0", "3") + " " + ball("0 0 0", "3") + " DEF G Group { children " +
             ball("4 0 0", "1") + " } USE G"},
        {"inside another prototype", "Ball { } Pair { r 2 } Pair { }",
         ball("0 0 0", "1") + " Group { children [ " + ball("0 0 0", "2") + " " + ball("2 0 0", "1") +
             " ] } Group { children [ " + ball("0 0 0", "1") + " " + ball("2 0 0", "1") + " ] }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedText replayed = LoadText(std::string(V2) + FarAnchor(V2) + proto + c.withPrototype + "\n");
        LoadedText read = LoadText(std::string(V2) + FarAnchor(V2) + c.expanded + "\n");
        ExpectSameWorlds(replayed, read);
        EXPECT_EQ(StateOf(replayed, "Ball"), State::Ready);
    }
}
