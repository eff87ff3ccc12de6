#include "framework/door.h"

#include <cmath>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/bodydefinitions.h"
#include "framework/framework.h"
#include "framework/physicshelpers.h"
#include "framework/physicsshape.h"
#include "framework/physicsworld.h"
#include "graphics/core/quaternion.h"
#include "physics/core/body/body.h"
#include "physics/core/body/bodydef.h"
#include "physics/core/joint/joint.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/volume/nullvolume.h"

namespace {

constexpr uint32_t kHingeFlags = 62;
constexpr float kLeafGap = 0.02f; // between a leaf and the door's middle
constexpr float kBoxMargin = 0.001f;
constexpr uint16_t kNoGroup = 0xFFFF;
constexpr RGBA kLeafColour = {164, 195, 249, 255};

V3d Plus(const V3d& a, const V3d& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

} // namespace

CDoor::~CDoor()
{
    Shutdown();
}

bool CDoor::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Door") != 0)
        return true;
    const AttributeSlot slots[] = {
        {"px", "px", &m_position.x, nullptr},     {"py", "py", &m_position.y, nullptr},
        {"pz", "pz", &m_position.z, nullptr},     {"width", "width", &m_width, nullptr},
        {"height", "heigth", &m_height, nullptr}, {"depth", "depth", &m_depth, nullptr},
        {"axis", "axis", nullptr, &m_axis},       {"pw1x", "pw1x", &m_pw1.x, nullptr},
        {"pw1y", "pw1y", &m_pw1.y, nullptr},      {"pw1z", "pw1z", &m_pw1.z, nullptr},
        {"pw2x", "pw2x", &m_pw2.x, nullptr},      {"pw2y", "pw2y", &m_pw2.y, nullptr},
        {"pw2z", "pw2z", &m_pw2.z, nullptr},
    };
    return ReadAttributeSlots(attributes, "Door", slots, int32_t(sizeof slots / sizeof slots[0]));
}

void CDoor::Update(float)
{
    if (!m_needsCreation)
        return;
    Build();
    m_needsCreation = false;
}

void CDoor::Build()
{
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (!worlds || !worlds->GetContext())
        return;
    // The leaves stand either side of the middle, along z (axis 0) or x,
    // each hinged at its outer edge (a half width out from its centre), so
    // that it swings clear of its neighbour.
    const float half = m_height * 0.5f, out = m_width + kLeafGap;
    const bool alongZ = m_axis == 0;
    const V3d centres[kLeaves] = {alongZ ? V3d{0.0f, half, out} : V3d{out, half, 0.0f},
                                  alongZ ? V3d{0.0f, half, -out} : V3d{-out, half, 0.0f}};
    const V3d edges[kLeaves] = {alongZ ? V3d{0.0f, 0.0f, m_width} : V3d{m_width, 0.0f, 0.0f},
                                alongZ ? V3d{0.0f, 0.0f, -m_width} : V3d{-m_width, 0.0f, 0.0f}};
    m_anchor = OlpNullCreate();
    if (!m_anchor)
        return;
    for (int32_t i = 0; i < kLeaves; ++i) {
        m_leaves[i].centre = Plus(m_position, centres[i]);
        m_leaves[i].hinge = Plus(m_leaves[i].centre, edges[i]);
        BuildLeaf(m_leaves[i]);
    }
}

void CDoor::BuildLeaf(Leaf& leaf)
{
    CPhysicsWorld* worlds = Framework().physicsWorld;
    OlpMgr* mgr = OlpContextGetMgr(worlds->GetContext());
    OlpBodyDef* def = m_axis == 0 ? CreateBoxBody(m_depth, m_height, m_width, kBoxMargin)
                                  : CreateBoxBody(m_width, m_height, m_depth, kBoxMargin);
    if (!def)
        return;
    leaf.body = OlpBodyCreate(def);
    OlpBodyDefRelease(def);
    if (!leaf.body)
        return;
    OlpObj* object = &leaf.body->base;
    leaf.atomic =
        PhysicsObjectCreateAtomic(leaf.body, worlds->GetWorldCount() > 0 ? worlds->GetWorld(0) : nullptr);
    if (leaf.atomic)
        AtomicSetMaterialColour(leaf.atomic, kLeafColour);
    if (!OlpMgrAddObject(mgr, object, kOlpMgrAnyId, kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate))
        return;
    OlpMgrSetObjectCell(mgr, object, kNoGroup);
    PhysicsObjectSetPosition(object, leaf.centre.x, leaf.centre.y, leaf.centre.z);
    // A leaf never rests: it must always answer a push.
    object->flags &= ~kOlpObjFlagMayRest;

    // The hinge: its first axis turned onto the vertical (a quarter turn
    // about z), free about it within the open angle, sprung back to closed.
    OlpJointDef* hinge = OlpJointDefCreate();
    if (!hinge)
        return;
    OlpJointDefSetFlags(hinge, kHingeFlags);
    OlpJointLimit* open = OlpJointDefGetLimitA(hinge);
    OlpJointLimitSetMode(open, 1);
    OlpJointLimitSetAngle(open, 0, kOpenAngle);
    OlpJointLimit* closed = OlpJointDefGetLimitB(hinge);
    OlpJointLimitSetMode(closed, 1);
    OlpJointLimitSetAngle(closed, 0, 0.0f);
    OlpJointDriveSetFirst(OlpJointDefGetDriveB(hinge, 0), kSpring);
    OlpJointDriveSetSecond(OlpJointDefGetDriveB(hinge, 0), kDamping);
    Quaternion turn{};
    const V3d z{0.0f, 0.0f, 1.0f};
    QuaternionRotate(&turn, &z, 90.0f, kQuaternionReplace);
    // The anchor's frame is the world's; the leaf's is its own, unturned.
    const V3d onLeaf{leaf.hinge.x - leaf.centre.x, leaf.hinge.y - leaf.centre.y,
                     leaf.hinge.z - leaf.centre.z};
    OlpJointFrame* fixed = OlpJointDefGetFrame(hinge, 1);
    OlpJointFrame* moving = OlpJointDefGetFrame(hinge, 0);
    OlpJointFrameSetPosition(fixed, &leaf.hinge);
    OlpJointFrameSetOrientation(fixed, &turn);
    OlpJointFrameSetPosition(moving, &onLeaf);
    OlpJointFrameSetOrientation(moving, &turn);
    OlpJointEnd anchorEnd, leafEnd;
    OlpJointEndSetVolume(&anchorEnd, m_anchor);
    OlpJointEndSet(&leafEnd, object, 0);
    leaf.joint = OlpJointCreate(mgr, hinge, &anchorEnd, &leafEnd);
    OlpJointDefRelease(hinge);
    if (leaf.joint && !OlpMgrAddJoint(mgr, leaf.joint, kOlpMgrAnyId)) {
        OlpJointRelease(leaf.joint);
        leaf.joint = nullptr;
    }
}

void CDoor::Shutdown()
{
    for (Leaf& leaf : m_leaves) {
        if (leaf.joint)
            OlpJointRelease(leaf.joint);
        if (leaf.atomic)
            PhysicsShapeGeometryDestroy(leaf.atomic);
        if (leaf.body)
            OlpBodyDestroy(leaf.body);
        leaf.joint = nullptr;
        leaf.atomic = nullptr;
        leaf.body = nullptr;
    }
    if (m_anchor) {
        OlpVolumeDestroy(m_anchor);
        m_anchor = nullptr;
    }
}
