#include "physics/core/integrator/integrator.h"

#include "physics/core/utils/inertia.h"
#include "physics/core/utils/quatmotion.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

/// Shorter spin axes are ignored, as by OlpQuatRotateAboutAxis.
constexpr float kSmallestAxis = 0.0001f;

} // namespace

void OlpIntegrateBody(OlpDynArrays* arrays, uint32_t index, float time)
{
    const OlpDynMotion& velocity = arrays->velocity[index];
    Quaternion& q = arrays->orientation[index];
    V3d w = velocity.angular;
    if ((arrays->flags[index] & kOlpDynSpinAxis) != 0) {
        const V3d axis = arrays->spinAxis[index].v;
        const float length = Length(axis);
        if (length >= kSmallestAxis) {
            // The spin about the axis turns exactly; only the rest of the
            // angular velocity goes through the first-order update.
            const V3d unit = axis * (1.0f / length);
            const float spin = Dot(unit, w);
            OlpQuatRotateAboutAxis(&q, &unit, spin * time);
            w = w - unit * spin;
        }
    }
    OlpQuatIntegrate(&q, &w, time);

    Matrix& pose = arrays->pose[index];
    const V3d position = pose.pos + velocity.linear * time;
    OlpMathQuaternionToMatrix(&pose, &q);
    pose.pos = position;
    MatrixUpdate(&pose);
}

void OlpIntegrateParts(OlpDynArrays* arrays, const uint32_t* parts, uint32_t count, float time)
{
    for (uint32_t i = 0; i < count; ++i) {
        OlpIntegrateBody(arrays, parts[i], time);
    }
}
