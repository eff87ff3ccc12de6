#include "platform/d3d9/testing/referenceimage.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace d3d9test {

namespace {

bool WritePng(const std::string& path, const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_BGRA;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

} // namespace

bool ReadPng(const std::string& path, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA; // little-endian words 0xAARRGGBB
    pixels->resize(size_t(image.width) * image.height);
    *width = image.width;
    *height = image.height;
    bool ok = png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

std::string CompareWithReferenceIn(const std::string& referenceDir, const std::string& outputDir,
                                   const std::string& name, const std::vector<uint32_t>& pixels,
                                   uint32_t width, uint32_t height)
{
    const std::string refPath = referenceDir + "/" + name + ".png";
    const char* update = std::getenv("OLAI_UPDATE_REFERENCES");
    if (update && std::string(update) == "1") {
        if (!WritePng(refPath, pixels, width, height))
            return "cannot write " + refPath;
        return "";
    }
    std::vector<uint32_t> ref;
    uint32_t rw = 0, rh = 0;
    if (!ReadPng(refPath, &ref, &rw, &rh))
        return "cannot read " + refPath;
    if (rw != width || rh != height)
        return "reference size differs";
    size_t bad = 0;
    std::vector<uint32_t> diff(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        int worst = 0;
        uint32_t d = 0xFF000000u;
        for (int k = 0; k < 32; k += 8) {
            int a = int((pixels[i] >> k) & 255), b = int((ref[i] >> k) & 255);
            int delta = a > b ? a - b : b - a;
            worst = std::max(worst, delta);
            if (k < 24)
                d |= uint32_t(std::min(255, delta * 8)) << k;
        }
        diff[i] = d;
        if (worst > 3)
            ++bad;
    }
    if (bad * 1000 <= pixels.size() * 5)
        return "";
    std::filesystem::create_directories(outputDir);
    const std::string out = outputDir + "/" + name;
    WritePng(out + ".actual.png", pixels, width, height);
    WritePng(out + ".diff.png", diff, width, height);
    return std::to_string(bad) + " pixels differ; see " + out + ".actual.png and .diff.png";
}

std::string CompareProgramFrameWithReference(const std::string& command, const std::string& shot,
                                             const std::string& referenceDir, const std::string& outputDir,
                                             const std::string& name)
{
    std::remove(shot.c_str());
    if (std::system(command.c_str()) != 0)
        return "the program failed: " + command;
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    if (!ReadPng(shot, &pixels, &width, &height))
        return "no frame in " + shot;
    return CompareWithReferenceIn(referenceDir, outputDir, name, pixels, width, height);
}

} // namespace d3d9test
