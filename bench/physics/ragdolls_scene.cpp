#include "bench/physics/ragdolls_scene.h"

#include <cmath>

#include "physics/core/ragdoll/scenes/ragdollscene.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

V3d Apply(const Matrix& m, V3d p)
{
    return m.right * p.x + m.up * p.y + m.at * p.z + m.pos;
}

} // namespace

Matrix RagdollHeapStart(uint32_t ragdoll, uint32_t part)
{
    V3d base{};
    float yaw = 0.0f, tilt = 0.0f;
    RagdollSceneHeapPlace(ragdoll, &base, &yaw, &tilt);
    const float c = std::cos(yaw), s = std::sin(yaw);
    const float ct = std::cos(tilt), st = std::sin(tilt);
    auto turnY = [&](V3d v) { return V3d{c * v.x + s * v.z, v.y, -s * v.x + c * v.z}; };
    Matrix m{};
    m.right = turnY({1, 0, 0});
    m.up = turnY({0, ct, st});
    m.at = turnY({0, -st, ct});
    m.pos = base;
    m.pos = Apply(m, RagdollScenePartShape(part).centre);
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

RagdollHeapMeasure RagdollHeapMeasureOf(const std::vector<Matrix>& before, const std::vector<Matrix>& after,
                                        float step)
{
    RagdollHeapMeasure out;
    uint32_t resting = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        resting += Length(after[i].pos - before[i].pos) < 0.1f * step ? 1 : 0;
        const RagdollScenePart& shape = RagdollScenePartShape(uint32_t(i % 11));
        const V3d axis = shape.alongX ? after[i].right : after[i].up;
        const float lowest = after[i].pos.y - std::fabs(axis.y) * shape.halfLength - shape.radius;
        out.penetration = std::fmax(out.penetration, -lowest);
    }
    out.resting = after.empty() ? 0.0 : double(resting) / double(after.size());
    for (size_t r = 0; r * 11 < after.size(); ++r) {
        for (uint32_t j = 0; j < 10; ++j) {
            const RagdollSceneJoint& joint = RagdollSceneJointShape(j);
            const Matrix& a = after[r * 11 + joint.first];
            const Matrix& b = after[r * 11 + joint.second];
            const V3d pa = Apply(a, joint.anchor - RagdollScenePartShape(joint.first).centre);
            const V3d pb = Apply(b, joint.anchor - RagdollScenePartShape(joint.second).centre);
            out.jointGap = std::fmax(out.jointGap, Length(pa - pb));
        }
    }
    return out;
}
