// Writes the seed corpus of a 2-D toolkit fuzz target with the toolkit's
// own writers.
// Usage: vector2d_seed path2d|brush2d <corpus directory>
#include <cstdio>
#include <functional>
#include <string>

#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/path.h"

namespace {

using Writer = std::function<bool(Stream*)>;

bool WriteSeed(const std::string& path, const Writer& write)
{
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    const bool written = stream && write(stream);
    StreamMemory memory{};
    if (!stream || !StreamClose(stream, &memory) || !written) {
        MemoryFree(memory.block);
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool saved = file && std::fwrite(memory.block, 1, memory.length, file) == memory.length;
    if (file) {
        std::fclose(file);
    }
    MemoryFree(memory.block);
    return saved;
}

bool WritePath(Stream* stream, const std::function<void(Path*)>& build)
{
    Path* path = PathCreate();
    build(path);
    const bool written = PathStreamWrite(path, stream) != nullptr;
    PathDestroy(path);
    return written;
}

bool WriteBrush(Stream* stream, Texture* texture)
{
    Brush* brush = BrushCreate();
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 128};
    BrushSetColours(brush, red, blue, blue, red);
    const float a[2] = {0, 1}, b[2] = {4, 1}, c[2] = {4, 0}, d[2] = {0, 0};
    BrushSetUVs(brush, a, b, c, d);
    BrushSetTexture(brush, texture);
    const bool written = BrushStreamWrite(brush, stream) != nullptr;
    BrushDestroy(brush);
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string target = argc == 3 ? argv[1] : "";
    if ((target != "path2d" && target != "brush2d") || !FuzzEngineStart() || !PathModuleOpen() ||
        !BrushModuleOpen()) {
        std::fprintf(stderr, "usage: vector2d_seed path2d|brush2d <corpus directory>\n");
        return 1;
    }
    const std::string dir = argv[2];
    bool ok = true;
    if (target == "path2d") {
        ok = ok && WriteSeed(dir + "/rect_curve_move.path", [](Stream* s) {
                 return WritePath(s, [](Path* p) {
                     PathRect(p, 0, 0, 2, 1);
                     PathMoveTo(p, 3, 3);
                     PathCurveTo(p, 4, 4, 5, 4, 6, 3);
                     PathMoveTo(p, 9, 9);
                 });
             });
        ok = ok && WriteSeed(dir + "/oval.path", [](Stream* s) {
                 return WritePath(s, [](Path* p) { PathOval(p, 0, 0, 1, 2); });
             });
        ok = ok && WriteSeed(dir + "/star_finished.path", [](Stream* s) {
                 return WritePath(s, [](Path* p) {
                     const float star[][2] = {{0, 1},        {0.2f, 0.3f}, {1, 0.3f},      {0.35f, -0.1f},
                                              {0.6f, -0.9f}, {0, -0.4f},   {-0.6f, -0.9f}, {-0.35f, -0.1f},
                                              {-1, 0.3f},    {-0.2f, 0.3f}};
                     PathMoveTo(p, star[0][0], star[0][1]);
                     for (const auto& point : star) {
                         PathLineTo(p, point[0], point[1]);
                     }
                     PathClose(p);
                     PathSetStrokeOffset(p, 0.1f);
                     PathFinish(p);
                 });
             });
        ok = ok && WriteSeed(dir + "/empty.path", [](Stream* s) { return WritePath(s, [](Path*) {}); });
    } else {
        Texture* band = TextureCreate(nullptr);
        ok = band && TextureSetName(band, "band") && TexDictionaryAddTexture(TexDictionaryGetCurrent(), band);
        ok = ok && WriteSeed(dir + "/gradient.brush", [](Stream* s) { return WriteBrush(s, nullptr); });
        ok = ok && WriteSeed(dir + "/textured.brush", [&](Stream* s) { return WriteBrush(s, band); });
    }
    if (!ok) {
        std::fprintf(stderr, "vector2d_seed: cannot write the %s corpus\n", target.c_str());
        return 1;
    }
    return 0;
}
