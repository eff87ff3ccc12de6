// Loading the demo's data set: the AI data "data/wardels.ais" (a world whose
// three graphs and their data come from raw data) against rebuilding those
// graphs and access ways over the level as the escort run does without it,
// and the models, the world and the textures of the data root read through
// their readers. The data root is the build's (the demo-data target).
#include "graphics/core/chunk.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/stream.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/png.h"
#include "tools/common/toolfiles.h"
#include "tools/escort-run/escort_scenario.h"
#include "tools/make-demo-data/demomodels.h"
#include "tools/scenebuild/sceneengine.h"
#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct AiInputs
{
    Zelk::CEscortLevel level;
    std::vector<uint8_t> ais;
    std::string escortText;
    bool ready = false;
    AiInputs()
    {
        std::string error;
        ready = Zelk::EscortLevelLoad(OLAI_ESCORT_DATA_DIR "/level.txt", level, error) &&
                ToolReadFile(OLAI_DEMO_DATA_DIR "/data/wardels.ais", &ais) &&
                ToolReadText(OLAI_ESCORT_DATA_DIR "/escort_ai.txt", &escortText);
    }
};

const AiInputs& Inputs()
{
    static const AiInputs inputs;
    return inputs;
}

// The AI world as the demo creates it: configuration and graphs from the ".AIS" file.
void BM_AiDataLoad(benchmark::State& state)
{
    const AiInputs& in = Inputs();
    if (!in.ready) {
        state.SkipWithError("the data root has no data/wardels.ais; build the demo-data target");
        return;
    }
    for (auto _ : state) {
        Zelk::CEscortScenario scenario;
        std::string error;
        if (!scenario.StartFromAis(in.level, in.ais, Zelk::CEscortRunOptions(), error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
}
BENCHMARK(BM_AiDataLoad)->Unit(benchmark::kMillisecond);

// The same world with its three graphs, their find-nearest data and the access ways
// built over the level at start.
void BM_AiGraphsRebuild(benchmark::State& state)
{
    const AiInputs& in = Inputs();
    if (!in.ready) {
        state.SkipWithError("the data root has no data/wardels.ais; build the demo-data target");
        return;
    }
    for (auto _ : state) {
        Zelk::CEscortScenario scenario;
        std::string error;
        if (!scenario.Start(in.level, in.escortText, Zelk::CEscortRunOptions(), error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
}
BENCHMARK(BM_AiGraphsRebuild)->Unit(benchmark::kMillisecond);

// Reads the first chunk of the type from the file; false when the file or the chunk is missing.
template <typename Read> bool ReadChunk(const std::string& file, uint32_t type, Read read)
{
    std::vector<uint8_t> bytes;
    if (!ToolReadFile(file, &bytes))
        return false;
    StreamMemory memory{bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    const bool ok = stream != nullptr && StreamFindChunk(stream, type, nullptr, nullptr) && read(stream);
    if (stream != nullptr)
        StreamClose(stream, nullptr);
    return ok;
}

// The demo's models, the world and the textures it draws, each read once per iteration.
void BM_SceneFilesLoad(benchmark::State& state)
{
    if (!SceneEngineStart() || !FileSystemManagerOpen(0)) {
        state.SkipWithError("the engine did not start");
        return;
    }
    FileSystem* files = Win32FileSystemCreate(8, OLAI_DEMO_DATA_DIR "/", "data");
    if (files == nullptr || !FileSystemManagerRegister(files)) {
        state.SkipWithError("no file system over the data root");
        return;
    }
    FileSystemManagerSetDefault(files);
    std::vector<std::string> textures;
    for (const fs::directory_entry& entry : fs::directory_iterator(OLAI_DEMO_DATA_DIR "/models/textures"))
        textures.push_back("models/textures/" + entry.path().filename().string());
    std::sort(textures.begin(), textures.end());
    for (auto _ : state) {
        bool ok = true;
        for (const std::string& model : DemoModelNames())
            ok = ok && ReadChunk(std::string(OLAI_DEMO_DATA_DIR "/") + model, kChunkClump, [](Stream* s) {
                     Clump* clump = ClumpStreamRead(s);
                     return clump != nullptr && ClumpDestroy(clump) != 0;
                 });
        ok = ok && ReadChunk(OLAI_DEMO_DATA_DIR "/models/wardels.bsp", kChunkWorld, [](Stream* s) {
                 World* world = WorldStreamRead(s);
                 return world != nullptr && WorldDestroy(world) != 0;
             });
        for (const std::string& texture : textures) {
            Image* image = texture.ends_with(".png") ? PngRead(texture.c_str()) : BmpRead(texture.c_str());
            ok = ok && image != nullptr;
            if (image != nullptr)
                ImageDestroy(image);
        }
        if (!ok) {
            state.SkipWithError("a file of the data root did not read");
            break;
        }
    }
    FileSystemManagerClose();
    SceneEngineStop();
}
BENCHMARK(BM_SceneFilesLoad)->Unit(benchmark::kMillisecond);

} // namespace
