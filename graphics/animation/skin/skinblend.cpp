// The software skinning path: one matrix per bone from the hierarchy and
// the skin's inverse bind-pose matrices, and the routines that deform
// positions and normals with one, two or up to four influences per vertex.
//
// On x86 the routines work on columns of four lanes (SSE): the same
// products summed in the same order as the portable arithmetic, so both
// give the same results.
#include <algorithm>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skininternal.h"
#include "graphics/core/cpu_config.h"
#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"

#ifdef OLAI_CPU_X86
#include <xmmintrin.h>
#endif

namespace {

void StoreTransposed(SkinBoneMatrix* out, const Matrix& m)
{
    const V3d* axes[4] = {&m.right, &m.up, &m.at, &m.pos};
    for (int c = 0; c < 4; ++c) {
        out->row[0][c] = axes[c]->x;
        out->row[1][c] = axes[c]->y;
        out->row[2][c] = axes[c]->z;
    }
}

Matrix Identity()
{
    Matrix m = {};
    m.right.x = m.up.y = m.at.z = 1.0f;
    m.flags = kMatrixFlagsAll;
    return m;
}

float* At(float* base, int32_t v, uint32_t stride)
{
    return reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(base) + size_t(v) * stride);
}

#ifndef OLAI_CPU_X86

inline void Transform(float* out, const SkinBoneMatrix& bone, float x, float y, float z, float w)
{
    for (int r = 0; r < 3; ++r) {
        const float* row = bone.row[r];
        out[r] = row[0] * x + row[1] * y + row[2] * z + row[3] * w;
    }
}

/// One matrix per vertex: `fixed` for every vertex, else the first influence's.
void BlendOne(const Skin* skin, const SkinBoneMatrix* bones, const SkinBoneMatrix* fixed, int32_t count,
              const float* p, const float* n, float* outP, float* outN, uint32_t stride)
{
    for (int32_t v = 0; v < count; ++v) {
        const SkinBoneMatrix& m = fixed ? *fixed : bones[skin->vertexBoneIndices[v] & 0xFF];
        Transform(At(outP, v, stride), m, p[3 * v], p[3 * v + 1], p[3 * v + 2], 1.0f);
        if (n) {
            Transform(At(outN, v, stride), m, n[3 * v], n[3 * v + 1], n[3 * v + 2], 0.0f);
        }
    }
}

/// The weighted sum of the vertex's first `Influences` bone matrices (zero
/// weights skipped): one matrix then transforms the point and the normal.
template <uint32_t Influences>
inline void WeightedMatrix(SkinBoneMatrix* out, const SkinBoneMatrix* bones, uint32_t indices,
                           const float* weights)
{
    const float* first = &bones[indices & 0xFF].row[0][0];
    float* sum = &out->row[0][0];
    for (int k = 0; k < 12; ++k) {
        sum[k] = first[k] * weights[0];
    }
    for (uint32_t slot = 1; slot < Influences; ++slot) {
        const float weight = weights[slot];
        if (weight != 0.0f) {
            const float* m = &bones[(indices >> (8 * slot)) & 0xFF].row[0][0];
            for (int k = 0; k < 12; ++k) {
                sum[k] += m[k] * weight;
            }
        }
    }
}

/// Weighted blends over the first `Influences` slots; a vertex whose first
/// weight is whole takes its first matrix alone.
template <uint32_t Influences>
void BlendMany(const Skin* skin, const SkinBoneMatrix* bones, int32_t count, const float* p, const float* n,
               float* outP, float* outN, uint32_t stride)
{
    SkinBoneMatrix blended;
    for (int32_t v = 0; v < count; ++v) {
        const float* weights = skin->vertexBoneWeights + 4 * v;
        const uint32_t indices = skin->vertexBoneIndices[v];
        const SkinBoneMatrix* m = &bones[indices & 0xFF];
        if (weights[0] < 1.0f) {
            WeightedMatrix<Influences>(&blended, bones, indices, weights);
            m = &blended;
        }
        Transform(At(outP, v, stride), *m, p[3 * v], p[3 * v + 1], p[3 * v + 2], 1.0f);
        if (n) {
            Transform(At(outN, v, stride), *m, n[3 * v], n[3 * v + 1], n[3 * v + 2], 0.0f);
        }
    }
}

#else

/// A bone matrix as four columns (x, y, z outputs in lanes 0-2): the
/// weights of x, y, z and the translation.
struct Columns
{
    __m128 c[4];
};

/// The bones' columns, made once per blend; its bones follow the skin's.
struct ColumnSet
{
    Columns bones[kSkinWorkspaceBones];
};

void ToColumns(Columns* out, const SkinBoneMatrix& m)
{
    for (int k = 0; k < 4; ++k) {
        out->c[k] = _mm_set_ps(0.0f, m.row[2][k], m.row[1][k], m.row[0][k]);
    }
}

void Store3(float* out, __m128 v)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(out), v);
    _mm_store_ss(out + 2, _mm_movehl_ps(v, v));
}

/// x, y and z of a vertex's point or normal broadcast; `safe`: a fourth float may be read.
inline void Broadcast(const float* v, bool safe, __m128* x, __m128* y, __m128* z)
{
    const __m128 xyz = safe ? _mm_loadu_ps(v) : _mm_set_ps(0.0f, v[2], v[1], v[0]);
    *x = _mm_shuffle_ps(xyz, xyz, _MM_SHUFFLE(0, 0, 0, 0));
    *y = _mm_shuffle_ps(xyz, xyz, _MM_SHUFFLE(1, 1, 1, 1));
    *z = _mm_shuffle_ps(xyz, xyz, _MM_SHUFFLE(2, 2, 2, 2));
}

/// Point and (when `n`) normal through `m`: ((c0 x + c1 y) + c2 z) + c3.
/// `safe`: the inputs are followed by another vertex's. `packed`: the
/// normal follows the point in the output, so the point may be written
/// four wide (the normal then overwrites the fourth float).
inline void TransformColumns(const Columns& m, const float* p, const float* n, float* outP, float* outN,
                             bool safe, bool packed)
{
    __m128 x, y, z;
    Broadcast(p, safe, &x, &y, &z);
    __m128 sum = _mm_add_ps(_mm_mul_ps(m.c[0], x), _mm_mul_ps(m.c[1], y));
    sum = _mm_add_ps(_mm_add_ps(sum, _mm_mul_ps(m.c[2], z)), m.c[3]);
    if (packed) {
        _mm_storeu_ps(outP, sum);
    } else {
        Store3(outP, sum);
    }
    if (n) {
        Broadcast(n, safe, &x, &y, &z);
        __m128 normal = _mm_add_ps(_mm_mul_ps(m.c[0], x), _mm_mul_ps(m.c[1], y));
        Store3(outN, _mm_add_ps(normal, _mm_mul_ps(m.c[2], z)));
    }
}

/// Columns of every vertex's blend over its first `Influences` slots (one
/// bone when Influences is 1, or every vertex of `fixed`), each vertex
/// transformed as it comes.
template <uint32_t Influences>
void BlendColumns(const Skin* skin, const ColumnSet& set, const Columns* fixed, int32_t count, const float* p,
                  const float* n, float* outP, float* outN, uint32_t stride)
{
    Columns blended;
    const bool packed = n && outN == outP + 3;
    for (int32_t v = 0; v < count; ++v) {
        const uint32_t indices = skin->vertexBoneIndices[v];
        const Columns* m = fixed ? fixed : &set.bones[indices & 0xFF];
        if constexpr (Influences > 1) {
            const float* weights = skin->vertexBoneWeights + 4 * v;
            if (weights[0] < 1.0f) {
                const __m128 w0 = _mm_set1_ps(weights[0]);
                for (int k = 0; k < 4; ++k) {
                    blended.c[k] = _mm_mul_ps(m->c[k], w0);
                }
                for (uint32_t slot = 1; slot < Influences; ++slot) {
                    if (weights[slot] != 0.0f) {
                        const Columns& other = set.bones[(indices >> (8 * slot)) & 0xFF];
                        const __m128 w = _mm_set1_ps(weights[slot]);
                        for (int k = 0; k < 4; ++k) {
                            blended.c[k] = _mm_add_ps(blended.c[k], _mm_mul_ps(other.c[k], w));
                        }
                    }
                }
                m = &blended;
            }
        }
        TransformColumns(*m, p + 3 * v, n ? n + 3 * v : nullptr, At(outP, v, stride),
                         n ? At(outN, v, stride) : nullptr, v + 1 < count, packed);
    }
}

#endif

} // namespace

void SkinPoseBone(Matrix* out, const Matrix& bind, const Hierarchy* hierarchy, int32_t node,
                  const Matrix& inverseAtomic)
{
    Matrix posed;
    if (hierarchy->flags & kHierarchyNoMatrices) {
        Frame* frame = hierarchy->nodes[node].frame;
        if (frame) {
            MatrixMultiplyDefault(&posed, &bind, FrameGetLTM(frame));
        } else {
            posed = bind;
        }
        MatrixMultiplyDefault(out, &posed, &inverseAtomic);
    } else if (hierarchy->flags & kHierarchyLocalSpace) {
        MatrixMultiplyDefault(out, &bind, &hierarchy->matrices[node]);
    } else {
        MatrixMultiplyDefault(&posed, &bind, &hierarchy->matrices[node]);
        MatrixMultiplyDefault(out, &posed, &inverseAtomic);
    }
}

Matrix SkinInverseAtomicMatrix(const Atomic* atomic)
{
    Matrix inverse = Identity();
    if (Frame* frame = AtomicGetFrame(atomic)) {
        MatrixInvert(&inverse, FrameGetLTM(frame));
    }
    return inverse;
}

SkinBoneMatrix* SkinBoneMatricesCompute(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy)
{
    SkinBoneMatrix* workspace = SkinGetMatrixWorkspace();
    if (!workspace || !hierarchy || !skin->skinToBoneMatrices) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    if (hierarchy->nodeCount > kSkinWorkspaceBones) {
        SkinReportTooManyNodes();
        return nullptr;
    }
    const Matrix identity = Identity();
    const Matrix inverse = SkinInverseAtomicMatrix(atomic);
    // Nodes beyond the skin's bones have no bind pose; bones beyond the nodes no pose.
    const int32_t bones = int32_t(std::min<uint32_t>(skin->numBones, kSkinWorkspaceBones));
    const int32_t count = std::min(hierarchy->nodeCount, bones);
    for (int32_t i = 0; i < count; ++i) {
        Matrix result;
        SkinPoseBone(&result, skin->skinToBoneMatrices[i], hierarchy, i, inverse);
        StoreTransposed(&workspace[i], result);
    }
    for (int32_t i = count; i < bones; ++i) {
        StoreTransposed(&workspace[i], identity);
    }
    return workspace;
}

void SkinVerticesBlend(const Skin* skin, const SkinBoneMatrix* bones, int32_t numVertices,
                       const float* positions, const float* normals, float* outPositions, float* outNormals,
                       uint32_t stride)
{
    const int32_t count = std::min(numVertices, skin->numVertices);
    const float* n = normals && outNormals ? normals : nullptr;
#ifdef OLAI_CPU_X86
    static ColumnSet set;
    const uint32_t bonesUsed = std::min<uint32_t>(skin->numBones, kSkinWorkspaceBones);
    for (uint32_t b = 0; b < bonesUsed; ++b) {
        ToColumns(&set.bones[b], bones[b]);
    }
    const Columns* fixed =
        skin->maxWeights <= 1 && skin->numUsedBones == 1 ? &set.bones[skin->usedBones[0]] : nullptr;
    if (skin->maxWeights <= 1) {
        BlendColumns<1>(skin, set, fixed, count, positions, n, outPositions, outNormals, stride);
    } else if (skin->maxWeights == 2) {
        BlendColumns<2>(skin, set, nullptr, count, positions, n, outPositions, outNormals, stride);
    } else {
        BlendColumns<4>(skin, set, nullptr, count, positions, n, outPositions, outNormals, stride);
    }
#else
    if (skin->maxWeights <= 1) {
        const SkinBoneMatrix* fixed = skin->numUsedBones == 1 ? &bones[skin->usedBones[0]] : nullptr;
        BlendOne(skin, bones, fixed, count, positions, n, outPositions, outNormals, stride);
    } else if (skin->maxWeights == 2) {
        BlendMany<2>(skin, bones, count, positions, n, outPositions, outNormals, stride);
    } else {
        BlendMany<4>(skin, bones, count, positions, n, outPositions, outNormals, stride);
    }
#endif
}
