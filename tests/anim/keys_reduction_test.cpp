// Key reduction while keys are added: tolerances per level, drift, rotation hemispheres. (Constant
// runs show in the key counts of the animation read-back.)
#include <gtest/gtest.h>

#include <vector>

#include "anim/anim_track.h"
#include "scene/export_fixture.h"

namespace {

VectorKey Position(int32_t time, Point3 value) { return {kPositionKey, time, value}; }
QuatKey Rotation(int32_t time, Quat value) { return {kRotationKey, time, value}; }

}  // namespace

TEST(KeyReduction, LevelsGiveTheirTolerances) {
    EXPECT_FALSE(KeyReductionFor(0).reduce);
    EXPECT_EQ(KeyReductionFor(1).tolerance, 1e-6f);
    EXPECT_EQ(KeyReductionFor(2).tolerance, 1e-5f);
    // Compared as unsigned: negative levels are large and reduce the most.
    for (int32_t level : {3, 4, 1000, -1}) {
        EXPECT_TRUE(KeyReductionFor(level).reduce) << level;
        EXPECT_EQ(KeyReductionFor(level).tolerance, 1e-4f) << level;
    }
}

TEST(KeyReduction, ToleranceAndDriftAreMeasuredFromTheStoredValue) {
    const KeyReduction level2 = KeyReductionFor(2);
    std::vector<VectorKey> keys;
    AddVectorKey(keys, Position(0, {0, 0, 0}), level2.reduce, level2.tolerance);
    AddVectorKey(keys, Position(1, {0, 0, 0}), level2.reduce, level2.tolerance);
    AddVectorKey(keys, Position(2, {0.5e-5f, 0, -0.5e-5f}), level2.reduce, level2.tolerance);
    EXPECT_EQ(Times(keys), (std::vector<int32_t>{0, 2}));
    // The stored value stays (0, 0, 0) while its time moves: 0.9e-5 still collapses, 1.5e-5
    // departs from it although it is within the tolerance of the previous sample.
    AddVectorKey(keys, Position(3, {0.9e-5f, 0, 0}), level2.reduce, level2.tolerance);
    AddVectorKey(keys, Position(4, {1.5e-5f, 0, 0}), level2.reduce, level2.tolerance);
    EXPECT_EQ(Times(keys), (std::vector<int32_t>{0, 3, 4}));
    EXPECT_EQ(keys[1].value, Point3(0, 0, 0));

    std::vector<MatrixKey> matrices;
    for (int32_t t : {0, 1, 2}) AddMatrixKey(matrices, {kMatrixKey, t, TransMatrix({1, 0, 0})}, true, 1e-6f);
    AddMatrixKey(matrices, {kMatrixKey, 3, TransMatrix({1, 0, 1e-5f})}, true, 1e-6f);
    EXPECT_EQ(Times(matrices), (std::vector<int32_t>{0, 2, 3}));
}

TEST(KeyReduction, RotationsStayInOneHemisphere) {
    std::vector<QuatKey> keys;
    const Quat a(0, 0, 0.7071068f, 0.7071068f);
    const Quat b(0, 0, -0.7071068f, -0.0001f);  // dot with a is negative
    AddQuatKey(keys, Rotation(0, a), true, 1e-4f);
    AddQuatKey(keys, Rotation(1, b), true, 1e-4f);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].value, -b);
    EXPECT_GE(keys[1].value % keys[0].value, 0.0f);

    // A long turn: no two consecutive stored rotations have a negative dot product.
    std::vector<QuatKey> turn;
    for (int i = 0; i <= 16; ++i) {
        Quat q = QuatFromAxisAngle({0, 0, 1}, float(i) * 0.5f);
        if (i % 3 == 0) q = -q;  // the source flips signs at will
        AddQuatKey(turn, Rotation(i, q), false, 0);
    }
    ASSERT_EQ(turn.size(), 17u);
    for (size_t i = 1; i < turn.size(); ++i) EXPECT_GE(turn[i].value % turn[i - 1].value, 0.0f) << i;

    // A key that only moves (the third of an equal run) is not tested again.
    std::vector<QuatKey> run;
    const Quat c(0, 0, 0, 1);
    for (int32_t t : {0, 1, 2}) AddQuatKey(run, Rotation(t, c), true, 1e-4f);
    EXPECT_EQ(Times(run), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(run[1].value, c);
}
