#include "framework/teleporter.h"

#include <cmath>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/character.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "graphics/animation/particle.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/worldmembers.h"

namespace {

constexpr uint32_t kEmitterFlags = 0x10080003;
// Extra emitter bits, the additive blend (one, one) with vertex alpha, and
// the quad size of each particle.
constexpr uint32_t kEmitterExtraFlags = 0x800000 | 0x10000000 | 0x80000 | 0x4000;
constexpr uint32_t kBlendOne = 2;
constexpr float kQuadSize = 0.05f;

float DistanceSquared(const V3d& a, const V3d& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

} // namespace

CTeleporter::~CTeleporter()
{
    Shutdown();
}

bool CTeleporter::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Teleporter") != 0)
        return true;
    const AttributeSlot slots[] = {
        {"p1x", "p1x", &m_p1.x, nullptr}, {"p1y", "p1y", &m_p1.y, nullptr}, {"p1z", "p1z", &m_p1.z, nullptr},
        {"p2x", "p2x", &m_p2.x, nullptr}, {"p2y", "p2y", &m_p2.y, nullptr}, {"p2z", "p2z", &m_p2.z, nullptr},
    };
    return ReadAttributeSlots(attributes, "Teleporter", slots, 6);
}

bool CTeleporter::Load()
{
    ImageSetPath("MODELS/TEXTURES/");
    m_texture = TextureRead("particle.png", nullptr);
    if (!m_texture)
        return false;
    m_emitter = ParticleEmitterCreate(kParticles, kEmitterFlags, 1);
    m_frame = FrameCreate();
    if (!m_emitter || !m_frame) {
        Shutdown();
        return false;
    }
    AtomicSetFrame(m_emitter, m_frame);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(m_emitter);
    emitter->flags |= kEmitterExtraFlags;
    emitter->srcBlend = emitter->destBlend = kBlendOne;
    emitter->vertexAlpha = 1;
    emitter->texRect[0] = emitter->texRect[1] = 0.0f;
    emitter->texRect[2] = emitter->texRect[3] = 1.0f;
    emitter->size[0] = emitter->size[1] = kQuadSize;
    emitter->liveParticles = kParticles;
    if (m_emitter->geometry && m_emitter->geometry->materials.count > 0)
        MaterialSetTexture(m_emitter->geometry->materials.materials[0], m_texture);
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (worlds && worlds->GetWorldCount() > 0)
        WorldAddAtomic(worlds->GetWorld(0), m_emitter);
    return true;
}

bool CTeleporter::Reaches(const V3d& position) const
{
    return DistanceSquared(position, m_p1) < kReach * kReach;
}

void CTeleporter::MoveParticles(float dt)
{
    if (m_firstUpdate) {
        for (int32_t i = 0; i < kParticles; ++i)
            m_particles[i] = {m_p1.x, m_p1.y + 0.04f * float(i), m_p1.z};
        m_firstUpdate = false;
    }
    for (int32_t i = 0; i < kParticles; ++i) {
        V3d& p = m_particles[i];
        p.y += kRiseSpeed * dt;
        // Even and odd particles turn on opposite sides of the axis.
        const float angle = (p.y - m_p1.y) * kTwist;
        const float side = (i % 2 == 0) ? -kRadius : kRadius;
        p.x = m_p1.x + side * std::cos(angle);
        p.z = m_p1.z + side * std::sin(angle);
        if (p.y > m_p1.y + kHeight)
            p.y = m_p1.y;
    }
}

void CTeleporter::WriteParticles()
{
    if (!m_emitter)
        return;
    ParticleArray positions{}, colours{};
    if (ParticleEmitterLock(m_emitter, &positions, kParticlePosition, kParticleLockWrite) &&
        ParticleEmitterLock(m_emitter, &colours, kParticleColour, kParticleLockWrite)) {
        auto* position = static_cast<uint8_t*>(positions.data);
        auto* colour = static_cast<uint8_t*>(colours.data);
        for (int32_t i = 0; i < kParticles; ++i) {
            std::memcpy(position + i * positions.stride, &m_particles[i], sizeof(V3d));
            std::memcpy(colour + i * colours.stride, m_colour, sizeof m_colour);
        }
    }
    ParticleEmitterUnlock(m_emitter);
}

void CTeleporter::Update(float dt)
{
    MoveParticles(dt);
    WriteParticles();
    for (int32_t i = 0; i < CCharacter::Count(); ++i) {
        CCharacter* character = CCharacter::Get(i);
        Frame* frame = character ? character->GetFrame() : nullptr;
        if (frame && Reaches(FrameGetLTM(frame)->pos))
            character->SetPosition(m_p2);
    }
}

void CTeleporter::Shutdown()
{
    if (m_emitter) {
        if (CPhysicsWorld* worlds = Framework().physicsWorld; worlds && worlds->GetWorldCount() > 0)
            WorldRemoveAtomic(worlds->GetWorld(0), m_emitter);
        ParticleAtomicDestroy(m_emitter);
        m_emitter = nullptr;
    }
    if (m_frame) {
        FrameDestroy(m_frame);
        m_frame = nullptr;
    }
    if (m_texture) {
        TextureDestroy(m_texture);
        m_texture = nullptr;
    }
}
