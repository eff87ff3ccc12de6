#pragma once
// Convex hulls of point clouds through qhull's reentrant library.
//
// Output destinations: qhull's text (the summary of the default options,
// diagnostics) goes to the stream the caller chooses: OlpQHullDiscard (0),
// OlpQHullStdout (1), OlpQHullStderr (2) or an engine Stream.

#include <cstdint>

#include "physics/core/volume/convexhull.h"

struct Stream;

/// The default qhull options: summary, no point-wise output.
constexpr const char* kOlpQHullDefaultOptions = "qhull s Pp";

inline Stream* OlpQHullDiscard()
{
    return nullptr;
}
inline Stream* OlpQHullStdout()
{
    return reinterpret_cast<Stream*>(uintptr_t{1});
}
inline Stream* OlpQHullStderr()
{
    return reinterpret_cast<Stream*>(uintptr_t{2});
}

/// The hull of `count` points (non-finite points are left out) with qhull's
/// `options` (null: kOlpQHullDefaultOptions), qhull's text going to
/// `output`. Null for null points, a flat or too small set, more than 65535
/// vertices, faces or half-edges, a hull whose structure does not close,
/// or when the memory refuses. qhull's memory is released on every path.
OlpConvexHull* OlpQHullBuildHull(uint32_t count, const V3d* points, const char* options, Stream* output);
/// The half-edge of `face` leaving `vertex` (arriving at it with
/// `reversed`); the half-edge count when there is none.
uint32_t OlpQHullFindEdge(const OlpConvexHull* hull, uint32_t face, int32_t reversed, uint32_t vertex);
/// printf through the routing above (1024-byte buffer); the formatted
/// length, 0 for the discard stream.
int32_t OlpQHullPrintf(Stream* stream, const char* format, ...);
/// Writes `text` through the routing above; its length, 0 when discarded.
int32_t OlpQHullPuts(const char* text, Stream* stream);
/// Blocks qhull still held after the last build released its memory
/// (always 0 unless qhull leaks).
int32_t OlpQHullLastOutstandingBlocks();
