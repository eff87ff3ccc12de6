// Fuzz target for the font chunk reader: the input is read as a memory
// stream. A texture named "page" is filed in the current dictionary so that
// a bitmap font's texture names can be found without touching the disk.
#include <cstddef>
#include <cstdint>

#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool open = [] {
        if (!FuzzEngineStart() || !PathModuleOpen() || !BrushModuleOpen() || !FontModuleOpen()) {
            return false;
        }
        Texture* page = TextureCreate(nullptr);
        return page && TextureSetName(page, "page") && TexDictionaryAddTexture(FontGetTexDictionary(), page);
    }();
    if (!open) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (!stream) {
        return 0;
    }
    if (Font* font = FontStreamRead(stream)) {
        FontGetStringWidth(font, "fuzz\0\0", 1.0f);
        FontDestroy(font);
    }
    FuzzStreamClose(stream);
    return 0;
}
