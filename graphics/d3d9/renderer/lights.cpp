// Fixed-function lights: the light extension with its device index, the
// index allocator, the two light templates, the lists of indices enabled for
// the current and the previous object, and the lighting callbacks.
#include "graphics/d3d9/renderer/lights.h"

#include <cmath>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/instance.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"

namespace {

constexpr uint32_t kListHint = 0x103050D;
constexpr uint32_t kFreeStackStep = 256;
constexpr uint32_t kEnabledStep = 8;
constexpr float kPi = 3.14159265358979f;

struct LightExtension
{
    int32_t index; ///< device light index, -1 for none
    float attenuation[3];
};
static_assert(sizeof(LightExtension) == 16, "the extension is 16 bytes");

struct IndexList
{
    int32_t* data;
    uint32_t count;
    uint32_t capacity;
};

int32_t gOffset = -1;
bool gOpen = false;
int32_t gNextIndex = 0;
IndexList gFree = {};
IndexList gCurrent = {};
IndexList gPrevious = {};
uint32_t gMaxActive = ~0u;
D3DLIGHT9 gDirectional = {};
D3DLIGHT9 gLocal = {};

LightExtension* Extension(const Light* light)
{
    return reinterpret_cast<LightExtension*>(reinterpret_cast<uint8_t*>(const_cast<Light*>(light)) + gOffset);
}

// Appends one index, growing by `step`; false (error recorded) when memory runs out.
bool Push(IndexList* list, int32_t index, uint32_t step)
{
    if (list->count == list->capacity) {
        const uint32_t capacity = list->capacity + step;
        auto* data =
            static_cast<int32_t*>(MemoryReallocate(list->data, capacity * sizeof(int32_t), kListHint));
        if (!data) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, capacity * sizeof(int32_t)));
            return false;
        }
        list->data = data;
        list->capacity = capacity;
    }
    list->data[list->count++] = index;
    return true;
}

void Free(IndexList* list)
{
    if (list->data) {
        MemoryFree(list->data);
    }
    *list = {};
}

// Every index ever handed out is free again: start over from 0.
void GiveBack(int32_t index)
{
    if (!gOpen || index < 0) {
        return;
    }
    if (gFree.count >= uint32_t(gNextIndex - 1)) {
        Free(&gFree);
        gNextIndex = 0;
        return;
    }
    Push(&gFree, index, kFreeStackStep);
}

void AssignIndex(LightExtension* extension)
{
    if (extension->index >= 0) {
        return;
    }
    extension->index = gFree.count > 0 ? gFree.data[--gFree.count] : gNextIndex++;
}

void TemplateReset(D3DLIGHT9* light, float falloff)
{
    *light = {};
    light->Diffuse = {0, 0, 0, 1};
    light->Specular = {0, 0, 0, 1};
    light->Ambient = {0, 0, 0, 1};
    light->Falloff = falloff;
}

void AmbientReset()
{
    float* ambient = D3D9GetAmbientLight();
    ambient[0] = ambient[1] = ambient[2] = 0.0f;
}

void AmbientAdd(const Light* light)
{
    float* ambient = D3D9GetAmbientLight();
    ambient[0] += light->colour.red;
    ambient[1] += light->colour.green;
    ambient[2] += light->colour.blue;
}

D3DVECTOR Vector(const V3d& v)
{
    return {v.x, v.y, v.z};
}

uint8_t LightType(const Light* light)
{
    return light->object.object.subType;
}

uint8_t LightFlags(const Light* light)
{
    return light->object.object.flags;
}

World* CurrentWorld()
{
    return static_cast<World*>(EngineGetInstance()->currentWorld);
}

// Walks the world's global lights sharing a bit with `mask`: directional
// ones are loaded when `directional`, the others summed into the ambient
// (D3DRS_AMBIENT 0 when none matched). Whether any light was used.
bool LoadGlobals(const World* world, uint32_t mask, bool directional)
{
    AmbientReset();
    bool matched = false, used = false;
    for (const LinkList* link = world->globalLights.next; link != &world->globalLights; link = link->next) {
        Light* light = LinkListEntry(const_cast<LinkList*>(link), Light, worldLink);
        if (!(LightFlags(light) & mask)) {
            continue;
        }
        matched = true;
        if (LightType(light) != kLightDirectional) {
            AmbientAdd(light);
            used = true;
        } else if (directional) {
            used |= LightsLoadDirectional(light) != 0;
        }
    }
    if (!matched) {
        D3D9SetRenderState(D3DRS_AMBIENT, 0);
    }
    return used;
}

// The local lights of the sectors an atomic is tied to, each visited once
// per atomic (the light stamp), loaded when its range reaches the atomic's
// world bounding sphere.
struct AtomicVisit
{
    const Sphere* sphere;
    uint16_t stamp;
    bool any;
};

Light* VisitAtomicLight(Light* light, void* data)
{
    auto* visit = static_cast<AtomicVisit*>(data);
    if (light->stamp == visit->stamp) {
        return light;
    }
    light->stamp = visit->stamp;
    if (!(LightFlags(light) & kLightLightsAtomics)) {
        return light;
    }
    const V3d at = LightMatrix(light).pos;
    const float dx = at.x - visit->sphere->centre.x, dy = at.y - visit->sphere->centre.y,
                dz = at.z - visit->sphere->centre.z;
    const float reach = light->radius + visit->sphere->radius;
    if (dx * dx + dy * dy + dz * dz < reach * reach) {
        visit->any |= LightsLoad(light) != 0;
    }
    return light;
}

WorldSector* VisitAtomicSector(WorldSector* sector, void* data)
{
    WorldSectorForAllLocalLights(sector, VisitAtomicLight, data);
    return sector;
}

Light* VisitSectorLight(Light* light, void* data)
{
    if (LightFlags(light) & kLightLightsWorld) {
        *static_cast<bool*>(data) |= LightsLoad(light) != 0;
    }
    return light;
}

void* ExtensionConstruct(void* object, int32_t offset, int32_t)
{
    auto* extension = reinterpret_cast<LightExtension*>(static_cast<uint8_t*>(object) + offset);
    *extension = {-1, {1.0f, 0.0f, 5.0f}};
    return object;
}

void* ExtensionDestruct(void* object, int32_t offset, int32_t)
{
    auto* extension = reinterpret_cast<LightExtension*>(static_cast<uint8_t*>(object) + offset);
    GiveBack(extension->index);
    extension->index = -1;
    return object;
}

// A clone has a device slot of its own to find: sharing the source's would
// make the two overwrite each other and give the index back twice.
void* ExtensionCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    const auto* from = reinterpret_cast<const LightExtension*>(static_cast<const uint8_t*>(source) + offset);
    auto* to = reinterpret_cast<LightExtension*>(static_cast<uint8_t*>(destination) + offset);
    *to = *from;
    to->index = -1;
    return destination;
}

} // namespace

Matrix LightMatrix(const Light* light)
{
    Frame* frame = LightGetFrame(light);
    if (frame) {
        return *FrameGetLTM(frame);
    }
    Matrix identity = {};
    identity.right.x = identity.up.y = identity.at.z = 1.0f;
    return identity;
}

int32_t LightsExtensionAttach()
{
    gOffset = LightRegisterPlugin(sizeof(LightExtension), kPluginIdD3D9Lights, ExtensionConstruct,
                                  ExtensionDestruct, ExtensionCopy);
    return gOffset < 0 ? 0 : 1;
}

void LightSetAttenuation(Light* light, const float attenuation[3])
{
    std::memcpy(Extension(light)->attenuation, attenuation, sizeof(float) * 3);
}

float* LightGetAttenuation(const Light* light, float out[3])
{
    std::memcpy(out, Extension(light)->attenuation, sizeof(float) * 3);
    return out;
}

int32_t LightGetDeviceIndex(const Light* light)
{
    return Extension(light)->index;
}

int32_t LightsReset()
{
    LightsClose();
    gOpen = true;
    const uint32_t max = D3D9GetCaps()->MaxActiveLights;
    gMaxActive = max == 0 ? ~0u : max;
    AmbientReset();
    TemplateReset(&gDirectional, 0.0f);
    gDirectional.Type = D3DLIGHT_DIRECTIONAL;
    TemplateReset(&gLocal, 1.0f);
    return 1;
}

void LightsClose()
{
    Free(&gFree);
    Free(&gCurrent);
    Free(&gPrevious);
    gNextIndex = 0;
    gOpen = false;
}

int32_t LightsLoadGlobal(uint32_t flagMask)
{
    const World* world = CurrentWorld();
    if (!world) {
        AmbientReset();
        D3D9SetRenderState(D3DRS_AMBIENT, 0);
        return 0;
    }
    return LoadGlobals(world, flagMask, true) ? 1 : 0;
}

int32_t LightsLoadDirectional(Light* light)
{
    LightExtension* extension = Extension(light);
    AssignIndex(extension);
    gDirectional.Diffuse = {light->colour.red, light->colour.green, light->colour.blue, 1.0f};
    gDirectional.Direction = Vector(LightMatrix(light).at);
    D3D9SetLightCached(uint32_t(extension->index), &gDirectional);
    Push(&gCurrent, extension->index, kEnabledStep);
    return 1;
}

int32_t LightsLoad(Light* light)
{
    const uint8_t type = LightType(light);
    // A light of radius 0 reaches nothing, and an unknown type is no device
    // light: neither takes a device index.
    if (light->radius == 0.0f || type < kLightPoint || type > kLightSpotSoft) {
        return 0;
    }
    LightExtension* extension = Extension(light);
    AssignIndex(extension);
    const Matrix matrix = LightMatrix(light);
    const float radius = light->radius;
    gLocal.Diffuse = {light->colour.red, light->colour.green, light->colour.blue, 1.0f};
    gLocal.Position = Vector(matrix.pos);
    gLocal.Range = radius;
    gLocal.Attenuation0 = extension->attenuation[0];
    gLocal.Attenuation1 = extension->attenuation[1] / radius;
    gLocal.Attenuation2 = extension->attenuation[2] / (radius * radius);
    if (type == kLightPoint) {
        gLocal.Type = D3DLIGHT_POINT;
        gLocal.Direction = {0, 0, 0};
        gLocal.Theta = gLocal.Phi = 0.0f;
    } else {
        gLocal.Type = D3DLIGHT_SPOT;
        gLocal.Direction = Vector(matrix.at);
        gLocal.Phi = 2.0f * LightGetConeAngle(light);
        if (type == kLightSpot) {
            gLocal.Theta = gLocal.Phi < kPi ? gLocal.Phi : gLocal.Phi - 0.001f;
        } else {
            gLocal.Theta = 0.0f;
        }
    }
    D3D9SetLightCached(uint32_t(extension->index), &gLocal);
    Push(&gCurrent, extension->index, kEnabledStep);
    return 1;
}

void LightsEnable(int32_t any, uint32_t)
{
    if (!any) {
        D3D9SetRenderState(D3DRS_LIGHTING, 0);
        return;
    }
    const uint32_t count = gCurrent.count < gMaxActive ? gCurrent.count : gMaxActive;
    for (uint32_t p = 0; p < gPrevious.count; ++p) {
        bool kept = false;
        for (uint32_t c = 0; c < count && !kept; ++c) {
            kept = gCurrent.data[c] == gPrevious.data[p];
        }
        if (!kept) {
            D3D9EnableLightCached(uint32_t(gPrevious.data[p]), 0);
        }
    }
    for (uint32_t c = 0; c < count; ++c) {
        D3D9EnableLightCached(uint32_t(gCurrent.data[c]), 1);
    }
    if (count > 0) {
        const IndexList previous = gPrevious;
        gPrevious = gCurrent;
        gPrevious.count = count;
        gCurrent = previous;
    } else {
        gPrevious.count = 0;
    }
    gCurrent.count = 0;
    D3D9SetRenderState(D3DRS_LIGHTING, 1);
}

void ObjectLighting(void* object)
{
    auto* atomic = static_cast<Atomic*>(object);
    const Geometry* geometry = atomic->geometry;
    const World* world = CurrentWorld();
    if (!(geometry->format & kGeometryLight) || !world) {
        LightsEnable(0, 0);
        return;
    }
    const bool normals = geometry->format & kGeometryNormals;
    bool any = LoadGlobals(world, kLightLightsAtomics, normals);
    if (normals) {
        AtomicVisit visit = {AtomicWorldBoundingSphere(atomic), ++EngineGetInstance()->lightFrame, false};
        AtomicForAllWorldSectors(atomic, VisitAtomicSector, &visit);
        any |= visit.any;
    }
    LightsEnable(any ? 1 : 0, 0);
}

void SectorLightingCallBack(void* object)
{
    auto* sector = static_cast<WorldSector*>(object);
    const World* world = CurrentWorld();
    if (!world || !(world->format & kGeometryLight)) {
        LightsEnable(0, 0);
        return;
    }
    bool any = LoadGlobals(world, kLightLightsWorld, true);
    ++EngineGetInstance()->lightFrame;
    WorldSectorForAllLocalLights(sector, VisitSectorLight, &any);
    LightsEnable(any ? 1 : 0, 0);
}
