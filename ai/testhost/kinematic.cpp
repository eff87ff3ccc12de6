#include "ai/testhost/kinematic.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/host.h"
#include "ai/runtime/world.h"

#include <algorithm>

namespace Zelk {

namespace {

CEntity* CreateKinematicEntity(const char* name, void* hostObject)
{
    return new CKinematicEntity(name, hostObject);
}

CActionSet* CreateKinematicActionClass()
{
    return new CKinematicActionClass;
}

CActionSet* CreateKinematicSteeringActionClass()
{
    return new CKinematicSteeringActionClass;
}

CActionSet* CreateKinematicArmedActionClass()
{
    return new CKinematicArmedActionClass;
}

CActionSet* CreateKinematicArmedSteeringActionClass()
{
    return new CKinematicArmedSteeringActionClass;
}

float ReadMetres(CConfigNode* config, const char* key, float fallback)
{
    const char* value = config->GetChildValue(key);
    return (value != nullptr ? ConfigToFloat(value, fallback) : fallback) * GetOneMeter();
}

// The entity's MaxSpeed attribute (no limit without one).
float MaxSpeedOf(const CEntity* entity)
{
    const auto* maxSpeed = entity->GetAttribute<CEntityMaxSpeed>();
    return maxSpeed != nullptr ? maxSpeed->GetValue() : 3.4e38f;
}

float ClampSpeed(const CEntity* entity, float speed)
{
    return std::clamp(speed, 0.0f, MaxSpeedOf(entity));
}

constexpr float kTurnRate = 180.0f; // degrees per second at full steering

} // namespace

CEntityClassRecord CKinematicEntity::s_classRecord("CKinematicEntity", &CreateKinematicEntity);
CActionClassRecord CKinematicActionClass::s_classRecord("CKinematicActionClass", &CreateKinematicActionClass);
CActionClassRecord CKinematicSteeringActionClass::s_classRecord("CKinematicSteeringActionClass",
                                                                &CreateKinematicSteeringActionClass);

CActionClassRecord CKinematicArmedActionClass::s_classRecord("CKinematicArmedActionClass",
                                                             &CreateKinematicArmedActionClass);
CActionClassRecord
    CKinematicArmedSteeringActionClass::s_classRecord("CKinematicArmedSteeringActionClass",
                                                      &CreateKinematicArmedSteeringActionClass);

bool CKinematicEntity::Init(CConfigNode* config)
{
    if (!CTestEntity::Init(config))
        return false;
    auto* maxSpeed = CreateAttribute<CEntityMaxSpeed>();
    auto* width = CreateAttribute<CEntityWidth>();
    auto* height = CreateAttribute<CEntityHeight>();
    if (maxSpeed == nullptr || width == nullptr || height == nullptr)
        return false;
    maxSpeed->SetValue(ReadMetres(config, "MaxSpeed", 2.0f));
    width->SetValue(ReadMetres(config, "Width", 0.6f));
    height->SetValue(ReadMetres(config, "Height", 1.8f));
    if (const char* side = config->GetChildValue("TeamSide")) {
        auto* teamSide = CreateAttribute<CEntityTeamSide>();
        if (teamSide == nullptr)
            return false;
        teamSide->SetValue(ConfigToInt(side, -1));
    }
    SetFlags(uint32_t(ConfigToInt(config->GetChildValue("Flags"), 0)));
    return true;
}

void CKinematicEntity::Update()
{
    const float step = GetSpeed() * GetTestFrameStep();
    if (step <= 0.0f)
        return;
    const CVec3 from = GetPosition();
    const CVec3 move = GetDirection() * step;
    const auto* width = GetAttribute<CEntityWidth>();
    const float radius = width != nullptr ? 0.5f * width->GetValue() : 0.0f;
    if (HostCanGo(from, from + move, radius, this, 2)) {
        SetPosition(from + move);
        return;
    }
    // Touching a wall: slide along it (the boxes are axis-aligned) when one axis is free.
    ++m_blocked;
    for (const CVec3& slide : {CVec3(move.x, move.y, 0.0f), CVec3(0.0f, move.y, move.z)})
        if (slide.SquaredLengthXZ() > 0.0f && HostCanGo(from, from + slide, radius, this, 2)) {
            SetPosition(from + slide);
            return;
        }
}

CKinematicActionClass::CKinematicActionClass()
{
    CreateAction(&CActionRotate::s_classRecord);
    CreateAction(&CActionSpeed::s_classRecord);
}

void CKinematicActionClass::Apply(CEntity* entity)
{
    if (auto* rotate = Get<CActionRotate>(); rotate != nullptr && rotate->IsSet()) {
        CVec3 angles = entity->GetAngles();
        angles.y = NormalizeAngle180(rotate->GetValue());
        entity->SetAngles(angles);
        entity->SetDirection(AnglesToDirection(angles));
    }
    if (auto* speed = Get<CActionSpeed>(); speed != nullptr && speed->IsSet())
        entity->SetSpeed(ClampSpeed(entity, speed->GetValue()));
}

CKinematicSteeringActionClass::CKinematicSteeringActionClass()
{
    CreateAction(&CActionSteering::s_classRecord);
    CreateAction(&CActionAcceleration::s_classRecord);
}

void CKinematicSteeringActionClass::Apply(CEntity* entity)
{
    const float dt = GetTestFrameStep();
    if (auto* steering = Get<CActionSteering>(); steering != nullptr && steering->IsSet()) {
        CVec3 angles = entity->GetAngles();
        angles.y =
            NormalizeAngle180(angles.y + std::clamp(steering->GetValue(), -1.0f, 1.0f) * kTurnRate * dt);
        entity->SetAngles(angles);
        entity->SetDirection(AnglesToDirection(angles));
    }
    if (auto* acceleration = Get<CActionAcceleration>(); acceleration != nullptr && acceleration->IsSet()) {
        const float change = acceleration->GetValue() * 2.0f * MaxSpeedOf(entity) * dt;
        entity->SetSpeed(ClampSpeed(entity, entity->GetSpeed() + change));
    }
}

CKinematicArmedActionClass::CKinematicArmedActionClass()
{
    CreateAction(&CActionShoot::s_classRecord);
    CreateAction(&CActionHeadRotate::s_classRecord);
    CreateAction(&CActionCrouch::s_classRecord);
    CreateAction(&CActionJump::s_classRecord);
}

CKinematicArmedSteeringActionClass::CKinematicArmedSteeringActionClass()
{
    CreateAction(&CActionShoot::s_classRecord);
    CreateAction(&CActionCrouch::s_classRecord);
    CreateAction(&CActionJump::s_classRecord);
}

} // namespace Zelk
