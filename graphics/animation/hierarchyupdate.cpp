#include <algorithm>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/core/engine.h"

namespace {

Matrix Identity()
{
    Matrix m = {};
    m.right.x = m.up.y = m.at.z = 1.0f;
    m.flags = kMatrixFlagIdentity | kMatrixFlagsOrthonormal;
    return m;
}

/// The world matrix of `frame` without updating its tree: its cached world
/// matrix when the tree is clean, else its modelling matrices composed up to
/// the root. Identity without a frame.
Matrix WorldOf(Frame* frame)
{
    if (frame == nullptr) {
        return Identity();
    }
    if (!FrameDirty(frame)) {
        return *FrameGetLTM(frame);
    }
    Matrix world = frame->modelling;
    for (Frame* ancestor = FrameGetParent(frame); ancestor != nullptr; ancestor = FrameGetParent(ancestor)) {
        Matrix product;
        MatrixMultiply(&product, &world, &ancestor->modelling);
        world = product;
    }
    return world;
}

Matrix ParentWorld(const Hierarchy* hierarchy)
{
    return WorldOf(hierarchy->parentFrame != nullptr ? FrameGetParent(hierarchy->parentFrame) : nullptr);
}

/// Puts the root of the hierarchy's frames on the engine's dirty list for an
/// objects-only synchronisation, unless it is on it already.
void MarkRootForObjects(Frame* parentFrame)
{
    Frame* root = FrameGetRoot(parentFrame);
    if (!(root->object.privateFlags & kFrameHierarchyDirty)) {
        LinkListAddFront(&EngineGetInstance()->dirtyFrames, &root->dirtyLink);
        root->object.privateFlags = static_cast<uint8_t>((root->object.privateFlags & ~kFrameHierarchyDirty) |
                                                         kFrameHierarchySyncObjects);
    }
}

} // namespace

int32_t HierarchyUpdateMatrices(Hierarchy* hierarchy)
{
    const uint32_t flags = hierarchy->flags;
    const bool noArray = (flags & kHierarchyNoMatrices) || hierarchy->matrices == nullptr;
    const bool local = (flags & kHierarchyLocalSpace) != 0;
    const bool writeWorld = (flags & kHierarchyUpdateLTMs) != 0;
    const bool writeModelling = (flags & kHierarchyUpdateModelling) != 0;

    // The parent matrix of the first node, and W0, the world matrix the
    // local-space array is relative to.
    Matrix parent;
    Matrix world0 = Identity();
    if (noArray) {
        parent = ParentWorld(hierarchy);
    } else if ((flags & kHierarchySub) && hierarchy->parentNode != -1) {
        parent = hierarchy->root->matrices[hierarchy->parentNode];
        if (writeWorld && local) {
            world0 = ParentWorld(hierarchy);
        }
    } else {
        if (!local || writeWorld) {
            world0 = ParentWorld(hierarchy);
        }
        parent = local ? Identity() : world0;
    }
    if (writeWorld && hierarchy->parentFrame != nullptr) {
        MarkRootForObjects(hierarchy->parentFrame);
    }

    const AnimInterpolator* player = hierarchy->interpolator;
    const AnimKeyToMatrixFunc keyToMatrix =
        player->keyToMatrix != nullptr ? player->keyToMatrix : HierKeyToMatrix;
    Matrix stack[kHierarchyStackDepth];
    int32_t depth = 0;
    Matrix scratch;
    for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
        Matrix modelling;
        keyToMatrix(&modelling, AnimInterpolatorGetInterpKey(player, i));
        Matrix* matrix = noArray ? &scratch : &hierarchy->matrices[i];
        MatrixMultiply(matrix, &modelling, &parent);

        const HierarchyNode& node = hierarchy->nodes[i];
        if (Frame* frame = node.frame) {
            if (writeModelling) {
                frame->modelling = modelling;
                if (!writeWorld) {
                    FrameUpdateObjects(frame);
                }
            }
            if (writeWorld) {
                if (noArray || !local) {
                    frame->ltm = *matrix;
                } else {
                    MatrixMultiply(&frame->ltm, matrix, &world0);
                }
                frame->object.privateFlags = static_cast<uint8_t>(
                    (frame->object.privateFlags & ~kFrameSubtreeSyncLTM) | kFrameSubtreeSyncObjects);
            }
        }
        // Node flags that were checked at creation cannot overrun the stack;
        // flags edited since then are held to it.
        switch (node.flags & (kHierarchyPush | kHierarchyPop)) {
        case 0:
            parent = *matrix;
            break;
        case kHierarchyPush:
            if (depth < kHierarchyStackDepth) {
                stack[depth++] = parent;
            }
            parent = *matrix;
            break;
        case kHierarchyPop:
            if (depth > 0) {
                parent = stack[--depth];
            }
            break;
        default:
            break;
        }
    }
    return 1;
}
