#pragma once
// The AI's debug drawing: lines and crosses gathered into one vertex buffer
// while the AI updates, drawn once in the render step as line lists through
// immediate-mode 3-D, at most kDebugLinesBatch vertices a call.
//
// Per frame: DebugLinesReset before the AI update, DebugLinesFlush while
// drawing. The buffer grows by doubling; a primitive that finds no memory is
// dropped.
#include <cstdint>

struct Im3DVertex;

/// Most vertices one immediate-mode call draws.
constexpr int32_t kDebugLinesBatch = 65000;

/// Empties the buffer and keeps the half-size (world units) of the crosses drawn for points; 1.
int32_t DebugLinesInit(float crossHalfSize);
/// Frees the buffer.
void DebugLinesTerm();
/// Forgets the lines gathered (the memory stays).
void DebugLinesReset();
/// Draws the lines gathered, untextured; the buffer keeps them.
void DebugLinesFlush();
/// Hands the gathered vertices to `draw` in batches of kDebugLinesBatch
/// (the rest in a last batch; fewer than 2 left over are not handed on).
void DebugLinesForEachBatch(void (*draw)(Im3DVertex* vertices, int32_t count, void* data), void* data);
/// Vertices gathered since the last reset.
int32_t DebugLinesCount();
/// The gathered vertices (null before the first primitive).
const Im3DVertex* DebugLinesVertices();

/// A line from p to q in an opaque colour (components 0 to 255); 1, or 0 when dropped.
int DebugDrawLine(const float* p, const float* q, int red, int green, int blue);
/// Three lines through p along x, y and z, the cross half-size each way; 1, or 0 when dropped.
int DebugDrawCross(const float* p, int red, int green, int blue);
