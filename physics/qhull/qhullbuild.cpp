#include "physics/qhull/qhullbuild.h"

#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libqhull_r/qhull_ra.h>
}

#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

int32_t gOutstandingBlocks = 0;

int32_t Route(Stream* stream, const char* text, size_t length)
{
    if (stream == OlpQHullDiscard()) {
        return 0;
    }
    if (stream == OlpQHullStdout() || stream == OlpQHullStderr()) {
        std::fwrite(text, 1, length, stream == OlpQHullStdout() ? stdout : stderr);
    } else {
        StreamWrite(stream, text, length);
    }
    return static_cast<int32_t>(length);
}

ssize_t CookieWrite(void* cookie, const char* buffer, size_t size)
{
    Route(static_cast<Stream*>(cookie), buffer, size);
    return static_cast<ssize_t>(size);
}

/// A FILE* whose writes go through the routing, for qhull's output.
FILE* OpenRoutedFile(Stream* stream)
{
    cookie_io_functions_t functions = {};
    functions.write = CookieWrite;
    return fopencookie(stream, "w", functions);
}

/// Scratch arrays of the copy, freed together.
struct Scratch
{
    uint32_t* vertexIndex = nullptr; ///< by qhull vertex id
    uint32_t* faceIndex = nullptr;   ///< by qhull facet id
    uint16_t* degree = nullptr;      ///< per vertex, while grouping
    uint16_t* twin = nullptr;        ///< per half-edge, its reverse
    ~Scratch()
    {
        MemoryFree(vertexIndex);
        MemoryFree(faceIndex);
        MemoryFree(degree);
        MemoryFree(twin);
    }
};

/// The previous half-edge in its face's loop.
uint32_t PreviousInFace(const OlpConvexHull* hull, uint32_t edge)
{
    uint32_t face = hull->edges[edge].ownFace;
    return edge == hull->faceEdgeStart[face] ? hull->faceEdgeStart[face + 1] - 1u : edge - 1u;
}

/// The half-edge b -> a for a -> b, found among the half-edges leaving b
/// (grouped per vertex, not yet ordered); edgeCount when there is none.
uint32_t Twin(const OlpConvexHull* hull, uint32_t edge)
{
    uint32_t from = hull->edges[edge].from;
    uint32_t to = hull->edges[edge].to;
    for (uint32_t i = hull->vertexEdgeStart[to]; i < hull->vertexEdgeStart[to + 1]; ++i) {
        if (hull->edges[hull->vertexEdges[i]].to == from) {
            return hull->vertexEdges[i];
        }
    }
    return hull->edgeCount;
}

/// Fills the half-edge structure from qhull's facets. Vertices and facets
/// are numbered in list order through maps from qhull's ids (which start
/// at 1 and keep gaps). False when the structure does not close.
bool CopyHull(qhT* qh, OlpConvexHull* hull, Scratch& scratch)
{
    vertexT* vertex;
    facetT* facet;
    uint32_t n = 0;
    FORALLvertices
    {
        scratch.vertexIndex[vertex->id] = n;
        const coordT* p = vertex->point;
        hull->vertices[n++] = {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
    }
    uint32_t k = 0;
    uint32_t m = 0;
    FORALLfacets
    {
        scratch.faceIndex[facet->id] = k;
        V3d normal = {static_cast<float>(facet->normal[0]), static_cast<float>(facet->normal[1]),
                      static_cast<float>(facet->normal[2])};
        hull->faceNormals[k] = normal;
        hull->faceEdgeStart[k] = static_cast<uint16_t>(m);
        setT* loop = qh_facet3vertex(qh, facet);
        int size = qh_setsize(qh, loop);
        if (size < 3 || m + static_cast<uint32_t>(size) > hull->edgeCount) {
            qh_settempfree(qh, &loop);
            return false;
        }
        // Orient the loop counter-clockwise around the outward normal.
        V3d twiceArea = {0.0f, 0.0f, 0.0f};
        for (int i = 0; i < size; ++i) {
            auto* a = static_cast<vertexT*>(SETelem_(loop, i));
            auto* b = static_cast<vertexT*>(SETelem_(loop, (i + 1) % size));
            twiceArea = twiceArea + Cross(hull->vertices[scratch.vertexIndex[a->id]],
                                          hull->vertices[scratch.vertexIndex[b->id]]);
        }
        bool reverse = Dot(twiceArea, normal) < 0.0f;
        for (int i = 0; i < size; ++i) {
            int at = reverse ? size - 1 - i : i;
            int next = reverse ? (2 * size - 2 - i) % size : (i + 1) % size;
            auto* a = static_cast<vertexT*>(SETelem_(loop, at));
            auto* b = static_cast<vertexT*>(SETelem_(loop, next));
            OlpHullEdge& edge = hull->edges[m++];
            edge.from = static_cast<uint16_t>(scratch.vertexIndex[a->id]);
            edge.to = static_cast<uint16_t>(scratch.vertexIndex[b->id]);
            edge.ownFace = static_cast<uint16_t>(k);
        }
        qh_settempfree(qh, &loop);
        ++k;
    }
    hull->faceEdgeStart[k] = static_cast<uint16_t>(m);
    if (n != hull->vertexCount || k != hull->faceCount || m != hull->edgeCount) {
        return false;
    }
    // Group the half-edges by their from vertex.
    for (uint32_t i = 0; i < m; ++i) {
        ++scratch.degree[hull->edges[i].from];
    }
    uint32_t running = 0;
    for (uint32_t v = 0; v < n; ++v) {
        hull->vertexEdgeStart[v] = static_cast<uint16_t>(running);
        running += scratch.degree[v];
        scratch.degree[v] = 0;
    }
    hull->vertexEdgeStart[n] = static_cast<uint16_t>(running);
    for (uint32_t i = 0; i < m; ++i) {
        uint32_t from = hull->edges[i].from;
        hull->vertexEdges[hull->vertexEdgeStart[from] + scratch.degree[from]++] = static_cast<uint16_t>(i);
    }
    for (uint32_t i = 0; i < m; ++i) {
        uint32_t twin = Twin(hull, i);
        if (twin == m) {
            return false;
        }
        scratch.twin[i] = static_cast<uint16_t>(twin);
        hull->edges[i].neighbourFace = hull->edges[twin].ownFace;
    }
    // Order each vertex's leaving half-edges round it: from e = v -> w in
    // face F, the edge before e in F arrives at v, and its twin leaves v in
    // the next face. The walk is capped; a ring that does not close fails.
    for (uint32_t v = 0; v < n; ++v) {
        uint32_t begin = hull->vertexEdgeStart[v];
        uint32_t count = hull->vertexEdgeStart[v + 1] - begin;
        if (count == 0) {
            return false;
        }
        uint32_t first = hull->vertexEdges[begin];
        uint32_t current = first;
        for (uint32_t step = 0; step < count; ++step) {
            hull->vertexEdges[begin + step] = static_cast<uint16_t>(current);
            current = scratch.twin[PreviousInFace(hull, current)];
            if (current == first && step + 1 != count) {
                return false;
            }
        }
        if (current != first) {
            return false;
        }
    }
    return true;
}

/// Runs qhull and copies its hull; everything qhull allocated is released
/// by the caller. Kept free of objects with destructors: qhull reports
/// errors by longjmp.
OlpConvexHull* RunQhull(qhT* qh, coordT* points, uint32_t count, char* command, FILE* out, Scratch& scratch)
{
    if (qh_new_qhull(qh, 3, static_cast<int>(count), points, False, command, out, out) != 0) {
        return nullptr;
    }
    OlpConvexHull* hull = nullptr;
    if (setjmp(qh->errexit) == 0) {
        qh->NOerrexit = False;
        vertexT* vertex;
        facetT* facet;
        uint32_t n = 0;
        uint32_t k = 0;
        uint64_t m = 0;
        FORALLvertices
        {
            ++n;
        }
        FORALLfacets
        {
            ++k;
            m += static_cast<uint64_t>(qh_setsize(qh, facet->vertices));
        }
        if (n <= kOlpHullMaxCount && k <= kOlpHullMaxCount && m <= kOlpHullMaxCount) {
            scratch.vertexIndex = static_cast<uint32_t*>(
                MemoryAllocateZeroed(qh->vertex_id + 1, sizeof(uint32_t), kOlpScratchHint));
            scratch.faceIndex = static_cast<uint32_t*>(
                MemoryAllocateZeroed(qh->facet_id + 1, sizeof(uint32_t), kOlpScratchHint));
            scratch.degree =
                static_cast<uint16_t*>(MemoryAllocateZeroed(n + 1, sizeof(uint16_t), kOlpScratchHint));
            scratch.twin =
                static_cast<uint16_t*>(MemoryAllocateZeroed(m + 1, sizeof(uint16_t), kOlpScratchHint));
            hull = OlpConvexHullAlloc(n, static_cast<uint32_t>(m), k);
            if (hull != nullptr &&
                (scratch.vertexIndex == nullptr || scratch.faceIndex == nullptr ||
                 scratch.degree == nullptr || scratch.twin == nullptr || !CopyHull(qh, hull, scratch))) {
                OlpConvexHullRelease(hull);
                hull = nullptr;
            }
        }
    } else if (hull != nullptr) {
        OlpConvexHullRelease(hull);
        hull = nullptr;
    }
    qh->NOerrexit = True;
    return hull;
}

} // namespace

int32_t OlpQHullPrintf(Stream* stream, const char* format, ...)
{
    char buffer[1024];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (length < 0) {
        return 0;
    }
    size_t written =
        static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length) : sizeof buffer - 1;
    return Route(stream, buffer, written) == 0 ? 0 : length;
}

int32_t OlpQHullPuts(const char* text, Stream* stream)
{
    return Route(stream, text, std::strlen(text));
}

int32_t OlpQHullLastOutstandingBlocks()
{
    return gOutstandingBlocks;
}

uint32_t OlpQHullFindEdge(const OlpConvexHull* hull, uint32_t face, int32_t reversed, uint32_t vertex)
{
    if (face >= hull->faceCount) {
        return hull->edgeCount;
    }
    for (uint32_t i = hull->faceEdgeStart[face]; i < hull->faceEdgeStart[face + 1]; ++i) {
        if ((reversed ? hull->edges[i].to : hull->edges[i].from) == vertex) {
            return i;
        }
    }
    return hull->edgeCount;
}

OlpConvexHull* OlpQHullBuildHull(uint32_t count, const V3d* points, const char* options, Stream* output)
{
    if (points == nullptr) {
        return nullptr;
    }
    auto* coordinates =
        static_cast<coordT*>(MemoryAllocate(sizeof(coordT) * 3 * (count + 1), kOlpScratchHint));
    if (coordinates == nullptr) {
        return nullptr;
    }
    uint32_t finite = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const V3d& p = points[i];
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
            coordinates[3 * finite] = p.x;
            coordinates[3 * finite + 1] = p.y;
            coordinates[3 * finite + 2] = p.z;
            ++finite;
        }
    }
    char command[256];
    std::snprintf(command, sizeof command, "%s", options != nullptr ? options : kOlpQHullDefaultOptions);
    FILE* out = OpenRoutedFile(output);
    OlpConvexHull* hull = nullptr;
    if (out != nullptr) {
        qhT context;
        qhT* qh = &context;
        qh_zero(qh, out);
        {
            Scratch scratch;
            hull = RunQhull(qh, coordinates, finite, command, out, scratch);
        }
        qh_freeqhull(qh, !qh_ALL);
        int outstanding = 0;
        int total = 0;
        qh_memfreeshort(qh, &outstanding, &total);
        gOutstandingBlocks = outstanding;
        std::fclose(out);
    }
    MemoryFree(coordinates);
    return hull != nullptr ? OlpConvexHullFinalize(hull) : nullptr;
}
