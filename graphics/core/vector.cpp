#include "graphics/core/vector.h"

#include <cmath>
#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/matrix.h"
#include "graphics/core/pluginids.h"

namespace {

constexpr int kTableEntries = 4096;

struct VectorModuleData
{
    uint32_t* sqrtTable;
    uint32_t* invSqrtTable;
    V3dTransformOneFunc transformPoint;
    V3dTransformManyFunc transformPoints;
    V3dTransformOneFunc transformVector;
    V3dTransformManyFunc transformVectors;
};

int32_t gVectorOffset = -1;

VectorModuleData* VectorData()
{
    return static_cast<VectorModuleData*>(EngineGetModuleData(gVectorOffset));
}

uint32_t FloatBits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

float BitsFloat(uint32_t b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

// Index of a float in the tables: mantissa bits 12..22 rounded at bit 11,
// plus the lowest exponent bit (which selects [1, 2) or [2, 4)).
uint32_t TableIndex(uint32_t bits)
{
    return ((bits + 2048) >> 12) & 0xFFF;
}

// Entries 2048..4095 stand for [1, 2), entries 0..2047 for [2, 4); each holds
// the root's bits minus the exponent that the lookup adds back.
void BuildSqrtTable(uint32_t* table)
{
    for (uint32_t k = 0; k < 2048; ++k) {
        table[2048 + k] = FloatBits(std::sqrt(BitsFloat(0x3F800000u + k * 0x1000u))) - 0x1FC00000u;
        table[k] = FloatBits(std::sqrt(BitsFloat(0x40000000u + k * 0x1000u))) - 0x20000000u;
    }
}

void BuildInvSqrtTable(uint32_t* table)
{
    for (uint32_t k = 0; k < 2048; ++k) {
        table[2048 + k] = FloatBits(1.0f / std::sqrt(BitsFloat(0x3F800000u + k * 0x1000u))) - 0x20000000u;
        table[k] = FloatBits(1.0f / std::sqrt(BitsFloat(0x40000000u + k * 0x1000u))) - 0x1FC00000u;
    }
}

} // namespace

float VectorSqrt(float x)
{
    uint32_t b = FloatBits(x);
    if (b == 0) {
        return 0.0f;
    }
    return BitsFloat(VectorData()->sqrtTable[TableIndex(b)] + (((b + 2048) >> 1) & 0x3FC00000u));
}

float VectorInvSqrt(float x)
{
    uint32_t b = FloatBits(x);
    if (b == 0) {
        return 0.0f;
    }
    return BitsFloat(VectorData()->invSqrtTable[TableIndex(b)] + ((~(b + 2048) >> 1) & 0x3FC00000u));
}

float V3dLength(const V3d* v)
{
    return VectorSqrt(v->x * v->x + v->y * v->y + v->z * v->z);
}

float V2dLength(const V2d* v)
{
    return VectorSqrt(v->x * v->x + v->y * v->y);
}

float V3dNormalize(V3d* out, const V3d* in)
{
    float s = in->x * in->x + in->y * in->y + in->z * in->z;
    float length = VectorSqrt(s);
    float factor = VectorInvSqrt(s);
    out->x = in->x * factor;
    out->y = in->y * factor;
    out->z = in->z * factor;
    if (length <= 0.0f) {
        ErrorRaise(kPluginIdCore, kErrorZeroLengthVector);
    }
    return length;
}

float V2dNormalize(V2d* out, const V2d* in)
{
    float s = in->x * in->x + in->y * in->y;
    float length = VectorSqrt(s);
    float factor = VectorInvSqrt(s);
    out->x = in->x * factor;
    out->y = in->y * factor;
    if (length <= 0.0f) {
        ErrorRaise(kPluginIdCore, kErrorZeroLengthVector);
    }
    return length;
}

float V3dNormalizeFast(V3d* out, const V3d* in)
{
    float factor = VectorInvSqrt(in->x * in->x + in->y * in->y + in->z * in->z);
    out->x = in->x * factor;
    out->y = in->y * factor;
    out->z = in->z * factor;
    return factor;
}

V3d* V3dTransformPointDefault(V3d* out, const V3d* in, const Matrix* m)
{
    V3d p = *in;
    out->x = p.x * m->right.x + p.y * m->up.x + p.z * m->at.x + m->pos.x;
    out->y = p.x * m->right.y + p.y * m->up.y + p.z * m->at.y + m->pos.y;
    out->z = p.x * m->right.z + p.y * m->up.z + p.z * m->at.z + m->pos.z;
    return out;
}

V3d* V3dTransformPointsDefault(V3d* out, const V3d* in, int32_t count, const Matrix* m)
{
    for (int32_t i = 0; i < count; ++i) {
        V3dTransformPointDefault(&out[i], &in[i], m);
    }
    return out;
}

V3d* V3dTransformVectorDefault(V3d* out, const V3d* in, const Matrix* m)
{
    V3d v = *in;
    out->x = v.x * m->right.x + v.y * m->up.x + v.z * m->at.x;
    out->y = v.x * m->right.y + v.y * m->up.y + v.z * m->at.y;
    out->z = v.x * m->right.z + v.y * m->up.z + v.z * m->at.z;
    return out;
}

V3d* V3dTransformVectorsDefault(V3d* out, const V3d* in, int32_t count, const Matrix* m)
{
    for (int32_t i = 0; i < count; ++i) {
        V3dTransformVectorDefault(&out[i], &in[i], m);
    }
    return out;
}

V3d* V3dTransformPoint(V3d* out, const V3d* in, const Matrix* matrix)
{
    return VectorData()->transformPoint(out, in, matrix);
}

V3d* V3dTransformPoints(V3d* out, const V3d* in, int32_t count, const Matrix* matrix)
{
    return VectorData()->transformPoints(out, in, count, matrix);
}

V3d* V3dTransformVector(V3d* out, const V3d* in, const Matrix* matrix)
{
    return VectorData()->transformVector(out, in, matrix);
}

V3d* V3dTransformVectors(V3d* out, const V3d* in, int32_t count, const Matrix* matrix)
{
    return VectorData()->transformVectors(out, in, count, matrix);
}

int32_t VectorSetTransformFunctions(V3dTransformOneFunc point, V3dTransformManyFunc points,
                                    V3dTransformOneFunc vector, V3dTransformManyFunc vectors)
{
    VectorModuleData* data = VectorData();
    data->transformPoint = point ? point : V3dTransformPointDefault;
    data->transformPoints = points ? points : V3dTransformPointsDefault;
    data->transformVector = vector ? vector : V3dTransformVectorDefault;
    data->transformVectors = vectors ? vectors : V3dTransformVectorsDefault;
    return 1;
}

void VectorGetTransformFunctions(V3dTransformOneFunc* point, V3dTransformManyFunc* points,
                                 V3dTransformOneFunc* vector, V3dTransformManyFunc* vectors)
{
    const VectorModuleData* data = VectorData();
    if (point) {
        *point = data->transformPoint;
    }
    if (points) {
        *points = data->transformPoints;
    }
    if (vector) {
        *vector = data->transformVector;
    }
    if (vectors) {
        *vectors = data->transformVectors;
    }
}

namespace {

void* VectorModuleOpen(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    VectorModuleData* data = VectorData();
    *data = {};
    VectorSetTransformFunctions(nullptr, nullptr, nullptr, nullptr);
    const uint32_t hint = 0x40000u | kPluginIdVector;
    data->sqrtTable = static_cast<uint32_t*>(MemoryAllocate(kTableEntries * sizeof(uint32_t), hint));
    if (!data->sqrtTable) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, kTableEntries * sizeof(uint32_t)));
        return nullptr;
    }
    BuildSqrtTable(data->sqrtTable);
    data->invSqrtTable = static_cast<uint32_t*>(MemoryAllocate(kTableEntries * sizeof(uint32_t), hint));
    if (!data->invSqrtTable) {
        MemoryFree(data->sqrtTable);
        data->sqrtTable = nullptr;
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, kTableEntries * sizeof(uint32_t)));
        return nullptr;
    }
    BuildInvSqrtTable(data->invSqrtTable);
    return instance;
}

void* VectorModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    VectorModuleData* data = VectorData();
    MemoryFree(data->sqrtTable);
    MemoryFree(data->invSqrtTable);
    data->sqrtTable = nullptr;
    data->invSqrtTable = nullptr;
    return instance;
}

} // namespace

int32_t VectorModuleAttach()
{
    gVectorOffset =
        EngineAttachPlugin(sizeof(VectorModuleData), kPluginIdVector, VectorModuleOpen, VectorModuleClose);
    return gVectorOffset;
}
