#include "physics/core/volume/part.h"

#include "physics/core/utils/inertia.h"
#include "physics/core/volume/volumecopy.h"

OlpPart* OlpPartInit(OlpPart* part, OlpVolume* volume)
{
    part->volume = volume;
    part->centre = {0.0f, 0.0f, 0.0f};
    part->mass = 1.0f;
    part->inertia = {1.0f, 1.0f, 1.0f};
    OlpQuaternionSetIdentity(&part->rotation);
    part->scalarInertia = 1.0f;
    part->damping[0] = 0.01f;
    part->damping[1] = 0.01f;
    part->carried[0] = part->carried[1] = part->carried[2] = 0;
    part->flags = 0;
    return part;
}

OlpPart* OlpPartDeinit(OlpPart* part)
{
    OlpVolumeDestroyContents(part->volume);
    return part;
}

OlpPart* OlpPartCopy(OlpPart* destination, const OlpPart* source)
{
    OlpVolumeCopy(destination->volume, source->volume);
    destination->centre = source->centre;
    destination->mass = source->mass;
    destination->inertia = source->inertia;
    destination->rotation = source->rotation;
    destination->scalarInertia = source->scalarInertia;
    destination->damping[0] = source->damping[0];
    destination->damping[1] = source->damping[1];
    for (int i = 0; i < 3; ++i) {
        destination->carried[i] = source->carried[i];
    }
    destination->flags = source->flags;
    return destination;
}

OlpPart* OlpPartSetVolume(OlpPart* part, const OlpVolume* volume)
{
    OlpVolumeDestroyContents(part->volume);
    OlpVolumeCopy(part->volume, volume);
    return part;
}
