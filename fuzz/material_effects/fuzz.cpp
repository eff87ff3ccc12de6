// Material effects on arbitrary bytes: the first chunk decides whether a
// material, an atomic or a clump is read. A material read is written back
// and freed; the seed textures' reference counts must come back to one.
#include <cstdlib>

#include "fuzz/material_effects/effectsengine.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"

namespace {

void CheckTexturesReleased()
{
    for (const char* name : kEffectsSeedTextures) {
        const Texture* texture = TexDictionaryFindNamedTexture(TexDictionaryGetCurrent(), name);
        if (!texture || texture->refCount != 1) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!EffectsEngineStart()) {
        return 0;
    }
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    uint32_t type = 0;
    if (stream && ChunkHeaderRead(stream, &type, nullptr, nullptr, nullptr)) {
        if (type == kChunkMaterial) {
            if (Material* material = MaterialStreamRead(stream)) {
                if (Stream* out = StreamOpen(kStreamMemory, kStreamWrite, nullptr)) {
                    MaterialStreamWrite(material, out);
                    StreamClose(out, nullptr);
                }
                MaterialRelease(material);
            }
        } else if (type == kChunkAtomic) {
            if (Atomic* atomic = AtomicStreamRead(stream)) {
                AtomicDestroy(atomic);
            }
        } else if (type == kChunkClump) {
            if (Clump* clump = ClumpStreamRead(stream)) {
                ClumpDestroy(clump);
            }
        }
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    CheckTexturesReleased();
    return 0;
}
