// Writes the chunk fuzz target's seed corpus with the engine's own writers:
// make_corpus <directory>. The files are small and committed.

#include <cstdio>
#include <string>

#include "fuzz/chunk/fuzzsetup.h"
#include "graphics/core/memory.h"
#include "graphics/core/name.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/stringstream.h"
#include "tools/common/toolfiles.h"

namespace {

std::string gDirectory;
int gFailures = 0;

// Runs `write` on a memory stream and saves what it wrote as `file`.
template <typename Write> void Save(const char* file, Write write)
{
    const std::vector<uint8_t> bytes = StreamWrittenBytes(write);
    std::string path = gDirectory + "/" + file;
    if (bytes.empty() || !ToolWriteFile(path, bytes.data(), bytes.size())) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
        ++gFailures;
    }
}

bool WriteStruct(Stream* stream)
{
    const int32_t ints[3] = {1, -2, 3};
    const float reals[3] = {0.5f, 1.5f, -2.0f};
    const int16_t shorts[2] = {7, -7};
    return ChunkHeaderWriteCurrent(stream, kChunkStruct, 12 + 12 + 4) && StreamWriteInt32(stream, ints, 12) &&
           StreamWriteReal(stream, reals, 12) && StreamWriteInt16(stream, shorts, 4);
}

bool WriteExtension(Stream* stream)
{
    FuzzObject object[8] = {};
    return PluginRegistryStreamWrite(&gFuzzRegistry, stream, object) != nullptr;
}

bool WriteName(Stream* stream, const char* text)
{
    Name* name = NameCreate();
    bool ok = name && NameSet(name, text) && NameStreamWrite(name, stream);
    NameDestroy(name);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !FuzzSetUp()) {
        std::fprintf(stderr, "usage: make_corpus <directory>\n");
        return 1;
    }
    gDirectory = argv[1];
    Save("string", [](Stream* s) { return StringStreamWrite("texture_name", s) != nullptr; });
    Save("struct", WriteStruct);
    Save("extension", WriteExtension);
    Save("name", [](Stream* s) { return WriteName(s, "door_left") && NameStreamWriteEmpty(s, s); });
    Save("container", [](Stream* s) {
        // A container (type 0x10) holding a struct, a string and an extension.
        FuzzObject object[8] = {};
        uint32_t body = 12 + 28 + StringStreamGetSize("clump") + 12 +
                        uint32_t(PluginRegistryStreamSize(&gFuzzRegistry, object)) + 12;
        return ChunkHeaderWriteCurrent(s, 0x10, body) && WriteStruct(s) && StringStreamWrite("clump", s) &&
               WriteExtension(s);
    });
    Save("old_version", [](Stream* s) {
        return ChunkHeaderWrite(s, kChunkString, 4, 0x31000, 0) && StreamWrite(s, "abc", 4);
    });
    Save("skip_then_string", [](Stream* s) {
        return ChunkHeaderWriteCurrent(s, 0x50, 3) && StreamWrite(s, "xyz", 3) &&
               StringStreamWrite("found", s);
    });
    return gFailures == 0 ? 0 : 1;
}
