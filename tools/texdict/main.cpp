// texdict: packs images into image-based texture dictionaries (chunk 0x23)
// and lists and unpacks them.
//
//   texdict pack OUT.txd IMAGE... [--mips] [--filter N]
//       one texture per BMP or PNG image, named after the file (lower case,
//       without folder and extension); --mips gives each texture mip levels
//   texdict list FILE       names, sizes, depths, levels, filter, addressing
//   texdict unpack FILE DIR writes each texture's first level as DIR/<name>.png
#include "tools/cli/tool_cli.h"
#include "tools/cli/tool_engine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "graphics/toolkit2d/png.h"
#include "platform/win32/win32.h"

namespace {

HWND gWindow = nullptr;

/// The engine on the Direct3D 9 driver in a hidden window, the image readers
/// and a default file system over the current directory.
bool EngineUp()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    gWindow = Win32WindowCreate("texdict", 64, 64);
    if (gWindow == nullptr) {
        return false;
    }
    EngineSetDeviceDriver(D3D9DriverGet());
    static EngineOpenParams params{};
    params.displayId = gWindow;
    return EngineInit(nullptr, 0, 0x400000) && EngineOpen(&params) && EngineStart() &&
           Toolkit2dImageFormatsRegister() && ToolFilesOpen();
}

void EngineDown()
{
    ToolEngineStop();
    Win32WindowDestroy(gWindow);
}

int Fail(const std::string& what)
{
    return ToolEngineFail("texdict", what);
}

std::string TextureName(const std::string& path)
{
    std::string name = std::filesystem::path(path).stem().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.substr(0, kTextureNameSize - 1);
}

Texture* TextureFromImage(Image* image, bool mips, uint32_t filter)
{
    uint32_t type = kRasterTypeTexture | (mips ? kRasterFormatMipmap | kRasterFormatAutoMipmap : 0);
    int32_t width, height, depth;
    uint32_t format;
    if (!ImageFindRasterFormat(image, type, &width, &height, &depth, &format)) {
        return nullptr;
    }
    Raster* raster = RasterCreate(width, height, depth, format | (type & ~0xFFu));
    if (raster == nullptr) {
        return nullptr;
    }
    Image* sized = image;
    if (width != image->width || height != image->height) {
        sized = ImageScale(image, width, height);
    }
    // Every level is filled here: the dictionary keeps the levels as written.
    const bool filled = sized != nullptr && RasterSetLevelFromImage(raster, 0, sized) &&
                        (!mips || TextureGenerateMipmaps(raster, sized) == 1);
    if (sized != nullptr && sized != image) {
        ImageDestroy(sized);
    }
    Texture* texture = filled ? TextureCreate(raster) : nullptr;
    if (texture == nullptr) {
        RasterDestroy(raster);
        return nullptr;
    }
    texture->filterAddressing = (filter & 0xFF) | 0x1100;
    return texture;
}

int Pack(const std::string& out, const std::vector<std::string>& images, bool mips, int filter)
{
    TexDictionary* dictionary = TexDictionaryCreate();
    for (const std::string& path : images) {
        Image* image = ImageReadByExtension(path.c_str());
        if (image == nullptr) {
            TexDictionaryDestroy(dictionary);
            return Fail("cannot read " + path);
        }
        Texture* texture = TextureFromImage(image, mips, static_cast<uint32_t>(filter));
        ImageDestroy(image);
        if (texture == nullptr) {
            TexDictionaryDestroy(dictionary);
            return Fail("cannot make a texture of " + path);
        }
        TextureSetName(texture, TextureName(path).c_str());
        TexDictionaryAddTexture(dictionary, texture);
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, out.c_str());
    const bool ok = stream != nullptr && ImageTexDictionaryWrite(dictionary, stream) != nullptr;
    const bool closed = stream != nullptr && StreamClose(stream, nullptr);
    TexDictionaryDestroy(dictionary);
    return ok && closed ? 0 : Fail("cannot write " + out);
}

TexDictionary* ReadDictionary(const std::string& path)
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path.c_str());
    if (stream == nullptr) {
        return nullptr;
    }
    TexDictionary* dictionary = nullptr;
    if (StreamFindChunk(stream, kChunkImageTexDictionary, nullptr, nullptr)) {
        dictionary = ImageTexDictionaryRead(stream);
    }
    StreamClose(stream, nullptr);
    return dictionary;
}

/// The dictionary's textures in file order (the reader adds each at the head).
std::vector<Texture*> Textures(TexDictionary* dictionary)
{
    std::vector<Texture*> textures;
    TexDictionaryForAllTextures(
        dictionary,
        [](Texture* texture, void* data) {
            static_cast<std::vector<Texture*>*>(data)->push_back(texture);
            return texture;
        },
        &textures);
    std::reverse(textures.begin(), textures.end());
    return textures;
}

int List(const std::string& path)
{
    TexDictionary* dictionary = ReadDictionary(path);
    if (dictionary == nullptr) {
        return Fail("cannot read " + path);
    }
    for (Texture* texture : Textures(dictionary)) {
        const Raster* raster = texture->raster;
        std::printf("%s %dx%d depth %d levels %d filter %u addressing %u %u\n", texture->name, raster->width,
                    raster->height, raster->depth, RasterGetNumLevels(texture->raster),
                    TextureGetFilterMode(texture), TextureGetAddressingU(texture),
                    TextureGetAddressingV(texture));
    }
    TexDictionaryDestroy(dictionary);
    return 0;
}

int Unpack(const std::string& path, const std::string& dir)
{
    TexDictionary* dictionary = ReadDictionary(path);
    if (dictionary == nullptr) {
        return Fail("cannot read " + path);
    }
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    int result = 0;
    for (Texture* texture : Textures(dictionary)) {
        Image** levels = RasterGetMipImages(texture->raster, 1, true);
        Image* image = levels != nullptr ? ImageCreate(levels[0]->width, levels[0]->height, 32) : nullptr;
        const std::string out = (std::filesystem::path(dir) / (std::string(texture->name) + ".png")).string();
        const bool ok = image != nullptr && ImageAllocatePixels(image) && ImageCopy(image, levels[0]) &&
                        PngWrite(image, out.c_str()) != nullptr;
        if (image != nullptr) {
            ImageDestroy(image);
        }
        if (levels != nullptr) {
            ImageDestroy(levels[0]);
            MemoryFree(levels);
        }
        if (!ok) {
            result = Fail("cannot write " + out);
            break;
        }
    }
    TexDictionaryDestroy(dictionary);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app{"Packs images into image-based texture dictionaries (.txd), lists and unpacks them."};
    app.require_subcommand(1);
    std::string out, file, dir;
    std::vector<std::string> images;
    bool mips = false;
    int filter = 2;

    ToolCli::App* pack = app.add_subcommand("pack", "write a dictionary of BMP and PNG images");
    pack->add_option("out", out, "output .txd file")->required();
    pack->add_option("images", images, "BMP or PNG files")->required()->check(ToolCli::ExistingFile);
    pack->add_flag("--mips", mips, "give every texture mip levels");
    pack->add_option("--filter", filter, "filter mode (1 nearest, 2 linear, 3-6 mip-mapped)")
        ->check(ToolCli::Range(0, 6));

    ToolCli::App* list =
        app.add_subcommand("list", "print every texture's name, size, depth, levels and sampling");
    list->add_option("file", file, ".txd file")->required()->check(ToolCli::ExistingFile);

    ToolCli::App* unpack = app.add_subcommand("unpack", "write every texture's first level as a PNG");
    unpack->add_option("file", file, ".txd file")->required()->check(ToolCli::ExistingFile);
    unpack->add_option("dir", dir, "output folder")->required();

    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }
    if (!EngineUp()) {
        return Fail("the engine did not start");
    }
    int result = 1;
    if (*pack) {
        result = Pack(out, images, mips, filter);
    } else if (*list) {
        result = List(file);
    } else if (*unpack) {
        result = Unpack(file, dir);
    }
    EngineDown();
    return result;
}
