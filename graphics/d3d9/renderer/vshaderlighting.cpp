// The shader path's lighting callback: the lights that reach an object,
// brought into its space and written as constant registers from c4 on, with
// their counts stored in the shader descriptor.
#include "graphics/d3d9/renderer/vshaderlighting.h"

#include <cmath>

#include "graphics/core/instance.h"
#include "graphics/d3d9/renderer/lights.h"
#include "graphics/d3d9/renderer/vshaderconstants.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"

namespace {

constexpr uint32_t kMaxPerKind = 15;
// A hard-edged cone: the largest float below 1000 (0x4479FFFF) as the slope.
constexpr float kHardConeSlope = 999.99994f;
constexpr float kSoftConeLimit = 0.999f;

struct Taken
{
    Light* directional[kMaxPerKind];
    Light* point[kMaxPerKind];
    Light* spot[kMaxPerKind];
    uint32_t directionals, points, spots;
};

struct AtomicReach
{
    Taken* taken;
    const Sphere* sphere;
    uint16_t stamp;
};

void TakeLocal(Taken* taken, Light* light)
{
    const uint8_t type = light->object.object.subType;
    if (type == kLightPoint && taken->points < kMaxPerKind) {
        taken->point[taken->points++] = light;
    } else if ((type == kLightSpot || type == kLightSpotSoft) && taken->spots < kMaxPerKind) {
        taken->spot[taken->spots++] = light;
    }
}

Light* VisitAtomicLight(Light* light, void* data)
{
    auto* reach = static_cast<AtomicReach*>(data);
    if (light->stamp == reach->stamp || !(light->object.object.flags & kLightLightsAtomics)) {
        return light;
    }
    light->stamp = reach->stamp;
    const V3d at = LightMatrix(light).pos;
    const float dx = at.x - reach->sphere->centre.x, dy = at.y - reach->sphere->centre.y,
                dz = at.z - reach->sphere->centre.z;
    const float r = light->radius + reach->sphere->radius;
    if (r * r > dx * dx + dy * dy + dz * dz) {
        TakeLocal(reach->taken, light);
    }
    return light;
}

WorldSector* VisitAtomicSector(WorldSector* sector, void* data)
{
    WorldSectorForAllLocalLights(sector, VisitAtomicLight, data);
    return sector;
}

struct SectorVisit
{
    Taken* taken;
    uint16_t stamp;
};

Light* VisitSectorLight(Light* light, void* data)
{
    auto* visit = static_cast<SectorVisit*>(data);
    if ((light->object.object.flags & kLightLightsWorld) && light->stamp != visit->stamp) {
        light->stamp = visit->stamp;
        TakeLocal(visit->taken, light);
    }
    return light;
}

void Put(float* reg, float x, float y, float z, float w)
{
    reg[0] = x;
    reg[1] = y;
    reg[2] = z;
    reg[3] = w;
}

void PutColour(float* reg, const Light* light)
{
    Put(reg, light->colour.red, light->colour.green, light->colour.blue, 0.0f);
}

float ObjectRadiusInverse(const Light* light)
{
    float radius = 0.0f;
    D3D9VertexShaderLightRadius(light->radius, &radius);
    return radius > 0.0f ? 1.0f / radius : 0.0f;
}

// Position, then (for spots) direction and cone; returns the next register.
float (*PutLocal(float (*reg)[4], Light* light, bool spot))[4]
{
    const Matrix matrix = LightMatrix(light);
    V3d position;
    D3D9VertexShaderLightPosition(&matrix.pos, &position);
    Put(*reg++, position.x, position.y, position.z, 0.0f);
    if (spot) {
        V3d direction;
        D3D9VertexShaderLightDirection(&matrix.at, &direction);
        Put(*reg++, direction.x, direction.y, direction.z, 0.0f);
        float x, y;
        D3D9VertexShaderSpotCone(light->object.object.subType == kLightSpotSoft,
                                 std::cos(LightGetConeAngle(light)), &x, &y);
        Put(*reg++, x, y, 0.5f, 0.0f);
    }
    PutColour(*reg++, light);
    return reg;
}

float (*PutGroups(float (*reg)[4], Light* const* lights, uint32_t count, bool spot))[4]
{
    for (uint32_t g = 0; g < count; g += 4) {
        float* group = *reg++;
        Put(group, 0, 0, 0, 0);
        for (uint32_t i = 0; i < 4 && g + i < count; ++i) {
            group[i] = ObjectRadiusInverse(lights[g + i]);
            reg = PutLocal(reg, lights[g + i], spot);
        }
    }
    return reg;
}

} // namespace

void D3D9VertexShaderSpotCone(bool soft, float cosine, float* x, float* y)
{
    if (!soft || cosine >= kSoftConeLimit) {
        *x = kHardConeSlope;
        *y = -cosine * kHardConeSlope;
    } else {
        *x = 1.0f / (1.0f - cosine);
        *y = -cosine / (1.0f - cosine);
    }
}

float (*D3D9VertexShaderLightingCallback(void* object, int32_t kind, float (*constants)[4],
                                         VertexShaderDescriptor* descriptor))[4]
{
    *descriptor &= ~0xFFFu;
    const World* world = static_cast<World*>(EngineGetInstance()->currentWorld);
    const bool atomic = kind == 1;
    const Geometry* geometry = atomic ? static_cast<Atomic*>(object)->geometry : nullptr;
    const uint32_t flags = atomic ? geometry->format : (world ? world->format : 0);
    float* ambient = constants[0];
    Put(ambient, 0, 0, 0, (flags & kGeometryPreLit) ? 0.0f : 1.0f);
    float(*next)[4] = constants + 1;
    if (!(flags & kGeometryLight) || !world) {
        return next;
    }

    Taken taken = {};
    const uint8_t mask = atomic ? kLightLightsAtomics : kLightLightsWorld;
    const bool normals = !atomic || (flags & kGeometryNormals);
    for (const LinkList* link = world->globalLights.next; link != &world->globalLights; link = link->next) {
        Light* light = LinkListEntry(const_cast<LinkList*>(link), Light, worldLink);
        if (!(light->object.object.flags & mask)) {
            continue;
        }
        // Every global light that is not directional adds to the ambient,
        // as under the fixed-function lights.
        if (light->object.object.subType != kLightDirectional) {
            ambient[0] += light->colour.red;
            ambient[1] += light->colour.green;
            ambient[2] += light->colour.blue;
        } else if (normals && taken.directionals < kMaxPerKind) {
            taken.directional[taken.directionals++] = light;
        }
    }
    if (atomic && normals) {
        auto* a = static_cast<Atomic*>(object);
        AtomicReach reach = {&taken, AtomicWorldBoundingSphere(a), ++EngineGetInstance()->lightFrame};
        AtomicForAllWorldSectors(a, VisitAtomicSector, &reach);
    } else if (!atomic) {
        SectorVisit visit = {&taken, ++EngineGetInstance()->lightFrame};
        WorldSectorForAllLocalLights(static_cast<WorldSector*>(object), VisitSectorLight, &visit);
    }

    for (uint32_t i = 0; i < taken.directionals; ++i) {
        V3d direction;
        const Matrix matrix = LightMatrix(taken.directional[i]);
        D3D9VertexShaderLightDirection(&matrix.at, &direction);
        Put(*next++, direction.x, direction.y, direction.z, 0.0f);
        PutColour(*next++, taken.directional[i]);
    }
    next = PutGroups(next, taken.point, taken.points, false);
    next = PutGroups(next, taken.spot, taken.spots, true);
    *descriptor |= taken.directionals | taken.points << 4 | taken.spots << 8;
    return next;
}
