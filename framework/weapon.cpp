// Weapons: shots, hits, the muzzle flash and the bullets.
#include "framework/weapon.h"

#include <cmath>
#include <cstring>

#include "framework/character.h"
#include "framework/framework.h"
#include "framework/impactparticles.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "physics/core/body/body.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"

namespace {

// The muzzle relative to the hand bone, along its up, at and right axes.
constexpr float kMuzzleUp = 0.05f;
constexpr float kMuzzleAt = 0.11f;
constexpr float kMuzzleRight = 0.6f;
// Without the hand, shots leave from this height above the owner.
constexpr float kChestHeight = 1.4f;
// Cosine of the widest angle between the gun and its target.
constexpr float kAimCosine = 0.9f;
// A character is hit at this height when the line passes this close.
constexpr float kHitHeight = 1.0f;
constexpr float kHitRadius = 0.85f;
constexpr float kPush = 2.0f;
constexpr float kFlashRate = 10.0f;
constexpr float kFlashShown = 0.75f;
const V3d kFirePlace = {13.0f, 1.0f, 1.97f};
const V3d kHidden = {0.0f, -1000.0f, 0.0f};

/// Wakes the registered body `object` carries and sets its force.
void Push(CSceneObject* object, const V3d& direction)
{
    OlpBody* body = object ? object->GetPhysicsObject() : nullptr;
    if (!body || !body->base.manager)
        return; // a world-file clump has no body
    OlpMgr* mgr = body->base.manager;
    if (!OlpMgrIsObjectActive(mgr, &body->base)) {
        OlpMgrActivateObject(mgr, &body->base);
        OlpMgrSetObjectAwake(mgr, &body->base, 1);
    }
    if (OlpDyn* dyn = body->base.parts[0].dyn)
        dyn->arrays->force[dyn->index] = {V3dScaled(direction, kPush), 0.0f, {0.0f, 0.0f, 0.0f}, 0.0f};
}

} // namespace

CCharacter* FindCharacterOnLine(const V3d& muzzle, const V3d& end, const CCharacter* shooter, float* fraction)
{
    const V3d line = V3dSub(end, muzzle);
    const float lengthSquared = V3dDot(line, line);
    float best = 2.0f;
    CCharacter* hit = nullptr;
    for (int32_t i = 0; i < CCharacter::Count(); ++i) {
        CCharacter* character = CCharacter::Get(i);
        Frame* frame = character ? character->GetFrame() : nullptr;
        if (character == shooter || !frame || character->IsDead() || lengthSquared == 0.0f)
            continue;
        const V3d& p = FrameGetMatrix(frame)->pos;
        const V3d c = {p.x, p.y + kHitHeight, p.z};
        float t = V3dDot(V3dSub(c, muzzle), line) / lengthSquared;
        t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
        const V3d closest = V3dAdd(muzzle, V3dScaled(line, t));
        const V3d gap = V3dSub(closest, c);
        if (std::sqrt(V3dDot(gap, gap)) < kHitRadius && t < best) {
            best = t;
            hit = character;
        }
    }
    if (fraction)
        *fraction = best;
    return hit;
}

CWeapon::~CWeapon()
{
    Release();
}

bool CWeapon::Init(CCharacter* owner)
{
    Release();
    m_owner = owner;
    auto* fire = new CSceneObject();
    fire->SetName(nullptr);
    if (!fire->LoadClump("MODELS/FIRE.DFF")) {
        delete fire;
    } else {
        fire->SetPosition(kFirePlace);
        fire->SetScale(1.0f);
        if (CPhysicsWorld* world = Framework().physicsWorld)
            world->RegisterObject(fire);
        m_fireModel = fire;
    }
    AddImpactUser();
    m_holdsImpacts = true;
    return m_fireModel != nullptr;
}

void CWeapon::Release()
{
    if (m_fireModel) {
        m_fireModel->Unload();
        delete m_fireModel;
        m_fireModel = nullptr;
    }
    if (m_holdsImpacts) {
        m_holdsImpacts = false;
        RemoveImpactUser();
    }
}

void CWeapon::SetAimTarget(bool aim, const V3d* point)
{
    m_aim = aim;
    if (point)
        m_aimTarget = *point;
}

bool CWeapon::GetMuzzle(V3d* point, V3d* up, V3d* at, V3d* right) const
{
    const Matrix* bone = m_owner ? m_owner->GetBoneMatrix(kHandBone) : nullptr;
    if (!bone)
        return false;
    const V3d r = V3dUnit(bone->right);
    const V3d u = V3dUnit(bone->up);
    const V3d a = V3dUnit(bone->at);
    if (point)
        *point = V3dAdd(bone->pos, V3dAdd(V3dScaled(u, kMuzzleUp),
                                          V3dAdd(V3dScaled(a, kMuzzleAt), V3dScaled(r, kMuzzleRight))));
    if (up)
        *up = u;
    if (at)
        *at = a;
    if (right)
        *right = r;
    return true;
}

void CWeapon::Shoot()
{
    CBullet* bullet = nullptr;
    for (CBullet& candidate : m_bullets) {
        if (!candidate.IsAlive()) {
            bullet = &candidate;
            break;
        }
    }
    V3d muzzle, up, at, direction;
    if (!bullet || !GetMuzzle(&muzzle, &up, &at, &direction))
        return; // no free bullet, or no hand to shoot from
    if (!m_handHeld) {
        const V3d& p = FrameGetMatrix(m_owner->GetFrame())->pos;
        muzzle = {p.x, p.y + kChestHeight, p.z};
    }
    if (!m_aim) {
        m_canShoot = true;
    } else {
        V3d d = V3dSub(m_aimTarget, muzzle);
        if (V3dDot(d, d) > 0.0f) {
            d = V3dUnit(d);
            m_canShoot = V3dDot(d, direction) > kAimCosine || !m_handHeld;
            if (m_canShoot)
                direction = d;
        }
    }
    if (!m_canShoot)
        return;

    const V3d end = V3dAdd(muzzle, V3dScaled(direction, kRange));
    float fraction = 0.0f;
    float range = kRange;
    int32_t kind = -1;
    CSceneObject* object = nullptr;
    if (CCharacter* victim = FindCharacterOnLine(muzzle, end, m_owner, &fraction)) {
        victim->TakeHit();
        range = kRange * fraction;
        kind = kImpactCharacter;
    } else if (CPhysicsWorld* world = Framework().physicsWorld) {
        V3d normal;
        if (world->TestSegment(&muzzle, &end, false, &fraction, &normal, &object)) {
            range = kRange * fraction;
            kind = kImpactWorld;
        }
    }
    bullet->Set(muzzle, at, direction, up, range);
    if (kind >= 0)
        TriggerImpact(ImpactKind(kind), V3dAdd(muzzle, V3dScaled(direction, range)));
    Push(object, direction);
}

void CWeapon::UpdateFlash(float dt)
{
    const Matrix* bone = m_owner ? m_owner->GetBoneMatrix(kHandBone) : nullptr;
    if (m_handHeld && m_canShoot && m_fireRequest && bone) {
        m_flashPhase += dt * kFlashRate;
        if (std::ceil(m_flashPhase) - m_flashPhase >= kFlashShown) {
            Frame* frame = m_fireModel->GetFrame();
            std::memcpy(FrameGetMatrix(frame), bone, sizeof(Matrix));
            FrameUpdateObjects(frame);
            return;
        }
    }
    m_fireModel->SetPosition(kHidden);
}

void CWeapon::Update(float dt)
{
    if (!m_fireModel)
        return;
    if (m_fireRequest) {
        m_shotTimer += dt;
        if (m_shotTimer > kShotInterval) {
            m_shotTimer = 0.0f;
            Shoot();
        }
    }
    UpdateFlash(dt);
    for (CBullet& bullet : m_bullets) {
        if (bullet.IsAlive())
            bullet.Update(dt);
    }
}

void CWeapon::RenderBullets() const
{
    if (!m_owner)
        return;
    for (const CBullet& bullet : m_bullets) {
        if (bullet.IsAlive())
            bullet.Render();
    }
}
