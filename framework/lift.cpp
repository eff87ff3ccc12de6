#include "framework/lift.h"

#include <cmath>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/bodydefinitions.h"
#include "framework/bodymodel.h"
#include "framework/framework.h"
#include "framework/physicshelpers.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/switch.h"
#include "physics/core/body/body.h"
#include "physics/core/body/bodydef.h"
#include "physics/core/joint/joint.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/volume/nullvolume.h"

namespace {

constexpr uint32_t kJointFlags = 63;

OlpMgr* Manager()
{
    CPhysicsWorld* worlds = Framework().physicsWorld;
    return worlds && worlds->GetContext() ? OlpContextGetMgr(worlds->GetContext()) : nullptr;
}

} // namespace

CLift::~CLift()
{
    Shutdown();
}

bool CLift::Load()
{
    OlpMgr* mgr = Manager();
    if (!mgr)
        return false;
    // The platform: a flat box body on the lift model.
    OlpBodyDef* def = CreateBoxBodyDefinition(1.0f, 0.1f, 1.0f, 20.0f, 1.0f, 0.5f);
    if (!def)
        return false;
    m_body = OlpBodyCreate(def);
    OlpBodyDefRelease(def);
    m_platform = new CSceneObject;
    if (!m_body || !m_platform->LoadClump("models/lift.dff") || !AttachBodyToModel(m_platform, m_body, 1.0f))
        return false;
    // The characters' ground and lift tests find the platform through the
    // physics world's queries.
    m_platform->SetCollidable(true);
    Framework().physicsWorld->RegisterObject(m_platform);
    if (!OlpMgrAddObject(mgr, &m_body->base, kOlpMgrAnyId,
                         kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate))
        return false;
    PhysicsObjectSetPosition(&m_body->base, m_position.x, m_position.y, m_position.z);

    // The joint holds the platform's origin at the anchor's frame, which the
    // lift moves.
    m_anchor = OlpNullCreate();
    OlpJointDef* joint = m_anchor ? OlpJointDefCreate() : nullptr;
    if (!joint)
        return false;
    OlpJointDefSetFlags(joint, kJointFlags);
    const V3d origin{0.0f, 0.0f, 0.0f};
    OlpJointFrameSetPosition(OlpJointDefGetFrame(joint, 1), &m_position);
    OlpJointFrameSetPosition(OlpJointDefGetFrame(joint, 0), &origin);
    OlpJointEnd fixed, platform;
    OlpJointEndSetVolume(&fixed, m_anchor);
    OlpJointEndSet(&platform, &m_body->base, 0);
    m_joint = OlpJointCreate(mgr, joint, &fixed, &platform);
    OlpJointDefRelease(joint);
    return m_joint && OlpMgrAddJoint(mgr, m_joint, kOlpMgrAnyId);
}

bool CLift::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Lift") != 0)
        return true;
    const AttributeSlot slots[] = {
        {"p1x", "p1x", &m_p1.x, nullptr},    {"p1y", "p1y", &m_p1.y, nullptr},
        {"p1z", "p1z", &m_p1.z, nullptr},    {"p2x", "p2x", &m_p2.x, nullptr},
        {"p2y", "p2y", &m_p2.y, nullptr},    {"p2z", "p2z", &m_p2.z, nullptr},
        {"pw1x", "pw1x", &m_pw1.x, nullptr}, {"pw1y", "pw1y", &m_pw1.y, nullptr},
        {"pw1z", "pw1z", &m_pw1.z, nullptr}, {"pw2x", "pw2x", &m_pw2.x, nullptr},
        {"pw2y", "pw2y", &m_pw2.y, nullptr}, {"pw2z", "pw2z", &m_pw2.z, nullptr},
    };
    if (!ReadAttributeSlots(attributes, "Lift", slots, 12))
        return false;
    // Only the switches read so far can be found; the last of a name wins.
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (const char* name = ReadTextAttribute("switch", AttributePair(attributes, 12)); name && worlds) {
        for (int32_t i = 0; i < worlds->GetSwitchCount(); ++i) {
            if (std::strcmp(worlds->GetSwitch(i)->GetName(), name) == 0)
                m_switch = worlds->GetSwitch(i);
        }
    }
    m_position = m_p1;
    const V3d d{m_p2.x - m_p1.x, m_p2.y - m_p1.y, m_p2.z - m_p1.z};
    m_length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    m_direction =
        m_length > 0.0f ? V3d{d.x / m_length, d.y / m_length, d.z / m_length} : V3d{0.0f, 0.0f, 0.0f};
    // The platform was made before its points were known: it starts at p1,
    // not pulled there by the joint.
    PlacePlatform();
    return true;
}

void CLift::PlacePlatform()
{
    if (m_body)
        PhysicsObjectSetPosition(&m_body->base, m_position.x, m_position.y, m_position.z);
    MoveAnchor();
}

void CLift::MoveAnchor()
{
    if (!m_joint)
        return;
    OlpJointSetPosition(m_joint, 1, 1, &m_position);
    OlpMgr* mgr = m_body ? m_body->base.manager : nullptr;
    if (mgr && !OlpMgrIsObjectActive(mgr, &m_body->base)) {
        OlpMgrActivateObject(mgr, &m_body->base);
        OlpMgrSetObjectAwake(mgr, &m_body->base, 1);
    }
}

void CLift::Update(float dt)
{
    if (m_switch && m_switch->GetState() == 0)
        return;
    switch (m_state) {
    case kWaitingAtBottom:
        m_timer += dt;
        if (m_timer > m_waitAtBottom)
            m_state = kMovingUp;
        break;
    case kWaitingAtTop:
        m_timer += dt;
        if (m_timer > m_waitAtTop)
            m_state = kMovingDown;
        break;
    default:
        break;
    }
    const float step = kSpeed * dt;
    if (m_state == kMovingUp) {
        m_position = {m_position.x + m_direction.x * step, m_position.y + m_direction.y * step,
                      m_position.z + m_direction.z * step};
        m_travelled += step;
        if (m_travelled >= m_length) {
            m_travelled = m_length;
            m_state = kWaitingAtTop;
            m_timer = 0.0f;
        }
        MoveAnchor();
    } else if (m_state == kMovingDown) {
        m_position = {m_position.x - m_direction.x * step, m_position.y - m_direction.y * step,
                      m_position.z - m_direction.z * step};
        m_travelled -= step;
        if (m_travelled <= 0.0f) {
            m_travelled = 0.0f;
            m_state = kWaitingAtBottom;
            m_timer = 0.0f;
        }
        MoveAnchor();
    }
}

void CLift::GetMoveDirection(V3d* out) const
{
    if (m_state == kMovingUp)
        *out = m_direction;
    else if (m_state == kMovingDown)
        *out = {-m_direction.x, -m_direction.y, -m_direction.z};
    else
        *out = {0.0f, 0.0f, 0.0f};
}

void CLift::Shutdown()
{
    if (m_joint) {
        OlpJointRelease(m_joint);
        m_joint = nullptr;
    }
    if (m_platform) {
        m_platform->Unload();
        delete m_platform;
        m_platform = nullptr;
    }
    if (m_body) {
        OlpBodyDestroy(m_body); // leaves the manager too
        m_body = nullptr;
    }
    if (m_anchor) {
        OlpVolumeDestroy(m_anchor);
        m_anchor = nullptr;
    }
    m_switch = nullptr;
}
