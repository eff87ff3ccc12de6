#include "physics/core/body/bodystream.h"

#include "graphics/core/chunk.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/serial/serialpart.h"

int32_t OlpBodyDefSerialize(OlpSerialCtx* ctx, const void* def)
{
    return OlpPartStreamWrite(ctx, &static_cast<const OlpBodyDef*>(def)->part);
}

int32_t OlpBodyDefDeserialize(OlpSerialCtx* ctx, void** out)
{
    OlpBodyDef* def = OlpBodyDefCreate();
    if (def == nullptr) {
        return 0;
    }
    // The new definition's volume is a null volume: nothing to release first.
    if (!OlpPartStreamRead(ctx, &def->part)) {
        OlpBodyDefRelease(def);
        return 0;
    }
    *out = def;
    return 1;
}

const OlpBodyDef* OlpBodyDefStreamWrite(const OlpBodyDef* def, Stream* stream)
{
    return OlpSerialDefChunkWrite(stream, kOlpChunkBodyDef, OlpBodyDefSerialize, def) ? def : nullptr;
}

OlpBodyDef* OlpBodyDefStreamRead(Stream* stream, uint32_t size)
{
    return static_cast<OlpBodyDef*>(OlpSerialDefChunkRead(stream, size, OlpBodyDefDeserialize));
}

uint32_t OlpBodyDefStreamSize(const OlpBodyDef* def)
{
    return OlpSerialDefChunkSize(OlpBodyDefSerialize, def);
}

const OlpBody* OlpBodyStreamWrite(const OlpBody* body, Stream* stream)
{
    const void* def = body->base.definition;
    return def != nullptr && OlpSerialObjectChunkWrite(stream, kOlpChunkBody, kOlpChunkBodyDef,
                                                       OlpBodyDefSerialize, def)
               ? body
               : nullptr;
}

OlpBody* OlpBodyStreamRead(Stream* stream, uint32_t size)
{
    auto* def = static_cast<OlpBodyDef*>(
        OlpSerialObjectChunkRead(stream, size, kOlpChunkBodyDef, OlpBodyDefDeserialize));
    if (def == nullptr) {
        return nullptr;
    }
    OlpBody* body = OlpBodyCreate(def);
    OlpBodyDefRelease(def);
    return body;
}

uint32_t OlpBodyStreamSize(const OlpBody* body)
{
    const uint32_t def = body->base.definition != nullptr
                             ? OlpSerialDefChunkSize(OlpBodyDefSerialize, body->base.definition)
                             : 0;
    return def != 0 ? def + kChunkHeaderSize : 0;
}
