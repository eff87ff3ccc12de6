#include "framework/bodydefinitions.h"

#include "physics/core/body/bodydef.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/part.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/volume.h"

namespace {

constexpr float kBoxMargin = 0.001f;

// The definition's part takes a copy of `volume` with its coefficients, then
// the mass over it (a negative mass is a density: -1 gives the volume's own
// size as mass), a full inertia tensor or a scalar one.
OlpBodyDef* DefinitionOf(OlpVolume* volume, float mass, int32_t fullTensor)
{
    OlpBodyDef* def = OlpBodyDefCreate();
    if (def != nullptr && OlpPartSetVolume(&def->part, volume) == nullptr) {
        OlpBodyDefRelease(def);
        def = nullptr;
    }
    OlpVolumeDestroyContents(volume);
    if (def != nullptr)
        OlpPartSetMass(&def->part, mass, fullTensor);
    return def;
}

OlpVolume* WithCoefficients(OlpVolume* volume, float slide, float bounce)
{
    OlpVolumeSetBounce(volume, bounce);
    OlpVolumeSetSlide(volume, slide);
    return volume;
}

} // namespace

OlpBodyDef* CreateSphereBodyDefinition(float radius, float mass, float slide, float bounce)
{
    OlpVolume sphere;
    if (OlpSphereInit(&sphere, radius) == nullptr)
        return nullptr;
    return DefinitionOf(WithCoefficients(&sphere, slide, bounce), mass, 0);
}

OlpBodyDef* CreateBoxBodyDefinition(float halfX, float halfY, float halfZ, float mass, float slide,
                                    float bounce)
{
    OlpVolume box;
    const V3d half{halfX, halfY, halfZ};
    if (OlpBoxInit(&box, &half) == nullptr)
        return nullptr;
    OlpVolumeSetMargin(&box, kBoxMargin);
    return DefinitionOf(WithCoefficients(&box, slide, bounce), mass, 0);
}

OlpBodyDef* CreateBoxBody(float halfX, float halfY, float halfZ, float margin)
{
    OlpVolume box;
    const V3d half{halfX, halfY, halfZ};
    if (OlpBoxInit(&box, &half) == nullptr)
        return nullptr;
    OlpVolumeSetMargin(&box, margin);
    return DefinitionOf(&box, -1.0f, 1);
}

OlpBodyDef* CreateSphereBody(float radius)
{
    OlpVolume sphere;
    if (OlpSphereInit(&sphere, radius) == nullptr)
        return nullptr;
    return DefinitionOf(&sphere, -1.0f, 1);
}

OlpBodyDef* CreateCapsuleBody(float radius, float halfHeight)
{
    OlpVolume capsule;
    if (OlpCapsuleInit(&capsule, radius, halfHeight) == nullptr)
        return nullptr;
    return DefinitionOf(&capsule, -1.0f, 1);
}
