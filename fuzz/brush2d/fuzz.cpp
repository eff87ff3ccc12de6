// Fuzz target for the brush reader: the input is read as a memory stream.
// A texture named "band" is filed in the current dictionary, so that a
// brush's texture chunk can find it without touching the disk.
#include <cstddef>
#include <cstdint>

#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool open = [] {
        if (!FuzzEngineStart() || !BrushModuleOpen()) {
            return false;
        }
        Texture* band = TextureCreate(nullptr);
        return band && TextureSetName(band, "band") &&
               TexDictionaryAddTexture(TexDictionaryGetCurrent(), band);
    }();
    if (!open) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (!stream) {
        return 0;
    }
    if (Brush* brush = BrushStreamReadNew(stream)) {
        BrushColourAt(brush, true, 0.5f);
        BrushDestroy(brush);
    }
    FuzzStreamClose(stream);
    return 0;
}
