#include "demo/aidebuglines.h"

#include "framework/screenquad.h"
#include "graphics/core/memory.h"
#include "graphics/d3d9/im3d.h"

namespace {

constexpr uint32_t kDebugTransformFlags = 24;

struct DebugLines
{
    Im3DVertex* vertices = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    float crossHalfSize = 0.0f;
};

DebugLines& Lines()
{
    static DebugLines lines;
    return lines;
}

/// Room for n more vertices (null when the buffer cannot grow); the count includes them.
Im3DVertex* Reserve(int32_t n)
{
    DebugLines& lines = Lines();
    if (lines.count + n > lines.capacity) {
        int32_t capacity = lines.capacity > 0 ? lines.capacity : 256;
        while (capacity < lines.count + n)
            capacity *= 2;
        void* grown = MemoryReallocate(lines.vertices, size_t(capacity) * sizeof(Im3DVertex), 0);
        if (grown == nullptr)
            return nullptr;
        lines.vertices = static_cast<Im3DVertex*>(grown);
        lines.capacity = capacity;
    }
    Im3DVertex* reserved = lines.vertices + lines.count;
    lines.count += n;
    return reserved;
}

uint32_t Colour(int red, int green, int blue)
{
    return 0xFF000000u | (uint32_t(red & 0xFF) << 16) | (uint32_t(green & 0xFF) << 8) | uint32_t(blue & 0xFF);
}

void Put(Im3DVertex& vertex, float x, float y, float z, uint32_t colour)
{
    vertex.x = x;
    vertex.y = y;
    vertex.z = z;
    vertex.colour = colour;
}

void DrawBatch(Im3DVertex* vertices, int32_t count, void*)
{
    if (Im3DTransform(vertices, uint32_t(count), nullptr, kDebugTransformFlags) != nullptr) {
        Im3DRenderPrimitive(kIm3DLineList);
        Im3DEnd();
    }
}

} // namespace

int32_t DebugLinesInit(float crossHalfSize)
{
    DebugLines& lines = Lines();
    lines.count = 0;
    lines.crossHalfSize = crossHalfSize;
    return 1;
}

void DebugLinesTerm()
{
    DebugLines& lines = Lines();
    MemoryFree(lines.vertices);
    lines = DebugLines{};
}

void DebugLinesReset()
{
    Lines().count = 0;
}

void DebugLinesForEachBatch(void (*draw)(Im3DVertex* vertices, int32_t count, void* data), void* data)
{
    DebugLines& lines = Lines();
    for (int32_t start = 0; lines.count - start >= 2; start += kDebugLinesBatch) {
        const int32_t left = lines.count - start;
        draw(lines.vertices + start, left < kDebugLinesBatch ? left : kDebugLinesBatch, data);
    }
}

void DebugLinesFlush()
{
    if (Lines().count < 2)
        return;
    ScreenSetRaster(nullptr);
    DebugLinesForEachBatch(&DrawBatch, nullptr);
}

int32_t DebugLinesCount()
{
    return Lines().count;
}

const Im3DVertex* DebugLinesVertices()
{
    return Lines().vertices;
}

int DebugDrawLine(const float* p, const float* q, int red, int green, int blue)
{
    Im3DVertex* v = Reserve(2);
    if (v == nullptr)
        return 0;
    const uint32_t colour = Colour(red, green, blue);
    Put(v[0], p[0], p[1], p[2], colour);
    Put(v[1], q[0], q[1], q[2], colour);
    return 1;
}

int DebugDrawCross(const float* p, int red, int green, int blue)
{
    Im3DVertex* v = Reserve(6);
    if (v == nullptr)
        return 0;
    const uint32_t colour = Colour(red, green, blue);
    const float h = Lines().crossHalfSize;
    Put(v[0], p[0] - h, p[1], p[2], colour);
    Put(v[1], p[0] + h, p[1], p[2], colour);
    Put(v[2], p[0], p[1] - h, p[2], colour);
    Put(v[3], p[0], p[1] + h, p[2], colour);
    Put(v[4], p[0], p[1], p[2] - h, colour);
    Put(v[5], p[0], p[1], p[2] + h, colour);
    return 1;
}
