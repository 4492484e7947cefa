#include "VRMLSeparator.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"

trelMatrix4x4 CVRMLParser::CreateBaseTranslationMatrix() {
    // A quarter turn about x (deliberately not exactly pi/2) that stands the
    // library's z-axis solids on the file's y axis. Made once: every cone and
    // cylinder asks for it.
    static const trelMatrix4x4 base = CreateRotationMatrixForNormalAngle(trelVector(1.0f, 0.0f, 0.0f), -1.5707965);
    return base;
}

int CVRMLParser::DefineTranslation(trelFloatPoint& translation) {
    if (!CurrentSeparator)
        return 0;
    CurrentSeparator->ApplyTranslation(translation);
    RecordEntry<CVRMLTranslationEntry>(*this, [&](auto& e) { e.SetTranslation(translation); });
    return 1;
}

int CVRMLParser::DefineScale(trelFloatPoint& scaleFactor) {
    if (!CurrentSeparator)
        return 0;
    CurrentSeparator->ApplyScale(scaleFactor);
    RecordEntry<CVRMLScaleEntry>(*this, [&](auto& e) { e.SetScaleFactor(scaleFactor); });
    return 1;
}

int CVRMLParser::DefineRotation(trelMatrix4x4& rotation) {
    if (!CurrentSeparator)
        return 0;
    CurrentSeparator->ApplyRotation(rotation);
    RecordEntry<CVRMLRotationEntry>(*this, [&](auto& e) { e.SetRotation(rotation); });
    return 1;
}

int CVRMLParser::DefineMatrixTransform(trelMatrix4x4& matrix) {
    if (!CurrentSeparator)
        return 0;
    CurrentSeparator->ApplyMatrix(matrix);
    RecordEntry<CVRMLMatrixTransformEntry>(*this, [&](auto& e) { e.SetMatrix(matrix); });
    return 1;
}

namespace {
// A transform without centre, scale or scale orientation, whose rotation is
// finite (a non-finite factor spreads NaN through the identities' zeros).
bool IsPlainTransform(const trelFloatPoint& center, const trelFloatPoint& scaleFactor,
                      const trelMatrix4x4& scaleOrientation, const trelMatrix4x4& rotation) {
    return center.x == 0.0f && center.y == 0.0f && center.z == 0.0f && scaleFactor.x == 1.0f && scaleFactor.y == 1.0f &&
           scaleFactor.z == 1.0f && IsIdentityMatrix(scaleOrientation) && IsFiniteMatrix(rotation);
}
} // namespace

// The composite acts on a point as VRML 2.0 defines Transform: move the centre
// to the origin, undo the scale orientation, scale, redo the scale
// orientation, rotate, move the centre back, translate. (Row vectors: the
// left factor acts first.)
int CVRMLParser::DefineTransform(trelFloatPoint& translation, trelFloatPoint& scaleFactor, trelMatrix4x4& rotation,
                                 trelMatrix4x4& scaleOrientation, trelFloatPoint& center) {
    if (!CurrentSeparator)
        return 0;
    trelMatrix4x4 composite;
    if (IsPlainTransform(center, scaleFactor, scaleOrientation, rotation)) {
        // Most transforms only turn and move: every other factor is the
        // identity, whose products hand a finite factor on unchanged.
        composite = rotation * GetDisplacementMatrix(translation);
    } else {
        trelMatrix4x4 centring = GetDisplacementMatrix(trelFloatPoint(-center.x, -center.y, -center.z));
        composite = centring * GetInverseMatrix(scaleOrientation) * GetScaleMatrix(scaleFactor) * scaleOrientation *
                    rotation * GetInverseMatrix(centring) * GetDisplacementMatrix(translation);
    }
    CurrentSeparator->ApplyMatrix(composite);
    RecordEntry<CVRMLTransformEntry>(*this, [&](auto& e) {
        e.SetTranslation(translation);
        e.SetScaleFactor(scaleFactor);
        e.SetRotation(rotation);
        e.SetScaleOrientation(scaleOrientation);
        e.SetCenter(center);
    });
    return 1;
}

int CVRMLParser::ParseTranslation() {
    if (!CurrentSeparator)
        return 0;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_OPEN_BRACKET, VRML_TRANSLATION});
    trelFloatPoint translation(0.0f, 0.0f, 0.0f);
    ReadOptionalTriple(translation);
    AdvanceToClosingBrace();
    return DefineTranslation(translation);
}

int CVRMLParser::ParseScale() {
    if (!CurrentSeparator)
        return 0;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_OPEN_BRACKET, VRML_SCALEFACTOR, VRML_SCALE});
    trelFloatPoint scaleFactor(1.0f, 1.0f, 1.0f);
    ReadOptionalTriple(scaleFactor);
    AdvanceToClosingBrace();
    return DefineScale(scaleFactor);
}

int CVRMLParser::ParseRotation() {
    if (!CurrentSeparator)
        return 0;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_ROTATION});
    trelVector axis;
    double angle = 0.0;
    if (!ParseRotationVector(axis, angle))
        return 0;
    trelMatrix4x4 rotation = CreateRotationMatrixForNormalAngle(axis, angle);
    return DefineRotation(rotation);
}

int CVRMLParser::ParseMatrixTransform() {
    if (!CurrentSeparator)
        return 0;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_MATRIX, VRML_MATRIXTRANSFORM});
    trelMatrix4x4 matrix;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (GetCurrentTokenType() != VRML_NUMBER)
                continue;
            matrix(row, column) = static_cast<float>(GetCurrentTokenNumericValue());
            Tokenize();
        }
    }
    return DefineMatrixTransform(matrix);
}

int CVRMLParser::ParseTransform() {
    if (!CurrentSeparator)
        return 0;
    int result = 0;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_TRANSFORM});
    const bool isGroup = GetVersion() == VRML_VERSION_2;
    if (isGroup) {
        // The level and its group carry the DEF name; the transform's own
        // entry is recorded unnamed inside the level's entry.
        DefineSeparator();
        ForgetPendingDef();
    }

    trelFloatPoint translation(0.0f, 0.0f, 0.0f), scaleFactor(1.0f, 1.0f, 1.0f), center(0.0f, 0.0f, 0.0f);
    trelMatrix4x4 rotation, scaleOrientation;
    CGenericIOState childrenPosition;
    bool hasChildren = false;
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        trelVector axis;
        double angle = 0.0;
        switch (GetCurrentTokenType()) {
        case VRML_TRANSLATION:
            Tokenize();
            ParsePoint(translation);
            break;
        case VRML_ROTATION:
            Tokenize();
            ParseRotationVector(axis, angle);
            rotation = CreateRotationMatrixForNormalAngle(axis, angle);
            break;
        case VRML_SCALE:
        case VRML_SCALEFACTOR:
            Tokenize();
            ParsePoint(scaleFactor);
            break;
        case VRML_SCALEORIENTATION:
            Tokenize();
            ParseRotationVector(axis, angle);
            scaleOrientation = CreateRotationMatrixForNormalAngle(axis, angle);
            break;
        case VRML_CENTER:
            Tokenize();
            ParsePoint(center);
            break;
        case VRML_CHILDREN:
            Tokenize();
            hasChildren = SaveIOState(childrenPosition) != 0;
            if (GetCurrentTokenType() == VRML_OPEN_BRACKET)
                SkipArray(1);
            else
                SkipBlock(1);
            ForgetPendingDef();
            break;
        case VRML_ADDCHILDREN:
        case VRML_REMOVECHILDREN:
            Tokenize();
            if (GetCurrentTokenType() != VRML_NULL)
                SkipBlock(1);
            break;
        default: Tokenize(); break;
        }
    }
    result = DefineTransform(translation, scaleFactor, rotation, scaleOrientation, center);

    if (isGroup) {
        // Second pass: the children, now that the whole transformation is in
        // place, wherever the children field stood. Without a children field
        // there is nothing to read.
        if (hasChildren) {
            CGenericIOState endPosition;
            SaveIOState(endPosition);
            RestoreIOState(childrenPosition);
            if (GetCurrentTokenType() == VRML_OPEN_BRACKET) {
                Tokenize();
                while (GetCurrentTokenType() != VRML_CLOSE_BRACKET && GetCurrentTokenType() != VRML_END_OF_INPUT)
                    if (ParseBlock())
                        result = 1;
            } else {
                result = ParseBlock();
            }
            RestoreIOState(endPosition);
        }
        PopSeparator();
    }
    return result;
}
