#include "physics/core/utils/quatmotion.h"

#include <cmath>

namespace {

void Normalise(Quaternion* q)
{
    float lengthSq = q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w;
    if (lengthSq > 0.0f) {
        float inverse = 1.0f / std::sqrt(lengthSq);
        *q = {q->x * inverse, q->y * inverse, q->z * inverse, q->w * inverse};
    }
}

} // namespace

Quaternion* OlpQuatRotateAboutAxis(Quaternion* q, const V3d* axis, float angle)
{
    float lengthSq = axis->x * axis->x + axis->y * axis->y + axis->z * axis->z;
    if (lengthSq < 0.0001f * 0.0001f) {
        return q;
    }
    // The rotation before the old orientation: the engine's quaternion
    // post-concatenation, in degrees.
    QuaternionRotate(q, axis, angle * 57.29577951f, kQuaternionPostConcat);
    Normalise(q);
    return q;
}

Quaternion* OlpQuatIntegrate(Quaternion* q, const V3d* w, float time)
{
    // q += (h / 2) (w, 0) q, the product written out.
    float k = 0.5f * time;
    Quaternion old = *q;
    q->x += k * (w->x * old.w + w->y * old.z - w->z * old.y);
    q->y += k * (-w->x * old.z + w->y * old.w + w->z * old.x);
    q->z += k * (w->x * old.y - w->y * old.x + w->z * old.w);
    q->w += k * -(w->x * old.x + w->y * old.y + w->z * old.z);
    Normalise(q);
    return q;
}
