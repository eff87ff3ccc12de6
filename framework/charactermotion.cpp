// Character motion: the body proxy and its velocity, jumps, the frame placed on the body.
#include "framework/charactermotion.h"

#include <cmath>

#include "framework/animatedobject.h"
#include "framework/bodydefinitions.h"
#include "framework/framework.h"
#include "framework/lift.h"
#include "framework/physicshelpers.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "physics/core/body/body.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"

namespace {

// Sizes relative to the physics world's scale.
constexpr float kProxyRadius = 0.4f;
constexpr float kGroundDrop = 0.25f;
constexpr float kGroundRadius = 0.35f;
constexpr float kMovingSpeed = 0.01f;
// A contact whose normal's y is below this is a slope or a wall.
constexpr float kSteepNormalY = 0.5f;
constexpr float kTakeOffBoost = 1.5f;
constexpr float kTakeOffTime = 0.1f;
constexpr float kLandingTime = 0.2f;
// Any free id, and the flags of a body added to the manager.
constexpr uint32_t kAnyId = 0xFFFFFFFFu;
constexpr uint32_t kProxyFlags = 7;
constexpr const char* kProxyModel = "./Models/World.dff";
const V3d kUp = {0.0f, 1.0f, 0.0f};

OlpDynMotion* VelocityOf(OlpBody* body)
{
    OlpDyn* dyn = body ? body->base.parts[0].dyn : nullptr;
    return dyn ? &dyn->arrays->velocity[dyn->index] : nullptr;
}

float Length(const V3d& v)
{
    return std::sqrt(V3dDot(v, v));
}

/// The velocity of the lift whose platform the segment from `p` down by
/// `depth` meets first; zero over anything else.
V3d LiftVelocityBelow(const CPhysicsWorld& world, const V3d& p, float depth)
{
    const int32_t lifts = world.GetInteractiveCount(CPhysicsWorld::kLifts);
    if (lifts == 0)
        return {0.0f, 0.0f, 0.0f};
    const V3d below = {p.x, p.y - depth, p.z};
    CSceneObject* hit = nullptr;
    if (!world.TestSegment(&p, &below, false, nullptr, nullptr, &hit) || !hit || !hit->GetPhysicsObject())
        return {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < lifts; ++i) {
        const auto* lift = static_cast<const CLift*>(world.GetInteractive(CPhysicsWorld::kLifts, i));
        if (lift->GetBody() == hit->GetPhysicsObject()) {
            // The direction is a unit vector: the platform moves at the lift's speed.
            V3d direction;
            lift->GetMoveDirection(&direction);
            return V3dScaled(direction, CLift::kSpeed);
        }
    }
    return {0.0f, 0.0f, 0.0f};
}

} // namespace

void CCharacterMotion::Init(CAnimatedObject* owner, const V3d& position)
{
    m_owner = owner;
    CreateBody(position);
}

bool CCharacterMotion::CreateBody(const V3d& position)
{
    CPhysicsWorld* world = Framework().physicsWorld;
    OlpContext* context = world ? world->GetContext() : nullptr;
    if (!context)
        return false;
    const float s = world->GetScale();
    m_scale = s;
    m_proxyOffset = kProxyRadius * s;
    const PhysicsWorldSettings& settings = world->GetSettings();
    OlpBodyDef* def =
        CreateSphereBodyDefinition(kProxyRadius * s, 1.0f, settings.mobileSlide, settings.mobileBounce);
    OlpBody* body = def ? OlpBodyCreate(def) : nullptr;
    auto* proxy = new CSceneObject();
    Atomic* atomic = nullptr;
    Frame* frame = nullptr;
    if (body && proxy->LoadClump(kProxyModel)) {
        proxy->SetScale(1.0f);
        proxy->SetCollidable(false);
        atomic = proxy->GetFirstAtomic();
        frame = atomic ? FrameCreate() : nullptr;
    }
    if (!frame) {
        proxy->Unload();
        delete proxy;
        if (body)
            OlpBodyDestroy(body);
        OlpBodyDefRelease(def);
        return false;
    }
    // The body moves a frame of its own, unscaled, which the clump takes.
    Frame* old = AtomicGetFrame(atomic);
    AtomicSetFrame(atomic, frame);
    ClumpSetFrame(proxy->GetClump(), frame);
    if (old)
        FrameDestroy(old);
    OlpBodyAttach(atomic, body);
    proxy->SetPhysicsObject(body);
    proxy->SetInWorld(false); // the body carries the character, its model is not drawn
    world->RegisterObject(proxy);
    OlpMgrAddObject(OlpContextGetMgr(context), &body->base, kAnyId, kProxyFlags);
    PhysicsObjectSetPosition(&body->base, position.x, position.y, position.z);
    OlpBodyDefRelease(def);
    m_bodyProxy = proxy;
    return true;
}

OlpBody* CCharacterMotion::GetBody() const
{
    return m_bodyProxy ? m_bodyProxy->GetPhysicsObject() : nullptr;
}

void CCharacterMotion::SetPosition(const V3d& position)
{
    if (OlpBody* body = GetBody())
        PhysicsObjectSetPosition(&body->base, position.x, position.y, position.z);
}

void CCharacterMotion::AddPush(const V3d& velocity)
{
    m_push = V3dAdd(m_push, velocity);
}

void CCharacterMotion::SetSpeeds(float forward, float side, float turnRate)
{
    m_forwardSpeed = forward;
    m_sideSpeed = side;
    m_turnRate = turnRate;
}

void CCharacterMotion::SetProfileValues(float scale, float sphereRadius, float slideIntensity,
                                        float slideCreaseY, int32_t accuracy, float gravity)
{
    m_scale = scale;
    m_sphereRadius[0] = m_sphereRadius[1] = sphereRadius;
    m_slideIntensity = slideIntensity;
    m_slideCreaseY = slideCreaseY;
    m_accuracy = accuracy;
    m_gravity = gravity;
}

void CCharacterMotion::Update(float dt)
{
    // 1. A jump starts only on foot; the request is used up either way.
    if (m_jumpRequest && m_jumpState == kOnFoot) {
        m_jumpState = kTakeOff;
        m_jumpTimer = 0.0f;
    }
    m_jumpRequest = false;

    // 2. The wanted velocity along the owner's axes.
    V3d v = {0.0f, 0.0f, 0.0f};
    Frame* ownerFrame = m_owner ? m_owner->GetFrame() : nullptr;
    if (ownerFrame) {
        const Matrix* m = FrameGetMatrix(ownerFrame);
        v = V3dAdd(V3dScaled(V3dUnit(m->at), m_forwardSpeed), V3dScaled(V3dUnit(m->right), m_sideSpeed));
    }

    OlpBody* body = GetBody();
    CPhysicsWorld* world = Framework().physicsWorld;
    Frame* proxyFrame = m_bodyProxy ? m_bodyProxy->GetFrame() : nullptr;
    if (body && world && proxyFrame) {
        // 4. A body at rest has no dynamics state: wake it.
        OlpMgr* mgr = OlpContextGetMgr(world->GetContext());
        if (!body->base.parts[0].dyn && mgr) {
            OlpMgrActivateObject(mgr, &body->base);
            OlpMgrSetObjectAwake(mgr, &body->base, 1);
        }

        // 5. Pulled down in the air, and on slopes while moving.
        const V3d p = FrameGetMatrix(proxyFrame)->pos;
        CPhysicsWorld::SetSphereQueryMode(0);
        SphereQueryResult ground;
        m_onGround =
            world->SphereQuery(p.x, p.y - kGroundDrop * m_scale, p.z, kGroundRadius * m_scale, &ground);
        const PhysicsWorldSettings& settings = world->GetSettings();
        const float moving = kMovingSpeed * m_scale;
        if (!m_onGround)
            v.y -= settings.stickInAir * m_scale;
        else if ((std::fabs(v.x) > moving || std::fabs(v.z) > moving) && ground.normal.y < kSteepNormalY)
            v.y -= settings.stickOnGround * m_scale;

        // 6. Standing on a moving lift carries the body along.
        const V3d carried = m_onGround ? LiftVelocityBelow(*world, p, m_scale) : V3d{0.0f, 0.0f, 0.0f};
        v = V3dAdd(v, carried);

        // 7. Bumpers push the body.
        v = V3dAdd(v, m_push);
        m_push = {0.0f, 0.0f, 0.0f};

        // 8. The jump state machine writes the body's velocity.
        if (OlpDynMotion* velocity = VelocityOf(body)) {
            switch (m_jumpState) {
            case kOnFoot:
                if (Length(v) == 0.0f) {
                    if (m_previousSpeed != 0.0f)
                        velocity->linear = v;
                    velocity->angular = {0.0f, 0.0f, 0.0f};
                } else {
                    velocity->linear = v;
                    // A rider moves with its platform: rolling over it would
                    // make the contact drag the body sideways.
                    if (Length(carried) != 0.0f)
                        velocity->angular = {0.0f, 0.0f, 0.0f};
                }
                break;
            case kTakeOff:
                velocity->linear = {kTakeOffBoost * v.x, kJumpSpeed, kTakeOffBoost * v.z};
                m_jumpTimer += dt;
                if (m_jumpTimer > kTakeOffTime)
                    m_jumpState = kInAir;
                break;
            default:
                m_jumpTimer += dt;
                if (m_jumpTimer > kLandingTime && m_onGround)
                    m_jumpState = kOnFoot;
                break;
            }
        }

        // 9. The owner stands on the body and turns about the vertical.
        if (ownerFrame) {
            FrameRotate(ownerFrame, &kUp, dt * m_turnRate, kCombinePreConcat);
            Matrix* m = FrameGetMatrix(ownerFrame);
            m->pos = {p.x, p.y - m_proxyOffset, p.z};
            FrameUpdateObjects(ownerFrame);
        }
    }
    // 10. The speed that the next update compares with.
    m_previousSpeed = Length(v);
}
