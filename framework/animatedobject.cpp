// Animated scene objects.
#include "framework/animatedobject.h"

#include "graphics/animation/hierarchy.h"

bool CAnimatedObject::Load(const char* fileName)
{
    if (!LoadClump(fileName) || !m_hierarchy.FindInClump(GetClump()))
        return false;
    m_hierarchy.AttachToClump(GetClump());
    m_player.Init(&m_hierarchy);
    return true;
}

bool CAnimatedObject::Init(const V3d& position)
{
    SetName(nullptr);
    m_motion.Init(this, position);
    return true;
}

void CAnimatedObject::Update(float dt)
{
    m_motion.Update(dt);
    if (m_animate)
        m_player.Update(dt);
}

bool CAnimatedObject::Unload()
{
    CSceneObject::Unload();
    m_hierarchy.Destroy();
    m_player.Unload();
    return true;
}

Matrix* CAnimatedObject::GetBoneMatrix(int32_t index) const
{
    const Hierarchy* hierarchy = m_hierarchy.GetHierarchy();
    if (!hierarchy || index < 0 || index >= hierarchy->nodeCount)
        return nullptr;
    Matrix* matrices = HierarchyGetMatrixArray(hierarchy);
    return matrices ? matrices + index : nullptr;
}
