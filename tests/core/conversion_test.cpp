// The output conversion at its edges: scales of zero or below, combined turns, the float quarter
// turn. (Converted transforms are in the frame_simple_converted golden file.)
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

TEST(Conversion, ScalesOfZeroOrBelowAndCombinedTurns) {
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
