#pragma once
// Hierarchical animation (engine module, frame extension and keyframe scheme
// 0x11E): a Hierarchy lists the nodes of a frame tree in depth-first order
// with push and pop flags that encode the tree, owns a keyframe player with
// one interpolated key per node, and turns the keys into one matrix per node
// and, when asked, into the frames' own matrices. Scheme type 1 keys hold a
// rotation quaternion and a translation (hierkeys.h).
//
// Node flags: push (2) on a node with a later sibling saves its parent's
// matrix; pop (1) on a node without children takes the next node's parent
// from the saved matrices; 3 (no children, a later sibling) keeps the parent.
// The stack holds at most 31 saved matrices; trees that need more are
// refused where they are created or read.

#include <cstdint>

#include "graphics/animation/animinterpolator.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"

/// Hierarchy flags.
constexpr uint32_t kHierarchySub = 0x1;                ///< cut from another hierarchy
constexpr uint32_t kHierarchyNoMatrices = 0x2;         ///< no matrix array
constexpr uint32_t kHierarchyUpdateModelling = 0x1000; ///< write the frames' modelling matrices
constexpr uint32_t kHierarchyUpdateLTMs = 0x2000;      ///< write the frames' world matrices
constexpr uint32_t kHierarchyLocalSpace = 0x4000;      ///< the matrix array is relative to the hierarchy

/// Node flags.
constexpr uint32_t kHierarchyPop = 0x1;
constexpr uint32_t kHierarchyPush = 0x2;

/// Saved parent matrices while a hierarchy is walked.
constexpr int32_t kHierarchyStackDepth = 31;

struct HierarchyNode
{
    int32_t nodeId;
    int32_t nodeIndex;
    uint32_t flags; ///< kHierarchyPop, kHierarchyPush
    Frame* frame;   ///< bound at run time; null when unbound
};

struct Hierarchy
{
    uint32_t flags;
    int32_t nodeCount;
    Matrix* matrices;     ///< nodeCount matrices aligned to 16; null with kHierarchyNoMatrices
    void* matrixBlock;    ///< the allocation the matrices lie in (null for a sub-hierarchy)
    HierarchyNode* nodes; ///< a sub-hierarchy's points into its root's
    Frame* parentFrame;   ///< the frame whose extension holds this hierarchy
    Hierarchy* root;      ///< itself, or the hierarchy a sub-hierarchy was cut from
    int32_t parentNode;   ///< a sub-hierarchy's first node's parent in the root; -1 at node 0
    AnimInterpolator* interpolator;
};

/// Registers engine module 0x11E (with the keyframe toolkit before it), the
/// frame extension and its streams; before the first EngineOpen. True when
/// every registration succeeded.
bool HierarchyPluginAttach();
/// Hierarchies per free-list block and blocks to preallocate (defaults 128,
/// 1); takes effect at the next engine start.
void HierarchySetFreeListParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// A hierarchy of `nodeCount` nodes: node i gets index i, nodeFlags[i] and
/// nodeIds[i] (0 when an array is null), no frame. Null with 0x80000003 for
/// a count below 1 or flags that overrun the stack, 0x80000013.
Hierarchy* HierarchyCreate(int32_t nodeCount, const uint32_t* nodeFlags, const int32_t* nodeIds,
                           uint32_t flags, int32_t maxInterpKeySize);
/// A new hierarchy with the nodes of `hierarchy` (ids, indices, flags), frames unbound.
Hierarchy* HierarchyCreateFromHierarchy(const Hierarchy* hierarchy, uint32_t flags, int32_t maxInterpKeySize);
/// A sub-hierarchy over the subtree of node `firstNode`, sharing the root's
/// matrices and nodes; maxInterpKeySize -1 takes the root's. Null with
/// 0x80000003 for a node outside the hierarchy.
Hierarchy* HierarchyCreateSub(Hierarchy* hierarchy, int32_t firstNode, uint32_t flags,
                              int32_t maxInterpKeySize);
/// Frees the hierarchy (its arrays unless a sub-hierarchy) and its player and
/// clears its parent frame's pointer to it; null.
Hierarchy* HierarchyDestroy(Hierarchy* hierarchy);

/// Binds each node to the frame of its id among the parent frame and its descendants.
Hierarchy* HierarchyAttachFrames(Hierarchy* hierarchy);
/// Binds only the nodes whose id is node `nodeIndex`'s.
Hierarchy* HierarchyAttachNodeFrames(Hierarchy* hierarchy, int32_t nodeIndex);
Hierarchy* HierarchyDetachFrames(Hierarchy* hierarchy);
Hierarchy* HierarchyDetachNode(Hierarchy* hierarchy, int32_t nodeIndex);
/// The index of the first node with `nodeId`, -1 when none.
int32_t HierarchyFindNode(const Hierarchy* hierarchy, int32_t nodeId);
Matrix* HierarchyGetMatrixArray(const Hierarchy* hierarchy);
/// True when the node flags never pop with nothing saved nor save more than
/// the stack holds.
bool HierarchyNodeFlagsAreValid(const HierarchyNode* nodes, int32_t nodeCount);

/// Turns the interpolated keys into the matrix array and, by the flags, the
/// frames' modelling or world matrices; 1.
int32_t HierarchyUpdateMatrices(Hierarchy* hierarchy);

/// Makes `hierarchy` (or none) the frame's; the old one loses its parent frame. 1.
int32_t FrameSetHierarchy(Frame* frame, Hierarchy* hierarchy);
Hierarchy* FrameGetHierarchy(const Frame* frame);
/// The frame's node id (-1: none). 1.
int32_t FrameSetNodeId(Frame* frame, int32_t nodeId);
int32_t FrameGetNodeId(const Frame* frame);
