#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <type_traits>
#include <vector>

using geometry_test::kPi;

namespace {

// Points and vectors alike.
template <class A>
void ExpectNear(const A& actual, const typename std::common_type<A>::type& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

trelFloatPoint Row(const trelMatrix4x4& m, int r) { return {m(r, 0), m(r, 1), m(r, 2)}; }

void ExpectIdentity(const trelMatrix4x4& m, double tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m(r, c), r == c ? 1.0 : 0.0, tolerance) << "row " << r << " column " << c;
}

// A proper rotation: orthonormal rows and a determinant of +1, nothing else.
void ExpectRotation(const trelMatrix4x4& m) {
    const trelVector x(m(0, 0), m(0, 1), m(0, 2)), y(m(1, 0), m(1, 1), m(1, 2)), z(m(2, 0), m(2, 1), m(2, 2));
    EXPECT_NEAR(x.Length(), 1.0, 1e-6);
    EXPECT_NEAR(y.Length(), 1.0, 1e-6);
    EXPECT_NEAR(DotProduct(x, y), 0.0, 1e-6);
    EXPECT_NEAR(DotProduct(CrossProduct(x, y), z), 1.0, 1e-5);
    ExpectNear(Row(m, 3), {0, 0, 0}, 0.0);
}

} // namespace

TEST(GeometryMath, ProductAppliesItsLeftFactorFirst) {
    const trelMatrix4x4 move = GetDisplacementMatrix({1, 0, 0});
    const trelMatrix4x4 twice = GetScaleMatrix({2, 2, 2});
    const trelFloatPoint p(1, 1, 1);
    ExpectNear(p * (move * twice), {4, 2, 2}, 1e-6);
    ExpectNear(p * (twice * move), {3, 2, 2}, 1e-6);
    ExpectNear((p * move) * twice, p * (move * twice), 1e-6);
    // Directions ignore the translation.
    const trelVector v = trelVector(1, 1, 1) * (move * twice);
    EXPECT_EQ(v, trelVector(2, 2, 2));
}

// Products with an identity or a displacement factor are taken without the
// whole arithmetic; they must still be its result to the bit: negative zeros
// come out positive, and an infinity spreads NaN over its row or column.
TEST(GeometryMath, ProductWithAnIdentityOrMovingFactorIsTheSumOfProducts) {
    const float inf = std::numeric_limits<float>::infinity();
    trelMatrix4x4 plain = GetDisplacementMatrix({-0.0f, 2.5f, 1e-30f});
    plain(0, 1) = -0.0f;
    plain(2, 0) = 3.0e38f;
    trelMatrix4x4 infinite = plain;
    infinite(1, 2) = inf;
    trelMatrix4x4 notANumber = plain;
    notANumber(3, 3) = std::nanf("");
    auto sumOfProducts = [](const trelMatrix4x4& a, const trelMatrix4x4& b) {
        trelMatrix4x4 result;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                double sum = 0.0;
                for (int k = 0; k < 4; ++k)
                    sum += static_cast<double>(a(r, k)) * b(k, c);
                result(r, c) = static_cast<float>(sum);
            }
        return result;
    };
    // The same bits, but any NaN is NaN.
    auto expectSame = [](const trelMatrix4x4& actual, const trelMatrix4x4& expected) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_TRUE(std::isnan(actual(r, c)) ? std::isnan(expected(r, c))
                                                     : std::memcmp(&actual.m[r][c], &expected.m[r][c], 4) == 0)
                    << "row " << r << " column " << c << ": " << actual(r, c) << " for " << expected(r, c);
    };
    const trelMatrix4x4 identity;
    for (const trelMatrix4x4& m : {plain, infinite, notANumber, identity}) {
        expectSame(identity * m, sumOfProducts(identity, m));
        expectSame(m * identity, sumOfProducts(m, identity));
    }
    expectSame(GetInverseMatrix(identity), identity);
    // Turned and moved, as a transform is: the move's zero terms must leave
    // each sum as the full product leaves it, also where the turn's zeros
    // meet a non-finite move.
    trelMatrix4x4 turned = CreateRotationMatrixForNormalAngle(trelVector(0, 0, 1), 0.7);
    turned(0, 2) = -0.0f;
    turned(3, 1) = -0.0f;
    turned(2, 3) = -0.0f;
    trelMatrix4x4 projective = turned;
    projective(1, 3) = 0.25f;
    projective(3, 3) = -2.0f;
    for (const trelFloatPoint& t : std::initializer_list<trelFloatPoint>{
             {3.5f, -0.0f, 0.0f}, {1e-30f, -3.0e38f, 7.0f}, {inf, 0.0f, 1.0f}, {std::nanf(""), -inf, 0.0f}}) {
        const trelMatrix4x4 move = GetDisplacementMatrix(t);
        for (const trelMatrix4x4& m : {turned, projective, plain, identity}) {
            expectSame(m * move, sumOfProducts(m, move));
            expectSame(move * m, sumOfProducts(move, m));
        }
    }
}

// Placing many points at once gives each the bits of p * m, on affine and
// projective matrices holding signed zeros, huge values, infinities and NaN.
TEST(GeometryMath, PointsPlacedTogetherHaveTheBitsOfEachPlacedAlone) {
    const float values[] = {0.0f, -0.0f, 1.0f, -2.5f, 0.1f, 3e38f, -1e-39f, INFINITY, -INFINITY, NAN};
    uint32_t seed = 5;
    const auto pick = [&] {
        seed = seed * 1664525u + 1013904223u;
        return values[(seed >> 8) % std::size(values)];
    };
    for (int round = 0; round < 2000; ++round) {
        SCOPED_TRACE(round);
        trelMatrix4x4 m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                m(r, c) = round % 3 == 0 ? pick() : static_cast<float>((r * 7 + c * 3 + round) % 11) * 0.37f - 1.5f;
        if (round % 5 == 0)
            m(round % 4, 3) = pick(); // projective now and then
        std::vector<trelFloatPoint> points;
        for (int i = 0; i < 9; ++i)
            points.push_back(round % 2 ? trelFloatPoint(pick(), pick(), pick())
                                       : trelFloatPoint(i * 0.25f - 1.0f, static_cast<float>(round % 13), -0.0f));
        std::vector<trelFloatPoint> together = points;
        TransformPointsInPlace(together.data(), together.size(), m);
        for (size_t i = 0; i < points.size(); ++i) {
            const trelFloatPoint alone = points[i] * m;
            for (int k = 0; k < 3; ++k) {
                const float a = (&together[i].x)[k], b = (&alone.x)[k];
                EXPECT_TRUE(std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0)
                    << "point " << i << " coordinate " << k << ": " << a << " for " << b;
            }
        }
    }
}

TEST(GeometryMath, RotationAboutAnAxisIsRightHanded) {
    struct Case {
        trelVector axis;
        double angle;
        trelFloatPoint in, out;
    };
    const Case cases[] = {
        {{0, 0, 5}, kPi / 2, {1, 0, 0}, {0, 1, 0}}, // the axis length does not scale
        {{1, 0, 0}, -kPi / 2, {0, 1, 0}, {0, 0, -1}},
        {{1, 1, 1}, 2 * kPi / 3, {1, 0, 0}, {0, 1, 0}}, // cycles x to y to z
        {{1, 1, 1}, 2 * kPi / 3, {0, 0, 2}, {2, 0, 0}},
        {{0, 0, 0}, 1.0, {1, 2, 3}, {1, 2, 3}}, // no axis, no rotation
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "axis " << c.axis.x << " " << c.axis.y << " " << c.axis.z);
        const trelMatrix4x4 m = CreateRotationMatrixForNormalAngle(c.axis, c.angle);
        ExpectRotation(m);
        ExpectNear(c.in * m, c.out, 1e-6);
    }
}

TEST(GeometryMath, InverseUndoesTheMatrix) {
    trelMatrix4x4 projective = GetScaleMatrix({2, 3, 4});
    projective(0, 3) = 0.25f;
    projective(2, 3) = -0.5f;
    projective(3, 0) = 7.0f;
    struct Case {
        trelMatrix4x4 m;
        double tolerance;
    }; // the float rounding of the largest entry
    const Case cases[] = {
        {GetScaleMatrix({2, 0.5f, -3}) * CreateRotationMatrixForNormalAngle({1, 2, 3}, 0.7) *
             GetDisplacementMatrix({10, -20, 30}),
         1e-5},
        {CreateRotationMatrixForNormalAngle({0, 1, 0}, 2.0) * GetDisplacementMatrix({1e4f, 0, -1e4f}), 2e-3},
        {GetScaleMatrix({1e-3f, 1e-3f, 1e-3f}), 1e-6},
        {projective, 1e-5},
    };
    for (const Case& c : cases) {
        const trelMatrix4x4 inverse = GetInverseMatrix(c.m);
        ExpectIdentity(c.m * inverse, c.tolerance);
        ExpectIdentity(inverse * c.m, c.tolerance);
    }
}

TEST(GeometryMath, SingularMatricesAndZeroVectorsGiveTheIdentity) {
    trelMatrix4x4 zero = GetScaleMatrix({0, 0, 0});
    zero(3, 3) = 0.0f;
    trelMatrix4x4 dependentRows = GetDisplacementMatrix({1, 2, 3});
    for (int c = 0; c < 4; ++c)
        dependentRows(1, c) = 2.0f * dependentRows(0, c);
    for (const trelMatrix4x4& m : {GetScaleMatrix({1, 0, 1}), zero, dependentRows})
        EXPECT_EQ(IsIdentityMatrix(GetInverseMatrix(m)), 1);
    // Nothing to turn, or nothing to turn into.
    const trelVector none, axis(0, 0, 1);
    EXPECT_EQ(IsIdentityMatrix(CreateRotationMatrixForVectors(none, {1, 0, 0})), 1);
    EXPECT_EQ(IsIdentityMatrix(CreateRotationMatrixForVectors({1, 0, 0}, none, &axis)), 1);
    EXPECT_EQ(IsIdentityMatrix(CreateRotationMatrixForVectors(none, none, &none)), 1);
}

TEST(GeometryMath, RotationForVectorsTurnsOneDirectionIntoTheOther) {
    const trelVector zAxis(0, 0, 1), tilted(1, 1, 0);
    // With axisStaysFixed the rotation must be about the given axis.
    struct Case {
        trelVector from, to;
        const trelVector* axis;
        bool axisStaysFixed;
    };
    const Case cases[] = {
        {{1, 2, 3}, {-2, 0.5f, 1}, nullptr, false},
        {{1, 2, 3}, {-2, 0.5f, 1}, &zAxis, false}, // an axis only matters for opposite directions
        {{1, 0, 0}, {2, 0, 0}, nullptr, false},
        {{1, 0, 0}, {-1, 0, 0}, nullptr, false},
        {{0, 1, 0}, {0, -1, 0}, &zAxis, true},
        {{0, 1, 0}, {1e-7f, -1, 0}, &zAxis, true}, // opposite within float noise
        {{0, 0, 1}, {0, 0, -3}, &tilted, true},
        {{1, 0, 0}, {-1, 0, 0}, &tilted, false}, // only the axis's part across `from` can be used
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from.x << " " << c.from.y << " " << c.from.z << " to " << c.to.x
                                        << " " << c.to.y << " " << c.to.z);
        const trelMatrix4x4 m = CreateRotationMatrixForVectors(c.from, c.to, c.axis);
        ExpectRotation(m);
        trelVector from = c.from, to = c.to;
        from.Normalize();
        to.Normalize();
        ExpectNear(from * m, to, 1e-5);
        if (c.axisStaysFixed)
            ExpectNear(*c.axis * m, *c.axis, 1e-5);
    }
}

TEST(GeometryMath, PlaneFrameIsOrthonormalWithZAlongTheNormal) {
    const trelVector normals[] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {1, 2, 3}, {-1e-20f, 1e-20f, 0}};
    const trelFloatPoint origin(4, -5, 6);
    for (const trelVector& normal : normals) {
        SCOPED_TRACE(testing::Message() << "normal " << normal.x << " " << normal.y << " " << normal.z);
        const trelMatrix4x4 frame = CreateMatrixFromPlane(trelPlane(origin, normal));
        ExpectRotation(frame * GetDisplacementMatrix({-origin.x, -origin.y, -origin.z}));
        trelVector unit = normal;
        unit.Normalize();
        ExpectNear(Row(frame, 2), {unit.x, unit.y, unit.z}, 1e-6);
        ExpectNear(trelFloatPoint(0, 0, 0) * frame, origin, 1e-6);
    }
    // Without a normal the plane is taken as facing +z.
    const trelMatrix4x4 flat = CreateMatrixFromPlane(trelPlane(origin, trelVector()));
    ExpectNear(Row(flat, 2), {0, 0, 1}, 0.0);
}

TEST(GeometryMath, AngleBetweenVectorsInDegrees) {
    struct Case {
        trelVector a, b;
        double degrees;
    };
    const Case cases[] = {
        {{2, 0, 0}, {1, 0, 0}, 0.0},
        {{1, 0, 0}, {-1, 0, 0}, 180.0},
        {{1, 1, 0}, {5, 0, 0}, 45.0},
        {{0, 0, 0}, {1, 0, 0}, 0.0},
        // Callers tell opposite directions apart at 1e-6 degrees.
        {{0, 1, 0}, {1e-8f, -1, 0}, 180.0 - std::atan(1e-8) * 180.0 / kPi},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(CalculateAngleBetweenVectors(c.a, c.b), c.degrees, 1e-10);
}
