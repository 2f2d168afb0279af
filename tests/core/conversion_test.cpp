#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "core/conversion.h"

namespace {

struct ConversionCase {
    bool rightHanded;
    float scale, xRot, zRot;
    Point3 expected;  // the image of (1, 2, 3)
};

}  // namespace

TEST(Conversion, PointOneTwoThreeInEveryMode) {
    const ConversionCase cases[] = {
        // A scale of 0 or below leaves K unscaled.
        {false, 0, 0, 0, {1, 3, 2}},    {true, -2, 0, 0, {1, 3, -2}},
        // Both turns and a scale together.
        {false, 3, 90, 90, {-6, 3, -9}}, {true, 3, 90, 90, {-6, -3, -9}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "right " << c.rightHanded << " scale " << c.scale << " x "
                                        << c.xRot << " z " << c.zRot);
        const Conversion k = BuildConversionMatrix(c.rightHanded, c.scale, c.xRot, c.zRot);
        ExpectPoint3Near(ConvertPoint(k, {1, 2, 3}), c.expected, 5e-5f);
        // The inverse is recomputed after scaling.
        ExpectMatrix3Near(k.matrix * k.inverse, Matrix3(), 1e-6f);
        EXPECT_TRUE(k.matrix.GetTrans() == Point3(0, 0, 0));
    }
}

TEST(Conversion, RightHandedTiltIsTheFloatQuarterTurn) {
    // (-90 - 0) degrees in single precision is the float nearest -pi/2.
    const Conversion k = BuildConversionMatrix(true, 1, 0, 0);
    ExpectMatrix3Near(k.matrix, RotateXMatrix(-1.5707964f), 0);
    // A zero rotation that is negative zero is still "no rotation".
    EXPECT_TRUE(BuildConversionMatrix(false, 1, -0.0f, -0.0f).matrix ==
                BuildConversionMatrix(false, 1, 0, 0).matrix);
}

TEST(Conversion, TransformsKeepTheirFrameAndMoveByTheScale) {
    for (bool right : {false, true}) {
        SCOPED_TRACE(right ? "right-handed" : "left-handed");
        const Conversion k = BuildConversionMatrix(right, 2, 30, 45);
        const Conversion unscaled = BuildConversionMatrix(right, 1, 30, 45);
        ExpectMatrix3Near(ConvertTransform(k, Matrix3()), Matrix3(), 1e-6f);

        // A turned node: the converted linear part is a proper rotation free of the scale,
        // the translation is scaled.
        const Matrix3 node = RotateZMatrix(0.7f) * RotateXMatrix(-0.2f) * TransMatrix({1, 2, 3});
        const Matrix3 converted = ConvertTransform(k, node);
        const Matrix3 plain = ConvertTransform(unscaled, node);
        EXPECT_NEAR(converted.Determinant(), 1, 1e-5f);
        Matrix3 linear = converted;
        linear.NoTrans();
        Matrix3 plainLinear = plain;
        plainLinear.NoTrans();
        ExpectMatrix3Near(linear, plainLinear, 1e-5f);
        ExpectPoint3Near(converted.GetTrans(), plain.GetTrans() * 2, 1e-5f);

        // Converting a transform and a point agree: (p M) K == (p K) (K^-1 M K).
        const Point3 p(0.5f, -1, 4);
        ExpectPoint3Near(ConvertPoint(k, p * node), ConvertPoint(k, p) * converted, 1e-4f);
    }
    // A pure translation (1, 2, 3), left-handed with scale 2: a pure translation (2, 6, 4).
    const Matrix3 moved = ConvertTransform(BuildConversionMatrix(false, 2, 0, 0), TransMatrix({1, 2, 3}));
    ExpectMatrix3Near(moved, TransMatrix({2, 6, 4}), 1e-6f);
}
