#include "tools/physics-sim/dump.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "physics/core/body/bodystream.h"
#include "physics/core/generic/generic.h"
#include "physics/core/ragdoll/ragdoll.h"

namespace {

void PrintPart(uint32_t index, const OlpPart& part)
{
    std::printf("  part %u: %s, margin %.4f, mass %.4f, centre (%.4f, %.4f, %.4f), flags 0x%x\n", index,
                OlpVolumeGetTypeName(part.volume), double(part.volume->margin), double(part.mass),
                double(part.centre.x), double(part.centre.y), double(part.centre.z), part.flags);
}

void PrintArticulated(const char* kind, const OlpArtDef* def)
{
    std::printf("%s: %u of %u parts, %u of %u joints, %u bones\n", kind, def->partCount, def->partCapacity,
                def->jointCount, def->jointCapacity, def->mappingCount);
    for (uint32_t i = 0; i < def->partCount; ++i) {
        PrintPart(i, def->parts[i]);
        if (def->boneIndex[i] != kOlpArtNoBone) {
            std::printf("    key %u drives bone %u\n", def->boneKeys[i], def->boneIndex[i]);
        }
    }
    for (uint32_t j = 0; j < def->jointCount; ++j) {
        std::printf("  joint %u: parts %u and %u, flags 0x%x\n", j, OlpArtDefGetJointIndex(def, j, 1),
                    OlpArtDefGetJointIndex(def, j, 0), def->joints[j].flags);
    }
}

// Reads one physics chunk's body; false when the reader refused it.
bool DumpChunk(Stream* stream, uint32_t type, uint32_t size)
{
    switch (type) {
    case kOlpChunkBodyDef:
    case kOlpChunkBody: {
        OlpBody* body = type == kOlpChunkBody ? OlpBodyStreamRead(stream, size) : nullptr;
        OlpBodyDef* def = type == kOlpChunkBodyDef ? OlpBodyDefStreamRead(stream, size)
                          : body != nullptr        ? static_cast<OlpBodyDef*>(body->base.definition)
                                                   : nullptr;
        if (def == nullptr) {
            return false;
        }
        std::printf("%s:\n", type == kOlpChunkBody ? "body" : "body definition");
        PrintPart(0, def->part);
        if (body != nullptr) {
            OlpBodyDestroy(body);
        } else {
            OlpBodyDefRelease(def);
        }
        return true;
    }
    case kOlpChunkRagdollDef:
    case kOlpChunkRagdoll: {
        OlpRagdoll* ragdoll = type == kOlpChunkRagdoll ? OlpRagdollStreamRead(stream, size) : nullptr;
        OlpRagdollDef* def = type == kOlpChunkRagdollDef ? OlpRagdollDefStreamRead(stream, size)
                             : ragdoll != nullptr ? static_cast<OlpRagdollDef*>(ragdoll->base.definition)
                                                  : nullptr;
        if (def == nullptr) {
            return false;
        }
        PrintArticulated(type == kOlpChunkRagdoll ? "ragdoll" : "ragdoll definition", def);
        if (ragdoll != nullptr) {
            OlpRagdollDestroy(ragdoll);
        } else {
            OlpRagdollDefRelease(def);
        }
        return true;
    }
    default: {
        OlpGenericObj* object = type == kOlpChunkGeneric ? OlpGenericObjStreamRead(stream, size) : nullptr;
        OlpGenericDef* def = type == kOlpChunkGenericDef ? OlpGenericDefStreamRead(stream, size)
                             : object != nullptr ? static_cast<OlpGenericDef*>(object->base.definition)
                                                 : nullptr;
        if (def == nullptr) {
            return false;
        }
        PrintArticulated(type == kOlpChunkGeneric ? "generic object" : "generic definition", def);
        if (object != nullptr) {
            OlpGenericObjDestroy(object);
        } else {
            OlpGenericDefRelease(def);
        }
        return true;
    }
    }
}

} // namespace

int RunDump(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    StreamMemory memory = {bytes.data(), bytes.size()};
    Stream* stream = in ? StreamOpen(kStreamMemory, kStreamRead, &memory) : nullptr;
    if (stream == nullptr) {
        std::fprintf(stderr, "physics-sim: cannot open %s\n", path.c_str());
        return 1;
    }
    int result = 0;
    uint32_t type = 0, size = 0, version = 0;
    while (StreamGetRemaining(stream) > 0 && ChunkHeaderRead(stream, &type, &size, &version, nullptr)) {
        const int64_t before = StreamGetRemaining(stream);
        if (type >= kOlpChunkBodyDef && type <= kOlpChunkGeneric) {
            if (!DumpChunk(stream, type, size)) {
                ErrorRecord error;
                ErrorGet(&error);
                std::printf("chunk 0x%x of %u bytes: refused (error 0x%x)\n", type, size, error.code);
                result = 1;
            }
        } else {
            std::printf("chunk 0x%x of %u bytes, version 0x%x: not physics\n", type, size, version);
        }
        // Whatever the reader took, the next chunk starts after this one.
        const int64_t used = before - StreamGetRemaining(stream);
        if (used > int64_t(size) ||
            (used < int64_t(size) && StreamSkip(stream, size_t(size - used)) == nullptr)) {
            break;
        }
    }
    StreamClose(stream, nullptr);
    return result;
}
