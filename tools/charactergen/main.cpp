// charactergen: writes the skinned sample models from the text skeleton.
//
//   charactergen SKELETON OUTDIR
//       writes OUTDIR/soldier.dff (the humanoid) with its texture
//       OUTDIR/soldier.png, and the test models OUTDIR/skinbar.dff (a
//       two-bone bar) and OUTDIR/skinchain.dff (40 bones, 20 used, split)

#include <cstdio>
#include <filesystem>
#include <string>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/scenelibrary.h"
#include "tools/charactergen/characterbuild.h"
#include "tools/cli/tool_cli.h"

namespace {

bool EngineUp()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    if (!EngineInit(nullptr, 0, 0x400000) || !WorldLibraryAttach() || !HierarchyPluginAttach() ||
        !SkinPluginAttach() || !EngineOpen(&params) || !EngineStart() || !FileSystemManagerOpen(0)) {
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
    std::fprintf(stderr, "charactergen: %s (error %u:0x%x)\n", what.c_str(), error.pluginId, error.code);
    return 1;
}

/// Writes the clump to `path` and destroys it; false when it was null or the write failed.
bool WriteClump(Clump* clump, const std::string& path)
{
    if (!clump) {
        return false;
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, path.c_str());
    bool ok = stream && ClumpStreamWrite(clump, stream);
    ok = stream && StreamClose(stream, nullptr) && ok;
    ClumpDestroy(clump);
    return ok;
}

int Generate(const std::string& skeletonPath, const std::string& outDir)
{
    Skeleton skeleton;
    std::string error;
    if (!SkeletonRead(skeletonPath, &skeleton, &error)) {
        std::fprintf(stderr, "charactergen: %s\n", error.c_str());
        return 1;
    }
    std::error_code made;
    std::filesystem::create_directories(outDir, made);
    const std::string soldier = outDir + "/soldier.dff";
    if (!WriteClump(CharacterBuildSoldier(skeleton), soldier)) {
        return Fail("cannot write " + soldier);
    }
    const std::string texture = outDir + "/" + kCharacterTextureName + ".png";
    if (!CharacterWriteTexture(texture.c_str())) {
        return Fail("cannot write " + texture);
    }
    if (!WriteClump(CharacterBuildBar(), outDir + "/skinbar.dff") ||
        !WriteClump(CharacterBuildChain(), outDir + "/skinchain.dff")) {
        return Fail("cannot write the test models");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Writes the skinned sample models (soldier, bar, chain) from a text skeleton."};
    std::string skeleton, outDir;
    app.add_option("skeleton", skeleton, "text skeleton")->required()->check(CLI::ExistingFile);
    app.add_option("outdir", outDir, "output folder")->required();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status)) {
        return status;
    }
    if (!EngineUp()) {
        return Fail("the engine did not start");
    }
    const int result = Generate(skeleton, outDir);
    EngineDown();
    return result;
}
