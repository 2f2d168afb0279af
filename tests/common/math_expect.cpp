#include "common/math_expect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

bool Near(float a, float b, float epsilon) { return std::isfinite(a) && std::abs(a - b) <= epsilon; }

}  // namespace

std::string ToString(const Point3& p) {
    char text[96];
    std::snprintf(text, sizeof text, "(%.7g, %.7g, %.7g)", p.x, p.y, p.z);
    return text;
}

std::string ToString(const Quat& q) {
    char text[128];
    std::snprintf(text, sizeof text, "(x %.7g, y %.7g, z %.7g, w %.7g)", q.x, q.y, q.z, q.w);
    return text;
}

std::string ToString(const Matrix3& m) {
    std::string text = "[";
    for (int i = 0; i < 4; ++i) {
        text.append(i == 3 ? " | " : i > 0 ? " " : "");
        text.append(ToString(m[i]));
    }
    text.append("]");
    return text;
}

void ExpectPoint3Near(const Point3& actual, const Point3& expected, float epsilon) {
    bool ok = true;
    for (int i = 0; i < 3; ++i) ok = ok && Near(actual[i], expected[i], epsilon);
    EXPECT_TRUE(ok) << "actual   " << ToString(actual) << "\nexpected " << ToString(expected)
                    << "\nepsilon  " << epsilon;
}

void ExpectQuatNear(const Quat& actual, const Quat& expected, float epsilon) {
    bool ok = true;
    for (int i = 0; i < 4; ++i) ok = ok && Near(actual[i], expected[i], epsilon);
    EXPECT_TRUE(ok) << "actual   " << ToString(actual) << "\nexpected " << ToString(expected)
                    << "\nepsilon  " << epsilon;
}

void ExpectMatrix3Near(const Matrix3& actual, const Matrix3& expected, float epsilon) {
    bool ok = true;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) ok = ok && Near(actual[i][j], expected[i][j], epsilon);
    EXPECT_TRUE(ok) << "actual   " << ToString(actual) << "\nexpected " << ToString(expected)
                    << "\nepsilon  " << epsilon;
}

void ExpectMatrix3Finite(const Matrix3& m) {
    bool ok = true;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) ok = ok && std::isfinite(m[i][j]);
    EXPECT_TRUE(ok) << "not finite: " << ToString(m);
}
