// Writes the seed corpus of the native-data fuzz target with the renderer's
// own writer: pre-instanced models (the pre-lit quad with two materials and
// a grid over two materials).
#include <cstdio>
#include <string>

#include "graphics/core/frame.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/d3d9/renderer/nativedata.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "tools/scenebuild/modelbuild.h"
#include "tools/scenebuild/nativeengine.h"

namespace {

bool WriteSeed(const std::string& path, Geometry* geometry)
{
    GeometryUnlock(geometry); // builds the meshes of a grid that has none yet
    Atomic* atomic = AtomicCreate();
    Frame* frame = FrameCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    AtomicSetFrame(atomic, frame);
    bool ok = AtomicInstance(atomic) == 1;
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    ok = ok && stream && GeometryNativeStreamWrite(stream, geometry);
    StreamMemory memory{};
    if (stream) {
        StreamClose(stream, &memory);
    }
    if (ok) {
        if (FILE* file = std::fopen(path.c_str(), "wb")) {
            ok = std::fwrite(memory.block, 1, memory.length, file) == memory.length;
            std::fclose(file);
        } else {
            ok = false;
        }
    }
    MemoryFree(memory.block);
    AtomicDestroy(atomic);
    FrameDestroy(frame);
    GeometryRelease(geometry);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !NativeEngineStart()) {
        std::fprintf(stderr, "usage: fuzz_scene_native_make_corpus DIR (needs the software device)\n");
        return 1;
    }
    const std::string dir = argv[1];
    const bool ok = WriteSeed(dir + "/prelit.bin", ModelBuildPreLit()) &&
                    WriteSeed(dir + "/grid.bin", ModelBuildGrid(200, 2));
    return ok ? 0 : 1;
}
