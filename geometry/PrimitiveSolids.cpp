#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>

namespace {
// Single-precision full and half turns, as the geometry library takes them.
constexpr double FullTurn = 6.283185958862305;
constexpr double HalfTurn = 3.1415929794311523;
// A cylinder nearer to zero than this in radius or height is not built.
constexpr double DegenerateSize = 1e-6;
} // namespace

int CVRMLParser::ReadSolidFields(VRMLTokenTypes nodeKind, std::initializer_list<SolidField> fields) {
    if (!CurrentSeparator)
        return 0;
    AdvanceWhileKind({VRML_OPEN_BRACE, nodeKind});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE) {
        // In the standard mode a value of the wrong kind is not taken: it
        // is the next field (or the node's end), never stepped over.
        bool taken = true;
        for (const SolidField& field : fields) {
            if (GetCurrentTokenType() != field.keyword)
                continue;
            Tokenize();
            if (field.parts) {
                const int parts = ReadPartsValue();
                taken = parts >= 0 || !StandardSemantics;
                if (parts >= 0)
                    *field.parts = parts;
                break;
            }
            for (int i = 0; i < field.count; ++i) {
                if (i > 0)
                    Tokenize();
                if (field.number && GetCurrentTokenType() == VRML_NUMBER)
                    field.number[i] = GetCurrentTokenNumericValue();
                else if (field.flag && GetCurrentTokenType() == VRML_BOOLEAN)
                    *field.flag = GetCurrentTokenBooleanValue();
                else
                    taken = !StandardSemantics;
                if (!taken)
                    break;
            }
            break;
        }
        if (taken && !Tokenize())
            break;
    }
    return 1;
}

namespace {
// The parts one token names: SIDES, TOP, BOTTOM or ALL, or several joined by
// '|' when the file writes them without spaces ("SIDES|BOTTOM"); -1 for a
// token that names none.
int PartsNamed(std::string_view text) {
    int parts = -1;
    while (!text.empty()) {
        const size_t end = std::min(text.find('|'), text.size());
        const std::string_view name = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        int bit = 0;
        if (name == "SIDES")
            bit = CVRMLParser::CylinderSides;
        else if (name == "TOP")
            bit = CVRMLParser::CylinderTop;
        else if (name == "BOTTOM")
            bit = CVRMLParser::CylinderBottom;
        else if (name == "ALL")
            bit = CVRMLParser::CylinderAll;
        else if (!name.empty())
            return -1;
        parts = std::max(parts, 0) | bit;
    }
    return parts;
}
} // namespace

// A parts value at the current token: one name, or names between
// parentheses joined by '|' (the closing parenthesis is left current).
// -1 when the token starts no parts value.
int CVRMLParser::ReadPartsValue() {
    if (GetCurrentTokenType() != VRML_OPEN_PAREN)
        return PartsNamed(IOManager.GetCurrentTokenText());
    int parts = 0;
    while (Tokenize() && GetCurrentTokenType() != VRML_CLOSE_PAREN && GetCurrentTokenType() != VRML_CLOSE_BRACE)
        parts |= std::max(PartsNamed(IOManager.GetCurrentTokenText()), 0);
    return GetCurrentTokenType() == VRML_CLOSE_PAREN ? parts : -1;
}

int CVRMLParser::ParseCube() {
    double width = 2.0, height = 2.0, depth = 2.0;
    if (!ReadSolidFields(VRML_CUBE, {{VRML_WIDTH, &width}, {VRML_HEIGHT, &height}, {VRML_DEPTH, &depth}}))
        return 0;
    return DefineCube(width, height, depth);
}

int CVRMLParser::ParseBox() {
    double size[3] = {2.0, 2.0, 2.0};
    if (!ReadSolidFields(VRML_BOX, {{VRML_SIZE, size, nullptr, 3}}))
        return 0;
    return DefineCube(size[0], size[1], size[2]);
}

// The standard mode builds only the parts a cone or cylinder asks for:
// VRML 1.0's parts, VRML 2.0's side, top and bottom.
int CVRMLParser::ParseCone() {
    double bottomRadius = 1.0, height = 2.0;
    int side = 1, bottom = 1;
    int parts = CylinderSides | CylinderBottom;
    const bool read = StandardSemantics ? ReadSolidFields(VRML_CONE, {{VRML_BOTTOMRADIUS, &bottomRadius},
                                                                      {VRML_HEIGHT, &height},
                                                                      {VRML_SIDE, nullptr, &side},
                                                                      {VRML_BOTTOM, nullptr, &bottom},
                                                                      {VRML_PARTS, nullptr, nullptr, 1, &parts}})
                                        : ReadSolidFields(VRML_CONE, {{VRML_BOTTOMRADIUS, &bottomRadius},
                                                                      {VRML_HEIGHT, &height},
                                                                      {VRML_SIDE, nullptr, &side},
                                                                      {VRML_BOTTOM, nullptr, &bottom}});
    if (!read)
        return 0;
    side = side && (parts & CylinderSides);
    bottom = bottom && (parts & CylinderBottom);
    return DefineCone(bottomRadius, height, side, bottom);
}

int CVRMLParser::ParseCylinder() {
    double radius = 1.0, height = 2.0;
    int parts = CylinderAll, side = 1, top = 1, bottom = 1;
    const bool read =
        StandardSemantics
            ? ReadSolidFields(VRML_CYLINDER, {{VRML_RADIUS, &radius},
                                              {VRML_HEIGHT, &height},
                                              {VRML_PARTS, nullptr, nullptr, 1, &parts},
                                              {VRML_SIDE, nullptr, &side},
                                              {VRML_TOP, nullptr, &top},
                                              {VRML_BOTTOM, nullptr, &bottom}})
            : ReadSolidFields(VRML_CYLINDER, {{VRML_RADIUS, &radius}, {VRML_HEIGHT, &height}, {VRML_PARTS, nullptr}});
    if (!read)
        return 0;
    parts &= (side ? CylinderSides : 0) | (top ? CylinderTop : 0) | (bottom ? CylinderBottom : 0);
    return DefineCylinder(radius, height, parts);
}

int CVRMLParser::ParseSphere() {
    double radius = 1.0;
    if (!ReadSolidFields(VRML_SPHERE, {{VRML_RADIUS, &radius}}))
        return 0;
    return DefineSphere(radius);
}

int CVRMLParser::DefineCube(double width, double height, double depth) {
    if (!CurrentSeparator)
        return 0;
    const float a = static_cast<float>(width / 2.0), b = static_cast<float>(height / 2.0),
                c = static_cast<float>(depth / 2.0);
    trelFloatPoint corners[8] = {{-a, -b, -c}, {a, -b, -c}, {a, b, -c}, {-a, b, -c},
                                 {-a, -b, c},  {a, -b, c},  {a, b, c},  {-a, b, c}};
    TransformPointsInPlace(corners, 8, CurrentSeparator->GetMatrix());
    trelBox* box = new (std::nothrow) trelBox;
    if (!box)
        return 0;
    box->SetBox(corners);
    int result = AddObjectToSeparator(box);
    RecordEntry<CVRMLCubeEntry>(*this, [&](auto& e) {
        e.SetWidth(width);
        e.SetHeight(height);
        e.SetDepth(depth);
    });
    return result;
}

// Cones and cylinders stand on the file's y axis, centred on the origin,
// before the modelling transformation.
trelMatrix4x4 CVRMLParser::SolidPlacement(double height) {
    return CreateBaseTranslationMatrix() *
           GetDisplacementMatrix(trelFloatPoint(0.0f, static_cast<float>(-height / 2.0), 0.0f)) *
           CurrentSeparator->GetMatrix();
}

int CVRMLParser::DefineCone(double bottomRadius, double height, int side, int bottom) {
    if (!CurrentSeparator)
        return 0;
    const trelMatrix4x4 placement = SolidPlacement(height);
    int result = 0;
    if (side) {
        if (trelCone* cone = new (std::nothrow) trelCone) {
            cone->SetCone(height, bottomRadius, 0.0);
            cone->SetXformation(placement);
            result = AddObjectToSeparator(cone);
        }
    }
    // The loader's own mode gives a VRML 1.0 cone its base whatever it asks.
    if (bottom || (GetVersion() == VRML_VERSION_1 && !StandardSemantics)) {
        if (trelDisk* disk = new (std::nothrow) trelDisk) {
            disk->SetDisk(0.0, bottomRadius, placement, true);
            result = AddObjectToSeparator(disk);
        }
    }
    RecordEntry<CVRMLConeEntry>(*this, [&](auto& e) {
        e.SetBottomRadius(bottomRadius);
        e.SetHeight(height);
        e.SetSide(side);
        e.SetBottom(bottom);
    });
    return result;
}

int CVRMLParser::DefineCylinder(double radius, double height, int parts) {
    if (!CurrentSeparator)
        return 0;
    if (std::fabs(radius) < DegenerateSize || std::fabs(height) < DegenerateSize)
        return 0;
    const trelMatrix4x4 placement = SolidPlacement(height);
    int result = 0;
    if (parts & CylinderSides) {
        trelCylinder* cylinder = new (std::nothrow) trelCylinder;
        if (!cylinder)
            return 0;
        cylinder->SetCylinder(height, radius, 1.0, trelVector(1.0f, 0.0f, 0.0f), 0.0, FullTurn);
        cylinder->SetXformation(placement);
        result = AddObjectToSeparator(cylinder);
        if (!result)
            return 0;
    }

    // Caps in world space: the radius follows the transformation's scale
    // along the local x axis, the normal the transformed axis.
    const trelFloatPoint base = trelFloatPoint(0.0f, 0.0f, 0.0f) * placement;
    const trelFloatPoint rim = trelFloatPoint(static_cast<float>(radius), 0.0f, 0.0f) * placement;
    const double capRadius = trelVector(base, rim).Length();
    const trelVector axis = trelVector(0.0f, 0.0f, 1.0f) * placement;
    const trelVector alongAxis = trelVector(0.0f, 0.0f, static_cast<float>(height)) * placement;
    const bool perPart = CurrentSeparator->GetMaterialBinding() == VRML_BINDING_PER_PART ||
                         CurrentSeparator->GetMaterialBinding() == VRML_BINDING_PER_PART_INDEXED;
    trelFloatPoint baseCentre = base;
    trelFloatPoint farCentre = base + alongAxis;
    // Without its side, the cylinder's result is its caps'.
    if (parts & CylinderBottom) {
        const int made = AddDiskToModel(baseCentre, capRadius, axis, perPart ? 1 : 0);
        result = result ? result : made;
    }
    if (parts & CylinderTop) {
        const int made = AddDiskToModel(farCentre, capRadius, alongAxis, perPart ? 2 : 0);
        result = result ? result : made;
    }
    RecordEntry<CVRMLCylinderEntry>(*this, [&](auto& e) {
        e.SetRadius(radius);
        e.SetHeight(height);
        e.SetParts(parts);
    });
    return result;
}

int CVRMLParser::DefineSphere(double radius) {
    if (!CurrentSeparator)
        return 0;
    trelSphere* sphere = new (std::nothrow) trelSphere;
    if (!sphere)
        return 0;
    sphere->SetSphere(trelFloatPoint(0.0f, 0.0f, 0.0f), trelVector(1.0f, 0.0f, 0.0f), trelVector(0.0f, 0.0f, 1.0f),
                      radius, 0.0, FullTurn, 0.0, HalfTurn);
    sphere->SetXformation(CurrentSeparator->GetMatrix());
    int result = AddObjectToSeparator(sphere);
    RecordEntry<CVRMLSphereEntry>(*this, [&](auto& e) { e.SetRadius(radius); });
    return result;
}

int CVRMLParser::AddDiskToModel(trelFloatPoint& center, double radius, trelVector normal, int part) {
    if (!CanAddObjectToSeparator())
        return 1;
    trelDisk* disk = new (std::nothrow) trelDisk;
    if (!disk)
        return 0;
    disk->SetDisk(0.0, radius, CreateMatrixFromPlane(trelPlane(center, normal)), true);
    return AddObjectToSeparator(disk, part);
}
