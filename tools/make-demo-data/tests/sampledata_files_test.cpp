// The files make-demo-data writes: every texture reads back through its reader
// with its size and the pixels that make it work (a soft alpha for the
// particle, a sky lighter towards the horizon), every model reads back as a clump, the help page lists the
// controls, the configurations pass cfgcheck, every file the framework loads by name exists, the two
// soldiers read back skinned on the framework's skeleton in their colours, and two runs write the same
// bytes.
#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/png.h"
#include "physics/refpair/refpair.h"
#include "testing/textpattern.h"
#include "tools/common/toolfiles.h"
#include "tools/make-demo-data/demomodels.h"
#include "tools/make-demo-data/demotextures.h"
#include "tools/scenebuild/sceneengine.h"
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr const char* kWorldOptions = " --world-textures " OLAI_WORLD_TEXTURES " --world " OLAI_WORLD " ";

const uint8_t* PixelAt(const Image* image, int x, int y)
{
    return image->pixels + size_t(y) * size_t(image->stride) + size_t(x) * 4;
}

class SampleDataFiles : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        // The scene tools' engine with the plug-ins the soldiers' hierarchy and skin need.
        DeviceDoubleReset();
        EngineSetDeviceDriver(DeviceDoubleDriver());
        static int window;
        static EngineOpenParams params = {&window};
        ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && CollisionPluginAttach() &&
                    HierarchyPluginAttach() && SkinPluginAttach() && OlpRefPairRegister() == 1 &&
                    EngineOpen(&params) && EngineStart());
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(8, OLAI_DEMO_DATA_DIR "/", "data");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
    }
    static void TearDownTestSuite()
    {
        FileSystemManagerClose();
        SceneEngineStop();
    }
};

TEST_F(SampleDataFiles, EveryTextureReadsBack)
{
    const struct
    {
        const char* name;
        int width, height;
    } expected[] = {{"particle.png", 32, 32}, {"skydome.bmp", 256, 128}};
    ASSERT_EQ(DemoTextureNames().size(), std::size(expected));
    for (const auto& e : expected) {
        const std::string file = std::string("models/textures/") + e.name;
        Image* image = file.ends_with(".png") ? PngRead(file.c_str()) : BmpRead(file.c_str());
        ASSERT_NE(image, nullptr) << file;
        EXPECT_EQ(image->width, e.width) << file;
        EXPECT_EQ(image->height, e.height) << file;
        EXPECT_EQ(image->depth, 32) << file;
        if (std::string(e.name) == "particle.png") {
            EXPECT_GT(PixelAt(image, 16, 16)[3], 200) << "opaque in the middle";
            EXPECT_EQ(PixelAt(image, 0, 0)[3], 0) << "clear in the corner";
        } else {
            // The sky: blue above, paler towards the horizon (the bottom row).
            EXPECT_GT(PixelAt(image, 0, 0)[2], PixelAt(image, 0, 0)[0]);
            EXPECT_GT(PixelAt(image, 0, image->height - 1)[0], PixelAt(image, 0, 0)[0]);
        }
        ImageDestroy(image);
    }
}

TEST_F(SampleDataFiles, EveryModelReadsBackAsAClump)
{
    for (const std::string& name : DemoModelNames()) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ToolReadFile(std::string(OLAI_DEMO_DATA_DIR) + "/" + name, &bytes)) << name;
        StreamMemory memory{bytes.data(), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        ASSERT_NE(stream, nullptr);
        Clump* clump =
            StreamFindChunk(stream, kChunkClump, nullptr, nullptr) ? ClumpStreamRead(stream) : nullptr;
        StreamClose(stream, nullptr);
        ASSERT_NE(clump, nullptr) << name;
        // The sky has its dome and its ground; every other model one atomic.
        EXPECT_EQ(ClumpCountAtomics(clump), name == "models/sky1.dff" ? 2 : 1) << name;
        ClumpDestroy(clump);
    }
}

TEST_F(SampleDataFiles, WorldFileHoldsItsTexturesThenItsSectorsWithEdgeData)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ToolReadFile(OLAI_DEMO_DATA_DIR "/models/wardels.bsp", &bytes));
    StreamMemory memory{bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    ASSERT_NE(stream, nullptr);
    // The texture dictionary comes first, as the world loader looks for it first.
    uint32_t type = 0, size = 0, version = 0, build = 0;
    ASSERT_TRUE(ChunkHeaderRead(stream, &type, &size, &version, &build));
    EXPECT_EQ(type, 0x23u);
    ASSERT_NE(StreamSkip(stream, size), nullptr);
    ASSERT_TRUE(StreamFindChunk(stream, kChunkWorld, nullptr, nullptr));
    World* world = WorldStreamRead(stream);
    StreamClose(stream, nullptr);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->materials.count, 3) << "floor, walls and pillars";

    // Every sector with triangles carries their edge data: the edges the flat
    // floor's triangles share are cleared, the outline of walls and pillars
    // keeps edges that make contacts.
    struct Bits
    {
        int sectors = 0, blocks = 0, edgesSet = 0, edgesCleared = 0;
    } bits;
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            auto& b = *static_cast<Bits*>(data);
            if (sector->numTriangles == 0)
                return sector;
            ++b.sectors;
            const OlpRefPair* block = OlpRefPairGetA(sector);
            if (!block || block->wordCount != OlpRefPairWordCount(sector->numTriangles))
                return sector;
            ++b.blocks;
            for (uint32_t t = 0; t < sector->numTriangles; ++t) {
                const uint32_t nibble = block->words[t / 8] >> (t % 8 * 4) & 0xF;
                const int set = __builtin_popcount(nibble & kOlpRefPairEdges);
                b.edgesSet += set;
                b.edgesCleared += 3 - set;
            }
            return sector;
        },
        &bits);
    EXPECT_GT(bits.sectors, 0);
    EXPECT_EQ(bits.blocks, bits.sectors);
    EXPECT_GT(bits.edgesCleared, bits.edgesSet / 4) << "shared floor edges cleared";
    EXPECT_GT(bits.edgesSet, 0) << "outer edges kept";
    WorldDestroy(world);
}

TEST_F(SampleDataFiles, ConfigurationsPassCfgCheck)
{
    for (const char* name : {"config.xml", "furniture.xml"}) {
        const fs::path transcript = fs::path(OLAI_TEST_OUTPUT_DIR) / (std::string(name) + ".txt");
        fs::create_directories(transcript.parent_path());
        // The framework finds its files from the working directory: the data root.
        const std::string command = std::string("cd ") + OLAI_DEMO_DATA_DIR + " && " + OLAI_CFGCHECK + " " +
                                    name + " > " + transcript.string();
        EXPECT_EQ(std::system(command.c_str()), 0) << name;
        std::string text;
        ASSERT_TRUE(ToolReadText(transcript.string(), &text));
        EXPECT_EQ(text.find("box ["), std::string::npos) << name << ":\n" << text;
        EXPECT_EQ(text.find("(refused)"), std::string::npos) << name << ":\n" << text;
    }
}

TEST_F(SampleDataFiles, EveryNameTheFrameworkLoadsExists)
{
    // Names the framework and the demo open in code, lower case as on disk.
    std::vector<std::string> names = {"config.xml",
                                      "readme.txt",
                                      "fonts/did16.met",
                                      "models/spindrel/spline.ols",
                                      "data/wardels.ais",
                                      "models/fire.dff",
                                      "models/world.dff",
                                      "models/lift.dff",
                                      "models/boutonvert.dff",
                                      "models/boutonrouge.dff",
                                      "models/boutonverton.dff",
                                      "models/boutonrougeon.dff",
                                      "models/sky1.dff"};
    for (const char* texture :
         {"pointer.bmp", "target.bmp", "particle.png", "skydome.bmp", "stvarnlogo.bmp", "stolailogo.bmp",
          "sttitle.bmp", "sttext.bmp", "stmessage.bmp", "stscrollup.bmp", "stscrolldown.bmp", "stscroll.bmp"})
        names.push_back(std::string("models/textures/") + texture);
    // And every file the configurations name.
    for (const char* config : {"config.xml", "furniture.xml"}) {
        std::string text;
        ASSERT_TRUE(ToolReadText(std::string(OLAI_DEMO_DATA_DIR) + "/" + config, &text));
        // Each group needs a letter, so an empty one took no part in the match.
        for (
            const auto& file : TextPatternMatches(
                text,
                R"re(\b(?:file|clump|clumpFilename|sphereModel|filename)="([^"]+)"|<AiPathData value="([^"]+)")re"))
            names.push_back(file[1].empty() ? file[2] : file[1]);
    }
    int animations = 0;
    for (const std::string& name : names) {
        animations += name.ends_with(".anm");
        EXPECT_TRUE(fs::is_regular_file(fs::path(OLAI_DEMO_DATA_DIR) / name)) << name;
    }
    EXPECT_EQ(animations, 3 * 37)
        << "config.xml's two characters and furniture.xml's player name all 37 animations";
}

Clump* ReadClump(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (!ToolReadFile(path, &bytes))
        return nullptr;
    StreamMemory memory{bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (!stream)
        return nullptr;
    Clump* clump = StreamFindChunk(stream, kChunkClump, nullptr, nullptr) ? ClumpStreamRead(stream) : nullptr;
    StreamClose(stream, nullptr);
    return clump;
}

// Both soldiers on the framework's skeleton (node 17 the head, 35 the gun hand) at
// 500 units a metre, skinned, one material each in its own solid colour.
TEST_F(SampleDataFiles, SoldiersReadBackSkinnedInTheirColours)
{
    const struct
    {
        const char* name;
        RGBA colour;
    } soldiers[] = {{"models/bluesoldier.dff", {0, 0, 255, 255}},
                    {"models/redsoldier.dff", {255, 0, 0, 255}}};
    for (const auto& soldier : soldiers) {
        SCOPED_TRACE(soldier.name);
        Clump* clump = ReadClump(std::string(OLAI_DEMO_DATA_DIR) + "/" + soldier.name);
        ASSERT_NE(clump, nullptr);
        Frame* bone0 = nullptr;
        FrameForAllChildren(
            ClumpGetFrame(clump),
            [](Frame* child, void* data) { return *static_cast<Frame**>(data) = child; }, &bone0);
        Hierarchy* hierarchy = bone0 ? FrameGetHierarchy(bone0) : nullptr;
        ASSERT_NE(hierarchy, nullptr);
        ASSERT_GE(hierarchy->nodeCount, 36);
        HierarchyAttachFrames(hierarchy);
        ASSERT_NE(hierarchy->nodes[17].frame, nullptr);
        ASSERT_NE(hierarchy->nodes[35].frame, nullptr);
        const float feet = FrameGetLTM(hierarchy->nodes[0].frame)->pos.y;
        const float head = FrameGetLTM(hierarchy->nodes[17].frame)->pos.y - feet;
        EXPECT_GT(head, 1.4f * 500) << "the head at about 1.5 m, 500 units a metre";
        EXPECT_LT(head, 2.0f * 500);
        EXPECT_LT(FrameGetLTM(hierarchy->nodes[35].frame)->pos.y - feet, head);

        Atomic* atomic = nullptr;
        ClumpVisitAtomics(
            clump, [](Atomic* a, void* data) { return *static_cast<Atomic**>(data) = a; }, &atomic);
        ASSERT_NE(atomic, nullptr);
        const Skin* skin = SkinGeometryGetSkin(atomic->geometry);
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(skin->numBones, uint32_t(hierarchy->nodeCount));
        const MaterialList& materials = atomic->geometry->materials;
        ASSERT_EQ(materials.count, 1);
        const RGBA colour = materials.materials[0]->colour;
        EXPECT_EQ(colour.red, soldier.colour.red);
        EXPECT_EQ(colour.green, soldier.colour.green);
        EXPECT_EQ(colour.blue, soldier.colour.blue);
        EXPECT_EQ(materials.materials[0]->texture, nullptr) << "solid colour, no texture";
        ClumpDestroy(clump);
    }
}

TEST_F(SampleDataFiles, HelpPageAndStartScreenListTheControls)
{
    std::string text;
    ASSERT_TRUE(ToolReadText(OLAI_DEMO_DATA_DIR "/readme.txt", &text));
    for (const char* key : {"arrows", "Space", "F1", "C  "})
        EXPECT_NE(text.find(key), std::string::npos) << key;

    // The start screen's text page prints those lines: ink in the band of
    // every line with text (16 pixels a line from y = 16), none in the others.
    Image* page = BmpRead("models/textures/sttext.bmp");
    ASSERT_NE(page, nullptr);
    std::istringstream lines(text);
    int line = 0;
    for (std::string words; std::getline(lines, words); ++line) {
        int ink = 0;
        for (int y = 16 + 16 * line; y < 32 + 16 * line; ++y)
            for (int x = 0; x < page->width; ++x)
                ink += PixelAt(page, x, y)[0] < 128;
        EXPECT_EQ(ink > 0, words.find_first_not_of(' ') != std::string::npos)
            << "line " << line << ": " << words;
        if (words.find('/') != std::string::npos) {
            EXPECT_GT(ink, 8 * 10) << "line " << line << ": " << words;
        }
    }
    EXPECT_GT(line, 10);
    ImageDestroy(page);
}

TEST_F(SampleDataFiles, TwoRunsWriteTheSameBytes)
{
    const fs::path out = fs::path(OLAI_TEST_OUTPUT_DIR) / "again";
    fs::remove_all(out);
    fs::create_directories(out);
    ASSERT_EQ(std::system((std::string(OLAI_MAKE_DEMO_DATA) + " --sources " + OLAI_WARDELS_DIR +
                           kWorldOptions + out.string() + " > /dev/null")
                              .c_str()),
              0);
    EXPECT_FALSE(fs::exists(out / ".make-demo-data.partial"));
    std::vector<std::string> names = DemoTextureNames();
    for (std::string& name : names)
        name = "models/textures/" + name;
    for (const std::string& model : DemoModelNames())
        names.push_back(model);
    ASSERT_EQ(std::system((std::string(OLAI_CHARACTERGEN) + " " + OLAI_SOLDIER_SKELETON + " " +
                           (out / "models").string() +
                           " --units-per-metre 500 --colour bluesoldier=0000ff --colour redsoldier=ff0000")
                              .c_str()),
              0);
    for (const char* name : {"models/wardels.bsp", "readme.txt", "config.xml", "furniture.xml",
                             "models/bluesoldier.dff", "models/redsoldier.dff"})
        names.push_back(name);
    for (const std::string& name : names) {
        std::vector<uint8_t> built, again;
        ASSERT_TRUE(ToolReadFile(std::string(OLAI_DEMO_DATA_DIR) + "/" + name, &built)) << name;
        ASSERT_TRUE(ToolReadFile((out / name).string(), &again)) << name;
        EXPECT_EQ(built, again) << name;
    }
}

TEST_F(SampleDataFiles, CharactergenRefusesAMalformedColour)
{
    const fs::path out = fs::path(OLAI_TEST_OUTPUT_DIR) / "bad-colours";
    fs::remove_all(out);
    for (const char* colour :
         {"blue", "=0000ff", "blue=00ff", "blue=00ffzz", "../blue=0000ff", "blue=0000ff00"}) {
        const std::string command = std::string(OLAI_CHARACTERGEN) + " " + OLAI_SOLDIER_SKELETON + " " +
                                    out.string() + " --colour '" + colour + "' 2> /dev/null";
        EXPECT_NE(std::system(command.c_str()), 0) << colour;
    }
    EXPECT_FALSE(fs::exists(out)) << "nothing written";
}

TEST_F(SampleDataFiles, RefusesAnOutputItCannotWriteInto)
{
    const fs::path blocker = fs::path(OLAI_TEST_OUTPUT_DIR) / "not-a-folder";
    fs::create_directories(blocker.parent_path());
    ASSERT_TRUE(ToolWriteFile(blocker.string(), "x", 1));
    EXPECT_NE(std::system((std::string(OLAI_MAKE_DEMO_DATA) + " --sources " + OLAI_WARDELS_DIR +
                           kWorldOptions + blocker.string() + " 2> /dev/null")
                              .c_str()),
              0);
    EXPECT_EQ(fs::file_size(blocker), 1u);
}

} // namespace
