#pragma once
// Immediate-mode 3-D: lists of caller-owned vertices drawn without scene
// objects. Im3DTransform opens the vertices with a matrix, the render calls
// draw primitives from them (indexed or not), Im3DEnd closes. Both steps run
// replaceable pipelines: a transform pipeline ("ImmInstance.csl") and one
// render pipeline per primitive type ("nodeD3D9SubmitNoLight.csl", which
// copies the vertices into the device's dynamic buffers and draws them).
// The module is an engine plug-in that the Direct3D 9 driver attaches.

#include <cstdint>

struct Matrix;
struct Pipeline;

/// The vertex (36 bytes).
struct Im3DVertex
{
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour; ///< D3DCOLOR, 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(Im3DVertex) == 36, "the submit node reads 36-byte vertices");

enum Im3DPrimitiveType : int32_t
{
    kIm3DLineList = 1,
    kIm3DPolyLine = 2,
    kIm3DTriList = 3,
    kIm3DTriStrip = 4,
    kIm3DTriFan = 5,
    kIm3DTypeSpare = 6, ///< a slot for a pipeline no render call uses
};

/// Transform flags.
constexpr uint32_t kIm3DTextured = 1;      ///< the vertices' u, v are drawn
constexpr uint32_t kIm3DNoVertexAlpha = 2; ///< alpha ignored (vertex alpha off)
constexpr uint32_t kIm3DNoClip = 4;

/// Plain error codes (plug-in id 1).
constexpr uint32_t kErrorIm3DNotOpen = 35;
constexpr uint32_t kErrorIm3DBadType = 37;
constexpr uint32_t kErrorIm3DTooManyVertices = 50;
/// Most vertices one transform takes.
constexpr uint32_t kIm3DMaxVertices = 65535;

/// The transform packet the nodes work on.
struct Im3DTransformPacket
{
    uint32_t vertexCount;
    Im3DVertex* vertices;
    uint32_t stride; ///< 36
    uint32_t flags;
    const Matrix* matrix; ///< null: identity
};
/// A render packet: one primitive batch.
struct Im3DRenderPacket
{
    Pipeline* pipeline;
    int32_t type;
    const uint16_t* indices; ///< null: the vertices in order
    uint32_t indexCount;
};

/// Opens `count` (<= 65535, else error 50) vertices with a matrix (null:
/// identity) and flags; the vertices, or null when the pipeline failed.
Im3DVertex* Im3DTransform(Im3DVertex* vertices, uint32_t count, const Matrix* matrix, uint32_t flags);
/// Draws indexed primitives of the open vertices: 1, or 0 (error 35 without
/// an open transform, 37 for a bad type, kErrorBadArgument for an index naming no
/// vertex, or a device failure). Line lists use an even count, triangle
/// lists a multiple of 3.
int32_t Im3DRenderIndexedPrimitive(int32_t type, const uint16_t* indices, uint32_t count);
/// The same with the vertices in order.
int32_t Im3DRenderPrimitive(int32_t type);
/// One line between two vertices.
int32_t Im3DRenderLine(uint32_t a, uint32_t b);
/// Closes the transform: 1, or 0 when none is open.
int32_t Im3DEnd();

/// Pipelines: set returns the previous current one (null restores the
/// default, for a render pipeline the type's default, which is returned).
Pipeline* Im3DSetTransformPipeline(Pipeline* pipeline);
Pipeline* Im3DSetRenderPipeline(Pipeline* pipeline, int32_t type);
Pipeline* Im3DGetTransformPipeline();
Pipeline* Im3DGetRenderPipeline(int32_t type);
/// The open transform packet (for nodes); null outside started.
Im3DTransformPacket* Im3DGetTransformPacket();

/// Registers the module with the engine (before EngineOpen); offset or -1.
int32_t Im3DModuleAttach();
/// The submit node's device buffers, created at module open and around resets.
bool Im3DD3D9CreateBuffers();
void Im3DD3D9ReleaseBuffers();
/// The default node definitions.
struct PipelineNodeDefinition;
PipelineNodeDefinition* Im3DInstanceNodeDefinition();
PipelineNodeDefinition* Im3DSubmitNodeDefinition();
