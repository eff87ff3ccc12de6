#include "demo/defaultentityclass.h"

#include <algorithm>
#include <cmath>

#include "ai/runtime/world.h"
#include "demo/aicharacter.h"
#include "framework/characterprofile.h"

namespace Zelk {

namespace {

CVec3 ToVec3(const V3d& v)
{
    return CVec3(v.x, v.y, v.z);
}

} // namespace

CDefaultEntityClass::CDefaultEntityClass(const char* name, void* character)
    : CEntity(name, character), m_character(static_cast<CAiCharacter*>(character))
{
}

bool CDefaultEntityClass::Init(CConfigNode* config)
{
    if (!CEntity::Init(config))
        return false;
    if (config == nullptr || m_character == nullptr) {
        m_character = nullptr;
        return true;
    }
    const CCharacterProfile* profile = m_character->GetProfile();
    m_maxSpeed = CreateAttribute<CEntityMaxSpeed>();
    if (m_maxSpeed == nullptr)
        return false;
    // Twice the run speed, so that the escorts' speed law can ask for a full run.
    m_character->SetMode(kModeRun);
    m_maxSpeed->SetValue(2.0f * m_character->GetCurrentSpeed());
    m_width = CreateAttribute<CEntityWidth>();
    m_height = CreateAttribute<CEntityHeight>();
    m_gunPosition = CreateAttribute<CEntityGunPosition>();
    m_eyePosition = CreateAttribute<CEntityEyePosition>();
    m_visualAcuteness = CreateAttribute<CEntityVisualAcuteness>();
    m_health = CreateAttribute<CEntityHealth>();
    m_headDirection = CreateAttribute<CEntityHeadDirection>();
    if (m_width == nullptr || m_height == nullptr || m_gunPosition == nullptr || m_eyePosition == nullptr ||
        m_visualAcuteness == nullptr || m_health == nullptr || m_headDirection == nullptr)
        return false;
    m_width->SetValue(profile != nullptr ? profile->width : 0.0f);
    m_height->SetValue(profile != nullptr ? profile->height : 0.0f);
    m_visualAcuteness->SetAngle(90.0f);
    m_visualAcuteness->SetRange(std::max(0.0f, 60.0f * GetOneMeter()));
    const auto health = int32_t(m_character->GetHealth());
    m_health->SetValue(health);
    m_health->SetInitialValue(health);
    return true;
}

void CDefaultEntityClass::Update()
{
    if (m_character == nullptr || m_maxSpeed == nullptr)
        return;
    const CAiCharacter& c = *m_character;
    const Matrix& frame = *c.GetFrameMatrix();
    const float halfHeight = 0.5f * m_height->GetValue();
    const CVec3 position = ToVec3(frame.pos) + CVec3(0.0f, halfHeight, 0.0f);
    SetPosition(position);

    float forward = c.GetForwardInput();
    const float side = c.GetSideInput();
    SetSpeed(std::sqrt(forward * forward + side * side) * c.GetCurrentSpeed());
    // A character at rest faces where its frame looks.
    if (forward == 0.0f && side == 0.0f)
        forward = 1.0f;
    const CVec3 direction =
        CVec3(frame.at.x * forward + frame.right.x * side, 0.0f, frame.at.z * forward + frame.right.z * side)
            .GetNormalized();
    SetDirection(direction);
    SetAngles(DirectionToAngles(direction));

    const CVec3 eye = position + CVec3(0.0f, halfHeight, 0.0f);
    // Without a weapon the character shoots from its eyes.
    V3d muzzle{eye.x, eye.y, eye.z};
    c.GetMuzzle(&muzzle);
    m_gunPosition->SetVector(ToVec3(muzzle));
    m_health->SetValue(int32_t(c.GetHealth()));
    m_eyePosition->SetVector(eye);
    if (V3d up; c.GetHeadUp(&up))
        m_headDirection->SetVector(ToVec3(up).GetNormalized());
}

} // namespace Zelk
