// Hierarchy holders: the clump's hierarchy and the clones the player blends into.
#include "framework/animationhierarchy.h"

#include "framework/animationfile.h"
#include "graphics/animation/animation.h"
#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"

namespace {

/// Depth-first search for the first frame below `frame` that carries a hierarchy.
Frame* FindHierarchyFrame(Frame* frame, void* data)
{
    auto* found = static_cast<Hierarchy**>(data);
    if (Hierarchy* hierarchy = FrameGetHierarchy(frame)) {
        *found = hierarchy;
        return nullptr;
    }
    FrameForAllChildren(frame, FindHierarchyFrame, data);
    return *found ? nullptr : frame;
}

Atomic* SkinWithHierarchy(Atomic* atomic, void* data)
{
    SkinAtomicSetHierarchy(atomic, static_cast<Hierarchy*>(data));
    return atomic;
}

} // namespace

CAnimationHierarchy::CAnimationHierarchy(const CAnimationHierarchy& source)
{
    const Hierarchy* from = source.m_hierarchy;
    if (!from || !from->interpolator)
        return;
    const AnimInterpolator* player = from->interpolator;
    m_hierarchy = HierarchyCreateFromHierarchy(from, from->flags, player->maxInterpKeySize);
    if (!m_hierarchy)
        return;
    m_owned = true;
    // A blend target must blend and copy before it ever plays an animation.
    AnimInterpolator* clone = m_hierarchy->interpolator;
    clone->currentInterpKeySize = player->currentInterpKeySize;
    clone->keySize = player->keySize;
    clone->keyToMatrix = player->keyToMatrix;
    clone->blend = player->blend;
    clone->interpolate = player->interpolate;
    clone->add = player->add;
}

CAnimationHierarchy::~CAnimationHierarchy()
{
    Destroy();
}

bool CAnimationHierarchy::FindInClump(Clump* clump)
{
    Frame* root = clump ? ClumpGetFrame(clump) : nullptr;
    Hierarchy* found = nullptr;
    if (root)
        FrameForAllChildren(root, FindHierarchyFrame, &found);
    if (!found)
        return false;
    Destroy();
    m_hierarchy = found;
    m_hierarchy->flags = kHierarchyUpdateModelling;
    return true;
}

void CAnimationHierarchy::AttachToClump(Clump* clump)
{
    if (!m_hierarchy || !clump)
        return;
    ClumpVisitAtomics(clump, SkinWithHierarchy, m_hierarchy);
    m_hierarchy->flags |= kHierarchyUpdateModelling | kHierarchyUpdateLTMs;
    HierarchyAttachFrames(m_hierarchy);
}

void CAnimationHierarchy::AddTime(float seconds)
{
    if (m_hierarchy && m_hierarchy->interpolator)
        AnimInterpolatorAddTime(m_hierarchy->interpolator, seconds);
}

float CAnimationHierarchy::GetTime() const
{
    return m_hierarchy && m_hierarchy->interpolator ? m_hierarchy->interpolator->currentTime : 0.0f;
}

void CAnimationHierarchy::CopyFrom(const CAnimationHierarchy& other)
{
    if (m_hierarchy && other.m_hierarchy)
        AnimInterpolatorCopy(m_hierarchy->interpolator, other.m_hierarchy->interpolator);
}

void CAnimationHierarchy::Blend(const CAnimationHierarchy& first, const CAnimationHierarchy& second,
                                float factor)
{
    if (m_hierarchy && first.m_hierarchy && second.m_hierarchy && m_hierarchy->interpolator->blend)
        AnimInterpolatorBlend(m_hierarchy->interpolator, first.m_hierarchy->interpolator,
                              second.m_hierarchy->interpolator, factor);
}

bool CAnimationHierarchy::Fits(const CAnimationFile* file) const
{
    if (!m_hierarchy || !file || !file->animation)
        return false;
    const Animation* animation = file->animation;
    const AnimInterpolator* player = m_hierarchy->interpolator;
    return AnimationCountNodes(animation) >= player->nodeCount &&
           animation->keyCount / 2 >= player->nodeCount &&
           animation->scheme->interpKeySize <= player->maxInterpKeySize;
}

bool CAnimationHierarchy::SetAnimation(const CAnimationFile* file)
{
    return Fits(file) && AnimInterpolatorSetCurrentAnim(m_hierarchy->interpolator, file->animation);
}

void CAnimationHierarchy::UpdateMatrices()
{
    if (!m_hierarchy || !m_hierarchy->interpolator)
        return;
    HierarchyAttachFrames(m_hierarchy);
    HierarchyUpdateMatrices(m_hierarchy);
}

void CAnimationHierarchy::Destroy()
{
    if (m_hierarchy && m_owned)
        HierarchyDestroy(m_hierarchy);
    m_hierarchy = nullptr;
    m_owned = false;
}

int32_t CAnimationHierarchy::NodeCount() const
{
    return m_hierarchy ? m_hierarchy->nodeCount : 0;
}
