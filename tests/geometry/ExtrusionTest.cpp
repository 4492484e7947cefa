#include "TestScene.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {
std::string Extrusion(const std::string& fields) { return "Shape { geometry Extrusion { " + fields + " } }\n"; }

std::string Spine(const std::vector<trelFloatPoint>& points) {
    std::string spine = "spine [";
    for (const trelFloatPoint& p : points)
        spine += " " + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + ",";
    return spine + " ] ";
}

const std::vector<trelFloatPoint>& PointsOf(const trelBaseObject* object) {
    if (object->GetObjectType() == TREL_POLYMESH)
        return static_cast<const C3DPolyMesh*>(object)->GetPoints().Items();
    return static_cast<const C3DPolyline*>(object)->GetPoints().Items();
}

// With the cross-section (0 0), (1 0), (0 1) every row shows its frame: the
// first point is the spine point, the others are the images of the
// cross-section's x and z axes.
const char* FrameSection = "crossSection [ 0 0, 1 0, 0 1 ]";
struct Frame {
    trelFloatPoint origin;
    trelVector x, z;
};

std::vector<Frame> FramesOf(const trelBaseObject* mesh) {
    const auto& points = PointsOf(mesh);
    std::vector<Frame> frames;
    for (size_t i = 0; i + 2 < points.size(); i += 3)
        frames.push_back({points[i], trelVector(points[i], points[i + 1]), trelVector(points[i], points[i + 2])});
    return frames;
}

// A right frame at every spine point: sits on the point, unscaled, its y axis
// along the tangent, and not mirrored (x cross tangent is z); neighbouring
// cross-sections are not turned against each other.
void ExpectRightFramesWithoutFlips(const std::vector<Frame>& frames, const std::vector<trelFloatPoint>& spine,
                                   const std::vector<trelVector>& tangents) {
    ASSERT_EQ(frames.size(), spine.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const Frame& f = frames[i];
        trelVector t = tangents[i];
        t.Normalize();
        EXPECT_THAT(f.origin, NearPoint(spine[i].x, spine[i].y, spine[i].z));
        EXPECT_NEAR(f.x.Length(), 1.0, 1e-5);
        EXPECT_NEAR(f.z.Length(), 1.0, 1e-5);
        EXPECT_NEAR(DotProduct(f.x, t), 0.0, 1e-5);
        EXPECT_NEAR(DotProduct(f.z, t), 0.0, 1e-5);
        const trelVector z = CrossProduct(f.x, t);
        EXPECT_THAT(trelFloatPoint(z.x, z.y, z.z), NearPoint(f.z.x, f.z.y, f.z.z));
        if (i > 0) {
            EXPECT_GT(DotProduct(frames[i - 1].x, f.x), 0.0);
            EXPECT_GT(DotProduct(frames[i - 1].z, f.z), 0.0);
        }
    }
}

} // namespace

TEST(Extrusion, SquareAlongAStraightSpineGivesABoxWithTwoCaps) {
    LoadedText loaded;
    auto objects = Build(loaded, V2, Extrusion("spine [ 0 0 0, 0 1 0 ] crossSection [ 1 1, 1 -1, -1 -1, -1 1, 1 1 ]"));
    ASSERT_EQ(objects.size(), 3u);
    const auto* mesh = static_cast<const C3DPolyMesh*>(objects[0].object);
    ASSERT_EQ(mesh->GetObjectType(), TREL_POLYMESH);
    EXPECT_EQ(mesh->GetRows(), 2);
    EXPECT_EQ(mesh->GetColumns(), 5);
    // Rows in spine order, each in cross-section order.
    EXPECT_THAT(mesh->GetPoints()[1], NearPoint(1, 0, -1));
    EXPECT_THAT(mesh->GetPoints()[8], NearPoint(-1, 1, 1));
    for (size_t cap = 1; cap <= 2; ++cap) {
        const auto* polygon = static_cast<const C3DPolygon*>(objects[cap].object);
        ASSERT_EQ(polygon->GetObjectType(), TREL_POLYGON);
        EXPECT_EQ(polygon->GetClosed(), 1);
        const std::vector<trelFloatPoint> row(mesh->GetPoints().Items().begin() + (cap == 1 ? 0 : 5),
                                              mesh->GetPoints().Items().begin() + (cap == 1 ? 5 : 10));
        EXPECT_EQ(polygon->GetPoints().Items(), row); // same cross-section order at both ends
    }
}

TEST(Extrusion, CapsFollowTheirFlags) {
    const std::pair<const char*, size_t> cases[] = {
        {"", 3},           {"beginCap FALSE", 2}, {"endCap FALSE", 2}, {"beginCap FALSE endCap FALSE", 1},
        {"beginCap 0", 3}, // not a truth value: the cap stays
    };
    for (const auto& [flags, count] : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, V2, Extrusion(std::string(flags) + " spine [ 0 0 0, 0 1 0 ] " + FrameSection));
        ASSERT_EQ(objects.size(), count) << flags;
        EXPECT_EQ(objects[0].object->GetObjectType(), TREL_POLYMESH) << flags;
    }
}

TEST(Extrusion, MalformedExtrusionsBuildNothingAndRecordNothing) {
    const char* cases[] = {
        "spine [ 0 0 0, 0 1 0 ] crossSection [ 0 0, 1 0, 1 1, 0 ]", // odd cross-section list
        "spine [ 0 0 0, 0 1 0 ]",
        "crossSection [ 0 0, 1 0, 1 1 ]",
        "",
        "spine [ 0 0 0, 1e39 0 0 ] crossSection [ 0 0, 1 0, 0 1 ]", // beyond the float range
        "spine [ 0 0 0, 0 1 0 ] scale [ 1e39 1 ] crossSection [ 0 0, 1 0, 0 1 ]",
        "spine [ 0 0 0, 0 1 0 ] crossSection [ 1e39 0, 1 0, 0 1 ]",
    };
    for (const char* fields : cases) {
        PositionedParser positioned("DEF E Extrusion { " + std::string(fields) + " }");
        positioned.parser.ParseBlock();
        EXPECT_EQ(positioned.world.GetNumObjects(), 0) << fields;
        EXPECT_EQ(positioned.parser.FindObjectInDictionary("E"), nullptr) << fields;
        PositionedParser again("Extrusion { " + std::string(fields) + " }");
        EXPECT_EQ(again.parser.ParseExtrusion(), 0) << fields;
    }
}

// Each spine point takes its own scale and rotation; the last pair given is
// not repeated for the points after it, but a single one holds for all.
TEST(Extrusion, ScaleAndOrientationApplyPerSpinePoint) {
    const struct {
        const char* fields;
        float scale[3][2]; // sx, sz at the three spine points
        bool turned[3];    // a quarter turn about y: the x axis goes to -z, the z axis to x
    } cases[] = {
        {"", {{1, 1}, {1, 1}, {1, 1}}, {}},
        {"scale [ 2 3, 4 5 ]", {{2, 3}, {4, 5}, {1, 1}}, {}},
        {"scale 2 3", {{1, 1}, {1, 1}, {1, 1}}, {}}, // unbracketed: only the 2 is kept, no pair
        {"scale [ 2 3, 4 5, 6 7, 8 9 ]", {{2, 3}, {4, 5}, {6, 7}}, {}},
        {"orientation 0 1 0 1.5707963", {{1, 1}, {1, 1}, {1, 1}}, {true, true, true}},
        {"orientation [ 0 1 0 1.5707963 ]", {{1, 1}, {1, 1}, {1, 1}}, {true, true, true}},
        {"orientation [ 0 1 0 1.5707963, 0 1 0 1.5707963 ] scale [ 2 3 ]",
         {{2, 3}, {2, 3}, {2, 3}},
         {true, true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        LoadedText loaded;
        auto objects =
            Build(loaded, V2, Extrusion(std::string(c.fields) + " spine [ 0 0 0, 0 1 0, 0 2 0 ] " + FrameSection));
        ASSERT_EQ(objects.size(), 3u);
        const auto frames = FramesOf(objects[0].object);
        ASSERT_EQ(frames.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            const float sx = c.scale[i][0], sz = c.scale[i][1];
            const trelVector x = c.turned[i] ? trelVector(0, 0, -sx) : trelVector(sx, 0, 0);
            const trelVector z = c.turned[i] ? trelVector(sz, 0, 0) : trelVector(0, 0, sz);
            EXPECT_THAT(trelFloatPoint(frames[i].x.x, frames[i].x.y, frames[i].x.z), NearPoint(x.x, x.y, x.z)) << i;
            EXPECT_THAT(trelFloatPoint(frames[i].z.x, frames[i].z.y, frames[i].z.z), NearPoint(z.x, z.y, z.z)) << i;
        }
    }
}

TEST(Extrusion, ClosedCircularSpineJoinsUp) {
    // A horizontal circle of sixteen segments; the last point repeats the first.
    std::vector<trelFloatPoint> points;
    std::vector<trelVector> tangents;
    for (int k = 0; k < 16; ++k) {
        const double angle = k * 3.14159265358979 / 8;
        points.emplace_back(static_cast<float>(5 * std::cos(angle)), 0.0f, static_cast<float>(5 * std::sin(angle)));
        tangents.emplace_back(static_cast<float>(-std::sin(angle)), 0.0f, static_cast<float>(std::cos(angle)));
    }
    points.push_back(points.front());
    // Both ends of a closed spine take the direction of its first segment.
    tangents[0] = trelVector(points[0], points[1]);
    tangents.push_back(tangents[0]);

    LoadedText loaded;
    auto objects = Build(loaded, V2, Extrusion(Spine(points) + FrameSection));
    ASSERT_EQ(objects.size(), 3u);
    ExpectRightFramesWithoutFlips(FramesOf(objects[0].object), points, tangents);
    const auto& mesh = PointsOf(objects[0].object);
    for (size_t j = 0; j < 3; ++j)
        EXPECT_EQ(mesh[mesh.size() - 3 + j], mesh[j]);
}

TEST(Extrusion, FramesFollowBentAndAntiParallelSpinesWithoutFlipping) {
    const struct {
        std::vector<trelFloatPoint> spine;
        std::vector<trelVector> tangents;
    } cases[] = {
        {{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 1, 2}}, {{0, 1, 0}, {1, 1, 0}, {1, 0, 2}, {0, 0, 1}}},
        // The middle tangent points straight down between two ordinary ones.
        {{{0, 2, 0}, {1, 1, 0}, {0, 0, 0}}, {{1, -1, 0}, {0, -1, 0}, {-1, -1, 0}}},
        // Straight down for a while, then bending away: the straight stretch
        // turns like the bend after it.
        {{{0, 0, 0}, {0, -1, 0}, {0, -2, 0}, {0, -3, 0}, {1, -4, 0}, {2, -4, 0}},
         {{0, -1, 0}, {0, -2, 0}, {0, -2, 0}, {1, -2, 0}, {2, -1, 0}, {1, 0, 0}}},
        // The same seen from the other end: bending into a straight drop.
        {{{-2, 4, 0}, {-1, 4, 0}, {0, 3, 0}, {0, 2, 0}, {0, 1, 0}},
         {{1, 0, 0}, {2, -1, 0}, {1, -2, 0}, {0, -2, 0}, {0, -1, 0}}},
        // Straight down throughout.
        {{{0, 0, 0}, {0, -1, 0}, {0, -2, 0}}, {{0, -1, 0}, {0, -1, 0}, {0, -1, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Spine(c.spine));
        LoadedText loaded;
        auto objects = Build(loaded, V2, Extrusion(Spine(c.spine) + FrameSection));
        ASSERT_EQ(objects.size(), 3u);
        ExpectRightFramesWithoutFlips(FramesOf(objects[0].object), c.spine, c.tangents);
    }
}

TEST(Extrusion, DegenerateSpinesGiveFinitePoints) {
    const char* const spines[] = {
        "spine 3 4 5",
        "spine [ 1 1 1, 1 1 1, 1 1 1 ]",
        "spine [ 0 0 0, 0 0 0, 1 0 0 ]",
        "spine [ 0 0 0, 1 0 0, 1 0 0, 2 0 0 ]",
        "spine [ 0 0 0, 1 0 0, 0 0 0 ]",           // straight back to the start
        "spine [ 0 0 0, 0 -1 0, 0 -1 0, 0 -2 0 ]", // anti-parallel with a zero tangent inside
        "spine [ 0 0 0, 3e38 0 0, -3e38 0 0 ]",    // segments longer than a float
    };
    for (const char* spine : spines) {
        LoadedText loaded;
        auto objects = Build(loaded, V2,
                             Extrusion(std::string(spine) + " scale [ 2 2 ] " + FrameSection) +
                                 Extrusion(std::string(spine) + " orientation 1 0 0 0.5 " + FrameSection));
        EXPECT_EQ(objects.size(), 6u) << spine;
        for (const auto& found : objects)
            for (const trelFloatPoint& p : PointsOf(found.object))
                EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << spine;
    }
    // A single spine point lays the cross-section flat around it.
    LoadedText loaded;
    auto objects = Build(loaded, V2, Extrusion(std::string("spine 3 4 5 ") + FrameSection));
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_THAT(PointsOf(objects[0].object),
                ::testing::ElementsAre(NearPoint(3, 4, 5), NearPoint(4, 4, 5), NearPoint(3, 4, 6)));
}

// The last point of the mesh depends on the spine, scale and cross-section
// the entry keeps; the count on its flags.
TEST(Extrusion, UseReplaysTheExtrusionUnderTheTransformOfItsPlace) {
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         "Transform { translation 5 0 0 children Shape { geometry DEF E Extrusion {"
                         " solid FALSE endCap FALSE spine [ 0 0 0, 0 1 0, 0 2 0 ] scale [ 2 3 ] " +
                             std::string(FrameSection) + " } } }\n" + "Shape { geometry USE E }\n");
    ASSERT_EQ(objects.size(), 4u); // the use's mesh and begin cap, then the defined ones in the group E
    EXPECT_EQ(objects[2].object->GetObjectName().GetString(), "E");
    EXPECT_THAT(PointsOf(objects[0].object).back(), NearPoint(0, 2, 3));
    EXPECT_THAT(PointsOf(objects[2].object).back(), NearPoint(5, 2, 3));
}

TEST(Extrusion, AHugeMeshIsRefusedWithoutAllocating) {
    PositionedParser positioned("");
    trelVectorArray axes;
    axes.Append(trelVector(0, 0, 1));
    trelDoubleArray angles, scale, crossSection;
    angles.Append(0.0);
    scale.Append(1.0);
    scale.Append(1.0);
    trelFloatPointArray spine;
    const int side = 4097; // side * side is just past the limit
    ASSERT_GT(static_cast<long long>(side) * side, CVRMLParser::MaxExtrusionPoints);
    for (int i = 0; i < side; ++i) {
        spine.Append(trelFloatPoint(0, static_cast<float>(i), 0));
        crossSection.Append(i);
        crossSection.Append(0.0);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(positioned.parser.DefineExtrusion(1, 1, 1, axes, angles, scale, crossSection, spine), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(positioned.world.GetNumObjects(), 0);
}
