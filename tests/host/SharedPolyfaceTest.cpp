// A polyface that shares another's geometry reads exactly as a copy of it
// placed by the same matrices, one after the other.

#include "host/geometry/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

std::shared_ptr<C3DPolyface> Local() {
    trelFloatPointArray points;
    for (trelFloatPoint p : {trelFloatPoint(0.1f, 0, 0), {4.3f, 0, 0.7f}, {4, 1.9f, 0}, {0.3f, 3, 0.2f}})
        points.Append(p);
    trelIntArray indices;
    for (int i : {4, 0, 1, 2, 3, 3, 0, 2, 9}) // the last face names a point that is not there
        indices.Append(i);
    auto local = std::make_shared<C3DPolyface>();
    local->SetPoints(points, indices);
    return local;
}

bool SameBits(const trelFloatPointArray& a, const trelFloatPointArray& b) {
    return a.GetSize() == b.GetSize() &&
           std::memcmp(a.Items().data(), b.Items().data(), a.Items().size() * sizeof(trelFloatPoint)) == 0;
}

} // namespace

TEST(SharedPolyface, ReadsAsACopyPlacedByTheSameMatricesInTurn) {
    const trelMatrix4x4 turn = CreateRotationMatrixForNormalAngle(trelVector(1, 2, 3), 0.77);
    const trelMatrix4x4 stretch = GetScaleMatrix(trelFloatPoint(100, 0.3f, 7));
    const trelMatrix4x4 move = GetDisplacementMatrix(trelFloatPoint(-12345.6f, 0.001f, 3));
    // A projective matrix, and one whose fourth column holds a -0: neither
    // can be kept as three columns, so each is kept whole.
    trelMatrix4x4 projective = turn;
    projective.m[0][3] = 0.01f;
    trelMatrix4x4 signedZero = move;
    signedZero.m[1][3] = -0.0f;
    const std::vector<std::vector<trelMatrix4x4>> placements = {{},
                                                                {move},
                                                                {turn, stretch},
                                                                {stretch, turn, move},
                                                                {move, turn, stretch, turn},
                                                                {projective, move},
                                                                {signedZero},
                                                                {move, projective}};
    const auto local = Local();
    for (size_t row = 0; row < placements.size(); ++row) {
        SCOPED_TRACE(row);
        C3DPolyface copy, use;
        copy.SetPoints(local->GetPoints(), local->GetIndices());
        use.SetSharedGeometry(local);
        trelMatrix4x4 product;
        for (const trelMatrix4x4& m : placements[row]) {
            copy.ApplyMatrixToGeometry(m, trelBool(true));
            use.ApplyMatrixToGeometry(m, trelBool(true));
            product = product * m;
        }
        // World points kept so far are dropped by the next placement; a copy
        // made of the use keeps placing on its own.
        EXPECT_TRUE(SameBits(use.GetPoints(), copy.GetPoints()));
        C3DPolyface copyOfUse(use);
        copyOfUse.ApplyMatrixToGeometry(move, trelBool(true));
        copy.ApplyMatrixToGeometry(move, trelBool(true));
        use.ApplyMatrixToGeometry(move, trelBool(true));
        product = product * move;
        for (const C3DPolyface* shared : {&use, &copyOfUse}) {
            EXPECT_EQ(shared->GetBBox().GetMin(), copy.GetBBox().GetMin());
            EXPECT_EQ(shared->GetBBox().GetMax(), copy.GetBBox().GetMax());
            trelTessellation a, b;
            shared->Tessellate(a, trelTessellationOptions());
            copy.Tessellate(b, trelTessellationOptions());
            EXPECT_EQ(a.triangleVertices, b.triangleVertices);
            EXPECT_EQ(a.triangleNormals, b.triangleNormals);
            EXPECT_EQ(shared->CountTessellation(trelTessellationOptions()), b.GetCounts());
            EXPECT_TRUE(SameBits(shared->GetPoints(), copy.GetPoints()));
            EXPECT_EQ(shared->GetIndices(), copy.GetIndices());
            const auto geometry = shared->GetSharedGeometry();
            EXPECT_EQ(geometry.local, local);
            EXPECT_EQ(std::memcmp(geometry.placement.m, product.m, sizeof product.m), 0);
        }
        EXPECT_FALSE(copy.GetSharedGeometry().local);
    }
    // The local geometry itself never moved.
    EXPECT_TRUE(SameBits(local->GetPoints(), Local()->GetPoints()));
}

TEST(SharedPolyface, AUseOfAUseKeepsThePlacementsItHad) {
    const auto local = Local();
    auto first = std::make_shared<C3DPolyface>();
    first->SetSharedGeometry(local);
    first->ApplyMatrixToGeometry(GetDisplacementMatrix(trelFloatPoint(5, 0, 0)), trelBool(true));
    C3DPolyface second;
    second.SetSharedGeometry(first);
    EXPECT_TRUE(SameBits(second.GetPoints(), first->GetPoints()));
    EXPECT_EQ(second.GetIndices(), local->GetIndices());
}

TEST(SharedPolyface, WorldPointsAskedFromSeveralThreadsAreBuiltOnce) {
    C3DPolyface use;
    use.SetSharedGeometry(Local());
    use.ApplyMatrixToGeometry(GetScaleMatrix(trelFloatPoint(2, 2, 2)), trelBool(true));
    std::vector<const trelFloatPointArray*> seen(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t)
        threads.emplace_back([&, t] { seen[t] = &use.GetPoints(); });
    for (std::thread& thread : threads)
        thread.join();
    for (const trelFloatPointArray* points : seen)
        EXPECT_EQ(points, seen[0]);
    EXPECT_EQ(seen[0]->GetSize(), 4);
}

// A use's box takes its part's points in the order a copy's box does, which
// shows where a tie between -0 and +0 keeps the first: first reached for a
// short list, by number for a long one. Points no face reaches are left out.
TEST(SharedPolyface, BoxTakesThePointsInTheOrderACopyDoes) {
    for (int count : {12, 600, 3000}) {
        SCOPED_TRACE(count);
        trelFloatPointArray points;
        for (int i = 0; i < count; ++i) {
            const float zero = i < count / 2 ? -0.0f : 0.0f;
            points.Append(trelFloatPoint(zero, i % 3 == 0 ? 1e30f : zero, zero));
        }
        trelIntArray indices;
        // Triangles from the end of the list back, each point reached twice;
        // the first point is reached by no face.
        for (int i = count - 1; i >= 3; i -= 2)
            for (int v : {3, i, i - 1, i - 2})
                indices.Append(v);
        auto local = std::make_shared<C3DPolyface>();
        local->SetPoints(points, indices);
        C3DPolyface copy, use;
        copy.SetPoints(points, indices);
        use.SetSharedGeometry(local);
        // Not placed: a matrix would add +0 to each coordinate.
        const trelBBox a = use.GetBBox(), b = copy.GetBBox();
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(std::signbit((&a.GetMin().x)[k]), std::signbit((&b.GetMin().x)[k]));
            EXPECT_EQ(std::signbit((&a.GetMax().x)[k]), std::signbit((&b.GetMax().x)[k]));
        }
        EXPECT_EQ(a.GetMin(), b.GetMin());
        EXPECT_EQ(a.GetMax(), b.GetMax());
        EXPECT_EQ(a.GetMax().y, count > 3 ? 1e30f : 0.0f);
    }
}

// A use placed once takes its box straight from its part's points, placed
// as a copy's are: the same bits, with signed zeros, infinities and NaN in
// the points and the matrix, and a NaN in the first point reached or later.
// (Which NaN, of its sign and payload, depends on the order in which a
// compiler takes the operands of a sum: a NaN only needs to be one.)
TEST(SharedPolyface, BoxOfAUsePlacedOnceHasTheBitsOfACopys) {
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e30f, -3e-39f, INFINITY, NAN};
    uint32_t seed = 99;
    const auto pick = [&] {
        seed = seed * 1664525u + 1013904223u;
        return values[(seed >> 8) % std::size(values)];
    };
    const auto sameBits = [](const trelFloatPoint& a, const trelFloatPoint& b) {
        for (int k = 0; k < 3; ++k) {
            const float u = (&a.x)[k], v = (&b.x)[k];
            if (!(std::isnan(u) && std::isnan(v)) && std::memcmp(&u, &v, sizeof u) != 0)
                return false;
        }
        return true;
    };
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        trelFloatPointArray points;
        trelIntArray indices;
        for (int i = 0; i < 6; ++i) {
            // Mostly plain numbers, so that NaN is not everywhere.
            points.Append(round % 4 == 0 ? trelFloatPoint(pick(), pick(), pick())
                                         : trelFloatPoint(float(i) - 2.5f, -0.0f, float(round % 7)));
            indices.Append(i);
        }
        indices.Append(-1);
        trelMatrix4x4 m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                m.m[r][c] = round % 4 == 0 || (r == 3 && round % 2) ? pick() : m.m[r][c];
        auto local = std::make_shared<C3DPolyface>();
        local->SetPoints(points, indices);
        C3DPolyface copy, use;
        copy.SetPoints(points, indices);
        use.SetSharedGeometry(local);
        copy.ApplyMatrixToGeometry(m, trelBool(true));
        use.ApplyMatrixToGeometry(m, trelBool(true));
        const trelBBox a = use.GetBBox(), b = copy.GetBBox();
        EXPECT_TRUE(sameBits(a.GetMin(), b.GetMin()));
        EXPECT_TRUE(sameBits(a.GetMax(), b.GetMax()));
    }
}

// A part must not change once used, nor be a use of itself; a host that
// breaks this gets empty uses, never a read through one use into another.
TEST(SharedPolyface, APartThatBecameAUseReadsAsEmpty) {
    auto part = Local();
    C3DPolyface use;
    use.SetSharedGeometry(part);
    part->SetSharedGeometry(Local()); // the part itself turns into a use
    auto self = std::make_shared<C3DPolyface>();
    self->SetSharedGeometry(self);
    for (const C3DPolyface* broken : {&use, self.get()}) {
        EXPECT_EQ(broken->GetPoints().GetSize(), 0);
        EXPECT_EQ(broken->GetIndices().GetSize(), 0);
        EXPECT_TRUE(broken->GetBBox().IsEmpty());
        EXPECT_EQ(broken->CountTessellation(trelTessellationOptions()).triangles, 0u);
        trelTessellation out;
        broken->Tessellate(out, trelTessellationOptions());
        EXPECT_EQ(out.GetTriangleCount(), 0u);
    }
    self->SetPoints(trelFloatPointArray(), trelIntArray()); // lets go of itself
}
