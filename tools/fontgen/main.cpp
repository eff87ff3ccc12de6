// fontgen: renders DejaVu Sans with FreeType and writes the sample fonts as
// ".met" metrics with their glyph pages (PNG, through the toolkit's writer):
//   fonts/did16.met   METRICS2, 16 pixels, codes 32 to 126 (the framework's font)
//   fonts/did16x.met  METRICS2, with Latin-1 and codes above 255 (a 16-bit font)
//   fonts/tiny1.met   METRICS1, digits on one texture with an "m" mask file
//   fonts/did16o.met  METRICS3, the outlines of codes 32 to 126
//
//   fontgen --out <data directory> [--face DejaVuSans.ttf]

#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/win32filesystem.h"
#include "tools/fontgen/fontfaces.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Writes the sample fonts (\".met\" metrics and glyph pages) from a TrueType face."};
    std::string out;
    std::string face = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    app.add_option("--out", out, "data directory; the fonts go to its fonts/ folder")->required();
    app.add_option("--face", face, "TrueType face to render")->check(ToolCli::ExistingFile);
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }

    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(out) / "fonts", error);
    if (error || !FuzzEngineStart() || !FileSystemManagerOpen(0)) {
        std::fprintf(stderr, "fontgen: cannot prepare %s\n", out.c_str());
        return 1;
    }
    FileSystem* files = Win32FileSystemCreate(8, (out + "/").c_str(), "out");
    if (!files || !FileSystemManagerRegister(files)) {
        std::fprintf(stderr, "fontgen: no file system for %s\n", out.c_str());
        return 1;
    }
    FileSystemManagerSetDefault(files);
    FontFaces faces;
    if (!FontFacesOpen(&faces, face.c_str())) {
        std::fprintf(stderr, "fontgen: cannot open %s\n", face.c_str());
        return 1;
    }
    const bool ok = WriteBitmapFont(&faces, "did16", false) && WriteBitmapFont(&faces, "did16x", true) &&
                    WriteMaskedDigits(&faces, "tiny1") && WriteOutlineFont(&faces, "did16o");
    FontFacesClose(&faces);
    FileSystemManagerClose();
    if (!ok) {
        std::fprintf(stderr, "fontgen: writing the fonts failed\n");
        return 1;
    }
    std::printf("fontgen: fonts written to %s/fonts\n", out.c_str());
    return 0;
}
