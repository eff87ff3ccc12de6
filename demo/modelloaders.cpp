#include "demo/modelloaders.h"

#include "graphics/core/chunk.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/trilist.h"
#include <string>

namespace {

struct AtomicPick
{
    int remaining;
    Atomic* found;
};

Atomic* PickAtomic(Atomic* atomic, void* data)
{
    auto* pick = static_cast<AtomicPick*>(data);
    if (pick->remaining-- == 0) {
        pick->found = atomic;
        return nullptr;
    }
    return atomic;
}

Material* SetMaterialTexture(Material* material, void* texture)
{
    MaterialSetTexture(material, static_cast<Texture*>(texture));
    return material;
}

struct SectorCells
{
    OlpVolume* grid; ///< null while counting
    uint32_t count;
};

WorldSector* AddSectorCell(WorldSector* sector, void* data)
{
    auto* cells = static_cast<SectorCells*>(data);
    if (cells->grid != nullptr)
        OlpTrilistInit(OlpGridGetCell(cells->grid, cells->count), sector, kOlpTrilistSector);
    ++cells->count;
    return sector;
}

} // namespace

Stream* OpenModelStream(const char* name, const char* extension)
{
    if (name == nullptr || extension == nullptr)
        return nullptr;
    const std::string path = std::string("./Models/") + name + extension;
    ImageSetPath("./Models/textures/");
    return StreamOpen(kStreamFileName, kStreamRead, path.c_str());
}

Clump* LoadClump(const char* name)
{
    Stream* stream = OpenModelStream(name, ".dff");
    if (stream == nullptr)
        return nullptr;
    Clump* clump = nullptr;
    if (StreamFindChunk(stream, kChunkClump, nullptr, nullptr))
        clump = ClumpStreamRead(stream);
    StreamClose(stream, nullptr);
    return clump;
}

Atomic* LoadAtomic(const char* name, int index)
{
    Clump* clump = LoadClump(name);
    if (clump == nullptr)
        return nullptr;
    AtomicPick pick{index, nullptr};
    if (index >= 0)
        ClumpVisitAtomics(clump, PickAtomic, &pick);
    Atomic* clone = pick.found != nullptr ? AtomicClone(pick.found) : nullptr;
    ClumpDestroy(clump);
    return clone;
}

World* LoadBspWorld(const char* name)
{
    Stream* stream = OpenModelStream(name, ".bsp");
    if (stream == nullptr)
        return nullptr;
    World* world = nullptr;
    if (StreamFindChunk(stream, kChunkWorld, nullptr, nullptr))
        world = WorldStreamRead(stream);
    StreamClose(stream, nullptr);
    return world;
}

Atomic* LoadSkyDome(World* world)
{
    if (world == nullptr)
        return nullptr;
    Atomic* sky = LoadAtomic("sky1", 0);
    if (sky == nullptr)
        return nullptr;
    Frame* frame = FrameCreate();
    if (frame == nullptr) {
        AtomicDestroy(sky);
        return nullptr;
    }
    AtomicSetFrame(sky, frame);
    Texture* texture = TextureRead("skydome.bmp", nullptr);
    if (texture == nullptr) {
        AtomicDestroy(sky);
        FrameDestroy(frame);
        return nullptr;
    }
    GeometryForAllMaterials(sky->geometry, SetMaterialTexture, texture);
    // The materials hold their own references.
    TextureDestroy(texture);
    WorldAddAtomic(world, sky);
    return sky;
}

OlpVolume* CreateWorldGridVolume(World* world, float minimumCellSize)
{
    if (world == nullptr)
        return nullptr;
    SectorCells cells{nullptr, 0};
    WorldForAllSectors(world, AddSectorCell, &cells);
    if (cells.count == 0)
        return nullptr;
    cells.grid = OlpGridCreate(cells.count);
    if (cells.grid == nullptr)
        return nullptr;
    cells.count = 0;
    WorldForAllSectors(world, AddSectorCell, &cells);
    OlpGridBuild(cells.grid, minimumCellSize);
    return cells.grid;
}

Stream* OpenOutputStream(const char* name)
{
    if (name == nullptr)
        return nullptr;
    return StreamOpen(kStreamFileName, kStreamWrite, name);
}
