#include "graphics/core/matrix.h"

#include <cmath>
#include <initializer_list>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/pluginids.h"

namespace {

// Memory hints name matrices by their chunk type.
constexpr uint32_t kMatrixMemoryKind = 0xD;
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;

struct MatrixModuleData
{
    FreeList* freeList;
    uint32_t optimizations;
    MatrixMultiplyFunc multiply;
    float tolerances[3];
};

int32_t gMatrixOffset = -1;
int32_t gMatrixEntriesPerBlock = 256;
int32_t gMatrixBlocksToPreallocate = 1;
FreeList gMatrixFreeListHeader;

MatrixModuleData* MatrixData()
{
    return static_cast<MatrixModuleData*>(EngineGetModuleData(gMatrixOffset));
}

const Matrix kIdentity = {{1, 0, 0}, kMatrixFlagsAll, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0}, 0};

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

V3d Cross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

V3d Scaled(const V3d& v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}

// v.x*right + v.y*up + v.z*at, in the same order as the portable transforms.
V3d RotateVector(const V3d& v, const Matrix& m)
{
    return {v.x * m.right.x + v.y * m.up.x + v.z * m.at.x, v.x * m.right.y + v.y * m.up.y + v.z * m.at.y,
            v.x * m.right.z + v.y * m.up.z + v.z * m.at.z};
}

bool IsTrustedIdentity(const Matrix* m)
{
    return (m->flags & MatrixData()->optimizations & kMatrixFlagIdentity) != 0;
}

bool ValidCombineOp(int32_t op)
{
    if (op == kCombineReplace || op == kCombinePreConcat || op == kCombinePostConcat) {
        return true;
    }
    ErrorRaise(0, ErrorCode(kErrorBadArgument, "Invalid combination type"));
    return false;
}

// matrix = transform x matrix (op 1) or matrix x transform (op 2).
void Concatenate(Matrix* matrix, const Matrix* transform, int32_t op)
{
    if (op == kCombinePreConcat) {
        MatrixMultiply(matrix, transform, matrix);
    } else {
        MatrixMultiply(matrix, matrix, transform);
    }
}

// Unit vector through the inverse-square-root table; 0 for a zero vector.
V3d NormalizedFast(const V3d& v)
{
    return Scaled(v, VectorInvSqrt(Dot(v, v)));
}

} // namespace

void MatrixSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gMatrixEntriesPerBlock = entriesPerBlock;
    gMatrixBlocksToPreallocate = blocksToPreallocate;
}

Matrix* MatrixCreate()
{
    auto* matrix = static_cast<Matrix*>(
        MemoryFreeListAlloc(MatrixData()->freeList, kMemoryHintObject | kMatrixMemoryKind));
    if (!matrix) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(Matrix)));
        return nullptr;
    }
    *matrix = kIdentity;
    return matrix;
}

int32_t MatrixDestroy(Matrix* matrix)
{
    MemoryFreeListFree(MatrixData()->freeList, matrix);
    return 1;
}

int32_t MatrixSetMultiplyFunction(MatrixMultiplyFunc routine)
{
    MatrixData()->multiply = routine ? routine : MatrixMultiplyDefault;
    return 1;
}

MatrixMultiplyFunc MatrixGetMultiplyFunction()
{
    return MatrixData()->multiply;
}

int32_t MatrixSetOptimizations(uint32_t mask)
{
    MatrixData()->optimizations = mask;
    return 1;
}

int32_t MatrixQueryTolerances(float tolerances[3])
{
    for (int i = 0; i < 3; ++i) {
        tolerances[i] = MatrixData()->tolerances[i];
    }
    return 1;
}

int32_t MatrixSetTolerances(const float tolerances[3])
{
    for (int i = 0; i < 3; ++i) {
        MatrixData()->tolerances[i] = tolerances[i];
    }
    return 1;
}

void MatrixMultiplyDefault(Matrix* out, const Matrix* a, const Matrix* b)
{
    out->right = RotateVector(a->right, *b);
    out->up = RotateVector(a->up, *b);
    out->at = RotateVector(a->at, *b);
    V3d p = RotateVector(a->pos, *b);
    out->pos = {p.x + b->pos.x, p.y + b->pos.y, p.z + b->pos.z};
}

Matrix* MatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b)
{
    if (IsTrustedIdentity(a)) {
        *out = *b;
    } else if (IsTrustedIdentity(b)) {
        *out = *a;
    } else {
        // The routine writes a temporary so that out may alias a or b.
        Matrix product{};
        MatrixData()->multiply(&product, a, b);
        product.flags = a->flags & b->flags;
        *out = product;
    }
    return out;
}

Matrix* MatrixTransform(Matrix* matrix, const Matrix* other, int32_t op)
{
    if (!ValidCombineOp(op)) {
        return nullptr;
    }
    if (op == kCombineReplace) {
        *matrix = *other;
    } else {
        Concatenate(matrix, other, op);
    }
    return matrix;
}

Matrix* MatrixRotate(Matrix* matrix, const V3d* axis, float angle, int32_t op)
{
    if (!ValidCombineOp(op)) {
        return nullptr;
    }
    V3d u = NormalizedFast(*axis);
    float radians = angle * kDegreesToRadians;
    float c1 = 1.0f - std::cos(radians);
    float s = std::sin(radians);
    Matrix rotation{};
    rotation.right = {1.0f - (1.0f - u.x * u.x) * c1, u.x * u.y * c1 + u.z * s, u.z * u.x * c1 - u.y * s};
    rotation.up = {u.x * u.y * c1 - u.z * s, 1.0f - (1.0f - u.y * u.y) * c1, u.y * u.z * c1 + u.x * s};
    rotation.at = {u.z * u.x * c1 + u.y * s, u.y * u.z * c1 - u.x * s, 1.0f - (1.0f - u.z * u.z) * c1};
    rotation.flags = kMatrixFlagsOrthonormal;
    if (op == kCombineReplace) {
        *matrix = rotation;
    } else {
        Concatenate(matrix, &rotation, op);
    }
    return matrix;
}

Matrix* MatrixScale(Matrix* matrix, const V3d* scale, int32_t op)
{
    if (!ValidCombineOp(op)) {
        return nullptr;
    }
    if (op == kCombineReplace) {
        *matrix = {{scale->x, 0, 0}, 0, {0, scale->y, 0}, 0, {0, 0, scale->z}, 0, {0, 0, 0}, 0};
        return matrix;
    }
    if (op == kCombinePreConcat) {
        matrix->right = Scaled(matrix->right, scale->x);
        matrix->up = Scaled(matrix->up, scale->y);
        matrix->at = Scaled(matrix->at, scale->z);
    } else {
        for (V3d* row : {&matrix->right, &matrix->up, &matrix->at, &matrix->pos}) {
            row->x *= scale->x;
            row->y *= scale->y;
            row->z *= scale->z;
        }
    }
    matrix->flags &= ~kMatrixFlagsAll;
    return matrix;
}

Matrix* MatrixTranslate(Matrix* matrix, const V3d* translation, int32_t op)
{
    if (!ValidCombineOp(op)) {
        return nullptr;
    }
    if (op == kCombineReplace) {
        *matrix = kIdentity;
        matrix->pos = *translation;
        matrix->flags = kMatrixFlagsOrthonormal;
        return matrix;
    }
    V3d t = op == kCombinePreConcat ? RotateVector(*translation, *matrix) : *translation;
    matrix->pos = {matrix->pos.x + t.x, matrix->pos.y + t.y, matrix->pos.z + t.z};
    matrix->flags &= ~kMatrixFlagIdentity;
    return matrix;
}

Matrix* MatrixInvert(Matrix* out, const Matrix* in)
{
    if (IsTrustedIdentity(in)) {
        *out = *in;
        return out;
    }
    if ((in->flags & kMatrixFlagsOrthonormal) != kMatrixFlagsOrthonormal) {
        return MatrixInvertGeneral(out, in);
    }
    Matrix inverse{};
    inverse.right = {in->right.x, in->up.x, in->at.x};
    inverse.up = {in->right.y, in->up.y, in->at.y};
    inverse.at = {in->right.z, in->up.z, in->at.z};
    V3d p = RotateVector(in->pos, inverse);
    inverse.pos = {-p.x, -p.y, -p.z};
    inverse.flags = kMatrixFlagsOrthonormal;
    *out = inverse;
    return out;
}

Matrix* MatrixInvertGeneral(Matrix* out, const Matrix* in)
{
    V3d ua = Cross(in->up, in->at);
    V3d ar = Cross(in->at, in->right);
    V3d ru = Cross(in->right, in->up);
    float det = Dot(in->right, ua);
    if (det == 0.0f) {
        det = 1.0f;
    }
    Matrix inverse{};
    inverse.right = {ua.x / det, ar.x / det, ru.x / det};
    inverse.up = {ua.y / det, ar.y / det, ru.y / det};
    inverse.at = {ua.z / det, ar.z / det, ru.z / det};
    V3d p = RotateVector(in->pos, inverse);
    inverse.pos = {-p.x, -p.y, -p.z};
    inverse.flags = 0;
    *out = inverse;
    return out;
}

Matrix* MatrixOrthoNormalize(Matrix* out, const Matrix* in)
{
    V3d axes[3] = {in->right, in->up, in->at};
    float inverseLengths[3];
    for (int i = 0; i < 3; ++i) {
        inverseLengths[i] = VectorInvSqrt(Dot(axes[i], axes[i]));
        axes[i] = Scaled(axes[i], inverseLengths[i]);
    }
    enum
    {
        kRight,
        kUp,
        kAt
    };
    // Keep the axis K, rebuild B from K x H, then H from B x K; the choice
    // keeps the pair that is closest to perpendicular.
    int keep = kRight, partner = kUp, rebuilt = kAt;
    if (inverseLengths[kRight] == 0.0f) {
        keep = kUp, partner = kAt, rebuilt = kRight;
    } else if (inverseLengths[kUp] == 0.0f) {
        keep = kAt, partner = kRight, rebuilt = kUp;
    } else if (inverseLengths[kAt] != 0.0f) {
        float atUp = std::fabs(Dot(axes[kAt], axes[kUp]));
        float atRight = std::fabs(Dot(axes[kAt], axes[kRight]));
        float upRight = std::fabs(Dot(axes[kUp], axes[kRight]));
        if (atRight <= atUp && atRight < upRight) {
            keep = kAt, partner = kRight, rebuilt = kUp;
        } else if (atRight > atUp && atUp < upRight) {
            keep = kUp, partner = kAt, rebuilt = kRight;
        }
    }
    axes[rebuilt] = NormalizedFast(Cross(axes[keep], axes[partner]));
    axes[partner] = NormalizedFast(Cross(axes[rebuilt], axes[keep]));
    Matrix result{};
    result.right = axes[kRight];
    result.up = axes[kUp];
    result.at = axes[kAt];
    result.pos = in->pos;
    result.flags = (in->flags & ~kMatrixFlagIdentity) | kMatrixFlagsOrthonormal;
    *out = result;
    return out;
}

float MatrixDeterminant(const Matrix* m)
{
    return Dot(m->right, Cross(m->up, m->at));
}

float MatrixNormalError(const Matrix* m)
{
    float r = Dot(m->right, m->right) - 1.0f;
    float u = Dot(m->up, m->up) - 1.0f;
    float a = Dot(m->at, m->at) - 1.0f;
    return r * r + u * u + a * a;
}

float MatrixOrthogonalError(const Matrix* m)
{
    float ru = Dot(m->right, m->up);
    float ra = Dot(m->right, m->at);
    float ua = Dot(m->up, m->at);
    return ru * ru + ra * ra + ua * ua;
}

float MatrixIdentityError(const Matrix* m)
{
    const V3d* rows[4] = {&m->right, &m->up, &m->at, &m->pos};
    const V3d* identityRows[4] = {&kIdentity.right, &kIdentity.up, &kIdentity.at, &kIdentity.pos};
    float sum = 0.0f;
    for (int i = 0; i < 4; ++i) {
        float dx = rows[i]->x - identityRows[i]->x;
        float dy = rows[i]->y - identityRows[i]->y;
        float dz = rows[i]->z - identityRows[i]->z;
        sum += dx * dx + dy * dy + dz * dz;
    }
    return sum;
}

Matrix* MatrixOptimize(Matrix* matrix, const float* tolerances)
{
    const float* limits = tolerances ? tolerances : MatrixData()->tolerances;
    bool normal = MatrixNormalError(matrix) <= limits[0];
    bool orthogonal = MatrixOrthogonalError(matrix) <= limits[1];
    bool identity = normal && orthogonal && MatrixIdentityError(matrix) <= limits[2];
    uint32_t flags = matrix->flags & ~kMatrixFlagsAll;
    if (normal) {
        flags |= kMatrixFlagNormal;
    }
    if (orthogonal) {
        flags |= kMatrixFlagOrthogonal;
    }
    if (identity) {
        flags |= kMatrixFlagIdentity;
    }
    matrix->flags = flags;
    return matrix;
}

Matrix* MatrixUpdate(Matrix* matrix)
{
    matrix->flags &= ~kMatrixFlagsAll;
    return matrix;
}

namespace {

// For an angle near 180 degrees the sine part vanishes; the axis follows from
// the largest diagonal element of the symmetric part.
V3d RotationAxisNear180(const Matrix& m)
{
    V3d v;
    if (m.right.x <= m.up.y && m.at.z < m.up.y) {
        v = {m.up.x + m.right.y, 2.0f * (m.up.y + 1.0f), m.at.y + m.up.z};
    } else if (m.right.x > m.up.y && m.at.z < m.right.x) {
        v = {2.0f * (m.right.x + 1.0f), m.up.x + m.right.y, m.at.x + m.right.z};
    } else {
        v = {m.at.x + m.right.z, m.at.y + m.up.z, 2.0f * (m.at.z + 1.0f)};
    }
    return NormalizedFast(v);
}

} // namespace

const Matrix* MatrixQueryRotate(const Matrix* matrix, V3d* axis, float* angle, V3d* centre)
{
    const Matrix& m = *matrix;
    float d = m.right.x + m.up.y + m.at.z - 1.0f;
    V3d v = {m.up.z - m.at.y, m.at.x - m.right.z, m.right.y - m.up.x};
    float s = V3dLength(&v);
    *axis = s > 0.0f ? Scaled(v, 1.0f / s) : V3d{0, 0, 0};
    *angle = std::atan2(s, d) * kRadiansToDegrees;
    if (s <= 0.01f && d <= 0.0f) {
        *axis = RotationAxisNear180(m);
    }
    // The centre c solves c (I - M) = pos. I - M is singular along the axis,
    // so the axis's own direction is added (n n^T): the system becomes
    // regular and c is the point of the axis line nearest the origin.
    const V3d& n = *axis;
    Matrix fixed{};
    fixed.right = {1.0f - m.right.x + n.x * n.x, -m.right.y + n.x * n.y, -m.right.z + n.x * n.z};
    fixed.up = {-m.up.x + n.y * n.x, 1.0f - m.up.y + n.y * n.y, -m.up.z + n.y * n.z};
    fixed.at = {-m.at.x + n.z * n.x, -m.at.y + n.z * n.y, 1.0f - m.at.z + n.z * n.z};
    Matrix inverse;
    MatrixInvertGeneral(&inverse, &fixed);
    *centre = RotateVector(m.pos, inverse);
    return matrix;
}

namespace {

void* MatrixModuleOpen(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    MatrixModuleData* data = MatrixData();
    data->freeList = FreeListCreate(sizeof(Matrix), gMatrixEntriesPerBlock, 16, gMatrixBlocksToPreallocate,
                                    &gMatrixFreeListHeader, kMemoryHintEngine | kMatrixMemoryKind);
    if (!data->freeList) {
        return nullptr;
    }
    data->optimizations = kMatrixFlagIdentity;
    data->multiply = MatrixMultiplyDefault;
    for (float& tolerance : data->tolerances) {
        tolerance = 0.01f;
    }
    return instance;
}

void* MatrixModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    FreeListDestroy(MatrixData()->freeList);
    MatrixData()->freeList = nullptr;
    return instance;
}

} // namespace

int32_t MatrixModuleAttach()
{
    gMatrixOffset =
        EngineAttachPlugin(sizeof(MatrixModuleData), kPluginIdMatrix, MatrixModuleOpen, MatrixModuleClose);
    return gMatrixOffset;
}
