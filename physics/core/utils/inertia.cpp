#include "physics/core/utils/inertia.h"

#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

Quaternion* OlpQuaternionSetIdentity(Quaternion* q)
{
    *q = {0.0f, 0.0f, 0.0f, 1.0f};
    return q;
}

Matrix* OlpMathQuaternionToMatrix(Matrix* out, const Quaternion* q)
{
    static const V3d kAxes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    V3d rows[3];
    QuaternionTransformVectors(rows, kAxes, 3, q);
    out->right = rows[0];
    out->up = rows[1];
    out->at = rows[2];
    out->pos = {0.0f, 0.0f, 0.0f};
    out->flags = kMatrixFlagsOrthonormal;
    out->pad1 = out->pad2 = out->pad3 = 0;
    return out;
}

Quaternion* OlpMathQuaternionFromRotation(Quaternion* out, const Matrix* rotation)
{
    QuaternionFromMatrix(out, rotation);
    float length = std::sqrt(out->x * out->x + out->y * out->y + out->z * out->z + out->w * out->w);
    if (!(length > kOlpFloatMin)) {
        return OlpQuaternionSetIdentity(out);
    }
    float inverse = 1.0f / length;
    *out = {out->x * inverse, out->y * inverse, out->z * inverse, out->w * inverse};
    return out;
}

bool OlpMathInertiaIsValid(const OlpInertia* inertia)
{
    const V3d& m = inertia->moments;
    if (!(m.x > kOlpFloatMin && m.y > kOlpFloatMin && m.z > kOlpFloatMin)) {
        return false;
    }
    if (m.x > m.y + m.z || m.y > m.x + m.z || m.z > m.x + m.y) {
        return false;
    }
    const Quaternion& q = inertia->rotation;
    float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return std::fabs(length - 1.0f) < 0.01f;
}

float* OlpMathInertiaToWorld(float out[9], const OlpInertia* inertia)
{
    Matrix rotation;
    OlpMathQuaternionToMatrix(&rotation, &inertia->rotation);
    // Row i of the rotation is principal axis i: I = sum_i moment_i a_i a_i^T.
    V3d axes[3] = {rotation.right, rotation.up, rotation.at};
    float moments[3] = {inertia->moments.x, inertia->moments.y, inertia->moments.z};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            float sum = 0.0f;
            for (int i = 0; i < 3; ++i) {
                sum += moments[i] * Component(axes[i], row) * Component(axes[i], column);
            }
            out[row * 3 + column] = sum;
        }
    }
    return out;
}

int32_t OlpMathDiagonalizeInertia(OlpInertia* out, const float tensor[9])
{
    float work[9];
    for (int i = 0; i < 9; ++i) {
        work[i] = tensor[i];
    }
    float vectors[9];
    if (OlpMathJacobiEigen(work, vectors, kOlpJacobiSweeps, kOlpJacobiTolerance) == 0) {
        out->moments = {tensor[0], tensor[4], tensor[8]};
        OlpQuaternionSetIdentity(&out->rotation);
        return 0;
    }
    out->moments = {work[0], work[4], work[8]};
    // The eigenvectors are the columns; the rotation's rows are the axes.
    Matrix axes;
    axes.right = {vectors[0], vectors[3], vectors[6]};
    axes.up = {vectors[1], vectors[4], vectors[7]};
    axes.at = {vectors[2], vectors[5], vectors[8]};
    axes.pos = {0.0f, 0.0f, 0.0f};
    axes.flags = kMatrixFlagsOrthonormal;
    OlpMathQuaternionFromRotation(&out->rotation, &axes);
    return 1;
}
