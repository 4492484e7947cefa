#pragma once
// The step every exporter shares: the loaded world turned into what file
// formats hold. Groups keep their tree and names; each object becomes
// indexed triangles with normals, line strips and points, in the units asked
// for, with one of the scene's distinct materials, and the colours, texture
// coordinates and texture its file gives.

#include "OutputFrame.h"
#include "host/geometry/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrml {

struct ExportGroup {
    std::string name;         // valid UTF-8; empty for an unnamed group
    int parent = -1;          // index of the parent group; -1 for the world
    int depth = 0;            // the world is 0
    std::vector<int> groups;  // child groups, in insertion order
    std::vector<int> objects; // the group's own objects, in insertion order
};

// A texture as the scene's objects use it: the image is shared with the
// loaded world, never copied.
struct ExportTexture {
    std::shared_ptr<const trelImage> image; // never null
    bool repeatS = true, repeatT = true;
    // Every pixel grey: VRML then takes the picture as an intensity that
    // modulates the object's colour; a coloured picture replaces that colour.
    bool intensity = false;
};

// Indexed triangles with normals, line strips and points: an object's
// own, in world space, or a shape several objects share, in its local space.
struct ExportGeometry {
    // Triangles over shared vertices: a vertex is one (position, normal,
    // colour, texture coordinate), so a colour given per face splits the
    // vertices its faces share.
    std::vector<trelFloatPoint> positions;
    std::vector<trelVector> normals;                     // unit length, one per position
    std::vector<uint32_t> triangles;                     // three indices a triangle, counter-clockwise
    std::vector<std::vector<trelFloatPoint>> lineStrips; // each at least two points
    std::vector<trelFloatPoint> points;
    // The file's colours (display values, as the file gives them), when it
    // gives any: one per position, then one per point of each line strip in
    // turn, then one per point. A point set makes an object per point, so
    // the colours of all three kinds share one array.
    std::vector<trelChroma> colors;
    // When the file gives texture coordinates or a texture: one per position,
    // with the file's t axis (up the image).
    std::vector<trelTexCoord> texCoords;

    size_t GetTriangleCount() const { return triangles.size() / 3; }
    bool IsEmpty() const { return triangles.empty() && lineStrips.empty() && points.empty(); }
    bool HasColors() const { return !colors.empty(); }
    bool HasTexCoords() const { return !texCoords.empty(); }
    size_t GetPointColorStart() const; // where the points' colours start in `colors`
};

struct ExportObject : ExportGeometry {
    std::string name; // valid UTF-8; empty when the object has none
    trelObjectTypes type = TREL_BOX;
    int group = 0;
    int material = 0;
    int texture = -1; // into ExportScene::textures; only for an object with texture coordinates
    // An instance: its geometry is ExportScene::shapes[shape] (its own
    // geometry is then empty), placed by `placement`, which includes the
    // scene's frame and is a rotation, a positive scale and a move.
    int shape = -1;
    trelMatrix4x4 placement;
};

struct ExportScene {
    // groups[0] is the world; a parent always comes before its children.
    std::vector<ExportGroup> groups;
    std::vector<ExportObject> objects;   // in the order of a depth-first walk
    std::vector<ExportGeometry> shapes;  // geometry shared by instances, each in its local space
    std::vector<trelMaterial> materials; // the distinct front materials, in order of first use
    std::vector<ExportTexture> textures; // the distinct textures (image and wrap), in order of first use
    OutputFrame frame;                   // applied to the loaded coordinates
    std::string name;                    // for the root when the world has none (the file's name)
    // With a triangle budget: the triangles the scene stores (a shared
    // shape once), counted before any was made, and the budget. A scene
    // over it holds no geometry, and no object was handed over.
    size_t countedTriangles = 0, maxTriangles = 0;
    bool IsOverBudget() const { return maxTriangles > 0 && countedTriangles > maxTriangles; }

    // The object's own geometry, or its shape's for an instance.
    const ExportGeometry& GeometryOf(const ExportObject& object) const {
        return object.shape >= 0 ? shapes[static_cast<size_t>(object.shape)] : object;
    }

    size_t GetTriangleCount() const;
    size_t GetLineStripCount() const;
    size_t GetPointCount() const;
    // The box of every exported vertex: triangles, lines and points.
    trelBBox GetBounds() const;
};

// An object's geometry in world space: its own, or for an instance its
// shape placed (normals by the inverse transpose, made unit again), made in
// `placed`. For formats without instancing.
const ExportGeometry& WorldGeometryOf(const ExportScene& scene, const ExportObject& object, ExportGeometry& placed);

struct ExportOptions {
    trelTessellationOptions tessellation; // `attributes` is set for each object that has any
    // Applied to every coordinate: the scale (see UnitScaleToFile) and axes.
    OutputFrame frame;
    // Objects tessellated at once, each on a thread; the scene is the same
    // for any number.
    int threads = 1;
    // Objects that share a geometry become instances of one shape (see
    // ShapeSharing.h) instead of each carrying its own copy.
    bool instancing = false;
    // The most triangles the scene may store; 0 for no limit. They are
    // counted first, and a scene over the budget is not tessellated.
    size_t maxTriangles = 0;
};

// The factor that undoes the loader's unit step for a world loaded with
// these image units (4 none, 3 ×100, 2 ×1000, 1 ×1,000,000), so that
// coordinates come back in the file's own unit.
double UnitScaleToFile(int imageUnits);

// Tessellates the world object by object, with the attributes of each
// object that has any. `progress`, when given, receives the percentage of objects
// done (0 to 100, increasing), always on the calling thread.
ExportScene BuildExportScene(const C3DWorld& world, const ExportOptions& options,
                             const std::function<void(int)>& progress = {});

// The same, streamed: `scene` receives the groups, materials and shapes,
// and `ready` is called (false stops there); then each object, in order,
// is made with its geometry, handed to `add`, and released again: the
// scene never holds the objects. Textures are added to the scene as
// objects first use them, before `add` sees the object. Objects are
// tessellated a batch at a time on `options.threads` threads; `add` and
// `progress` are called on the calling thread only.
void StreamExportScene(const C3DWorld& world, const ExportOptions& options, ExportScene& scene,
                       const std::function<bool()>& ready, const std::function<void(const ExportObject&)>& add,
                       const std::function<void(int)>& progress = {});

// Names read from files may hold any bytes; formats want UTF-8. Valid UTF-8
// passes through, any other byte is taken as Latin-1.
std::string ToValidUtf8(std::string_view text);

// Material figures shared by the exporters.
// The shininess as a Phong exponent (0 to 128): files give VRML's 0 to 1,
// the loader's default is already an exponent.
double PhongExponent(float shininess);
// The roughness of a metallic-roughness material that looks like that exponent.
double RoughnessFromExponent(double exponent);
float Clamp01(float value); // NaN becomes 0

} // namespace vrml
