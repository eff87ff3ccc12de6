#include "ai/runtime/attribute.h"

#include "ai/runtime/action.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/world.h"

namespace Zelk {

namespace {

template <class T> CEntityAttribute* Create()
{
    return new T;
}

// Float attributes start at a multiple of the current world's OneMeter (0 without a world).
template <class T> CEntityAttribute* CreateScaled(float metres)
{
    T* attribute = new T;
    if (attribute) {
        attribute->SetValue(metres * GetOneMeter());
    }
    return attribute;
}

CEntityAttribute* CreateWidth()
{
    return CreateScaled<CEntityWidth>(0.7f);
}

CEntityAttribute* CreateHeight()
{
    return CreateScaled<CEntityHeight>(1.8f);
}

CEntityAttribute* CreateMaxSpeed()
{
    return CreateScaled<CEntityMaxSpeed>(0.5f);
}

CEntityAttribute* CreateVisualAcuteness()
{
    auto* attribute = new CEntityVisualAcuteness;
    if (attribute) {
        attribute->SetRange(100.0f * GetOneMeter());
        attribute->SetAngle(60.0f);
    }
    return attribute;
}

} // namespace

CEntityAttributeRecord CEntityWidth::s_classRecord("CEntityWidth", &CreateWidth);
CEntityAttributeRecord CEntityHeight::s_classRecord("CEntityHeight", &CreateHeight);
CEntityAttributeRecord CEntityHeadDirection::s_classRecord("CEntityHeadDirection",
                                                           &Create<CEntityHeadDirection>);
CEntityAttributeRecord CEntityHealth::s_classRecord("CEntityHealth", &Create<CEntityHealth>);
CEntityAttributeRecord CEntityVisualAcuteness::s_classRecord("CEntityVisualAcuteness",
                                                             &CreateVisualAcuteness);
CEntityAttributeRecord CEntityEyePosition::s_classRecord("CEntityEyePosition", &Create<CEntityEyePosition>);
CEntityAttributeRecord CEntityGunPosition::s_classRecord("CEntityGunPosition", &Create<CEntityGunPosition>);
CEntityAttributeRecord CEntityMaxSpeed::s_classRecord("CEntityMaxSpeed", &CreateMaxSpeed);
CEntityAttributeRecord CEntityHearingAcuteness::s_classRecord("CEntityHearingAcuteness",
                                                              &Create<CEntityHearingAcuteness>);
CEntityAttributeRecord CEntityTeamSide::s_classRecord("CEntityTeamSide", &Create<CEntityTeamSide>);
CEntityAttributeRecord CEntityKneePosition::s_classRecord("CEntityKneePosition",
                                                          &Create<CEntityKneePosition>);

CEntityAttribute* CEntityAttribute::Assign(const CEntityAttribute& other)
{
    if (other.GetClassRecord() == GetClassRecord()) {
        CopyValue(other);
    }
    return this;
}

void CEntityHearingAcuteness::CopyValue(const CEntityAttribute& other)
{
    float range = static_cast<const CEntityHearingAcuteness&>(other).GetValue();
    m_value = range < 0.0f ? 0.0f : range;
}

void CEntityVisualAcuteness::SetAngle(float degrees)
{
    m_angle = degrees < 0.0f ? 0.0f : (degrees > 360.0f ? 360.0f : degrees);
}

void CEntityVisualAcuteness::CopyValue(const CEntityAttribute& other)
{
    const auto& o = static_cast<const CEntityVisualAcuteness&>(other);
    m_range = o.m_range < 0.0f ? 0.0f : o.m_range;
    SetAngle(o.m_angle);
}

bool IsPointInFieldOfView(const CVec3& point, const CEntity* entity)
{
    if (!entity) {
        return false;
    }
    CVec3 apex = entity->GetPosition();
    if (auto* eye = entity->GetAttribute<CEntityEyePosition>()) {
        apex = eye->GetVector();
    }
    CVec3 axis = entity->GetDirection();
    if (auto* head = entity->GetAttribute<CEntityHeadDirection>()) {
        axis = head->GetVector();
    }
    float halfAngle = 180.0f;
    if (auto* vision = entity->GetAttribute<CEntityVisualAcuteness>()) {
        halfAngle = vision->GetAngle();
    }
    return IsInVisionCone(point, apex, axis, halfAngle, -1.0f);
}

bool CheckEntityAttributeClasses()
{
    const CClassRecord* records[] = {
        &CEntityWidth::s_classRecord,         &CEntityHeight::s_classRecord,
        &CEntityHeadDirection::s_classRecord, &CEntityVisualAcuteness::s_classRecord,
        &CEntityEyePosition::s_classRecord,   &CEntityGunPosition::s_classRecord,
        &CEntityMaxSpeed::s_classRecord,      &CEntityHearingAcuteness::s_classRecord,
        &CEntityTeamSide::s_classRecord,      &CEntityKneePosition::s_classRecord,
        &CActionCrouch::s_classRecord,        &CActionShoot::s_classRecord,
        &CActionSpeed::s_classRecord,         &CActionTorsoRotate::s_classRecord,
        &CActionRotate::s_classRecord,        &CActionAcceleration::s_classRecord,
        &CActionSteering::s_classRecord,      &CActionJump::s_classRecord,
        &CActionHeadRotate::s_classRecord,    &CActionActivate::s_classRecord,
    };
    for (const CClassRecord* record : records) {
        if (record->GetIndex() < 0) {
            return false;
        }
    }
    return true;
}

} // namespace Zelk
