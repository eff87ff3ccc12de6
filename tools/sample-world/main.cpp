// sample-world: writes the sample data set (the escort level's world, the
// models and their textures) into a folder.
//
//   sample-world OUTDIR [--level FILE] [--terrain]
#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <string>

#include "tools/sample-world/sampledata.h"
#include "tools/scenebuild/sceneengine.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"sample-world: writes the sample world, models and textures"};
    std::string out;
    std::string level = "data/escort/level.txt";
    app.add_option("outdir", out, "folder to write into")->required();
    app.add_option("--level", level, "the level text to extrude");
    bool terrain = false;
    app.add_flag("--terrain", terrain, "also write terrain.bsp (20,000 triangles)");
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }
    if (!SceneEngineStart()) {
        std::fprintf(stderr, "sample-world: the engine did not start\n");
        return 1;
    }
    std::string error;
    const bool written = SampleDataWrite(level, out, terrain, &error);
    SceneEngineStop();
    if (!written) {
        std::fprintf(stderr, "sample-world: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
