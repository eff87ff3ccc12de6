// effectsgen: writes the material-effects sample model and its textures.
//
//   effectsgen MODELDIR TEXTUREDIR
//       writes MODELDIR/effects_sample.dff (a row of eight spheres: dual
//       textures blended (9, 1), (5, 6) and (2, 2), a texture transform, a
//       sphere and a cube environment, a bump map, a bump map with an
//       environment), the cube environment MODELDIR/fxcube.dds, and the
//       other textures as TEXTUREDIR/<name>.png for texdict to pack into
//       MODELDIR/effects_sample.txd
#include <cstdio>
#include <string>

#include "graphics/animation/effects/effects.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/scenelibrary.h"
#include "tools/cli/tool_cli.h"
#include "tools/effectsgen/effectsbuild.h"

namespace {

bool EngineUp()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    if (!EngineInit(nullptr, 0, 0x400000) || !WorldLibraryAttach() || !EffectsPluginAttach() ||
        !EngineOpen(&params) || !EngineStart() || !FileSystemManagerOpen(0)) {
        return false;
    }
    FileSystem* files = Win32FileSystemCreate(8, "", "files");
    if (files == nullptr || !FileSystemManagerRegister(files)) {
        return false;
    }
    FileSystemManagerSetDefault(files);
    return true;
}

void EngineDown()
{
    FileSystemManagerClose();
    EngineStop();
    EngineClose();
    EngineTerm();
}

int Fail(const std::string& what)
{
    ErrorRecord error;
    ErrorGet(&error);
    std::fprintf(stderr, "effectsgen: %s (error %u:0x%x)\n", what.c_str(), error.pluginId, error.code);
    return 1;
}

int Generate(const std::string& modelDir, const std::string& textureDir)
{
    const std::string path = modelDir + "/effects_sample.dff";
    Clump* clump = EffectsBuildSample();
    if (!clump) {
        return Fail("the sample could not be built");
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, path.c_str());
    bool ok = stream && ClumpStreamWrite(clump, stream);
    ok = stream && StreamClose(stream, nullptr) && ok;
    ClumpDestroy(clump);
    if (!ok) {
        return Fail("cannot write " + path);
    }
    if (!EffectsWriteTextures(textureDir, modelDir)) {
        return Fail("cannot write the textures into " + textureDir + " and " + modelDir);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Writes the material-effects sample model, its cube environment and its other textures."};
    std::string modelDir, textureDir;
    app.add_option("modeldir", modelDir, "folder of the model and the cube environment")->required();
    app.add_option("texturedir", textureDir, "folder of the PNG textures")->required();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status)) {
        return status;
    }
    if (!EngineUp()) {
        return Fail("the engine did not start");
    }
    const int result = Generate(modelDir, textureDir);
    EngineDown();
    return result;
}
