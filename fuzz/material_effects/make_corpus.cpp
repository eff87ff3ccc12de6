// Writes the seed corpus of the material-effects fuzz target: a material of
// every effect type through the material writer (textures "base", "height"
// and "other"), one with a slot kind its type does not give, one with a
// texture flag of 2, and truncated copies; and the effects sample model (a
// clump of every type, small spheres) with the same faults in its first
// effects sub-chunks, a texture chunk of a wrong version, and cuts.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/material_effects/effectsengine.h"
#include "graphics/animation/effects/effects.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/material.h"
#include "tools/common/toolfiles.h"
#include "tools/effectsgen/effectsbuild.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool Save(const std::string& path, const Bytes& bytes)
{
    return !bytes.empty() && ToolWriteFile(path, bytes.data(), bytes.size());
}

Texture* Find(const char* name)
{
    return TexDictionaryFindNamedTexture(TexDictionaryGetCurrent(), name);
}

Bytes MaterialOfType(uint32_t type)
{
    Material* material = MaterialCreate();
    MaterialSetTexture(material, Find("base"));
    MaterialEffectsSetType(material, type);
    MaterialEffectsSetupBumpMap(material, Find("height"), nullptr, 0.5f);
    MaterialEffectsSetupEnvMap(material, Find("other"), nullptr, 1, 0.75f);
    MaterialEffectsSetupDualTexture(material, Find("other"), 9, 1);
    const Bytes bytes =
        StreamWrittenBytes([&](Stream* stream) { return MaterialStreamWrite(material, stream) != nullptr; });
    MaterialRelease(material);
    return bytes;
}

/// Offset of the body of the first effects sub-chunk at or after `from`, or 0.
size_t EffectsBody(const Bytes& bytes, size_t from = 0)
{
    for (size_t at = from; at + 12 <= bytes.size(); at += 4) {
        if (LittleEndianGetU32(&bytes[at]) == kPluginIdMaterialEffects &&
            LittleEndianGetU32(&bytes[at + 8]) >= 0x30000) {
            return at + 12;
        }
    }
    return 0;
}

/// Offset of the first texture chunk (type 6) header after `from`, or 0.
size_t TextureChunk(const Bytes& bytes, size_t from)
{
    for (size_t at = from; at + 12 <= bytes.size(); at += 4) {
        if (LittleEndianGetU32(&bytes[at]) == 6 && LittleEndianGetU32(&bytes[at + 8]) >= 0x30000) {
            return at;
        }
    }
    return 0;
}

/// The sample model and its faulty copies.
bool SampleSeeds(const std::string& dir)
{
    Clump* clump = EffectsBuildSample(2);
    const Bytes bytes =
        StreamWrittenBytes([&](Stream* stream) { return clump && ClumpStreamWrite(clump, stream); });
    if (clump) {
        ClumpDestroy(clump);
    }
    bool ok = Save(dir + "sample.bin", bytes);
    // The first dual material (type 4): its slot kind, then its texture flag.
    const size_t body = EffectsBody(bytes);
    if (body == 0) {
        return false;
    }
    Bytes mismatched = bytes;
    LittleEndianPutU32(&mismatched[body + 4], 1);
    ok = Save(dir + "sample-mismatch.bin", mismatched) && ok;
    Bytes flag = bytes;
    LittleEndianPutU32(&flag[body + 16], 2);
    ok = Save(dir + "sample-flag2.bin", flag) && ok;
    if (const size_t texture = TextureChunk(bytes, body)) {
        Bytes version = bytes;
        LittleEndianPutU32(&version[texture + 8], 0x1000);
        ok = Save(dir + "sample-badtexture.bin", version) && ok;
    }
    for (int cut = 1; cut <= 3; ++cut) {
        ok = Save(dir + "sample-cut" + std::to_string(cut) + ".bin",
                  Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(bytes.size() * size_t(cut) / 4))) &&
             ok;
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !EffectsEngineStart()) {
        std::fprintf(stderr, "usage: fuzz_material_effects_make_corpus DIR\n");
        return 1;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = true;
    for (uint32_t type = 0; type <= 6; ++type) {
        const Bytes bytes = MaterialOfType(type);
        ok = Save(dir + "type" + std::to_string(type) + ".bin", bytes) && ok;
        const size_t body = EffectsBody(bytes);
        if (body == 0) {
            continue;
        }
        Bytes mismatched = bytes;
        LittleEndianPutU32(&mismatched[body + 4], type == 2 ? 1 : 2);
        ok = Save(dir + "mismatch" + std::to_string(type) + ".bin", mismatched) && ok;
        ok = Save(dir + "cut" + std::to_string(type) + ".bin", Bytes(bytes.begin(), bytes.end() - 9)) && ok;
    }
    Bytes flag = MaterialOfType(EffectTypeDual);
    if (const size_t body = EffectsBody(flag)) {
        LittleEndianPutU32(&flag[body + 16], 2); // the second texture's flag
        ok = Save(dir + "flag2.bin", flag) && ok;
    }
    ok = SampleSeeds(dir) && ok;
    return ok ? 0 : 1;
}
