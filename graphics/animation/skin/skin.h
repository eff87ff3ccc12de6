#pragma once
// Skinning (engine plug-in 0x116): a Skin binds each vertex of a geometry to
// up to four bones with a weight each and holds every bone's inverse
// bind-pose matrix. The skin is a geometry extension, saved with the
// geometry; the animation Hierarchy that moves the bones is an atomic
// extension set by the application. A skinned atomic is drawn by the skin
// pipeline, which turns the hierarchy's matrices into one matrix per bone and
// deforms the vertices with them (on the processor, or in a vertex shader).
//
// Use: SkinPluginAttach after HierarchyPluginAttach and the scene library,
// before EngineOpen; read or build geometries with skins; give each skinned
// atomic its hierarchy with SkinAtomicSetHierarchy.
//
// The stored form keeps bone and used-bone counts in single bytes: skins of
// more than 255 bones cannot be saved.

#include <cstdint>

struct Atomic;
struct Geometry;
struct Hierarchy;
struct Matrix;

/// At most this many influences per vertex.
constexpr uint32_t kSkinMaxWeights = 4;
/// Bone matrices the bone workspace holds; larger hierarchies are not drawn.
constexpr int32_t kSkinWorkspaceBones = 256;
/// Largest bone count of a saved skin.
constexpr uint32_t kSkinMaxStoredBones = 255;
/// Platform word of a pre-instanced (native) skin chunk.
constexpr uint32_t kSkinPlatformD3D9 = 9;

struct Skin
{
    uint32_t numBones;
    uint32_t numUsedBones;       ///< distinct bones some vertex uses with a non-zero weight
    uint8_t* usedBones;          ///< ascending once the skin is set on a geometry
    Matrix* skinToBoneMatrices;  ///< numBones inverse bind-pose matrices, 16-byte aligned
    uint32_t maxWeights;         ///< 1 to 4: most leading non-zero weights of any vertex
    uint32_t* vertexBoneIndices; ///< per vertex 4 bone bytes, the first influence lowest
    float* vertexBoneWeights;    ///< per vertex 4 weights in the order of the bytes
    uint32_t paletteBoneCount;   ///< set at instancing: bones drawn at once
    uint32_t shaderPath;         ///< set at instancing: 1 when drawn by the shader path
    uint32_t splitBoneLimit;     ///< bones per draw with split data
    uint32_t splitMeshCount;     ///< mesh-table entries; 0: no split data
    uint32_t splitRunCount;      ///< run-table entries
    uint8_t* splitData;          ///< bone remap (numBones bytes), mesh table, run table
    uint8_t* meshTable;          ///< per mesh (first run, run count)
    uint8_t* runTable;           ///< per run (first bone, bone count)
    void* dataBlock;             ///< holds usedBones, the matrices, indices and weights
    int32_t numVertices;         ///< vertices the arrays hold
};

/// One software-path bone matrix: rows x, y and z of the output, each
/// (right, up, at, translation) of the row-vector matrix; 64-byte stride.
struct SkinBoneMatrix
{
    float row[3][4];
    float pad[4];
};
static_assert(sizeof(SkinBoneMatrix) == 64, "bone matrices keep a 64-byte stride");

/// Registers plug-in 0x116 with the atomic and geometry extensions and their
/// streams; before the first EngineOpen. False when a registration failed.
bool SkinPluginAttach();
/// Skins per free-list block and blocks to preallocate (defaults 20, 1);
/// takes effect at the next open.
void SkinSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Gives the atomic the hierarchy that moves its bones (not owned; null: none). The atomic.
Atomic* SkinAtomicSetHierarchy(Atomic* atomic, Hierarchy* hierarchy);
Hierarchy* SkinAtomicGetHierarchy(const Atomic* atomic);
/// The geometry's skin, or null.
Skin* SkinGeometryGetSkin(const Geometry* geometry);
/// Sets the skin (null: none) unless it is already set, and prepares it
/// (weights sorted per vertex, used bones ascending). The replaced skin is
/// not freed: it stays the caller's. The geometry then owns `skin`.
Geometry* SkinGeometrySetSkin(Geometry* geometry, Skin* skin);

/// A skin for `numVertices` vertices from 4 weights and one index word per
/// vertex (both required when numVertices > 0) and `numBones` matrices (null:
/// zero). Null with kErrorBadArgument for negative counts or an index byte
/// not below numBones, kErrorOutOfMemory, kErrorNotStarted
/// while the plug-in is closed.
Skin* SkinCreate(int32_t numVertices, uint32_t numBones, const float* weights, const uint32_t* indices,
                 const Matrix* matrices);
/// Frees the arrays, the split data and the record; 0.
int32_t SkinDestroy(Skin* skin);

uint32_t SkinGetNumBones(const Skin* skin);
const float* SkinGetVertexBoneWeights(const Skin* skin);
const uint32_t* SkinGetVertexBoneIndices(const Skin* skin);
const Matrix* SkinGetSkinToBoneMatrices(const Skin* skin);
bool SkinIsSplit(const Skin* skin);
const uint8_t* SkinGetBoneRemap(const Skin* skin);
const uint8_t* SkinGetMeshTable(const Skin* skin);
const uint8_t* SkinGetRunTable(const Skin* skin);

/// Replaces the split data with a zeroed block of remapSize + 2 x (meshCount +
/// runCount) bytes; null (the skin without split data) when out of memory.
Skin* SkinSetSplitData(Skin* skin, uint32_t boneLimit, uint32_t remapSize, uint32_t meshCount,
                       uint32_t runCount);
/// Frees the split data; the skin.
Skin* SkinFreeSplitData(Skin* skin);

/// Gives the atomic the skin pipeline. Every type installs the one pipeline
/// (the effects' types 2 and 3 included, which the skin pipeline draws
/// without effects). The atomic.
Atomic* SkinAtomicSetType(Atomic* atomic, uint32_t type);
/// 1 when the atomic is drawn by the skin pipeline, else 0.
uint32_t SkinAtomicGetType(const Atomic* atomic);

/// The bone workspace: kSkinWorkspaceBones matrices, 16-byte aligned; null while closed.
SkinBoneMatrix* SkinGetMatrixWorkspace();

/// Software-path bone matrices of the atomic into the workspace, one per
/// node up to the skin's bone count; bones beyond the nodes get the
/// identity. Null (error recorded) for a hierarchy of more than 256 nodes.
SkinBoneMatrix* SkinBoneMatricesCompute(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy);
/// Deforms `numVertices` positions (and normals when both pointers are
/// given) by the bone matrices into float triples every `stride` bytes,
/// with the routine for the skin's maximum weights. Normals are not
/// renormalised. numVertices must not exceed the skin's.
void SkinVerticesBlend(const Skin* skin, const SkinBoneMatrix* bones, int32_t numVertices,
                       const float* positions, const float* normals, float* outPositions, float* outNormals,
                       uint32_t stride);
