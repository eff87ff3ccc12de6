#pragma once
// A started engine with the hierarchical-animation plug-in (and so the
// keyframe toolkit and scheme type 1), and helpers for hierarchy tests.

#include <cmath>
#include <vector>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/core/tests/mathstesting.h"

class HierTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit());
        ASSERT_TRUE(HierarchyPluginAttach());
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        TakeError();
    }

    /// A unit quaternion of `degrees` about `axis`.
    static Quaternion Rotation(V3d axis, float degrees)
    {
        Quaternion q = {0, 0, 0, 1};
        QuaternionRotate(&q, &axis, degrees, kQuaternionReplace);
        return q;
    }

    /// Sets node i's interpolated key directly.
    static void SetPose(Hierarchy* hierarchy, int32_t i, Quaternion rotation, V3d translation)
    {
        auto* key = static_cast<HierInterpKey*>(AnimInterpolatorGetInterpKey(hierarchy->interpolator, i));
        key->rotation = rotation;
        key->translation = translation;
    }

    static Matrix Local(const Hierarchy* hierarchy, int32_t i)
    {
        Matrix m;
        HierKeyToMatrix(&m, AnimInterpolatorGetInterpKey(hierarchy->interpolator, i));
        return m;
    }

    static Matrix Product(const Matrix& a, const Matrix& b)
    {
        Matrix m;
        MatrixMultiply(&m, &a, &b);
        return m;
    }

    static Matrix Identity()
    {
        Matrix m = {};
        m.right.x = m.up.y = m.at.z = 1;
        m.flags = 0x20003;
        return m;
    }

    static void ExpectMatrixNear(const Matrix& a, const Matrix& b, float tolerance = 1e-4f)
    {
        const V3d* ra[4] = {&a.right, &a.up, &a.at, &a.pos};
        const V3d* rb[4] = {&b.right, &b.up, &b.at, &b.pos};
        for (int r = 0; r < 4; ++r) {
            EXPECT_NEAR(ra[r]->x, rb[r]->x, tolerance) << "row " << r;
            EXPECT_NEAR(ra[r]->y, rb[r]->y, tolerance) << "row " << r;
            EXPECT_NEAR(ra[r]->z, rb[r]->z, tolerance) << "row " << r;
        }
    }

    /// Gives every node a distinct rotation and offset.
    static void Pose(Hierarchy* hierarchy)
    {
        for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
            const float f = static_cast<float>(i + 1);
            SetPose(hierarchy, i, Rotation({f, 1, -f}, 17.0f * f), {f, -0.5f * f, 2.0f});
        }
    }
};
