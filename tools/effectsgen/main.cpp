// effectsgen: writes the material-effects sample model and its textures.
//
//   effectsgen MODELDIR TEXTUREDIR
//       writes MODELDIR/effects_sample.dff (a row of eight spheres: dual
//       textures blended (9, 1), (5, 6) and (2, 2), a texture transform, a
//       sphere and a cube environment, a bump map, a bump map with an
//       environment), the cube environment MODELDIR/fxcube.dds, and the
//       other textures as TEXTUREDIR/<name>.png for texdict to pack into
//       MODELDIR/effects_sample.txd
#include <string>

#include "graphics/animation/effects/effects.h"
#include "graphics/core/stream.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/scenelibrary.h"
#include "tools/cli/tool_cli.h"
#include "tools/cli/tool_engine.h"
#include "tools/effectsgen/effectsbuild.h"

namespace {

/// The scene library and the material effects.
bool AttachPlugins()
{
    return WorldLibraryAttach() && EffectsPluginAttach();
}

int Fail(const std::string& what)
{
    return ToolEngineFail("effectsgen", what);
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
    ToolCli::App app{
        "Writes the material-effects sample model, its cube environment and its other textures."};
    std::string modelDir, textureDir;
    app.add_option("modeldir", modelDir, "folder of the model and the cube environment")->required();
    app.add_option("texturedir", textureDir, "folder of the PNG textures")->required();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status)) {
        return status;
    }
    if (!ToolEngineStart(AttachPlugins)) {
        return Fail("the engine did not start");
    }
    const int result = Generate(modelDir, textureDir);
    ToolEngineStop();
    return result;
}
