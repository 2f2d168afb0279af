// Matrix and quaternion cases the exports never meet: singular and degenerate matrices, mirrors,
// the stretch frame of the decomposition, the branches of the matrix-to-quaternion conversion and
// the shorter arc. (Products, inverses and conversions of ordinary transforms are in every golden.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common/math_expect.h"
#include "sdk/math.h"

namespace {

constexpr float kPi = 3.14159265358979f;

Matrix3 RotationOf(const Quat& q) {
    Matrix3 m(false);
    q.MakeMatrix(m);
    return m;
}

// Matrices of every kind the decomposition must take apart: rotations, non-uniform scales,
// shears, mirrors, and combinations, all with a translation.
std::vector<Matrix3> SampleAffineMatrices() {
    const Matrix3 rot = RotateXMatrix(0.3f) * RotateYMatrix(-1.1f) * RotateZMatrix(2.5f);
    const Matrix3 shear(Point3(1, 0.5f, 0), Point3(0, 1, 0), Point3(0.25f, -0.75f, 1), Point3());
    const Matrix3 t = TransMatrix({4, -5, 6});
    return {
        Matrix3(),
        rot * t,
        RotateZMatrix(kPi) * t,  // a half turn: not the trace > 0 branch
        ScaleMatrix({2, 3, 4}) * rot * t,
        rot * ScaleMatrix({0.5f, 7, 0.01f}) * t,  // stretch along turned axes
        ScaleMatrix({2, 2, 5}) * rot * t,         // two equal factors
        shear * rot * t,
        rot * shear * ScaleMatrix({3, 1, 2}) * t,
        ScaleMatrix({-1, 1, 1}) * t,           // mirror
        ScaleMatrix({1, -2, 3}) * rot * t,     // mirror with stretch
        shear * ScaleMatrix({-1, -1, -1}) * rot,
        ScaleMatrix({1e-3f, 1e2f, 1}) * rot,   // badly conditioned: keep it last
    };
}

Matrix3 Recompose(const AffineParts& p) {
    return Inverse(RotationOf(p.u)) * ScaleMatrix(p.k) * RotationOf(p.u) * RotationOf(p.q) *
           ScaleMatrix({p.f, p.f, p.f}) * TransMatrix(p.t);
}

}  // namespace

TEST(Matrix3, SingularInverseStaysFinite) {
    const Matrix3 singular = ScaleMatrix({1, 0, 1}) * TransMatrix({1, 2, 3});
    const Matrix3 inv = Inverse(singular);
    ExpectMatrix3Near(inv, Matrix3({}, {}, {}, {-1, -2, -3}), 0);
    ExpectMatrix3Finite(Inverse(Matrix3(false)));
    // An inverse too large for a float counts as singular rather than overflowing.
    ExpectMatrix3Finite(Inverse(ScaleMatrix({1e-30f, 1e-30f, 1e-30f})));
}

TEST(Quat, AxisAngleMatrixAndBackAgree) {
    const Point3 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Matrix3 (*const rotate[])(float) = {RotateXMatrix, RotateYMatrix, RotateZMatrix};
    // Angles chosen to reach every branch of the matrix-to-quaternion conversion.
    for (float angle : {0.4f, -2.0f, kPi, 3.0f}) {
        for (int a = 0; a < 3; ++a) {
            const Quat q = QuatFromAxisAngle(axes[a], angle);
            ExpectMatrix3Near(RotationOf(q), rotate[a](angle));
            const Quat back(rotate[a](angle));
            EXPECT_NEAR(std::abs(back % q), 1, 1e-6f) << "angle " << angle << " axis " << a;
        }
    }
    for (const Matrix3& m : {RotateXMatrix(0.3f) * RotateYMatrix(-2.9f) * RotateZMatrix(2.5f),
                             RotateZMatrix(kPi) * RotateXMatrix(kPi / 2)}) {
        ExpectMatrix3Near(RotationOf(Quat(m)), m);
    }
    // Unnormalised and zero quaternions still give rotations.
    Quat long3 = QuatFromAxisAngle({0, 0, 1}, 1);
    long3 *= 3;
    ExpectMatrix3Near(RotationOf(long3), RotateZMatrix(1));
    EXPECT_TRUE(RotationOf(Quat(0, 0, 0, 0)).IsIdentity());
}

TEST(Quat, SlerpFollowsTheShorterArc) {
    const Quat a = QuatFromAxisAngle({0, 0, 1}, 0.2f);
    const Quat b = QuatFromAxisAngle({0, 0, 1}, 1.4f);
    ExpectQuatNear(Slerp(a, -b, 0.5f), QuatFromAxisAngle({0, 0, 1}, 0.8f));
    ExpectQuatNear(Slerp(a, a, 0.3f), a);
}

TEST(DecompAffine, RecomposesEveryKindOfMatrix) {
    for (const Matrix3& m : SampleAffineMatrices()) {
        AffineParts p;
        decomp_affine(m, &p);
        SCOPED_TRACE(ToString(m));
        ExpectMatrix3Near(Recompose(p), m, 1e-4f);
        EXPECT_EQ(p.f, m.Determinant() < 0 ? -1.0f : 1.0f);
        EXPECT_EQ(AffineMirrorSign(m), p.f);
        EXPECT_GE(std::min({p.k.x, p.k.y, p.k.z}), 0.0f);
        EXPECT_NEAR(p.q % p.q, 1, 1e-5f);
        EXPECT_NEAR(p.u % p.u, 1, 1e-5f);
        EXPECT_GE(p.u.w, 0.0f);
    }
}

TEST(DecompAffine, MirrorComesBackAsNegativeScales) {
    Point3 position, scale;
    Quat rotation;
    const Matrix3 mirror = ScaleMatrix({-1, 2, 3}) * RotateZMatrix(0.5f);
    DecomposeMatrix(mirror, position, rotation, scale);
    ExpectPoint3Near(scale, {-1, -2, -3});
    ExpectMatrix3Near(ScaleMatrix(scale) * RotationOf(rotation), mirror, 1e-5f);
}

TEST(DecompAffine, StretchFrameIsTheLeastTurnedEquivalent) {
    // A stretch along axes turned 100 degrees about Z is the same stretch as one along axes
    // turned 10 degrees with the X and Y factors swapped; the smaller turn is reported.
    for (float degrees : {100.0f, -170.0f}) {
        const Matrix3 axes = RotateZMatrix(degrees * kPi / 180);
        const Matrix3 m = Inverse(axes) * ScaleMatrix({2, 3, 4}) * axes * RotateXMatrix(0.4f);
        AffineParts p;
        decomp_affine(m, &p);
        SCOPED_TRACE(degrees);
        ExpectMatrix3Near(Recompose(p), m, 1e-5f);
        const bool swapped = degrees == 100.0f;
        ExpectPoint3Near(p.k, swapped ? Point3(3, 2, 4) : Point3(2, 3, 4));
        ExpectQuatNear(p.u, QuatFromAxisAngle({0, 0, 1}, 10 * kPi / 180), 1e-5f);
        ExpectQuatNear(p.q, QuatFromAxisAngle({1, 0, 0}, 0.4f), 1e-5f);
    }
}

TEST(DecompAffine, DegenerateMatricesGiveFiniteParts) {
    const Matrix3 rot = RotateXMatrix(0.3f) * RotateZMatrix(1.2f);
    const Matrix3 cases[] = {
        Matrix3(false),                                        // everything zero
        ScaleMatrix({1, 0, 1}) * rot * TransMatrix({1, 2, 3}),  // one zero-scale axis
        ScaleMatrix({0, 0, 2}) * rot,                           // two
        ScaleMatrix({-1, 0, 1}) * rot,                          // flat and mirrored: no sign
        Matrix3({1, 2, 3}, {2, 4, 6}, {-1, -2, -3}, {}),        // rank one, not axis-aligned
    };
    for (const Matrix3& m : cases) {
        SCOPED_TRACE(ToString(m));
        AffineParts p;
        decomp_affine(m, &p);
        const Matrix3 back = Recompose(p);
        ExpectMatrix3Finite(back);
        ExpectMatrix3Near(back, m, 1e-4f);
        EXPECT_EQ(p.f, 1.0f);
        EXPECT_EQ(AffineMirrorSign(m), 1.0f);
        Point3 position, scale;
        Quat rotation;
        DecomposeMatrix(m, position, rotation, scale);
        ExpectMatrix3Finite(ScaleMatrix(scale) * RotationOf(rotation) * TransMatrix(position));
        EXPECT_TRUE(std::isfinite(rotation % rotation));
    }
}

TEST(DecompAffine, PairedDecompositionIsBitForBitTheSingleOne) {
    // Every pairing of the samples, degenerate and non-finite matrices among them, so that the
    // two lanes of a pair part at every step where they can.
    std::vector<Matrix3> all = SampleAffineMatrices();
    const float inf = INFINITY, nan = NAN;
    all.push_back(Matrix3(false));
    all.push_back(ScaleMatrix({1, 0, 1}) * RotateXMatrix(0.3f));
    all.push_back(Matrix3({1, 2, 3}, {2, 4, 6}, {-1, -2, -3}, {}));
    all.push_back(Matrix3({nan, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}));
    all.push_back(Matrix3({inf, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}));
    all.push_back(Matrix3({3e38f, 1, 0}, {0, 3e38f, 0}, {0, 0, 1}, {}));
    all.push_back(ScaleMatrix({1, 1, 1e-20f}));
    std::vector<Matrix3> pairs;
    for (const Matrix3& a : all)
        for (const Matrix3& b : all) pairs.insert(pairs.end(), {a, b});
    // And turned, stretched, sheared ones from a fixed sequence: the arithmetic's order shows.
    uint32_t seed = 12345;
    auto next = [&seed] { return float((seed = seed * 1664525u + 1013904223u) >> 8) / float(1 << 24) * 2 - 1; };
    for (int i = 0; i < 2000; ++i) {
        const Matrix3 turn = RotationOf(Quat(next(), next(), next(), next()).Normalized());
        pairs.push_back(turn * ScaleMatrix({1 + next() / 3, 1 + next() / 3, i % 2 ? 1.0f : -1.0f}) * Inverse(turn) *
                        RotationOf(Quat(next(), next(), next(), next()).Normalized()));
    }
    pairs.push_back(all[1]);  // an odd one left at the end
    std::vector<DecomposedMatrix> out(pairs.size());
    DecomposeMatrices(pairs, out);
    for (size_t i = 0; i < pairs.size(); ++i) {
        DecomposedMatrix one;
        DecomposeMatrix(pairs[i], one.position, one.rotation, one.scale);
        EXPECT_EQ(std::memcmp(&one, &out[i], sizeof one), 0) << i << ": " << ToString(pairs[i]);
    }
}
