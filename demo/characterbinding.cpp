#include "demo/characterbinding.h"

#include <new>

#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "graphics/core/frame.h"

CWardelCharacter* CCharacterBinding::Create()
{
    return new (std::nothrow) CCharacterBinding;
}

const Matrix* CCharacterBinding::GetFrameMatrix() const
{
    // A character without a model stands at the origin, looking along z.
    static const Matrix kNoFrame = {{1.0f, 0.0f, 0.0f}, 0, {0.0f, 1.0f, 0.0f}, 0,
                                    {0.0f, 0.0f, 1.0f}, 0, {0.0f, 0.0f, 0.0f}, 0};
    Frame* frame = m_character.GetFrame();
    return frame != nullptr ? FrameGetMatrix(frame) : &kNoFrame;
}

void CCharacterBinding::SetForwardInput(float value)
{
    m_character.SetInputs(value, m_character.GetSideInput(), m_character.GetTurnInput());
}

void CCharacterBinding::SetSideInput(float value)
{
    m_character.SetInputs(m_character.GetForwardInput(), value, m_character.GetTurnInput());
}

void CCharacterBinding::SetTurnInput(float value)
{
    m_character.SetInputs(m_character.GetForwardInput(), m_character.GetSideInput(), value);
}

bool CCharacterBinding::GetMuzzle(V3d* point) const
{
    if (m_character.GetWeapon() == nullptr)
        return false;
    m_character.GetMuzzle(point, nullptr, nullptr, nullptr);
    return true;
}

bool CCharacterBinding::GetHeadUp(V3d* up) const
{
    const Matrix* head = m_character.GetBoneMatrix(kHeadBone);
    if (head == nullptr)
        return false;
    *up = head->up;
    return true;
}

bool CCharacterBinding::ApplyProfile(const char* profile, const V3d& position)
{
    return m_character.ApplyProfile(profile, position);
}

void CCharacterBinding::Register()
{
    if (CPhysicsWorld* world = Framework().physicsWorld)
        world->RegisterObject(&m_character);
}

void CCharacterBinding::Unregister()
{
    if (CPhysicsWorld* world = Framework().physicsWorld)
        world->UnregisterObject(&m_character);
}
