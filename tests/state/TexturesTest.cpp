// Textures and texture transforms in the separator level's texture state, as
// the objects carry them. Each test writes its pictures with stb_image_write
// into its own temporary folder, next to the scene that names them.

#include "TestScene.h"

#include "parser/DictionaryEntries.h"

#include <stb_image_write.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

namespace {

using Bytes = std::vector<unsigned char>;

struct Rgba {
    unsigned char r, g, b, a;
};
constexpr Rgba Red{255, 0, 0, 255}, Blue{0, 0, 255, 255};

// A 3 x 2 picture, red on top and blue below, written in `format` ("png",
// "jpg", "bmp") beside the scene; returns the file's bytes.
Bytes WritePicture(const std::string& name, const std::string& format) {
    const int width = 3, height = 2;
    std::vector<unsigned char> pixels;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            const Rgba c = row == 0 ? Red : Blue;
            pixels.insert(pixels.end(), {c.r, c.g, c.b, c.a});
        }
    const std::string path = (TestTempDir() / name).string();
    int written = 0;
    if (format == "png")
        written = stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4);
    else if (format == "jpg")
        written = stbi_write_jpg(path.c_str(), width, height, 4, pixels.data(), 100);
    else
        written = stbi_write_bmp(path.c_str(), width, height, 4, pixels.data());
    EXPECT_NE(written, 0) << path;
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& name, const Bytes& bytes) {
    std::ofstream((TestTempDir() / name).string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const trelTexture* TextureOf(const FoundObject& found) {
    const trelAttributes* attributes = found.object->GetAttributes();
    return attributes && attributes->HasTexture() ? &attributes->texture : nullptr;
}

const trelTexMatrix* TexMatrixOf(const FoundObject& found) {
    const trelAttributes* attributes = found.object->GetAttributes();
    return attributes ? &attributes->texMatrix : nullptr;
}

Rgba PixelAt(const trelImage& image, int column, int row) {
    const size_t at = (static_cast<size_t>(row) * image.width + column) * 4;
    return {image.rgba[at], image.rgba[at + 1], image.rgba[at + 2], image.rgba[at + 3]};
}

MATCHER_P2(NearColour, colour, tolerance, "") {
    return std::abs(arg.r - colour.r) <= tolerance && std::abs(arg.g - colour.g) <= tolerance &&
           std::abs(arg.b - colour.b) <= tolerance && arg.a == colour.a;
}

std::string TexturedBox(const std::string& texture) {
    return "Shape { appearance Appearance { texture " + texture + " } geometry Box { } }\n";
}

TEST(Textures, ImageFilesBecomeTheShapesTextureWithTheirFileKeptForPngAndJpeg) {
    struct Case {
        const char* format;
        const char* mimeType;
        int tolerance; // JPEG is lossy
    };
    const Case cases[] = {{"png", "image/png", 0}, {"jpg", "image/jpeg", 40}, {"bmp", "", 0}};
    for (const Case& c : cases) {
        const std::string name = std::string("picture.") + c.format;
        const Bytes bytes = WritePicture(name, c.format);
        LoadedText loaded;
        auto objects = Build(loaded, V2, TexturedBox("ImageTexture { url \"" + name + "\" repeatS FALSE }"));
        ASSERT_EQ(objects.size(), 1u) << c.format;
        const trelTexture* texture = TextureOf(objects[0]);
        ASSERT_NE(texture, nullptr) << c.format;
        const trelImage& image = *texture->image;
        EXPECT_EQ(image.width, 3);
        EXPECT_EQ(image.height, 2);
        ASSERT_EQ(image.rgba.size(), 3u * 2u * 4u);
        EXPECT_THAT(PixelAt(image, 0, 0), NearColour(Red, c.tolerance)) << c.format;
        EXPECT_THAT(PixelAt(image, 2, 1), NearColour(Blue, c.tolerance)) << c.format;
        EXPECT_EQ(image.mimeType, c.mimeType);
        EXPECT_EQ(image.encoded, c.mimeType[0] ? bytes : Bytes()) << c.format;
        EXPECT_FALSE(texture->repeatS);
        EXPECT_TRUE(texture->repeatT);
    }
}

TEST(Textures, TheFirstUrlThatGivesAPictureIsTaken) {
    WritePicture("found.png", "png");
    WritePicture("other.png", "png");
    WriteBytes("broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         TexturedBox("ImageTexture { url [ \"https://example.org/other.png\" \"absent.png\" "
                                     "\"broken.png\" \"parts/found.png\" \"other.png\" ] }"));
    ASSERT_EQ(objects.size(), 1u);
    const trelTexture* texture = TextureOf(objects[0]);
    ASSERT_NE(texture, nullptr);
    // "parts/found.png" is not there, but the bare file name beside the scene is.
    EXPECT_NE(texture->image->name.find("found.png"), std::string::npos);
}

TEST(Textures, AnInlineFilesPicturesAreFoundBesideIt) {
    std::filesystem::create_directories(TestTempDir() / "parts");
    WritePicture("parts/label.png", "png");
    WriteTempFile("parts/part.wrl", std::string(V2) + TexturedBox("ImageTexture { url \"label.png\" }"));
    LoadedText loaded;
    auto objects = Build(loaded, V2, "Inline { url \"parts/part.wrl\" }\n");
    ASSERT_EQ(objects.size(), 1u);
    const trelTexture* texture = TextureOf(objects[0]);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->image->width, 3);
}

TEST(Textures, OneFileNamedByManyShapesIsDecodedOnceAndCountsAsAFileRead) {
    WritePicture("shared.png", "png");
    const std::string shape = TexturedBox("ImageTexture { url \"shared.png\" }");
    LoadedText loaded;
    auto objects = Build(loaded, V2, shape + shape + shape);
    ASSERT_EQ(objects.size(), 3u);
    ASSERT_NE(TextureOf(objects[0]), nullptr);
    for (const FoundObject& object : objects)
        EXPECT_EQ(TextureOf(object)->image, TextureOf(objects[0])->image);

    // With no file reads left, no picture is read; the shapes are built all the same.
    LoadedText limited;
    limited.parser->SetMaxInlineCount(0);
    limited.result = limited.parser->Parse(limited.world.get(),
                                           WriteTempFile("limited.wrl", std::string(V2) + FarAnchor(V2) + shape));
    auto built = AllObjects(*limited.world);
    ASSERT_EQ(built.size(), 2u);
    EXPECT_EQ(TextureOf(built[1]), nullptr);
}

TEST(Textures, PixelTexturePixelsAreReadBottomRowFirst) {
    struct Case {
        const char* image;
        std::vector<unsigned char> rgbaTopRowFirst;
    };
    const Case cases[] = {
        {"2 2 4 0xFF000080 0x00FF00FF 0x0000FFFF 0xFFFFFF00",
         {0, 0, 255, 255, 255, 255, 255, 0, 255, 0, 0, 128, 0, 255, 0, 255}},
        {"1 2 3 0x102030 0x405060", {0x40, 0x50, 0x60, 255, 0x10, 0x20, 0x30, 255}},
        {"2 1 1 0x7F 255", {0x7F, 0x7F, 0x7F, 255, 255, 255, 255, 255}},
        {"1 1 2 0x4080", {0x40, 0x40, 0x40, 0x80}},
        {"1 1 4 -1", {255, 255, 255, 255}}, // the same bits written as a signed number
    };
    for (const Case& c : cases) {
        LoadedText loaded;
        auto objects =
            Build(loaded, V2, TexturedBox(std::string("PixelTexture { image ") + c.image + " repeatT FALSE }"));
        ASSERT_EQ(objects.size(), 1u) << c.image;
        const trelTexture* texture = TextureOf(objects[0]);
        ASSERT_NE(texture, nullptr) << c.image;
        EXPECT_EQ(texture->image->rgba, c.rgbaTopRowFirst) << c.image;
        EXPECT_TRUE(texture->image->encoded.empty());
        EXPECT_TRUE(texture->repeatS);
        EXPECT_FALSE(texture->repeatT);
    }
}

// Every bad picture drops the texture and nothing else: the shape and the one
// after it are built, with no texture.
TEST(Textures, BadPicturesDropTheTextureAndKeepTheGeometry) {
    const Bytes png = WritePicture("good.png", "png");
    WriteBytes("garbage.png", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    WriteBytes("truncated.png", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)));
    // A PNG header that claims 100000 x 100000 pixels, and nothing after it.
    WriteBytes("huge.png", {0x89, 'P',  'N',  'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                            1,    0x86, 0xA0, 0,   1,    0x86, 0xA0, 8,    6, 0, 0, 0,  0,   0,   0,   0});
    std::filesystem::create_directories(TestTempDir() / "folder.png");
    const char* textures[] = {
        "ImageTexture { url \"absent.png\" }",
        "ImageTexture { url \"file:good.png\" }",
        "ImageTexture { url \"http://example.org/good.png\" }",
        "ImageTexture { url [ ] }",
        "ImageTexture { url \"\" }",
        "ImageTexture { url \"garbage.png\" }",
        "ImageTexture { url \"truncated.png\" }",
        "ImageTexture { url \"huge.png\" }",
        "ImageTexture { url \"folder.png\" }",
        "PixelTexture { image 2 2 3 0xFF0000 0x00FF00 0x0000FF }",
        "PixelTexture { image 2 2 3 0xFF0000 0x00FF00 0x0000FF 0xFFFFFF 0x000000 }",
        "PixelTexture { image 5000 5000 1 0xFF 0xFF }",
        "PixelTexture { image 4096 4097 1 0xFF }",
        "PixelTexture { image -2 -2 1 1 1 1 1 }",
        "PixelTexture { image 1 1 5 0xFF }",
        "PixelTexture { image 1.5 1 1 0xFF }",
        "PixelTexture { image 0 0 0 }",
        "PixelTexture { image 1 1 }",
        "PixelTexture { }",
        "MovieTexture { url \"good.png\" }",
    };
    for (const char* texture : textures) {
        LoadedText loaded;
        auto objects = Build(loaded, V2, TexturedBox(texture) + "Shape { geometry Sphere { } }\n");
        ASSERT_EQ(objects.size(), 2u) << texture;
        EXPECT_EQ(objects[0].object->GetObjectType(), TREL_BOX) << texture;
        EXPECT_EQ(objects[1].object->GetObjectType(), TREL_SPHERE) << texture;
        EXPECT_EQ(TextureOf(objects[0]), nullptr) << texture;
        EXPECT_EQ(TextureOf(objects[1]), nullptr) << texture;
    }
}

// Tc' = -C * S * R * C * T * Tc for TextureTransform; Texture2Transform scales
// and rotates about its centre and then translates. Worked by hand: the
// coordinate (0, 0) with translation (0.5, 0), a quarter turn, scale (2, 1)
// and centre (0.5, 0.5).
TEST(Textures, TextureTransformsComposeInTheOrderEachVersionGives) {
    struct Case {
        const char* header;
        std::string nodes;
        trelTexCoord from, to;
    };
    const std::string pixel = "PixelTexture { image 1 1 1 0xFF }";
    const char* fields = "translation 0.5 0 rotation 1.5707963 scale 2 1 center 0.5 0.5";
    const Case cases[] = {
        // (0,0) +T (0.5,0) +C (1,0.5) R (-0.5,1) S (-1,1) -C (-1.5,0.5)
        {V2,
         "Shape { appearance Appearance { texture " + pixel + " textureTransform TextureTransform { " + fields +
             " } } geometry Box { } }\n",
         {0, 0},
         {-1.5f, 0.5f}},
        // (1,0) +T (1.5,0) +C (2,0.5) R (-0.5,2) S (-1,2) -C (-1.5,1.5)
        {V2,
         "Shape { appearance Appearance { textureTransform TextureTransform { " + std::string(fields) + " } texture " +
             pixel + " } geometry Box { } }\n",
         {1, 0},
         {-1.5f, 1.5f}},
        // (0,0) -C (-0.5,-0.5) S (-1,-0.5) R (0.5,-1) +C (1,-0.5) +T (1.5,-0.5)
        {V1,
         "Separator { Texture2 { image 1 1 1 0xFF } Texture2Transform { translation 0.5 0 rotation 1.5707963 "
         "scaleFactor 2 1 center 0.5 0.5 } Cube { } }\n",
         {0, 0},
         {1.5f, -0.5f}},
        // The later transform acts first: (0,0) +(1,0) then *2 gives (2,0).
        {V1,
         "Separator { Texture2 { image 1 1 1 0xFF } Texture2Transform { scaleFactor 2 2 } "
         "Texture2Transform { translation 1 0 } Cube { } }\n",
         {0, 0},
         {2, 0}},
    };
    for (const Case& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_EQ(objects.size(), 1u) << c.nodes;
        ASSERT_NE(TexMatrixOf(objects[0]), nullptr) << c.nodes;
        const trelTexCoord mapped = TexMatrixOf(objects[0])->Apply(c.from);
        EXPECT_NEAR(mapped.s, c.to.s, 1e-5) << c.nodes;
        EXPECT_NEAR(mapped.t, c.to.t, 1e-5) << c.nodes;
    }
}

TEST(Textures, Texture2IsInheritedByChildSeparatorsAndNotBySiblings) {
    WritePicture("wall.png", "png");
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         "Separator { Texture2 { filename \"wall.png\" wrapT CLAMP } Cube { }\n"
                         "  Separator { Cube { } }\n"
                         "  Separator { Texture2 { } Cube { } }\n"
                         "}\n"
                         "Separator { Cube { } }\n"
                         "Separator { Texture2 { image 1 1 3 0xFF0000 wrapS CLAMP } Cube { } }\n");
    ASSERT_EQ(objects.size(), 5u);
    for (int i : {0, 1}) {
        const trelTexture* texture = TextureOf(objects[static_cast<size_t>(i)]);
        ASSERT_NE(texture, nullptr) << i;
        EXPECT_EQ(texture->image->width, 3);
        EXPECT_TRUE(texture->repeatS);
        EXPECT_FALSE(texture->repeatT);
    }
    EXPECT_EQ(TextureOf(objects[2]), nullptr); // an empty Texture2 turns texturing off
    EXPECT_EQ(TextureOf(objects[3]), nullptr);
    const trelTexture* written = TextureOf(objects[4]);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->image->rgba, (std::vector<unsigned char>{255, 0, 0, 255}));
    EXPECT_FALSE(written->repeatS);
    EXPECT_TRUE(written->repeatT);
}

// Texture, transform and appearance names give their state again, and a
// named shape or separator replays its texture; none of these names enters
// the object dictionary.
TEST(Textures, NamedTexturesAreUsedAgainAndReplayedWithTheirShape) {
    struct Case {
        const char* header;
        const char* nodes;
        std::vector<bool> textured;
    };
    const Case cases[] = {
        {V2,
         "Shape { appearance Appearance { texture DEF T PixelTexture { image 1 1 1 0xFF } } geometry Box { } }\n"
         "Shape { appearance Appearance { texture USE T } geometry Box { } }\n"
         "Shape { appearance Appearance { texture USE Unknown } geometry Box { } }\n",
         {true, true, false}},
        {V2,
         "Shape { appearance DEF A Appearance { texture PixelTexture { image 1 1 1 0xFF } } geometry Box { } }\n"
         "Shape { appearance USE A geometry Box { } }\n",
         {true, true}},
        {V2,
         "DEF S Shape { appearance Appearance { texture PixelTexture { image 1 1 1 0xFF } } geometry Box { } }\n"
         "USE S\n",
         {true, true}},
        {V2,
         "DEF G Group { children [ Shape { appearance Appearance { texture PixelTexture { image 1 1 1 0xFF } }"
         " geometry Box { } } Shape { geometry Box { } } ] }\n"
         "USE G\n",
         {true, false, true, false}},
        {V1,
         "DEF P Separator { Texture2 { image 1 1 1 0xFF } Cube { } }\n"
         "USE P\n"
         "Separator { Cube { } }\n",
         {false, true, true}}, // the world's own object comes before the named groups'
        {V1,
         "DEF T Texture2 { image 1 1 1 0xFF }\n"
         "Separator { Texture2 { } Cube { } USE T Cube { } }\n",
         {false, true}},
    };
    for (const Case& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_EQ(objects.size(), c.textured.size()) << c.nodes;
        for (size_t i = 0; i < objects.size(); ++i)
            EXPECT_EQ(TextureOf(objects[i]) != nullptr, c.textured[i]) << c.nodes << " object " << i;
        for (const char* name : {"T", "A"})
            EXPECT_EQ(loaded.parser->FindObjectInDictionary(name), nullptr) << c.nodes;
    }
}

TEST(Textures, ATextureNameDoesNotChangeWhatAUseOfAnObjectNameBuilds) {
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         "DEF N Cube { }\n"
                         "DEF N Texture2 { image 1 1 1 0xFF }\n"
                         "USE N\n");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1].object->GetObjectType(), TREL_BOX);
    ASSERT_NE(loaded.parser->FindObjectInDictionary("N"), nullptr);
    EXPECT_EQ(loaded.parser->FindObjectInDictionary("N")->GetType(), VRML_ENTRY_CUBE);
}

} // namespace

#ifndef _WIN32
#include <sys/stat.h>
#endif

// Pictures are files the scene names like any other: only regular files,
// inside the include root, within the read budget.
TEST(Textures, PicturesAreReadUnderTheRulesOfEveryFileTheSceneNames) {
    namespace fs = std::filesystem;
    const fs::path dir = TestTempDir();
    fs::create_directories(dir / "root");
    const Bytes png = WritePicture("outside.png", "png");
    WriteBytes("root/inside.png", png);
    std::vector<std::string> strangers;
#ifndef _WIN32
    fs::remove(dir / "root" / "pipe.png");
    if (mkfifo((dir / "root" / "pipe.png").c_str(), 0600) == 0)
        strangers.push_back("pipe.png");
    std::error_code error;
    fs::remove(dir / "root" / "zero.png");
    fs::create_symlink("/dev/zero", dir / "root" / "zero.png", error);
    if (!error)
        strangers.push_back("zero.png");
#endif
    struct Case {
        std::string url;
        bool rooted;
        uint64_t budget;
        bool textured;
    };
    std::vector<Case> cases = {
        {"inside.png", true, CVRMLParser::DefaultMaxReadBytes, true},
        {"../outside.png", false, CVRMLParser::DefaultMaxReadBytes, true},
        {"../outside.png", true, CVRMLParser::DefaultMaxReadBytes, false},
        {"inside.png", false, 0, false}, // 0: one byte short of the scene and its picture
    };
    for (const std::string& stranger : strangers)
        cases.push_back({stranger, false, CVRMLParser::DefaultMaxReadBytes, false});
    const std::string scene = WriteTempFile("root/scene.wrl", std::string(V2) + FarAnchor(V2));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const std::string text = V2 + FarAnchor(V2) + TexturedBox("ImageTexture { url \"" + c.url + "\" }");
        std::ofstream(scene, std::ios::binary) << text;
        const uint64_t budget = c.budget ? c.budget : text.size() + png.size() - 1;
        LoadedText loaded;
        if (c.rooted)
            loaded.parser->SetIncludeRoot((dir / "root").string());
        loaded.parser->SetMaxReadBytes(budget);
        loaded.result = loaded.parser->Parse(loaded.world.get(), scene);
        auto objects = AllObjects(*loaded.world);
        ASSERT_EQ(objects.size(), 2u);
        EXPECT_EQ(TextureOf(objects[1]) != nullptr, c.textured);
        EXPECT_LE(loaded.parser->GetReadBytes(), budget);
    }
}
