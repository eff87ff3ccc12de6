// Processor-specific transform routines. Each one evaluates the portable
// formula in the same order (x*right + y*up, + z*at, + pos) with single-
// precision operations, so its results equal the portable routines' bit for
// bit under the same control state.

#include "graphics/core/cpu.h"
#include "graphics/core/cpu_config.h"

#ifdef OLAI_CPU_X86
#include <xmmintrin.h>
#endif

namespace {

#ifdef OLAI_CPU_X86

// The four rows with their fourth lane cleared: the flags and pad words must
// not take part in the arithmetic (a flags word reads as a denormal).
struct Rows
{
    __m128 right, up, at, pos;
};

Rows LoadRows(const Matrix* m)
{
    const __m128 mask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    return {_mm_and_ps(_mm_loadu_ps(&m->right.x), mask), _mm_and_ps(_mm_loadu_ps(&m->up.x), mask),
            _mm_and_ps(_mm_loadu_ps(&m->at.x), mask), _mm_and_ps(_mm_loadu_ps(&m->pos.x), mask)};
}

__m128 RotateOne(const V3d* in, const Rows& rows)
{
    __m128 sum =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(in->x), rows.right), _mm_mul_ps(_mm_set1_ps(in->y), rows.up));
    return _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(in->z), rows.at));
}

// Set A: x and y in one 8-byte store, z in a 4-byte store.
void StorePair(V3d* out, __m128 v)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(&out->x), v);
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

// Set B: three 4-byte stores.
void StoreSingles(V3d* out, __m128 v)
{
    _mm_store_ss(&out->x, v);
    _mm_store_ss(&out->y, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

template <void (*Store)(V3d*, __m128)> V3d* SsePoint(V3d* out, const V3d* in, const Matrix* m)
{
    Rows rows = LoadRows(m);
    Store(out, _mm_add_ps(RotateOne(in, rows), rows.pos));
    return out;
}

template <void (*Store)(V3d*, __m128)> V3d* SsePoints(V3d* out, const V3d* in, int32_t count, const Matrix* m)
{
    Rows rows = LoadRows(m);
    for (int32_t i = 0; i < count; ++i) {
        Store(&out[i], _mm_add_ps(RotateOne(&in[i], rows), rows.pos));
    }
    return out;
}

template <void (*Store)(V3d*, __m128)> V3d* SseVector(V3d* out, const V3d* in, const Matrix* m)
{
    Store(out, RotateOne(in, LoadRows(m)));
    return out;
}

template <void (*Store)(V3d*, __m128)>
V3d* SseVectors(V3d* out, const V3d* in, int32_t count, const Matrix* m)
{
    Rows rows = LoadRows(m);
    for (int32_t i = 0; i < count; ++i) {
        Store(&out[i], RotateOne(&in[i], rows));
    }
    return out;
}

const CpuRoutineSet kSseA = {SsePoint<StorePair>, SsePoints<StorePair>, SseVector<StorePair>,
                             SseVectors<StorePair>, MatrixMultiplyDefault};
const CpuRoutineSet kSseB = {SsePoint<StoreSingles>, SsePoints<StoreSingles>, SseVector<StoreSingles>,
                             SseVectors<StoreSingles>, MatrixMultiplyDefault};

#endif

const CpuRoutineSet kScalar = {V3dTransformPointDefault, V3dTransformPointsDefault, V3dTransformVectorDefault,
                               V3dTransformVectorsDefault, MatrixMultiplyDefault};

} // namespace

const CpuRoutineSet* CpuRoutinesScalar()
{
    return &kScalar;
}

#ifdef OLAI_CPU_X86
const CpuRoutineSet* CpuRoutinesSseA()
{
    return &kSseA;
}

const CpuRoutineSet* CpuRoutinesSseB()
{
    return &kSseB;
}
#else
const CpuRoutineSet* CpuRoutinesSseA()
{
    return &kScalar;
}

const CpuRoutineSet* CpuRoutinesSseB()
{
    return &kScalar;
}
#endif

const CpuRoutineSet* CpuChooseRoutines(const CpuFeatures* features)
{
    if (!features->sse) {
        return CpuRoutinesScalar();
    }
    if (features->sse2 && !features->amd3dnow) {
        return CpuRoutinesSseB();
    }
    return CpuRoutinesSseA();
}
