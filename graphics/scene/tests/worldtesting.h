#pragma once
// Worlds for the world tests, made by the world builder from small soups.

#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/scene/material.h"
#include "graphics/scene/tests/scenetesting.h"
#include "graphics/scene/world.h"
#include "tools/worldbuild/worldbuild.h"
#include "tools/worldbuild/worldshapes.h"

inline WorldBuildLimits LeafLimit(uint32_t triangles)
{
    WorldBuildLimits limits;
    limits.leafTriangles = triangles;
    return limits;
}

/// The chunk 0x0B of a world (header included).
inline Bytes WorldBytes(World* world)
{
    return WriteBytes([&](Stream* stream) { return WorldStreamWrite(world, stream) != nullptr; });
}

/// The atomic sectors of a world in walk order.
inline std::vector<WorldSector*> Sectors(World* world)
{
    std::vector<WorldSector*> sectors;
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
            return sector;
        },
        &sectors);
    return sectors;
}
