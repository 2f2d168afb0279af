// The conversion matrix K from the host frame (right-handed, Z up) to the X file frame (Y up).
#include "core/conversion.h"

namespace {

// Degrees to radians in single precision; with it (-90 - 0) degrees gives the float nearest
// -pi/2, so the unrotated right-handed tilt is exactly a quarter turn in float terms.
constexpr float kDegToRad = 0.017453292f;

}  // namespace

Conversion BuildConversionMatrix(bool rightHanded, float scale, float xRotDegrees, float zRotDegrees) {
    Matrix3 up;    // turn about the host's vertical axis
    Matrix3 tilt;  // turn about the X axis
    Matrix3 k;
    if (rightHanded) {
        // Z up to Y up by a quarter turn about X, keeping the handedness.
        if (zRotDegrees != 0) up = RotateZMatrix(zRotDegrees * kDegToRad);
        tilt = RotateXMatrix((-90.0f - xRotDegrees) * kDegToRad);
        k = up * tilt;
    } else {
        // Z up to Y up by swapping Y and Z, which also flips the handedness. The up-axis turn
        // is about the output's Y, negated, so that it turns the scene the same way as in the
        // right-handed case: swap * RotateY(-z) == RotateZ(z) * swap.
        const Matrix3 swap(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, 1, 0), Point3(0, 0, 0));
        if (zRotDegrees != 0) up = RotateYMatrix(zRotDegrees * -kDegToRad);
        if (xRotDegrees != 0) tilt = RotateXMatrix(xRotDegrees * -kDegToRad);
        k = swap * up * tilt;
    }
    Conversion out;
    out.matrix = k;
    out.inverse = Inverse(k);
    if (scale > 0 && scale != 1.0f) {
        // Uniform scale of the linear part; the translation row is zero and stays zero.
        for (int i = 0; i < 3; ++i) out.matrix.SetRow(i, out.matrix.GetRow(i) * scale);
        out.inverse = Inverse(out.matrix);
    }
    return out;
}

Matrix3 ConvertTransform(const Conversion& conversion, const Matrix3& m) {
    return conversion.inverse * m * conversion.matrix;
}
