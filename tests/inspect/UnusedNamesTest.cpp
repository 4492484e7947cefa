// A parser that keeps only the names its files USE builds the very world of
// one that keeps every name: the whole dump is compared, on scenes made to
// hit each way a name is looked up, and on the corpus.

#include "TestScene.h"
#include "inspect/JsonDump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Dumped {
    std::string dump;
    size_t entries = 0;
};

Dumped DumpOfLoad(const std::string& path, int standard, int keepUnusedNames) {
    C3DWorld world;
    CVRMLParser parser;
    parser.SetStandardSemantics(standard);
    parser.SetKeepUnusedNames(keepUnusedNames);
    vrml::DumpHeader header;
    header.result = parser.Parse(&world, path);
    header.version = parser.GetVersion();
    header.imageUnits = parser.GetImageUnits();
    std::ostringstream out;
    vrml::WriteJsonDump(out, header, world);
    Dumped dumped{out.str(), 0};
    for (auto it = parser.GetObjectDictionary()->begin(); it != parser.GetObjectDictionary()->end(); ++it)
        ++dumped.entries;
    return dumped;
}

// Loads `path` both ways in the given modes; true when every dump agreed.
bool ExpectSameWorlds(const std::string& path, std::initializer_list<int> modes = {0, 1}) {
    bool same = true;
    for (int standard : modes) {
        const Dumped kept = DumpOfLoad(path, standard, 1);
        const Dumped lean = DumpOfLoad(path, standard, 0);
        EXPECT_EQ(kept.dump, lean.dump) << path << (standard ? " (standard)" : "");
        EXPECT_LE(lean.entries, kept.entries) << path;
        same = same && kept.dump == lean.dump;
    }
    return same;
}

TEST(UnusedNames, LeftOutTheWorldIsTheSame) {
    const std::string scenes[] = {
        // VRML 1.0: uses before and after a redefinition, a named separator
        // holding named and unnamed nodes, a USE inside a recorded level, a
        // use of a name defined inside a separator no one uses.
        std::string(V1) +
            "DEF A Cube { } DEF Unused Sphere { } USE A DEF A Cone { } USE A\n"
            "DEF S Separator { Material { diffuseColor 1 0 0 } DEF In Cube { } USE A } USE S\n"
            "DEF Outer Separator { DEF Inner Separator { Translation { translation 1 0 0 } Sphere { } } }\n"
            "USE Inner DEF M Material { diffuseColor 0 1 0 } Cube { } USE M Sphere { }\n",
        // The keyword in any case, a name behind a comment, a use in a comment.
        std::string(V1) + "DEF b Cube { } uSe # the cube\n b # USE c\n DEF c Sphere { } USE c\n",
        // Textures and their transforms by name, VRML 1.0.
        std::string(V1) + "DEF T Texture2 { image 1 1 3 0xFF0000 } DEF X Texture2Transform { scaleFactor 2 2 }\n"
                          "Separator { USE T USE X Cube { } } DEF Unseen Texture2 { image 1 1 3 0x00FF00 } Cube { }\n",
        // VRML 2.0: a named appearance, material and texture used again, the
        // geometry's own name, a transform with named children.
        std::string(V2) +
            "DEF P Transform { translation 1 2 3 children DEF PS Shape {\n"
            "  appearance DEF Look Appearance { material DEF Red Material { diffuseColor 1 0 0 }\n"
            "    texture DEF Tex PixelTexture { image 1 1 3 0x0000FF } textureTransform DEF TT TextureTransform { "
            "scale 2 2 } }\n"
            "  geometry DEF Body Box { size 1 2 3 } } }\n"
            "Shape { appearance Appearance { material USE Red texture USE Tex textureTransform USE TT } geometry "
            "Sphere { } }\n"
            "Shape { appearance USE Look geometry USE Body }\n"
            "Transform { translation 5 0 0 children [ USE PS USE P ] }\n"
            "DEF Lone Transform { children Shape { geometry DEF LoneBody Cone { } } }\n",
        // Prototypes whose bodies name and use their own nodes.
        std::string(V2) +
            "PROTO Pair [ field SFVec3f at 0 0 0 ] { Transform { translation IS at children [\n"
            "  DEF One Shape { geometry Box { } } Transform { translation 2 0 0 children USE One } ] } }\n"
            "Pair { } DEF Named Pair { at 5 5 5 } USE Named\n",
        // A Switch whose unchosen child names what a chosen one uses.
        std::string(V2) + "Switch { whichChoice 1 choice [ DEF Hidden Shape { geometry Sphere { } } USE Hidden ] }\n",
    };
    int index = 0;
    for (const std::string& scene : scenes)
        ExpectSameWorlds(WriteTempFile("scene" + std::to_string(index++) + ".wrl", scene));
}

// An inline file's own names are found in its own text; a name the parent
// defines and only the inline uses is kept only when every name is.
TEST(UnusedNames, EachFileIsSearchedForItsOwnUses) {
    WriteTempFile("part.wrl", std::string(V2) + "DEF Own Shape { geometry Box { } } Transform { translation 3 0 0 "
                                                "children USE Own } USE FromParent\n");
    const std::string parent =
        WriteTempFile("parent.wrl", std::string(V2) + "DEF FromParent Shape { geometry Sphere { radius 2 } }\n"
                                                      "Inline { url \"part.wrl\" }\n");
    C3DWorld kept, lean;
    CVRMLParser keeping, leaving;
    keeping.Parse(&kept, parent);
    leaving.SetKeepUnusedNames(0);
    leaving.Parse(&lean, parent);
    // Sphere, box, box again, and the sphere once more where its name is kept.
    EXPECT_EQ(AllObjects(kept).size(), 4u);
    EXPECT_EQ(AllObjects(lean).size(), 3u);
}

TEST(UnusedNames, UnusedDefinitionsLeaveNoEntries) {
    std::string scene(V2);
    for (int i = 0; i < 50; ++i)
        scene += "DEF Part" + std::to_string(i) + " Transform { children DEF Body" + std::to_string(i) +
                 " Shape { geometry Box { } } }\n";
    scene += "Transform { translation 9 9 9 children USE Part7 }\n";
    const std::string path = WriteTempFile("parts.wrl", scene);
    const Dumped kept = DumpOfLoad(path, 1, 1);
    const Dumped lean = DumpOfLoad(path, 1, 0);
    EXPECT_EQ(kept.dump, lean.dump);
    EXPECT_GE(kept.entries, 100u);
    // Part7, its shape's level and box, and the use's own nothing.
    EXPECT_LE(lean.entries, 4u);
    EXPECT_GE(lean.entries, 1u);
}

TEST(UnusedNames, CorpusWorldsAreTheSame) {
    const fs::path corpus(VRML_CORPUS_DIR);
    std::error_code error;
    if (!fs::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus at " << corpus;
    size_t compared = 0, index = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || extension == ".md" || extension == ".tsv")
            continue;
#ifdef VRML_SANITIZED
        if (index++ % 8 != 0)
            continue; // a sample: the sanitizers make the whole corpus slow
#else
        ++index;
#endif
        // The mode in which the front-ends leave unused names out.
        if (!ExpectSameWorlds(entry.path().string(), {1}))
            break; // one file's dumps are enough to read
        ++compared;
    }
    EXPECT_GT(compared, 50u);
}

} // namespace
