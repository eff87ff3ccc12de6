// charactergen: writes the skinned sample models from the text skeleton.
//
//   charactergen SKELETON OUTDIR
//       writes OUTDIR/soldier.dff (the humanoid) with its texture
//       OUTDIR/soldier.png, and the test models OUTDIR/skinbar.dff (a
//       two-bone bar) and OUTDIR/skinchain.dff (40 bones, 20 used, split)
//   charactergen SKELETON OUTDIR --colour NAME=RRGGBB [--colour ...]
//       writes only OUTDIR/NAME.dff for each colour: the humanoid in that
//       one solid colour (hexadecimal red, green, blue), without a texture
//   --units-per-metre N scales the humanoid's lengths (default 1: metres)

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/core/stream.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/scenelibrary.h"
#include "tools/charactergen/characterbuild.h"
#include "tools/cli/tool_cli.h"
#include "tools/cli/tool_engine.h"

namespace {

/// The scene library and the skinned-character plug-ins.
bool AttachPlugins()
{
    return WorldLibraryAttach() && HierarchyPluginAttach() && SkinPluginAttach();
}

int Fail(const std::string& what)
{
    return ToolEngineFail("charactergen", what);
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

/// A soldier in one solid colour, from "NAME=RRGGBB".
struct ColouredSoldier
{
    std::string name;
    RGBA colour;
};

/// Parses "NAME=RRGGBB"; false when the name is empty or not a plain file
/// name, or the colour is not six hexadecimal digits.
bool ParseColoured(const std::string& text, ColouredSoldier* soldier)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || text.size() - equals - 1 != 6) {
        return false;
    }
    soldier->name = text.substr(0, equals);
    if (soldier->name.find_first_of("/\\") != std::string::npos || soldier->name == "." ||
        soldier->name == "..") {
        return false;
    }
    const std::string hex = text.substr(equals + 1);
    if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    const unsigned long rgb = std::strtoul(hex.c_str(), nullptr, 16);
    soldier->colour = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255};
    return true;
}

int Generate(const std::string& skeletonPath, const std::string& outDir, float unitsPerMetre,
             const std::vector<ColouredSoldier>& coloured)
{
    Skeleton skeleton;
    std::string error;
    if (!SkeletonRead(skeletonPath, &skeleton, &error)) {
        std::fprintf(stderr, "charactergen: %s\n", error.c_str());
        return 1;
    }
    std::error_code made;
    std::filesystem::create_directories(outDir, made);
    if (!coloured.empty()) {
        for (const ColouredSoldier& one : coloured) {
            const CharacterLook look = {unitsPerMetre, true, one.colour};
            const std::string path = outDir + "/" + one.name + ".dff";
            if (!WriteClump(CharacterBuildSoldier(skeleton, look), path)) {
                return Fail("cannot write " + path);
            }
        }
        return 0;
    }
    const std::string soldier = outDir + "/soldier.dff";
    if (!WriteClump(CharacterBuildSoldier(skeleton, {unitsPerMetre, false, {}}), soldier)) {
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
    ToolCli::App app{"Writes the skinned sample models (soldier, bar, chain) from a text skeleton."};
    std::string skeleton, outDir;
    app.add_option("skeleton", skeleton, "text skeleton")->required()->check(ToolCli::ExistingFile);
    app.add_option("outdir", outDir, "output folder")->required();
    float unitsPerMetre = 1.0f;
    app.add_option("--units-per-metre", unitsPerMetre, "model units in a metre of the skeleton (default 1)")
        ->check(ToolCli::FiniteRange(1.0e-3, 1.0e6));
    std::vector<std::string> colours;
    app.add_option("--colour", colours, "NAME=RRGGBB: write only NAME.dff, the soldier in that solid colour");
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status)) {
        return status;
    }
    std::vector<ColouredSoldier> coloured(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        if (!ParseColoured(colours[i], &coloured[i])) {
            std::fprintf(stderr, "charactergen: --colour %s: expected NAME=RRGGBB\n", colours[i].c_str());
            return 2;
        }
    }
    if (!ToolEngineStart(AttachPlugins)) {
        return Fail("the engine did not start");
    }
    const int result = Generate(skeleton, outDir, unitsPerMetre, coloured);
    ToolEngineStop();
    return result;
}
