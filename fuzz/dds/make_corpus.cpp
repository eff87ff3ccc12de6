// Writes the seed corpus of the DDS fuzz target: small files of each layout.
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/d3d9/dds.h"
#include "graphics/d3d9/dxt.h"
#include "tools/common/toolfiles.h"

namespace {

bool Write(const std::string& path, const DdsHeader& header, size_t bodyBytes)
{
    std::vector<uint8_t> file(kDdsHeaderBytes + bodyBytes);
    DdsWriteHeader(&header, file.data());
    for (size_t i = 0; i < bodyBytes; ++i) {
        file[kDdsHeaderBytes + i] = uint8_t(i * 37 + 11);
    }
    return ToolWriteFile(path, file.data(), file.size());
}

DdsHeader Header(uint32_t pixelFlags, uint32_t fourCC, uint32_t bits, uint32_t r, uint32_t a, uint32_t w,
                 uint32_t h)
{
    DdsHeader header{};
    header.flags = kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat;
    header.width = w;
    header.height = h;
    header.pixelFlags = pixelFlags;
    header.fourCC = fourCC;
    header.bitCount = bits;
    header.redMask = r;
    header.alphaMask = a;
    return header;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    ok &= Write(dir + "/dxt1_3x5.dds", Header(kDdsPixelFourCC, kFourCCDXT1, 0, 0, 0, 3, 5), 16);
    ok &= Write(dir + "/dxt3_8x4.dds", Header(kDdsPixelFourCC, kFourCCDXT3, 0, 0, 0, 8, 4), 32);
    ok &= Write(dir + "/dxt5_4x4.dds", Header(kDdsPixelFourCC, kFourCCDXT5, 0, 0, 0, 4, 4), 16);
    ok &= Write(dir + "/argb_4x2.dds", Header(0x41, 0, 32, 0xFF0000, 0xFF000000, 4, 2), 32);
    ok &= Write(dir + "/rgb24_3x3.dds", Header(0x40, 0, 24, 0xFF0000, 0, 3, 3), 27);
    ok &= Write(dir + "/a4l4_2x2.dds", Header(0x20001, 0, 8, 0xF, 0xF0, 2, 2), 4);
    ok &= Write(dir + "/p8_2x2.dds", Header(0x20, 0, 8, 0, 0, 2, 2), kDdsPaletteBytes + 4);
    return ok ? 0 : 1;
}
