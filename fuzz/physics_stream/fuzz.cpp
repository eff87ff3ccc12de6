// The physics definition and object chunks (0x907 to 0x90C) on arbitrary
// bytes: the input is one chunk, header included. A reader answers null or
// a definition that writes back to exactly the size it measures, and never
// reads past the chunk it was given.
#include <cstdlib>

#include "fuzz/physics_stream/seeds.h"
#include "graphics/core/chunk.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/fuzzengine.h"
#include "physics/core/body/bodystream.h"
#include "physics/core/generic/generic.h"
#include "physics/core/ragdoll/ragdoll.h"
#include "physics/core/serial/serialchunk.h"

namespace {

// A definition read back must measure as it writes.
template <typename Size, typename Write> void CheckRewrite(Size size, Write write)
{
    const uint32_t measured = size();
    if (measured == 0) {
        return; // a type without a writer (none of the built-in ones) cannot be kept
    }
    if (StreamWrittenBytes(write).size() != measured + kChunkHeaderSize) {
        std::abort();
    }
}

void ReadOne(Stream* stream, uint32_t type, uint32_t size)
{
    switch (type) {
    case kOlpChunkBodyDef:
        if (OlpBodyDef* def = OlpBodyDefStreamRead(stream, size)) {
            CheckRewrite([&] { return OlpBodyDefStreamSize(def); },
                         [&](Stream* s) { return OlpBodyDefStreamWrite(def, s) != nullptr; });
            OlpBodyDefRelease(def);
        }
        break;
    case kOlpChunkBody:
        if (OlpBody* body = OlpBodyStreamRead(stream, size)) {
            CheckRewrite([&] { return OlpBodyStreamSize(body); },
                         [&](Stream* s) { return OlpBodyStreamWrite(body, s) != nullptr; });
            OlpBodyDestroy(body);
        }
        break;
    case kOlpChunkRagdollDef:
        if (OlpRagdollDef* def = OlpRagdollDefStreamRead(stream, size)) {
            CheckRewrite([&] { return OlpRagdollDefStreamSize(def); },
                         [&](Stream* s) { return OlpRagdollDefStreamWrite(def, s) != nullptr; });
            OlpRagdollDefRelease(def);
        }
        break;
    case kOlpChunkRagdoll:
        if (OlpRagdoll* ragdoll = OlpRagdollStreamRead(stream, size)) {
            CheckRewrite([&] { return OlpRagdollStreamSize(ragdoll); },
                         [&](Stream* s) { return OlpRagdollStreamWrite(ragdoll, s) != nullptr; });
            OlpRagdollDestroy(ragdoll);
        }
        break;
    case kOlpChunkGenericDef:
        if (OlpGenericDef* def = OlpGenericDefStreamRead(stream, size)) {
            CheckRewrite([&] { return OlpGenericDefStreamSize(def); },
                         [&](Stream* s) { return OlpGenericDefStreamWrite(def, s) != nullptr; });
            OlpGenericDefRelease(def);
        }
        break;
    case kOlpChunkGeneric:
        if (OlpGenericObj* object = OlpGenericObjStreamRead(stream, size)) {
            CheckRewrite([&] { return OlpGenericObjStreamSize(object); },
                         [&](Stream* s) { return OlpGenericObjStreamWrite(object, s) != nullptr; });
            OlpGenericObjDestroy(object);
        }
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    PhysicsStreamRegisterCustomType();
    Stream* stream = FuzzStreamOpen(data, size);
    uint32_t type = 0;
    uint32_t length = 0;
    if (stream != nullptr && ChunkHeaderRead(stream, &type, &length, nullptr, nullptr)) {
        const int64_t before = StreamGetRemaining(stream);
        ReadOne(stream, type, length);
        // Nothing past the chunk's own bytes may have been read.
        if (before - StreamGetRemaining(stream) > int64_t(length)) {
            std::abort();
        }
    }
    if (stream != nullptr) {
        FuzzStreamClose(stream);
    }
    return 0;
}
