// Cached transforms and lights, the surface material and the frustum
// containment tests. A value the device refused is not cached, so that the
// next call with it tries the device again.

#include <cassert>
#include <cstring>

#include "graphics/core/camera.h"
#include "graphics/core/freelist.h"
#include "graphics/core/growarray.h"
#include "graphics/core/matrix.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/driverstate.h"

namespace {

constexpr uint32_t kTransformHint = 0x30411;
constexpr uint32_t kLightHint = 0x1030411;
constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

D3D9DriverState& S()
{
    return D3D9State();
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b)
{
    return std::memcmp(&a, &b, sizeof(D3DMATRIX)) == 0;
}

bool SameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof(float)) == 0;
}

bool SameVector(const D3DVECTOR& a, const D3DVECTOR& b)
{
    return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

D3D9LightEntry* Lights(uint32_t* count)
{
    GrowArray* array = S().lights;
    *count = array ? uint32_t(GrowArrayGetCount(array)) : 0;
    return array ? static_cast<D3D9LightEntry*>(GrowArrayGetRawData(array)) : nullptr;
}

/// Sends a world matrix; the cache keeps it only when the device took it.
int32_t SendWorld(const D3DMATRIX& matrix, uint32_t identity)
{
    D3D9DriverState& s = S();
    if (FAILED(s.device->SetTransform(D3DTS_WORLD, &matrix))) {
        // What the device holds is unknown now: nothing may compare equal to it.
        s.worldIsIdentity = 0;
        std::memset(s.transforms[D3DTS_WORLD], 0xFF, sizeof(D3DMATRIX));
        return 0;
    }
    *s.transforms[D3DTS_WORLD] = matrix;
    s.worldIsIdentity = identity;
    return 1;
}

} // namespace

bool D3D9TransformCacheReset()
{
    D3D9DriverState& s = S();
    s.worldIsIdentity = 0;
    if (!s.transformList) {
        s.transformList = FreeListCreate(sizeof(D3DMATRIX), 15, 16, 1, nullptr, kTransformHint);
        if (!s.transformList) {
            return false;
        }
    } else {
        for (D3DMATRIX*& slot : s.transforms) {
            if (slot) {
                MemoryFreeListFree(s.transformList, slot);
            }
            slot = nullptr;
        }
        FreeListPurge(s.transformList);
    }
    s.transforms[D3DTS_WORLD] = static_cast<D3DMATRIX*>(MemoryFreeListAlloc(s.transformList, kTransformHint));
    if (!s.transforms[D3DTS_WORLD]) {
        return false;
    }
    *s.transforms[D3DTS_WORLD] = kIdentity;
    return true;
}

void D3D9TransformCacheDestroy()
{
    D3D9DriverState& s = S();
    // The slots go back first: unpooled free lists do not free their entries.
    for (D3DMATRIX*& slot : s.transforms) {
        if (slot) {
            MemoryFreeListFree(s.transformList, slot);
        }
        slot = nullptr;
    }
    if (s.transformList) {
        FreeListDestroy(s.transformList);
        s.transformList = nullptr;
    }
    s.worldIsIdentity = 0;
}

int32_t D3D9SetTransform(uint32_t state, const D3DMATRIX* matrix)
{
    assert(state < kD3D9TransformSlots);
    D3D9DriverState& s = S();
    const D3DMATRIX& value = matrix ? *matrix : kIdentity;
    if (state == D3DTS_WORLD) {
        if (SameMatrix(*s.transforms[D3DTS_WORLD], value)) {
            return 1;
        }
        return SendWorld(value, matrix ? 0 : 1);
    }
    D3DMATRIX*& slot = s.transforms[state];
    if (slot && SameMatrix(*slot, value)) {
        return 1;
    }
    if (FAILED(s.device->SetTransform(D3DTRANSFORMSTATETYPE(state), &value))) {
        if (slot) {
            MemoryFreeListFree(s.transformList, slot);
            slot = nullptr;
        }
        return 0;
    }
    if (!slot) {
        slot = static_cast<D3DMATRIX*>(MemoryFreeListAlloc(s.transformList, kTransformHint));
        if (!slot) {
            return 1; // sent but not cached: the next call sends again
        }
    }
    *slot = value;
    return 1;
}

void D3D9GetTransform(uint32_t state, D3DMATRIX* matrix)
{
    assert(state < kD3D9TransformSlots);
    if (matrix) {
        const D3DMATRIX* slot = S().transforms[state];
        *matrix = slot ? *slot : kIdentity;
    }
}

int32_t D3D9SetWorldMatrix(const Matrix* matrix)
{
    D3D9DriverState& s = S();
    if (!matrix || (matrix->flags & kMatrixFlagIdentity)) {
        if (s.worldIsIdentity) {
            return 1;
        }
        return SendWorld(kIdentity, 1);
    }
    const D3DMATRIX wide = {{{matrix->right.x, matrix->right.y, matrix->right.z, 0.0f},
                             {matrix->up.x, matrix->up.y, matrix->up.z, 0.0f},
                             {matrix->at.x, matrix->at.y, matrix->at.z, 0.0f},
                             {matrix->pos.x, matrix->pos.y, matrix->pos.z, 1.0f}}};
    if (!s.worldIsIdentity && SameMatrix(*s.transforms[D3DTS_WORLD], wide)) {
        return 1;
    }
    return SendWorld(wide, 0);
}

bool D3D9LightsEqual(const D3DLIGHT9* a, const D3DLIGHT9* b)
{
    if (a->Type != b->Type || !SameBits(a->Diffuse.r, b->Diffuse.r) ||
        !SameBits(a->Diffuse.g, b->Diffuse.g) || !SameBits(a->Diffuse.b, b->Diffuse.b)) {
        return false;
    }
    switch (a->Type) {
    case D3DLIGHT_POINT:
        return SameVector(a->Position, b->Position) && SameBits(a->Range, b->Range);
    case D3DLIGHT_SPOT:
        return SameVector(a->Position, b->Position) && SameVector(a->Direction, b->Direction) &&
               SameBits(a->Range, b->Range) && SameBits(a->Theta, b->Theta) && SameBits(a->Phi, b->Phi);
    case D3DLIGHT_DIRECTIONAL:
        return SameVector(a->Direction, b->Direction);
    default:
        return true;
    }
}

/// The cache entry for `index`, growing the cache with disabled entries.
static D3D9LightEntry* LightSlot(uint32_t index, bool* existed)
{
    D3D9DriverState& s = S();
    if (!s.lights) {
        s.lights = GrowArrayCreate(sizeof(D3D9LightEntry), kLightHint);
        if (!s.lights) {
            return nullptr;
        }
    }
    uint32_t count = uint32_t(GrowArrayGetCount(s.lights));
    *existed = index < count;
    if (index >= count) {
        auto* added = static_cast<D3D9LightEntry*>(
            GrowArrayIncSizeBy(s.lights, int32_t(index + 1 - count), kLightHint));
        if (!added) {
            return nullptr;
        }
        std::memset(added, 0, (index + 1 - count) * sizeof(D3D9LightEntry));
        // Fresh entries hold no light the device accepted.
        for (uint32_t i = 0; i < index + 1 - count; ++i) {
            added[i].light.Type = D3DLIGHTTYPE(0);
        }
    }
    return static_cast<D3D9LightEntry*>(GrowArrayGetElement(s.lights, int32_t(index)));
}

int32_t D3D9SetLightCached(uint32_t index, const D3DLIGHT9* light)
{
    bool existed = false;
    D3D9LightEntry* entry = LightSlot(index, &existed);
    if (!entry) {
        return 0;
    }
    if (existed && D3D9LightsEqual(&entry->light, light)) {
        return 1;
    }
    if (FAILED(S().device->SetLight(index, light))) {
        // Type 0 never compares equal to a light the device accepts.
        std::memset(&entry->light, 0, sizeof(D3DLIGHT9));
        return 0;
    }
    entry->light = *light;
    return 1;
}

int32_t D3D9SetLight(uint32_t index, const D3DLIGHT9* light)
{
    bool existed = false;
    D3D9LightEntry* entry = LightSlot(index, &existed);
    if (!entry) {
        return 0;
    }
    if (FAILED(S().device->SetLight(index, light))) {
        std::memset(&entry->light, 0, sizeof(D3DLIGHT9));
        return 0;
    }
    entry->light = *light;
    return 1;
}

void D3D9GetLight(uint32_t index, D3DLIGHT9* light)
{
    uint32_t count = 0;
    const D3D9LightEntry* lights = Lights(&count);
    if (index < count) {
        *light = lights[index].light;
    } else {
        std::memset(light, 0, sizeof(D3DLIGHT9));
    }
}

int32_t D3D9EnableLightCached(uint32_t index, uint32_t enable)
{
    uint32_t count = 0;
    D3D9LightEntry* lights = Lights(&count);
    if (index >= count) {
        return 1;
    }
    const uint32_t on = enable != 0;
    if (lights[index].enabled == on) {
        return 1;
    }
    if (FAILED(S().device->LightEnable(index, on))) {
        return 0;
    }
    lights[index].enabled = on;
    return 1;
}

int32_t D3D9FindLight(const D3DLIGHT9* light)
{
    uint32_t count = 0;
    const D3D9LightEntry* lights = Lights(&count);
    for (uint32_t i = 0; i < count; ++i) {
        if (D3D9LightsEqual(&lights[i].light, light)) {
            return int32_t(i);
        }
    }
    return -1;
}

uint32_t D3D9GetLightCount()
{
    uint32_t count = 0;
    Lights(&count);
    return count;
}

void D3D9LightCacheFree()
{
    D3D9DriverState& s = S();
    if (s.lights) {
        GrowArrayDestroy(s.lights);
        s.lights = nullptr;
    }
}

bool D3D9LightCacheResend()
{
    uint32_t count = 0;
    const D3D9LightEntry* lights = Lights(&count);
    bool last = true;
    for (uint32_t i = 0; i < count; ++i) {
        if (lights[i].light.Type != 0) {
            S().device->SetLight(i, &lights[i].light);
        }
        last = SUCCEEDED(S().device->LightEnable(i, lights[i].enabled));
    }
    return last;
}

void D3D9MaterialForget()
{
    D3D9DriverState& s = S();
    std::memset(&s.material, 0, sizeof(s.material));
    s.materialKnown = 0;
    s.materialKeyKnown = 0;
}

float* D3D9GetAmbientLight()
{
    return S().ambientLight;
}

int32_t D3D9SetSurfaceProperties(const D3D9SurfaceProperties* surface, const uint8_t colour[4],
                                 uint32_t flags)
{
    D3D9DriverState& s = S();
    const uint32_t colourWord = uint32_t(colour[0]) | uint32_t(colour[1]) << 8 | uint32_t(colour[2]) << 16 |
                                uint32_t(colour[3]) << 24;
    const D3D9MaterialKey key = {surface->diffuse,
                                 surface->ambient,
                                 colourWord,
                                 flags & (kD3D9GeometryPrelit | kD3D9GeometryModulate),
                                 {s.ambientLight[0], s.ambientLight[1], s.ambientLight[2]}};
    if (s.materialKeyKnown && std::memcmp(&key, &s.materialKey, sizeof(key)) == 0) {
        return 1;
    }
    const bool prelit = (flags & kD3D9GeometryPrelit) != 0;
    const float* light = s.ambientLight;
    D3DMATERIAL9 material{};
    if (!(flags & kD3D9GeometryModulate) || colourWord == 0xFFFFFFFF) {
        const float d = surface->diffuse;
        material.Diffuse = {d, d, d, 1.0f};
        D3D9SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
        D3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
        D3D9SetRenderState(D3DRS_COLORVERTEX, prelit ? 1 : 0);
        D3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, prelit ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
        if (surface->ambient == 1.0f) {
            material.Ambient = {light[0], light[1], light[2], 1.0f};
        } else {
            const float a = surface->ambient;
            material.Ambient = {light[0] * a, light[1] * a, light[2] * a, 1.0f};
        }
    } else {
        constexpr float kInv255 = 0.003921569f;
        const float k = surface->diffuse * kInv255;
        const float r = colour[0], g = colour[1], b = colour[2];
        material.Diffuse = {r * k, g * k, b * k, colour[3] * kInv255};
        const float a = surface->ambient * kInv255;
        const D3DCOLORVALUE lit = {r * light[0] * a, g * light[1] * a, b * light[2] * a, 1.0f};
        if (prelit) {
            D3D9SetRenderState(D3DRS_AMBIENT, uint32_t(colour[3]) << 24 | uint32_t(colour[0]) << 16 |
                                                  uint32_t(colour[1]) << 8 | colour[2]);
            D3D9SetRenderState(D3DRS_COLORVERTEX, 1);
            D3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
            D3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            material.Ambient = {0, 0, 0, 1.0f};
            material.Emissive = lit;
        } else {
            D3D9SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
            D3D9SetRenderState(D3DRS_COLORVERTEX, 0);
            D3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
            D3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            material.Ambient = lit;
        }
    }
    material.Ambient.a = 1.0f;
    material.Specular = {0, 0, 0, 1.0f};
    material.Emissive.a = 1.0f;
    material.Power = 0;
    if (!D3D9SetMaterial(&material)) {
        return 0;
    }
    s.materialKey = key;
    s.materialKeyKnown = 1;
    return 1;
}

int32_t CameraFrustumTestSphereInside(const Camera* camera, const Sphere* sphere)
{
    for (const FrustumPlane& plane : camera->frustumPlanes) {
        const float s = plane.normal.x * sphere->centre.x + plane.normal.y * sphere->centre.y +
                        plane.normal.z * sphere->centre.z - plane.distance;
        if (s > -sphere->radius) {
            return 0;
        }
    }
    return 1;
}

int32_t CameraFrustumTestBox(const Camera* camera, const BBox* box)
{
    for (const FrustumPlane& plane : camera->frustumPlanes) {
        const V3d corner = {plane.signs[0] ? box->sup.x : box->inf.x,
                            plane.signs[1] ? box->sup.y : box->inf.y,
                            plane.signs[2] ? box->sup.z : box->inf.z};
        const float d = plane.normal.x * corner.x + plane.normal.y * corner.y + plane.normal.z * corner.z;
        if (d > plane.distance) {
            return 0;
        }
    }
    return 1;
}
