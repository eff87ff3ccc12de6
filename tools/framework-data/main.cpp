// framework-data: writes the framework's sample pictures as BMP files into
// <data directory>/models/textures (pointer.bmp, target.bmp and the start
// screen's st*.bmp pages, the text page showing the lines of a text file).
//
//   framework-data --out <data directory> --text <help text>

#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/toolkit2d/bmp.h"
#include "tools/framework-data/pictures.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Writes the framework's sample pictures (pointer, target, start screen) as BMP files."};
    std::string out;
    app.add_option("--out", out, "data directory; the pictures go to its models/textures/ folder")
        ->required();
    std::string textFile;
    app.add_option("--text", textFile, "the help text the start screen's text page shows")
        ->required()
        ->check(ToolCli::ExistingFile);
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus))
        return parseStatus;

    std::vector<std::string> lines;
    {
        std::ifstream text(textFile);
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(out) / "models" / "textures", error);
    if (error || !FuzzEngineStart() || !FileSystemManagerOpen(0)) {
        std::fprintf(stderr, "framework-data: cannot prepare %s\n", out.c_str());
        return 1;
    }
    FileSystem* files = Win32FileSystemCreate(8, (out + "/").c_str(), "out");
    if (!files || !FileSystemManagerRegister(files)) {
        std::fprintf(stderr, "framework-data: no file system for %s\n", out.c_str());
        return 1;
    }
    FileSystemManagerSetDefault(files);
    int32_t count = 0;
    const SamplePicture* pictures = SamplePictures(&count);
    bool ok = true;
    for (int32_t i = 0; i < count && ok; ++i) {
        Image* image = SamplePictureMake(pictures[i]);
        if (image && std::string(pictures[i].file) == kSamplePictureText)
            SamplePicturePrint(image, lines);
        const std::string path =
            std::string("models/textures/") + pictures[i].file; // under the data directory
        ok = image && BmpWrite(image, path.c_str());
        if (image)
            ImageDestroy(image);
        if (!ok)
            std::fprintf(stderr, "framework-data: cannot write %s\n", path.c_str());
    }
    FileSystemManagerClose();
    if (!ok)
        return 1;
    std::printf("framework-data: %d pictures written to %s/models/textures\n", int(count), out.c_str());
    return 0;
}
