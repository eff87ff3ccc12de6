#pragma once
// Rendering pipelines: short programs of nodes that the engine runs on a
// packet of data (immediate-mode 3-D, the Direct3D 9 atomic, world-sector and
// skinned-atomic renderers, the effects).
//
// A node is described by a PipelineNodeDefinition, static data of its owner
// that the engine never copies. A pipeline is edited while locked (nodes
// added, removed, connected), then unlocked: the nodes are ordered so that
// each follows the nodes that feed it (the entry node first), the clusters
// they declare are mapped onto the slots of one packet layout, each entry
// gets its private data, and the nodes' set-up callbacks run. Executing a
// pipeline runs the first node's body, which may pass the packet on along
// its outputs (PipelineNodeFollowOutput) or hand it to another pipeline.
//
// Lifecycle: PipelineCreate (compiled, empty) -> PipelineLock -> edits ->
// PipelineUnlock (compiled again, or still locked on failure) ->
// PipelineExecute any number of times -> PipelineDestroy. Every operation
// needs the engine started (the pipeline module's data lives in the engine
// instance); failures return null/0 and record the first error (error.h).
// Single-threaded: one execution at a time.

#include <cstddef>
#include <cstdint>

#include "graphics/core/pipeheap.h"

// Plain error codes of the engine core (plug-in id 1) that pipelines raise.
constexpr uint32_t kErrorPipelineUnorderable = 28;     ///< the nodes' connections form a cycle
constexpr uint32_t kErrorPipelineClusterConflict = 29; ///< an output fails a cluster a later node requires
constexpr uint32_t kErrorPipelineClusterTwice = 30;    ///< a node lists one cluster twice
constexpr uint32_t kErrorPipelineNullCluster = 31;     ///< a cluster reference without definition
constexpr uint32_t kErrorPipelineScratchFull = 32;     ///< compile scratch space exhausted
constexpr uint32_t kErrorPipelineNoInput = 34;         ///< a node other than the entry node has no input
constexpr uint32_t kErrorPipelineBadEntryNode = 36;    ///< entry node missing or fed by another node
/// A node declares more than 32 clusters, or more than 32 clusters would be
/// live at one node of a compiled pipeline (the packet masks are 32 bits).
constexpr uint32_t kErrorPipelineTooManyClusters = 40;
constexpr uint32_t kErrorPipelineTooManyOutputs = 41; ///< more than 32 outputs, or output index out of range
constexpr uint32_t kErrorPipelineTooManyNodes = 42;   ///< beyond the node limit per pipeline
constexpr uint32_t kErrorPipelineNotLocked = 52;      ///< the pipeline is not locked for editing

/// At most this many clusters per node definition and outputs per node.
constexpr uint32_t kPipelineMaxClusters = 32;
constexpr uint32_t kPipelineMaxOutputs = 32;
/// Nodes a pipeline may hold.
constexpr uint32_t kPipelineNodeLimit = 64;

struct Pipeline;
struct PipelineNode;
struct PipelineNodeDefinition;
struct PipelineCompileRecord;
struct PipelinePacket;

// ---- clusters: typed arrays that travel in a packet ----------------------------

/// Describes one kind of cluster; static data of its owner.
struct PipelineClusterDefinition
{
    const char* name;
    uintptr_t reserved;
    uint32_t attributes; ///< copied into a packet slot when a node first locks it
};

/// A node's reference to a cluster it works with.
struct PipelineClusterRef
{
    PipelineClusterDefinition* cluster;
    /// Non-zero: the node keeps a slot for the cluster even when no later node needs it.
    uint32_t keepSlot;
    uint32_t reserved;
};

/// What a node needs of a cluster at its input (one word per cluster reference).
enum PipelineClusterUsage : uint32_t
{
    kPipelineClusterNotNeeded = 0,
    kPipelineClusterRequired = 1,
    kPipelineClusterOptional = 2,
};

/// What an output does to a cluster.
enum PipelineClusterTreatment : uint32_t
{
    kPipelineClusterPassed = 0,      ///< passes unchanged
    kPipelineClusterMadeValid = 1,   ///< the node makes it valid on this output
    kPipelineClusterMadeInvalid = 2, ///< the node makes it invalid on this output
};

/// One output of a node definition.
struct PipelineOutputDescriptor
{
    const char* name;
    const uint32_t* treatments; ///< one per cluster reference, in reference order
    uint32_t otherTreatment;    ///< of every cluster the node does not reference
};

// ---- node definitions and entries ------------------------------------------

/// Run-time parameters of the current execution, handed to node bodies.
struct PipelineExecution
{
    void* data; ///< what the pipeline executes on (the object)
    Pipeline* pipeline;
    PipelineHeap* heap;
};

/// A node's body: non-zero on success; 0 makes the execution fail.
using PipelineNodeBody = int32_t (*)(PipelineNode* node, const PipelineExecution* execution);
/// Definition init/term: when the definition enters its first compiled
/// pipeline / leaves its last. Init answers non-zero on success.
using PipelineDefinitionInit = int32_t (*)(PipelineNodeDefinition* definition);
using PipelineDefinitionTerm = void (*)(PipelineNodeDefinition* definition);
/// Node init (each entry, at unlock; non-zero on success) and term (at lock,
/// removal or destruction of a compiled pipeline).
using PipelineNodeInit = int32_t (*)(PipelineNode* node);
using PipelineNodeTerm = void (*)(PipelineNode* node);
/// Runs after every node of the pipeline was initialised; non-zero on success.
using PipelineNodeSetup = int32_t (*)(PipelineNode* node, Pipeline* pipeline);

struct PipelineNodeDefinition
{
    const char* name; ///< ends in ".csl", e.g. "nodeD3D9AtomicAllInOne.csl"
    PipelineNodeBody body;
    PipelineDefinitionInit definitionInit;
    PipelineDefinitionTerm definitionTerm;
    PipelineNodeInit nodeInit;
    PipelineNodeTerm nodeTerm;
    PipelineNodeSetup nodeSetup;
    void* reserved;
    uint32_t clusterCount; ///< at most kPipelineMaxClusters
    const PipelineClusterRef* clusters;
    const uint32_t* inputRequirements; ///< PipelineClusterUsage per cluster reference
    uint32_t outputCount;              ///< at most kPipelineMaxOutputs, below the node limit
    const PipelineOutputDescriptor* outputs;
    uint32_t privateDataSize; ///< bytes of zeroed private data per entry
    int32_t refCount;         ///< compiled pipelines using it (maintained by the engine)
};

/// Type record of a cluster in a compiled pipeline.
struct PipelineClusterType
{
    const PipelineClusterDefinition* cluster;
    uint32_t attributes;
};

/// One node of a pipeline. While locked only definition, outputCount and
/// outputs are meaningful; unlocking fills the rest.
struct PipelineNode
{
    PipelineNodeDefinition* definition;
    uint32_t outputCount;
    int32_t* outputs; ///< node indices, -1 when unconnected
    /// Per packet slot: the type of the cluster in it at this node, or null.
    const PipelineClusterType** slotTypes;
    /// Word 0: AND of the output masks of the clusters live here (all bits
    /// when none); word 1 + s: the outputs on which slot s's cluster leaves.
    uint32_t* passMasks;
    void* privateData;              ///< definition's privateDataSize bytes, zeroed at unlock
    int32_t* clusterIndices;        ///< per cluster reference: its slot here, or -1
    PipelineCompileRecord* compile; ///< used only while unlocking
};

enum PipelineState : uint32_t
{
    kPipelineCompiled = 0,
    kPipelineLocked = 1,
};

enum PipelinePacketState : uint32_t
{
    kPipelinePacketNone = 0,
    kPipelinePacketReleased = 1,
    kPipelinePacketOpen = 2,
    kPipelinePacketPassed = 3,
};

/// A cluster the pipeline expects in a packet it receives (its first node
/// needs it), sorted by the definition's address.
struct PipelinePersistentCluster
{
    const PipelineClusterDefinition* cluster;
    uint32_t usage; ///< kPipelineClusterRequired or kPipelineClusterOptional
    int32_t slot;
};

struct Pipeline
{
    uint32_t state; ///< PipelineState
    uint32_t nodeCount;
    PipelineNode* nodes;
    uint32_t slotCount;     ///< packet slots of the compiled layout
    uint32_t packetState;   ///< PipelinePacketState
    PipelinePacket* packet; ///< the packet of this pipeline's executions
    uint32_t persistentCount;
    PipelinePersistentCluster* persistent;
    void* nodeArea; ///< one allocation holding the nodes and everything compiled for them
    size_t nodeAreaSize;
    uint32_t entryNode;   ///< index of the node an execution starts at (0 once compiled)
    uint32_t pluginId;    ///< owner's plug-in id (Im3D 1, scene renderer 2, ...)
    uintptr_t pluginData; ///< owner's word
};

/// Sets the free list parameters of pipeline records; call before EngineInit.
void PipelineSetFreeListCreateParams(uint32_t entriesPerBlock, uint32_t blocksToPreallocate);

/// A new empty compiled pipeline; null when out of memory (kErrorOutOfMemory).
Pipeline* PipelineCreate();
/// Destroys every node entry and the pipeline; null is ignored.
void PipelineDestroy(Pipeline* pipeline);
/// Opens a pipeline for editing (a locked one is returned as it is). The
/// node-term and definition-term callbacks run. Null when out of memory.
Pipeline* PipelineLock(Pipeline* pipeline);
/// Appends the null-terminated list of node definitions to a locked
/// pipeline, each new node connected as the first output of the new node
/// before it; stores the index of the first new node in *firstIndex when
/// given. Null (nothing added) on error: 52 not locked, 42 beyond the node
/// limit, 41 more than 32 outputs, 40 more than 32 clusters; an empty list
/// gives null without error.
Pipeline* PipelineAddNodes(Pipeline* pipeline, uint32_t* firstIndex, PipelineNodeDefinition* definition, ...);
/// Orders, compiles and initialises a locked pipeline. Null on failure (the
/// pipeline stays locked): the error codes above.
Pipeline* PipelineUnlock(Pipeline* pipeline);
/// Runs a compiled pipeline on `data`, first dropping every allocation of the
/// pipeline heap when `resetHeap` is set and the heap is in use. The pipeline,
/// or null when a body answered 0 (or the pipeline is locked: kErrorBadArgument).
Pipeline* PipelineExecute(Pipeline* pipeline, void* data, bool resetHeap);
/// A new compiled pipeline with the same nodes and connections as a compiled
/// one; null on failure (kErrorBadArgument when the source is locked).
Pipeline* PipelineDuplicate(const Pipeline* pipeline);
/// The first entry after `after` (from the start when null) whose definition
/// is named exactly `name`; its index goes to *index when given. Null when none.
PipelineNode* PipelineFindNodeByName(Pipeline* pipeline, const char* name, const PipelineNode* after,
                                     uint32_t* index);
/// The entry at `index`, null when out of range.
PipelineNode* PipelineGetNode(Pipeline* pipeline, uint32_t index);
/// The pipeline heap of the running engine, null when not started.
PipelineHeap* PipelineGetHeap();

// ---- editing a locked pipeline (null arguments and unlocked pipelines give null, 52)

/// Removes one entry of a locked pipeline; later entries move down by one
/// and outputs naming the removed entry become unconnected. The pipeline.
Pipeline* PipelineNodeDestroyInstance(PipelineNode* node, Pipeline* pipeline);
/// Adds a node for `definition` on `node`'s first output: the new node takes
/// over that output's connection on its own first output. The new entry, or
/// null (41 when either node lacks the output the connection needs).
PipelineNode* PipelineInsertNodeAfter(Pipeline* pipeline, PipelineNode* node,
                                      PipelineNodeDefinition* definition);
/// Connects output `output` of `node` (unconnected) to `target`. The pipeline.
Pipeline* PipelineNodeConnect(Pipeline* pipeline, PipelineNode* node, uint32_t output, PipelineNode* target);
/// Leaves output `output` of `node` unconnected. The pipeline.
Pipeline* PipelineNodeDisconnect(Pipeline* pipeline, PipelineNode* node, uint32_t output);

// ---- default pipelines -----------------------------------------------------------

/// The current and default pipelines of the scene renderer's object kinds
/// (atomics, world sectors, a third kind), kept in the pipeline module's data.
struct PipelineDefaultSlots
{
    Pipeline* current[3];
    uintptr_t reserved[3];
    Pipeline* defaults[3];
};
enum PipelineObjectKind : uint32_t
{
    kPipelineKindAtomic = 0,
    kPipelineKindWorldSector = 1,
    kPipelineKindThird = 2,
};
/// The slots of the running engine (all null at start); null before start (kErrorNotStarted).
PipelineDefaultSlots* PipelineGetDefaultSlots();

// ---- the engine render-state record ---------------------------------------------

/// The engine render states a renderer sets around its drawing, as one
/// record. Entry by entry, with the engine render-state numbers it holds:
struct PipelineRenderStates
{
    /// Bit 0 perspective correction (state 5; the device always corrects,
    /// so a capture keeps it set), bit 1 z test (6), bit 2 z write (8),
    /// bit 3 vertex alpha (12).
    uint32_t flags;
    uint32_t cullMode;     ///< state 20: 1 none, 2 clockwise, 3 counter-clockwise
    uint32_t srcBlend;     ///< state 10: blend mode 1-11 (5 source alpha)
    uint32_t destBlend;    ///< state 11 (6 inverse source alpha)
    void* raster;          ///< state 1: stage 0's texture raster, null for none
    uint32_t addressU;     ///< state 3: 1 wrap, 2 mirror, 3 clamp, 4 border
    uint32_t addressV;     ///< state 4
    uint32_t filterMode;   ///< state 9: engine filter mode (2 linear)
    uint32_t borderColour; ///< state 13: ARGB
    uint32_t fogType;      ///< state 16 while fog (14) is on; 0 when fog is off
    uint32_t fogColour;    ///< state 15: ARGB
};
enum PipelineRenderStateFlag : uint32_t
{
    kRenderStatePerspective = 1,
    kRenderStateZTest = 2,
    kRenderStateZWrite = 4,
    kRenderStateVertexAlpha = 8,
};
/// Copies the module's default record {7, 2, 5, 6, null, 1, 1, 2, 0xFFFFFFFF,
/// 0, 0xFFFFFFFF} into *out; out, or null before start (kErrorNotStarted) or for a
/// null out (kErrorNullArgument).
PipelineRenderStates* PipelineRenderStatesGetDefault(PipelineRenderStates* out);
/// A new record holding the device's current engine render states (read
/// through the device's render-state get function; a state the device does
/// not answer keeps its default). Null before start or out of memory.
PipelineRenderStates* PipelineRenderStatesCapture();
/// Frees a captured record; null is ignored.
void PipelineRenderStatesDestroy(PipelineRenderStates* states);
