// Fuzz target for the 2-D object readers: the input is read as a memory
// stream, first as a text (chunk 0x1A7), then from the start as a hit
// region (chunk 0x1A6). No file system is open, so a text's font name
// never reaches the disk.
#include <cstddef>
#include <cstdint>

#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/vector.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/object2d.h"
#include "graphics/toolkit2d/path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool open =
        FuzzEngineStart() && PathModuleOpen() && BrushModuleOpen() && FontModuleOpen() && ObjectModuleOpen();
    if (!open) {
        return 0;
    }
    if (Stream* stream = FuzzStreamOpen(data, size)) {
        if (Object2D* text = TextStreamRead(stream)) {
            TextGetFontName(text);
            TextDestroy(text);
        }
        FuzzStreamClose(stream);
    }
    if (Stream* stream = FuzzStreamOpen(data, size)) {
        if (Object2D* region = HitRegionStreamRead(stream)) {
            const V2d point = {0.5f, 0.5f};
            HitRegionContainsPoint(region, &point);
            HitRegionDestroy(region);
        }
        FuzzStreamClose(stream);
    }
    return 0;
}
