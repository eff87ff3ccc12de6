// The demo's loaders on a copy of the demo data's models folder, with broken
// files beside the good ones: each file loads, and a missing file, a file
// without its chunk or a truncated one answers null.
#include "demo/modelloaders.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/frame.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/toolkit2d/imageformats.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/trilist.h"
#include "platform/win32/win32.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// One folder per process: CTest runs the cases side by side.
const fs::path kRoot = fs::path(OLAI_TEST_OUTPUT_DIR) / ("loaders-" + std::to_string(getpid()));
const fs::path kModels = kRoot / "models";
const fs::path kDemoModels = fs::path(OLAI_DEMO_DATA_DIR) / "models";

void CopyPrefix(const fs::path& from, const fs::path& to, size_t bytes)
{
    std::ifstream in(from, std::ios::binary);
    std::string data(bytes, '\0');
    in.read(data.data(), std::streamsize(bytes));
    std::ofstream(to, std::ios::binary).write(data.data(), in.gcount());
}

class DemoLoaders : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        fs::remove_all(kRoot);
        fs::create_directories(kModels / "textures");
        fs::copy_file(kDemoModels / "sky1.dff", kModels / "sky1.dff");
        fs::copy_file(kDemoModels / "wardels.bsp", kModels / "wardels.bsp");
        fs::copy_file(kDemoModels / "textures" / "skydome.bmp", kModels / "textures" / "skydome.bmp");
        // A clump where a world is looked for, and files cut short.
        fs::copy_file(kDemoModels / "sky1.dff", kModels / "clumponly.bsp");
        CopyPrefix(kDemoModels / "sky1.dff", kModels / "cut.dff", 40);
        CopyPrefix(kDemoModels / "wardels.bsp", kModels / "cut.bsp", 200);
        CopyPrefix(kDemoModels / "sky1.dff", kModels / "empty.dff", 0);

        // Textures need a device that makes rasters: the software device in
        // a headless window.
        if (!std::getenv("DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window = Win32WindowCreate("demo loaders", 64, 64);
        ASSERT_NE(window, nullptr);
        EngineSetDeviceDriver(D3D9DriverGet());
        static EngineOpenParams params{};
        params.displayId = window;
        ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && EngineOpen(&params) &&
                    EngineStart());
        ASSERT_TRUE(Toolkit2dImageFormatsRegister());
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(8, (kRoot.string() + "/").c_str(), "data");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
    }
    static void TearDownTestSuite()
    {
        FileSystemManagerClose();
        if (EngineGetState() == kEngineStateStarted)
            EngineStop();
        if (EngineGetState() == kEngineStateOpened)
            EngineClose();
        if (EngineGetState() == kEngineStateInitialised)
            EngineTerm();
        Win32WindowDestroy(window);
        fs::remove_all(kRoot);
    }
    void SetUp() override
    {
        dictionary = TexDictionaryCreate();
        ASSERT_NE(dictionary, nullptr);
        TexDictionarySetCurrent(dictionary);
    }
    void TearDown() override
    {
        TexDictionarySetCurrent(nullptr);
        TexDictionaryDestroy(dictionary);
    }

    TexDictionary* dictionary = nullptr;
    static inline HWND window = nullptr;
};

TEST_F(DemoLoaders, ClumpAndWorldLoadFromTheModelsFolder)
{
    Clump* clump = LoadClump("sky1");
    ASSERT_NE(clump, nullptr);
    EXPECT_EQ(ClumpCountAtomics(clump), 2);
    ClumpDestroy(clump);

    World* world = LoadBspWorld("wardels");
    ASSERT_NE(world, nullptr);
    WorldDestroy(world);
}

TEST_F(DemoLoaders, MissingOrBrokenFilesAnswerNull)
{
    EXPECT_EQ(LoadClump("nosuchmodel"), nullptr);
    EXPECT_EQ(LoadClump("empty"), nullptr);
    EXPECT_EQ(LoadClump("cut"), nullptr);
    EXPECT_EQ(LoadClump(nullptr), nullptr);
    EXPECT_EQ(LoadAtomic("cut", 0), nullptr);
    EXPECT_EQ(LoadBspWorld("nosuchworld"), nullptr);
    EXPECT_EQ(LoadBspWorld("clumponly"), nullptr);
    EXPECT_EQ(LoadBspWorld("cut"), nullptr);
    EXPECT_EQ(OpenModelStream("nosuchmodel", ".dff"), nullptr);
}

TEST_F(DemoLoaders, AtomicIsAFreeCopyOfTheIndexedOne)
{
    // The dome is white, the ground below the horizon green.
    const struct
    {
        int index;
        uint8_t red;
    } cases[] = {{0, 255}, {1, 70}};
    for (const auto& c : cases) {
        Atomic* atomic = LoadAtomic("sky1", c.index);
        ASSERT_NE(atomic, nullptr) << c.index;
        EXPECT_EQ(atomic->clump, nullptr);
        EXPECT_EQ(AtomicGetFrame(atomic), nullptr);
        ASSERT_NE(atomic->geometry, nullptr);
        ASSERT_EQ(atomic->geometry->materials.count, 1);
        EXPECT_EQ(atomic->geometry->materials.materials[0]->colour.red, c.red) << c.index;
        AtomicDestroy(atomic);
    }
    EXPECT_EQ(LoadAtomic("sky1", 2), nullptr);
    EXPECT_EQ(LoadAtomic("sky1", -1), nullptr);
}

TEST_F(DemoLoaders, SkyDomeIsTexturedAndInTheWorld)
{
    World* world = LoadBspWorld("wardels");
    ASSERT_NE(world, nullptr);
    Atomic* sky = LoadSkyDome(world);
    ASSERT_NE(sky, nullptr);
    ASSERT_NE(AtomicGetFrame(sky), nullptr);
    const MaterialList& materials = sky->geometry->materials;
    for (int32_t i = 0; i < materials.count; ++i)
        EXPECT_NE(materials.materials[i]->texture, nullptr) << i;
    EXPECT_EQ(AtomicGetWorld(sky), world);

    Frame* frame = AtomicGetFrame(sky);
    WorldRemoveAtomic(world, sky);
    AtomicDestroy(sky);
    FrameDestroy(frame);
    WorldDestroy(world);
}

TEST_F(DemoLoaders, SkyDomeWithoutItsTextureAnswersNull)
{
    World* world = LoadBspWorld("wardels");
    ASSERT_NE(world, nullptr);
    const fs::path texture = kModels / "textures" / "skydome.bmp";
    fs::rename(texture, kRoot / "skydome.bmp");
    EXPECT_EQ(LoadSkyDome(world), nullptr);
    fs::rename(kRoot / "skydome.bmp", texture);
    // The sky model itself missing.
    fs::rename(kModels / "sky1.dff", kRoot / "sky1.dff");
    EXPECT_EQ(LoadSkyDome(world), nullptr);
    fs::rename(kRoot / "sky1.dff", kModels / "sky1.dff");
    EXPECT_EQ(LoadSkyDome(nullptr), nullptr);
    WorldDestroy(world);
}

WorldSector* CollectSector(WorldSector* sector, void* data)
{
    static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
    return sector;
}

TEST_F(DemoLoaders, WorldGridHasOneTriangleListCellPerSector)
{
    World* world = LoadBspWorld("wardels");
    ASSERT_NE(world, nullptr);
    std::vector<WorldSector*> sectors;
    WorldForAllSectors(world, CollectSector, &sectors);
    ASSERT_GT(sectors.size(), 1u);

    OlpVolume* grid = CreateWorldGridVolume(world, 1.0f);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->descriptor->typeId, kOlpTypeGrid);
    ASSERT_EQ(OlpGridGetCellCount(grid), sectors.size());
    for (uint32_t i = 0; i < sectors.size(); ++i) {
        OlpVolume* cell = OlpGridGetCell(grid, i);
        uint32_t kind = 99;
        EXPECT_EQ(cell->descriptor->typeId, kOlpTypeTrilist) << i;
        EXPECT_EQ(OlpTrilistGetSource(cell, &kind), sectors[i]) << i;
        EXPECT_EQ(kind, kOlpTrilistSector) << i;
    }
    // The hash covers the whole world.
    const OlpGridHeader* header = OlpGridGetHeader(grid);
    EXPECT_GT(header->entryCount, 0u);
    EXPECT_LE(header->box.min.x, world->boundingBox.inf.x + 0.01f);
    EXPECT_GE(header->box.max.x, world->boundingBox.sup.x - 0.01f);
    OlpVolumeDestroy(grid);
    WorldDestroy(world);

    EXPECT_EQ(CreateWorldGridVolume(nullptr, 1.0f), nullptr);
}

} // namespace
