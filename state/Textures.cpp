// Textures and texture transforms: VRML 2.0 ImageTexture, PixelTexture and
// TextureTransform in an Appearance, VRML 1.0 Texture2 and Texture2Transform
// as properties of the separator level. They go into the level's texture
// state, which every object the level takes then carries (AttachTexture).
// A picture that cannot be had drops the texture and nothing else: the
// readers never fail the statement, and they leave the reader exactly where
// passing over the node leaves it.

#include "VRMLSeparator.h"

#include "parser/DictionaryEntries.h"
#include "parser/VRMLParser.h"

#include <cmath>
#include <new>
#include <utility>

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Node and field names are matched ignoring case, as the keywords are.
bool EqualsIgnoringCase(const std::string& text, const char* word) {
    size_t i = 0;
    for (; i < text.size() && word[i]; ++i)
        if (FoldCase(text[i]) != FoldCase(word[i]))
            return false;
    return i == text.size() && !word[i];
}

// Affine maps of texture coordinates (see trelTexMatrix), composed in double.
struct TexAffine {
    double m[6];
};

// `first`, then `second`.
TexAffine Then(const TexAffine& first, const TexAffine& second) {
    const double* a = first.m;
    const double* b = second.m;
    return {{b[0] * a[0] + b[1] * a[3], b[0] * a[1] + b[1] * a[4], b[0] * a[2] + b[1] * a[5] + b[2],
             b[3] * a[0] + b[4] * a[3], b[3] * a[1] + b[4] * a[4], b[3] * a[2] + b[4] * a[5] + b[5]}};
}
TexAffine Translation(double s, double t) { return {{1, 0, s, 0, 1, t}}; }
TexAffine Scaling(double s, double t) { return {{s, 0, 0, 0, t, 0}}; }
TexAffine Rotation(double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {{c, -s, 0, s, c, 0}};
}
TexAffine FromTexMatrix(const trelTexMatrix& matrix) {
    TexAffine affine;
    for (int i = 0; i < 6; ++i)
        affine.m[i] = matrix.m[i];
    return affine;
}
// A matrix that is not finite everywhere maps nothing: it is dropped.
trelTexMatrix ToTexMatrix(const TexAffine& affine) {
    trelTexMatrix matrix;
    for (double value : affine.m)
        if (!std::isfinite(static_cast<float>(value)))
            return matrix;
    for (int i = 0; i < 6; ++i)
        matrix.m[i] = static_cast<float>(affine.m[i]);
    return matrix;
}

// Reads the fields of the node whose "{" is current: `field` reads the value
// of a field it knows, leaving the token after it, and returns false for any
// other token, which is stepped over. Reading stops at the node's "}", at the
// end of the input, and at a nested block, which none of these nodes has.
template <class Field>
void ReadFields(CVRMLParser& parser, Field field) {
    if (!parser.Tokenize())
        return;
    for (;;) {
        const VRMLTokenTypes kind = parser.GetCurrentTokenType();
        if (kind == VRML_CLOSE_BRACE || kind == VRML_END_OF_INPUT || kind == VRML_OPEN_BRACE)
            return;
        if (!field() && !parser.Tokenize())
            return;
    }
}

// Reads the node whose "{" is current with `read`, then puts the reader
// where skipping the node puts it. Returns whether there was a node to read.
template <class Read>
bool ReadThenSkip(CVRMLParser& parser, int passClose, Read read) {
    CGenericIOState start;
    const bool body = parser.GetCurrentTokenType() == VRML_OPEN_BRACE && parser.SaveIOState(start);
    if (body) {
        read();
        parser.RestoreIOState(start);
    }
    parser.SkipBlock(passClose);
    return body;
}

// Walks from a field's value to the "{" of its node, as passing over the
// value always did, noting the DEF name and the node type on the way.
void WalkToNodeBody(CVRMLParser& parser, std::string& name, std::string& type) {
    bool named = false;
    while (parser.GetCurrentTokenType() != VRML_OPEN_BRACE) {
        if (parser.GetCurrentTokenType() == VRML_DEF)
            named = true;
        else if (named) {
            name = parser.GetCurrentTokenString();
            named = false;
        } else
            type = parser.GetCurrentTokenString();
        if (!parser.Tokenize())
            break;
    }
}

// Up to `count` numbers after the field name; those not given keep their value.
void ReadNumbers(CVRMLParser& parser, double* values, int count) {
    parser.Tokenize();
    for (int i = 0; i < count && parser.GetCurrentTokenType() == VRML_NUMBER; ++i) {
        values[i] = parser.GetCurrentTokenNumericValue();
        if (!parser.Tokenize())
            return;
    }
}

// A string or a bracketed list of strings after the field name.
void ReadStrings(CVRMLParser& parser, std::vector<std::string>& strings) {
    parser.Tokenize();
    const bool list = parser.GetCurrentTokenType() == VRML_OPEN_BRACKET;
    if (list && !parser.Tokenize())
        return;
    while (parser.GetCurrentTokenType() == VRML_STRING) {
        strings.push_back(parser.GetCurrentTokenString());
        if (!parser.Tokenize() || !list)
            return;
    }
}

// TextureTransform composes Tc' = -C * S * R * C * T * Tc: the translation
// acts first, then the centre is added, the rotation and the scale act, and
// the centre is taken off. Texture2Transform scales about its centre, rotates
// about it, then translates, as the VRML 1.0 text orders it.
trelTexMatrix ReadTransformNode(CVRMLParser& parser, bool vrml97) {
    double translation[2] = {0.0, 0.0}, rotation = 0.0, scale[2] = {1.0, 1.0}, center[2] = {0.0, 0.0};
    ReadFields(parser, [&] {
        switch (parser.GetCurrentTokenType()) {
        case VRML_TRANSLATION: ReadNumbers(parser, translation, 2); return true;
        case VRML_ROTATION: ReadNumbers(parser, &rotation, 1); return true;
        case VRML_SCALE:
        case VRML_SCALEFACTOR: ReadNumbers(parser, scale, 2); return true;
        case VRML_CENTER: ReadNumbers(parser, center, 2); return true;
        default: return false;
        }
    });
    const TexAffine toCenter = Translation(center[0], center[1]);
    const TexAffine fromCenter = Translation(-center[0], -center[1]);
    const TexAffine turn = Rotation(rotation), stretch = Scaling(scale[0], scale[1]);
    const TexAffine shift = Translation(translation[0], translation[1]);
    if (vrml97)
        return ToTexMatrix(Then(Then(Then(Then(shift, toCenter), turn), stretch), fromCenter));
    return ToTexMatrix(Then(Then(Then(Then(fromCenter, stretch), turn), toCenter), shift));
}

// Texture and transform entries are recorded only into the entry of a named
// level, and never under a name.
template <class Entry, class Fill>
void RecordUnnamed(CVRMLParser& parser, Fill fill) {
    if (!parser.IsRecordingLevel())
        return;
    Entry* entry = new (std::nothrow) Entry;
    if (!entry)
        return;
    fill(*entry);
    parser.AddDictionaryObject(entry);
}

} // namespace

// ImageTexture, PixelTexture and Texture2 share their readers: the first file
// of `url` or `filename` that gives a picture, else the picture written in
// `image`.
std::shared_ptr<const trelTexture> CVRMLParser::ReadTextureNode() {
    std::vector<std::string> files;
    std::shared_ptr<const trelImage> written;
    bool repeat[2] = {true, true};
    ReadFields(*this, [&] {
        if (GetCurrentTokenType() == VRML_URL) {
            ReadStrings(*this, files);
            return true;
        }
        if (GetCurrentTokenType() != VRML_WORD)
            return false;
        const std::string field = GetCurrentTokenString();
        if (EqualsIgnoringCase(field, "filename")) {
            ReadStrings(*this, files);
        } else if (EqualsIgnoringCase(field, "image")) {
            Tokenize();
            written = ReadPixelImage();
        } else if (EqualsIgnoringCase(field, "repeatS") || EqualsIgnoringCase(field, "repeatT")) {
            const int axis = FoldCase(field.back()) == 's' ? 0 : 1;
            Tokenize();
            if (GetCurrentTokenType() == VRML_BOOLEAN) {
                repeat[axis] = GetCurrentTokenBooleanValue() != 0;
                Tokenize();
            }
        } else if (EqualsIgnoringCase(field, "wrapS") || EqualsIgnoringCase(field, "wrapT")) {
            const int axis = FoldCase(field.back()) == 's' ? 0 : 1;
            Tokenize();
            if (GetCurrentTokenType() == VRML_WORD) {
                repeat[axis] = !EqualsIgnoringCase(GetCurrentTokenString(), "CLAMP");
                Tokenize();
            }
        } else {
            return false;
        }
        return true;
    });
    std::shared_ptr<const trelImage> image;
    for (const std::string& file : files)
        if ((image = LoadTextureImage(file)))
            break;
    if (!image)
        image = std::move(written);
    if (!image)
        return nullptr;
    auto texture = std::make_shared<trelTexture>();
    texture->image = std::move(image);
    texture->repeatS = repeat[0];
    texture->repeatT = repeat[1];
    return texture;
}

// "USE name" or "NULL" in place of a texture or transform node: steps over
// it and returns true, with `named` the texture name it uses, if known.
bool CVRMLParser::StepOverUseOrNull(const NamedTexture*& named) {
    named = nullptr;
    if (GetCurrentTokenType() == VRML_USE) {
        Tokenize();
        named = TextureNames.Find(IOManager.GetCurrentTokenText());
        Tokenize();
        return true;
    }
    if (GetCurrentTokenType() == VRML_NULL) {
        Tokenize();
        return true;
    }
    return false;
}

void CVRMLParser::ReadTextureField(NamedTexture& appearance) {
    const bool keep = CurrentSeparator && !SkippingBlock;
    const NamedTexture* named = nullptr;
    if (StepOverUseOrNull(named)) {
        if (keep && named && named->hasTexture) {
            appearance.texture = named->texture;
            DefineTexture(appearance.texture);
        }
        return;
    }
    std::string name, type;
    WalkToNodeBody(*this, name, type);
    // Other textures (MovieTexture, a prototype's instance) are passed over.
    const bool known = keep && (EqualsIgnoringCase(type, "ImageTexture") || EqualsIgnoringCase(type, "PixelTexture"));
    std::shared_ptr<const trelTexture> texture;
    const bool read = ReadThenSkip(*this, 1, [&] {
        if (known)
            texture = ReadTextureNode();
    });
    if (!read || !known)
        return;
    appearance.texture = texture;
    DefineTexture(texture);
    NameTextureState(name, NamedTexture{texture, trelTexMatrix(), true, false});
}

void CVRMLParser::ReadTextureTransformField(NamedTexture& appearance) {
    const bool keep = CurrentSeparator && !SkippingBlock;
    const NamedTexture* named = nullptr;
    if (StepOverUseOrNull(named)) {
        if (keep && named && named->hasMatrix) {
            appearance.matrix = named->matrix;
            DefineTextureTransform(appearance.matrix);
        }
        return;
    }
    std::string name, type;
    WalkToNodeBody(*this, name, type);
    const bool known = keep && EqualsIgnoringCase(type, "TextureTransform");
    trelTexMatrix matrix;
    const bool read = ReadThenSkip(*this, 1, [&] {
        if (known)
            matrix = ReadTransformNode(*this, true);
    });
    if (!read || !known)
        return;
    appearance.matrix = matrix;
    DefineTextureTransform(matrix);
    NameTextureState(name, NamedTexture{nullptr, matrix, false, true});
}

int CVRMLParser::ParseTexture2() {
    if (GetVersion() != VRML_VERSION_1 || !CurrentSeparator || SkippingBlock)
        return SkipPassiveNode();
    const std::string name = DefinedEntity ? EntityName : std::string();
    AdvanceWhileKind({VRML_TEXTURE2});
    std::shared_ptr<const trelTexture> texture;
    if (!ReadThenSkip(*this, 0, [&] { texture = ReadTextureNode(); }))
        return 1;
    // A Texture2 without a picture turns texturing off below it.
    DefineTexture(texture);
    NameTextureState(name, NamedTexture{texture, trelTexMatrix(), true, false});
    return 1;
}

int CVRMLParser::ParseTexture2Transform() {
    if (GetVersion() != VRML_VERSION_1 || !CurrentSeparator || SkippingBlock)
        return SkipPassiveNode();
    const std::string name = DefinedEntity ? EntityName : std::string();
    AdvanceWhileKind({VRML_TEXTURE2TRANSFORM});
    trelTexMatrix matrix;
    if (!ReadThenSkip(*this, 0, [&] { matrix = ReadTransformNode(*this, false); }))
        return 1;
    DefineTextureTransform(matrix);
    NameTextureState(name, NamedTexture{nullptr, matrix, false, true});
    return 1;
}

int CVRMLParser::DefineTexture(const std::shared_ptr<const trelTexture>& texture) {
    if (!CurrentSeparator)
        return 0;
    std::shared_ptr<const trelTexture> kept = texture && texture->image ? texture : nullptr;
    RecordUnnamed<CVRMLTextureEntry>(*this, [&](CVRMLTextureEntry& e) { e.SetTexture(kept); });
    CurrentSeparator->SetTexture(std::move(kept));
    return 1;
}

int CVRMLParser::DefineTextureTransform(const trelTexMatrix& matrix) {
    if (!CurrentSeparator)
        return 0;
    const TexAffine combined = Then(FromTexMatrix(matrix), FromTexMatrix(CurrentSeparator->GetTexMatrix()));
    CurrentSeparator->SetTexMatrix(ToTexMatrix(combined));
    RecordUnnamed<CVRMLTextureTransformEntry>(*this, [&](CVRMLTextureTransformEntry& e) { e.SetMatrix(matrix); });
    return 1;
}

void CVRMLParser::NameTextureState(const std::string& name, const NamedTexture& state) {
    if (!name.empty() && MayBeUsed(name))
        TextureNames.Set(name, state);
}

// A USE of a name the object dictionary does not hold: a texture, a texture
// transform or an appearance gives its texture state again.
int CVRMLParser::UseTextureName(const std::string& name) {
    const NamedTexture* named = TextureNames.Find(name);
    if (!named)
        return 1;
    const NamedTexture found = *named;
    if (found.hasTexture)
        DefineTexture(found.texture);
    if (found.hasMatrix && !found.matrix.IsIdentity())
        DefineTextureTransform(found.matrix);
    return 1;
}
