#include "Scenes.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

int Scaled(double count, double scale) { return std::max(1, static_cast<int>(std::lround(count * scale))); }

void WriteColor(SceneWriter& out, Random& random) {
    out.Triple(random.Between(0.1, 0.9), random.Between(0.1, 0.9), random.Between(0.1, 0.9), 3);
}

// A place in the scene's cube of 1000 units around the origin.
void WritePlace(SceneWriter& out, Random& random) {
    out.Triple(random.Between(-500, 500), random.Between(-500, 500), random.Between(-500, 500), 3);
}

// A height field over a grid of columns x rows points, as a scanned or
// tessellated surface: one point per line, then quads as four indices and -1.
struct Grid {
    int columns, rows;
    double Height(int column, int row) const {
        return 4.0 * std::sin(column * 0.021) * std::cos(row * 0.017) + 0.5 * std::sin(column * row * 0.0003);
    }
    int Index(int column, int row) const { return row * columns + column; }
};

void WriteGridPoints(SceneWriter& out, const Grid& grid, const char* indent) {
    for (int row = 0; row < grid.rows; ++row) {
        for (int column = 0; column < grid.columns; ++column) {
            out << indent;
            out.Triple(column * 0.25, row * 0.25, grid.Height(column, row), 4) << ",\n";
        }
    }
}

void WriteGridQuad(SceneWriter& out, const Grid& grid, int column, int row, const char* indent) {
    out << indent << grid.Index(column, row) << ", " << grid.Index(column + 1, row) << ", "
        << grid.Index(column + 1, row + 1) << ", " << grid.Index(column, row + 1) << ", -1,\n";
}

void WriteGridQuads(SceneWriter& out, const Grid& grid, const char* indent) {
    for (int row = 0; row + 1 < grid.rows; ++row) {
        for (int column = 0; column + 1 < grid.columns; ++column)
            WriteGridQuad(out, grid, column, row, indent);
    }
}

// About 70 bytes of text per point (its line and its quad's line).
Grid GridOfBytes(double bytes) {
    constexpr int Columns = 1000;
    return Grid{Columns, std::max(2, static_cast<int>(bytes / (70.0 * Columns)))};
}

// The grid's points, then its quads, each list between the texts given.
void WriteGridMesh(SceneWriter& out, const Grid& grid, const char* beforePoints, const char* betweenLists,
                   const char* afterQuads, const char* indent) {
    out << beforePoints;
    WriteGridPoints(out, grid, indent);
    out << betweenLists;
    WriteGridQuads(out, grid, indent);
    out << afterQuads;
}

void WriteMeshV2(SceneWriter& out, double bytes) {
    WriteGridMesh(out, GridOfBytes(bytes),
                  "Shape {\n  appearance Appearance { material Material { diffuseColor 0.7 0.7 0.7 } }\n"
                  "  geometry IndexedFaceSet {\n    coord Coordinate { point [\n",
                  "    ] }\n    coordIndex [\n", "    ]\n  }\n}\n", "      ");
}

void WriteMeshSceneV2(SceneWriter& out, double scale) {
    out << "#VRML V2.0 utf8\n# one indexed face set over a grid of points\n";
    WriteMeshV2(out, 10e6 * scale);
}

void WriteMeshSceneV1(SceneWriter& out, double scale) {
    out << "#VRML V1.0 ascii\n# one indexed face set over a grid of points\n";
    WriteGridMesh(out, GridOfBytes(10e6 * scale),
                  "Separator {\n  Material { diffuseColor 0.7 0.7 0.7 }\n  Coordinate3 { point [\n",
                  "  ] }\n  IndexedFaceSet { coordIndex [\n", "  ] }\n}\n", "    ");
}

void WriteTransformsV2(SceneWriter& out, double scale) {
    Random random;
    out << "#VRML V2.0 utf8\n# placed and coloured boxes\n";
    for (int i = 0, count = Scaled(45000, scale); i < count; ++i) {
        out << "Transform {\n  translation ";
        WritePlace(out, random);
        out << "\n  rotation 0 0.707107 0.707107 ";
        out.Number(random.Between(0, 3.14), 4) << "\n  children Shape {\n"
                                               << "    appearance Appearance { material Material { diffuseColor ";
        WriteColor(out, random);
        out << " } }\n    geometry Box { size ";
        out.Triple(random.Between(1, 9), random.Between(1, 9), random.Between(1, 9), 3) << " }\n  }\n}\n";
    }
}

void WriteSeparatorsV1(SceneWriter& out, double scale) {
    Random random;
    out << "#VRML V1.0 ascii\n# placed and coloured cubes\nSeparator {\n";
    for (int i = 0, count = Scaled(65000, scale); i < count; ++i) {
        out << "  Separator {\n    Translation { translation ";
        WritePlace(out, random);
        out << " }\n    Material { diffuseColor ";
        WriteColor(out, random);
        out << " }\n    Cube { width ";
        out.Number(random.Between(1, 9), 3) << " height ";
        out.Number(random.Between(1, 9), 3) << " depth ";
        out.Number(random.Between(1, 9), 3) << " }\n  }\n";
    }
    out << "}\n";
}

// The uses of the part written first: each placed by a random move and
// turn, in the words of one version (`move`, `turn`, `use`).
void WriteUses(SceneWriter& out, double scale, const char* move, const char* turn, const char* use) {
    Random random;
    for (int i = 0, count = Scaled(110000, scale); i < count; ++i) {
        out << move;
        out.Triple(random.Between(-900, 900), random.Between(-900, 900), random.Between(-900, 900), 2);
        out << turn;
        out.Number(random.Between(0, 6.28), 3) << use;
    }
}

// One small mesh, defined once and used under many transforms.
void WriteUsedMeshV2(SceneWriter& out, double scale) {
    out << "#VRML V2.0 utf8\n# one mesh used many times\n"
        << "DEF Bracket Shape {\n  appearance Appearance { material Material { diffuseColor 0.6 0.6 0.65 } }\n"
        << "  geometry IndexedFaceSet {\n    coord Coordinate { point [ 0 0 0, 4 0 0, 4 1 0, 1 1 0, 1 3 0, 0 3 0,\n"
        << "      0 0 2, 4 0 2, 4 1 2, 1 1 2, 1 3 2, 0 3 2 ] }\n"
        << "    coordIndex [ 0 5 4 3 2 1 -1, 6 7 8 9 10 11 -1, 0 1 7 6 -1, 1 2 8 7 -1, 2 3 9 8 -1,\n"
        << "      3 4 10 9 -1, 4 5 11 10 -1, 5 0 6 11 -1 ]\n  }\n}\n";
    WriteUses(out, scale, "Transform { translation ", " rotation 0 0 1 ", " children USE Bracket }\n");
}

// The same in VRML 1.0: a separator places each use.
void WriteUsedMeshV1(SceneWriter& out, double scale) {
    out << "#VRML V1.0 ascii\n# one mesh used many times\n"
        << "DEF Bracket Separator {\n  Material { diffuseColor 0.6 0.6 0.65 }\n"
        << "  Coordinate3 { point [ 0 0 0, 4 0 0, 4 1 0, 1 1 0, 1 3 0, 0 3 0,\n"
        << "    0 0 2, 4 0 2, 4 1 2, 1 1 2, 1 3 2, 0 3 2 ] }\n"
        << "  IndexedFaceSet { coordIndex [ 0, 5, 4, 3, 2, 1, -1, 6, 7, 8, 9, 10, 11, -1, 0, 1, 7, 6, -1,\n"
        << "    1, 2, 8, 7, -1, 2, 3, 9, 8, -1, 3, 4, 10, 9, -1, 4, 5, 11, 10, -1, 5, 0, 6, 11, -1 ] }\n}\n";
    WriteUses(out, scale, "Separator { Translation { translation ", " } Rotation { rotation 0 0 1 ",
              " } USE Bracket }\n");
}

// Every node named, as CAD exporters name them: no name is ever used.
void WriteUniqueNamesV2(SceneWriter& out, double scale) {
    Random random;
    out << "#VRML V2.0 utf8\n# every node with a name of its own\n";
    for (int i = 0, count = Scaled(34000, scale); i < count; ++i) {
        const std::string id = std::to_string(i);
        out << "DEF Part_" << id << " Transform { translation ";
        WritePlace(out, random);
        out << "\n  children DEF Part_" << id << "_Shape Shape {\n    appearance DEF Part_" << id
            << "_Look Appearance { material DEF Part_" << id << "_Colour Material { diffuseColor ";
        WriteColor(out, random);
        out << " } }\n    geometry DEF Part_" << id << "_Body Box { size ";
        out.Triple(random.Between(1, 9), random.Between(1, 9), random.Between(1, 9), 3) << " } } }\n";
    }
}

// A few prototypes, each instanced many times with its own field values.
void WriteProtoInstancesV2(SceneWriter& out, double scale) {
    Random random;
    out << "#VRML V2.0 utf8\n# a few prototypes instanced many times\n"
        << "PROTO Bolt [ field SFVec3f position 0 0 0 field SFColor colour 0.5 0.5 0.5 field SFFloat length 10 ] {\n"
        << "  Transform { translation IS position children Shape {\n"
        << "    appearance Appearance { material Material { diffuseColor IS colour } }\n"
        << "    geometry Cylinder { radius 0.5 height IS length } } }\n}\n"
        << "PROTO Plate [ field SFVec3f position 0 0 0 field SFVec3f size 1 1 1 ] {\n"
        << "  Transform { translation IS position children Shape { geometry Box { size IS size } } }\n}\n"
        << "PROTO Marker [ field SFVec3f position 0 0 0 field SFFloat radius 1 ] {\n"
        << "  Transform { translation IS position children Shape { geometry Sphere { radius IS radius } } }\n}\n";
    for (int i = 0, count = Scaled(140000, scale); i < count; ++i) {
        const double x = random.Between(-900, 900), y = random.Between(-900, 900), z = random.Between(-900, 900);
        switch (i % 3) {
        case 0:
            out << "Bolt { position ";
            out.Triple(x, y, z, 2) << " colour ";
            WriteColor(out, random);
            out << " length ";
            out.Number(random.Between(2, 20), 2) << " }\n";
            break;
        case 1:
            out << "Plate { position ";
            out.Triple(x, y, z, 2) << " size ";
            out.Triple(random.Between(1, 9), random.Between(1, 9), 0.5, 2) << " }\n";
            break;
        default:
            out << "Marker { position ";
            out.Triple(x, y, z, 2) << " radius ";
            out.Number(random.Between(0.5, 3), 2) << " }\n";
            break;
        }
    }
}

// A library of many prototypes, never instanced, before an ordinary mesh:
// every word of the mesh is looked up among the prototype names.
void WriteProtoLibraryV2(SceneWriter& out, double scale) {
    out << "#VRML V2.0 utf8\n# a prototype library, then a mesh\n";
    const uint64_t start = out.Size();
    for (int i = 0, count = Scaled(5000, scale); i < count; ++i) {
        out << "PROTO Fitting_" << i
            << " [ field SFVec3f position 0 0 0 field SFColor colour 0.8 0.8 0.8 field SFVec3f size 1 1 1 ] {\n"
            << "  Transform { translation IS position children Shape {\n"
            << "    appearance Appearance { material Material { diffuseColor IS colour } }\n"
            << "    geometry Box { size IS size } } }\n}\n";
    }
    WriteMeshV2(out, std::max(1e6, 10e6 * scale - static_cast<double>(out.Size() - start)));
}

// A scanned point cloud: about 22 bytes per point.
void WritePointSetV2(SceneWriter& out, double scale) {
    Random random;
    out << "#VRML V2.0 utf8\n# a scanned point cloud\nShape { geometry PointSet { coord Coordinate { point [\n";
    for (int i = 0, count = Scaled(10e6 / 22.0, scale); i < count; ++i) {
        out.Triple(random.Between(-50, 50), random.Between(-50, 50), random.Between(-5, 5), 3) << ",\n";
    }
    out << "] } } }\n";
}

// A terrain of 1000 x 1000 heights at scale 1, more points on a side above.
void WriteElevationGridV2(SceneWriter& out, double scale) {
    const Grid grid{Scaled(1000, std::sqrt(scale)), Scaled(1000, std::sqrt(scale))};
    out << "#VRML V2.0 utf8\n# a terrain\nShape { geometry ElevationGrid {\n  xDimension " << grid.columns
        << " zDimension " << grid.rows << " xSpacing 0.5 zSpacing 0.5\n  height [\n";
    for (int row = 0; row < grid.rows; ++row) {
        for (int column = 0; column < grid.columns; ++column) {
            out.Number(grid.Height(column, row), 4) << (column % 10 == 9 ? ",\n" : ", ");
        }
    }
    out << "  ]\n} }\n";
}

// VRML 1.0 as CAD exporters write it: all points in one Coordinate3 at the
// top, then one separator per coloured patch of faces indexing into them.
void WriteSharedCoordinatesV1(SceneWriter& out, double scale) {
    Random random;
    const Grid grid{1000, std::max(2, Scaled(200, scale))}; // a quad needs two rows
    const int separators = Scaled(20000, scale), quadsPerSeparator = 6;
    out << "#VRML V1.0 ascii\n# one coordinate list shared by many patches\nSeparator {\n  Coordinate3 { point [\n";
    WriteGridPoints(out, grid, "    ");
    out << "  ] }\n";
    const int quadColumns = grid.columns - 1;
    for (int s = 0, quad = 0; s < separators; ++s) {
        out << "  Separator {\n    Material { diffuseColor ";
        WriteColor(out, random);
        out << " }\n    IndexedFaceSet { coordIndex [\n";
        for (int q = 0; q < quadsPerSeparator; ++q, ++quad) {
            const int row = (quad / quadColumns) % (grid.rows - 1);
            WriteGridQuad(out, grid, quad % quadColumns, row, "      ");
        }
        out << "    ] }\n  }\n";
    }
    out << "}\n";
}

// A CAD export of parts with hundreds of faces each: the points of every
// part in one Coordinate3 at the top, then one separator per part, in the
// order of the list. About 80 bytes per point with its quad.
void WriteCadExportV1(SceneWriter& out, double scale) {
    Random random;
    const Grid grid{1000, std::max(2, static_cast<int>(10e6 * scale / (80.0 * 1000)))};
    constexpr int QuadsPerPart = 500;
    out << "#VRML V1.0 ascii\n# a CAD assembly: one coordinate list, a separator per part\nSeparator {\n"
        << "  Coordinate3 { point [\n";
    WriteGridPoints(out, grid, "    ");
    out << "  ] }\n";
    int quadsInPart = 0;
    for (int row = 0; row + 1 < grid.rows; ++row) {
        for (int column = 0; column + 1 < grid.columns; ++column) {
            if (quadsInPart == 0) {
                out << "  Separator {\n    Material { diffuseColor ";
                WriteColor(out, random);
                out << " }\n    IndexedFaceSet { coordIndex [\n";
            }
            WriteGridQuad(out, grid, column, row, "      ");
            if (++quadsInPart == QuadsPerPart) {
                out << "    ] }\n  }\n";
                quadsInPart = 0;
            }
        }
    }
    if (quadsInPart > 0)
        out << "    ] }\n  }\n";
    out << "}\n";
}

} // namespace

const std::vector<SceneKind>& SceneKinds() {
    static const std::vector<SceneKind> kinds = {
        {"mesh_v2", "VRML 2.0 indexed face set, grid of quads", 250, 3, WriteMeshSceneV2},
        {"mesh_v1", "VRML 1.0 Coordinate3 + IndexedFaceSet, grid of quads", 250, 3, WriteMeshSceneV1},
        {"boxes_v2", "VRML 2.0 Transform > Shape > Material + Box", 80, 0, WriteTransformsV2},
        {"cubes_v1", "VRML 1.0 Separator > Translation, Material, Cube", 80, 0, WriteSeparatorsV1},
        {"use_v2", "one DEF mesh, USE under a Transform each", 60, 4, WriteUsedMeshV2},
        {"use_v1", "one DEF mesh, USE in a Separator each (VRML 1.0)", 60, 4, WriteUsedMeshV1},
        {"names_v2", "a unique DEF name on every node", 60, 4, WriteUniqueNamesV2},
        {"instances_v2", "three PROTOs, each instanced many times", 60, 0, WriteProtoInstancesV2},
        {"library_v2", "5,000 PROTO declarations per 10 MB, then a mesh", 40, 0, WriteProtoLibraryV2},
        {"points_v2", "PointSet, 450,000 points per 10 MB", 100, 0, WritePointSetV2},
        {"terrain_v2", "ElevationGrid, 1000 x 1000 per 10 MB", 100, 0, WriteElevationGridV2},
        {"patches_v1", "VRML 1.0 CAD: one Coordinate3, 20,000 separators per 10 MB", 100, 0, WriteSharedCoordinatesV1},
    };
    return kinds;
}

const std::vector<SceneKind>& ScaleKinds() {
    static const std::vector<SceneKind> kinds = {
        SceneKinds()[0],
        {"cad_v1", "VRML 1.0 CAD: one Coordinate3, a separator per part of 500 quads", 100, 0, WriteCadExportV1},
    };
    return kinds;
}
