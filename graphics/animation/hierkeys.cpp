#include "graphics/animation/hierkeys.h"

#include <cmath>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"

static_assert(sizeof(HierKey) == 40, "a key is its previous-key pointer and 32 bytes");

namespace {

float Dot(const Quaternion& a, const Quaternion& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

/// out = wA a + wB b on the shorter arc; b is negated in place when its dot
/// product with a is negative.
void Slerp(Quaternion* out, V3d* outT, const Quaternion& a, Quaternion* b, const V3d& ta, const V3d& tb,
           float u)
{
    outT->x = ta.x + (tb.x - ta.x) * u;
    outT->y = ta.y + (tb.y - ta.y) * u;
    outT->z = ta.z + (tb.z - ta.z) * u;
    float d = Dot(a, *b);
    if (d < 0.0f) {
        d = -d;
        *b = {-b->x, -b->y, -b->z, -b->w};
    }
    float wA;
    float wB;
    if (d < 0.999f) {
        const float angle = std::acos(d);
        const float s = 1.0f / std::sin(angle);
        wA = std::sin((1.0f - u) * angle) * s;
        wB = std::sin(u * angle) * s;
    } else {
        wA = 1.0f - u;
        wB = u;
    }
    out->x = wB * b->x + wA * a.x;
    out->y = wB * b->y + wA * a.y;
    out->z = wB * b->z + wA * a.z;
    out->w = wB * b->w + wA * a.w;
}

/// a x b (a on the left).
Quaternion Multiply(const Quaternion& a, const Quaternion& b)
{
    return {a.w * b.x + b.w * a.x + (a.y * b.z - a.z * b.y), a.w * b.y + b.w * a.y + (a.z * b.x - a.x * b.z),
            a.w * b.z + b.w * a.z + (a.x * b.y - a.y * b.x), a.w * b.w - (a.x * b.x + a.y * b.y + a.z * b.z)};
}

constexpr int32_t kNoPrevious = -1;

} // namespace

const AnimScheme* HierKeyScheme()
{
    static const AnimScheme scheme = {
        kHierKeyTypeId,
        static_cast<int32_t>(sizeof(HierInterpKey)),
        static_cast<int32_t>(sizeof(HierKey)),
        HierKeyToMatrix,
        HierKeyBlend,
        HierKeyInterpolate,
        HierKeyAdd,
        HierKeyMakeRelative,
        HierKeysStreamRead,
        HierKeysStreamWrite,
        HierKeysStreamGetSize,
        0,
    };
    return &scheme;
}

void HierKeyToMatrix(Matrix* out, void* interpKey)
{
    const Quaternion& q = static_cast<const HierInterpKey*>(interpKey)->rotation;
    out->right = {1.0f - 2.0f * (q.y * q.y + q.z * q.z), 2.0f * (q.x * q.y + q.w * q.z),
                  2.0f * (q.x * q.z - q.w * q.y)};
    out->up = {2.0f * (q.x * q.y - q.w * q.z), 1.0f - 2.0f * (q.x * q.x + q.z * q.z),
               2.0f * (q.w * q.x + q.y * q.z)};
    out->at = {2.0f * (q.w * q.y + q.x * q.z), 2.0f * (q.y * q.z - q.w * q.x),
               1.0f - 2.0f * (q.x * q.x + q.y * q.y)};
    out->pos = static_cast<const HierInterpKey*>(interpKey)->translation;
    out->flags = kMatrixFlagsOrthonormal;
    out->pad1 = out->pad2 = out->pad3 = 0;
}

void HierKeyInterpolate(void* out, void* keyA, void* keyB, float time, void* /*customData*/)
{
    auto* o = static_cast<HierInterpKey*>(out);
    const auto* a = static_cast<const HierKey*>(keyA);
    auto* b = static_cast<HierKey*>(keyB);
    // Keys at the same time: no span to divide by, key A holds.
    const float span = b->time - a->time;
    const float u = span != 0.0f ? (time - a->time) / span : 0.0f;
    Slerp(&o->rotation, &o->translation, a->rotation, &b->rotation, a->translation, b->translation, u);
}

void HierKeyBlend(void* out, void* in1, void* in2, float factor)
{
    auto* o = static_cast<HierInterpKey*>(out);
    const auto* a = static_cast<const HierInterpKey*>(in1);
    auto* b = static_cast<HierInterpKey*>(in2);
    Quaternion rotation;
    V3d translation;
    Slerp(&rotation, &translation, a->rotation, &b->rotation, a->translation, b->translation, factor);
    o->rotation = rotation;
    o->translation = translation;
}

void HierKeyAdd(void* out, void* in1, void* in2)
{
    auto* o = static_cast<HierInterpKey*>(out);
    const auto* a = static_cast<const HierInterpKey*>(in1);
    const auto* b = static_cast<const HierInterpKey*>(in2);
    const Quaternion rotation = Multiply(a->rotation, b->rotation);
    const V3d translation = {a->translation.x + b->translation.x, a->translation.y + b->translation.y,
                             a->translation.z + b->translation.z};
    o->rotation = rotation;
    o->translation = translation;
}

void HierKeyMakeRelative(void* key, void* reference)
{
    auto* k = static_cast<HierKey*>(key);
    const auto* r = static_cast<const HierInterpKey*>(reference);
    const Quaternion& q = r->rotation;
    const float n2 = Dot(q, q);
    if (n2 > 0.0f) {
        const Quaternion inverse = {-q.x / n2, -q.y / n2, -q.z / n2, q.w / n2};
        k->rotation = Multiply(inverse, k->rotation);
    }
    k->translation = {k->translation.x - r->translation.x, k->translation.y - r->translation.y,
                      k->translation.z - r->translation.z};
}

Animation* HierKeysStreamRead(Stream* stream, Animation* animation)
{
    auto* keys = static_cast<HierKey*>(animation->keys);
    for (int32_t i = 0; i < animation->keyCount; ++i) {
        float values[8];
        int32_t offset;
        // Times, rotations and translations are all finite numbers.
        if (StreamReadFiniteReal(stream, values, sizeof(values)) == nullptr ||
            StreamReadInt32(stream, &offset, sizeof(offset)) == nullptr) {
            return nullptr;
        }
        // A previous key lies before this one, at a whole key's offset.
        HierKey* previous = nullptr;
        if (offset != kNoPrevious) {
            if (offset < 0 || offset % kHierKeyStreamBytes != 0 || offset / kHierKeyStreamBytes >= i) {
                ErrorRaise(0, kErrorRead);
                return nullptr;
            }
            previous = &keys[offset / kHierKeyStreamBytes];
        }
        keys[i] = {previous,
                   values[0],
                   {values[1], values[2], values[3], values[4]},
                   {values[5], values[6], values[7]}};
    }
    return animation;
}

bool HierKeysStreamWrite(const Animation* animation, Stream* stream)
{
    const auto* keys = static_cast<const HierKey*>(animation->keys);
    for (int32_t i = 0; i < animation->keyCount; ++i) {
        const HierKey& key = keys[i];
        const float values[8] = {key.time,       key.rotation.x,    key.rotation.y,    key.rotation.z,
                                 key.rotation.w, key.translation.x, key.translation.y, key.translation.z};
        const int32_t offset = key.previous != nullptr
                                   ? static_cast<int32_t>(key.previous - keys) * kHierKeyStreamBytes
                                   : kNoPrevious;
        if (StreamWriteReal(stream, values, sizeof(values)) == nullptr ||
            StreamWriteInt32(stream, &offset, sizeof(offset)) == nullptr) {
            return false;
        }
    }
    return true;
}

int32_t HierKeysStreamGetSize(const Animation* animation)
{
    if (animation->keyCount < 0 || animation->keyCount > INT32_MAX / kHierKeyStreamBytes - 1) {
        return -1;
    }
    return animation->keyCount * kHierKeyStreamBytes;
}
