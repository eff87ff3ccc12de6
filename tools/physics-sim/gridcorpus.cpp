#include "tools/physics-sim/gridcorpus.h"

#include <cstdio>
#include <random>
#include <vector>

#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/griddata.h"
#include "physics/core/volume/sphere.h"

namespace {

Matrix Translation(V3d position)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

OlpVolume* OneCell()
{
    OlpVolume* grid = OlpGridCreate(1);
    OlpSphereInit(OlpGridGetCell(grid, 0), 1.0f);
    return grid;
}

OlpVolume* ScatteredWithHugeBox()
{
    const uint32_t small = 200;
    OlpVolume* grid = OlpGridCreate(small + 1);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    for (uint32_t i = 0; i < small; ++i) {
        OlpVolume* cell = OlpSphereInit(OlpGridGetCell(grid, i), 0.3f);
        Matrix frame = Translation({coordinate(random), coordinate(random), coordinate(random)});
        OlpVolumeSetFrame(cell, &frame);
    }
    V3d huge = {9, 1, 9};
    OlpBoxInit(OlpGridGetCell(grid, small), &huge);
    return grid;
}

OlpVolume* TinyCellsFarAway()
{
    OlpVolume* grid = OlpGridCreate(27);
    V3d half = {0.0005f, 0.0005f, 0.0005f};
    for (uint32_t i = 0; i < 27; ++i) {
        OlpVolume* cell = OlpBoxInit(OlpGridGetCell(grid, i), &half);
        Matrix frame = Translation(
            {-50000.0f + 0.001f * float(i % 3), 0.001f * float(i / 3 % 3), 0.001f * float(i / 9)});
        OlpVolumeSetFrame(cell, &frame);
    }
    return grid;
}

OlpVolume* WithoutBoxes()
{
    return OlpGridCreate(5);
}

} // namespace

int WriteGridCorpus(const std::string& folder)
{
    const struct
    {
        const char* name;
        OlpVolume* (*make)();
        float minimumCellSize;
    } seeds[] = {
        {"one-cell.bin", OneCell, 0.0f},
        {"scattered.bin", ScatteredWithHugeBox, 0.0f},
        {"far-away.bin", TinyCellsFarAway, 0.001f},
        {"no-boxes.bin", WithoutBoxes, 0.0f},
    };
    for (const auto& seed : seeds) {
        OlpVolume* grid = seed.make();
        OlpGridBuild(grid, seed.minimumCellSize);
        std::vector<uint8_t> block(OlpGridDataSize(grid));
        bool packed = !block.empty() && OlpGridPackData(grid, block.data(), block.size()) == block.size();
        OlpVolumeDestroy(grid);
        std::string path = folder + "/" + seed.name;
        FILE* file = packed ? std::fopen(path.c_str(), "wb") : nullptr;
        bool ok = file != nullptr && std::fwrite(block.data(), 1, block.size(), file) == block.size();
        if (file != nullptr) {
            ok = std::fclose(file) == 0 && ok;
        }
        if (!ok) {
            std::fprintf(stderr, "physics-sim: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("wrote %s (%zu bytes)\n", path.c_str(), block.size());
    }
    return 0;
}
