// GoogleTest helpers for host math values: component-wise comparisons with a tolerance that
// print both values in full on failure.
#pragma once

#include <string>

#include "sdk/math.h"

std::string ToString(const Point3& p);
std::string ToString(const Quat& q);
std::string ToString(const Matrix3& m);

// Non-fatal expectations; each reports the caller's values when a component is off by more
// than epsilon, or is not finite.
void ExpectPoint3Near(const Point3& actual, const Point3& expected, float epsilon = 1e-5f);
void ExpectQuatNear(const Quat& actual, const Quat& expected, float epsilon = 1e-5f);
void ExpectMatrix3Near(const Matrix3& actual, const Matrix3& expected, float epsilon = 1e-5f);
// Every component finite (no NaN, no infinity).
void ExpectMatrix3Finite(const Matrix3& m);
