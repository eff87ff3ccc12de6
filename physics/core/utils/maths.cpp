#include "physics/core/utils/maths.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/vec3.h"

using namespace olp;

float OlpVecNormalize(V3d* out, const V3d* v)
{
    float lengthSq = LengthSq(*v);
    if (!(lengthSq > kOlpFloatMin)) {
        *out = {0.0f, 0.0f, 1.0f};
        return lengthSq;
    }
    float length = std::sqrt(lengthSq);
    *out = *v * (1.0f / length);
    return length;
}

V3d* OlpMathPerpendicular(V3d* out, const V3d* v)
{
    V3d a = Abs(*v);
    V3d in = *v;
    if (a.x <= a.y && a.x <= a.z) {
        *out = {0.0f, -in.z, in.y};
    } else if (a.y <= a.z) {
        *out = {in.z, 0.0f, -in.x};
    } else {
        *out = {-in.y, in.x, 0.0f};
    }
    return out;
}

int32_t OlpMathLargestAxis(const V3d* v)
{
    V3d a = Abs(*v);
    if (a.x > a.y && a.x > a.z) {
        return 0;
    }
    return a.y > a.z ? 1 : 2;
}

namespace {

/// The plane rotation on columns p and q (right factor of J^T A J), or on
/// rows p and q (left factor) when `rows` is set; in double precision.
void Rotate(double m[9], int32_t p, int32_t q, double c, double s, bool rows)
{
    for (int k = 0; k < 3; ++k) {
        int ip = rows ? p * 3 + k : k * 3 + p;
        int iq = rows ? q * 3 + k : k * 3 + q;
        double vp = m[ip];
        double vq = m[iq];
        m[ip] = c * vp + s * vq;
        m[iq] = c * vq - s * vp;
    }
}

double OffDiagonalSq(const double m[9])
{
    return m[1] * m[1] + m[2] * m[2] + m[5] * m[5];
}

} // namespace

int32_t OlpMathJacobiEigen(float matrix[9], float vectors[9], int32_t sweeps, float tolerance)
{
    // Single precision cannot bring the off-diagonal of a tensor of moments
    // near 10 below 1e-6; the rotations run in double.
    double a[9];
    double v[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) {
        a[i] = matrix[i];
    }
    static const int32_t kPairs[3][2] = {{1, 0}, {2, 0}, {2, 1}};
    double limit = static_cast<double>(tolerance) * tolerance;
    bool converged = true;
    while (OffDiagonalSq(a) > limit) {
        if (sweeps <= 0) {
            converged = false;
            break;
        }
        for (const auto& pair : kPairs) {
            int32_t p = pair[0];
            int32_t q = pair[1];
            double apq = a[p * 3 + q];
            double c = 1.0;
            double s = 0.0;
            if (apq != 0.0) {
                double theta = (a[p * 3 + p] - a[q * 3 + q]) * (0.5 / apq);
                double root = std::sqrt(theta * theta + 1.0);
                double t = theta > 0.0 ? 1.0 / (theta + root) : -1.0 / (root - theta);
                c = 1.0 / std::sqrt(t * t + 1.0);
                s = t * c;
            }
            Rotate(v, p, q, c, s, false);
            Rotate(a, p, q, c, s, false);
            Rotate(a, p, q, c, s, true);
        }
        --sweeps;
    }
    for (int i = 0; i < 9; ++i) {
        matrix[i] = static_cast<float>(a[i]);
        vectors[i] = static_cast<float>(v[i]);
    }
    return converged ? std::max(sweeps, 1) : 0;
}

bool OlpMathMatrixIsValid(const Matrix* matrix)
{
    float tolerances[3];
    if (!MatrixQueryTolerances(tolerances)) {
        tolerances[0] = tolerances[1] = 1e-6f;
    }
    return MatrixNormalError(matrix) <= tolerances[0] && MatrixOrthogonalError(matrix) <= tolerances[1];
}

float OlpMathTriangleIncircle(OlpSphere* out, const V3d* a, const V3d* b, const V3d* c)
{
    float la = Length(*b - *c);
    float lb = Length(*c - *a);
    float lc = Length(*a - *b);
    float perimeter = la + lb + lc;
    if (!(perimeter > 0.0f)) {
        out->centre = *a;
        out->radius = 0.0f;
        return 0.0f;
    }
    out->centre = (*a * la + *b * lb + *c * lc) * (1.0f / perimeter);
    float area = 0.5f * Length(Cross(*b - *a, *c - *a));
    out->radius = area / (0.5f * perimeter);
    return std::max({la, lb, lc});
}
