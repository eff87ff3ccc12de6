// Impact bursts and their two shared tables.
#include "framework/impactparticles.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ai/runtime/random.h"
#include "framework/screenquad.h"
#include "framework/standardapplication.h"
#include "graphics/animation/particle.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/shared/skel/win/shellpath.h"

namespace {

constexpr int32_t kTableSize = 8;
constexpr uint32_t kEmitterFlags =
    kParticleSeparate | kParticleEmitterTexRect | kParticlePosition | kParticleColour;
constexpr float kGravity = -294.0f;
constexpr float kParticlesPerSecond = 960.0f;
constexpr float kImpactParticleSize = 1.4f;
// Sized for a world in metres: 7 cm sprites thrown out at up to 4 m/s and
// up to 8.5 m/s up, which a camera a few metres off sees (at 0.01 they are
// 1.4 cm, under a pixel at 10 m).
constexpr float kSystemScale = 0.05f;
// Blend modes: by source alpha over the inverse source alpha.
constexpr uint32_t kBlendSourceAlpha = 5;
constexpr uint32_t kBlendInverseSourceAlpha = 6;

struct ImpactTables
{
    CImpactParticles* systems[2][kTableSize] = {};
    int32_t next[2] = {};
    int32_t users = 0;
};

ImpactTables& Tables()
{
    static ImpactTables tables;
    return tables;
}

/// A random value in [-1, 1) in steps of 0.01.
float Spread()
{
    return float(Zelk::AiRandom() % 200 - 100) * 0.01f;
}

} // namespace

bool CImpactParticles::Init(float scale, uint8_t r, uint8_t g, uint8_t b)
{
    Destroy();
    m_scale = scale;
    char* path = ShellMakeNativePath("MODELS/TEXTURES/");
    const std::string folder = path ? path : "MODELS/TEXTURES/";
    ShellFreePath(path);
    ImageSetPath(folder.c_str());
    m_texture = TextureRead("PARTICLE.PNG", nullptr);
    if (!m_texture) {
        // A file that is there but does not read is damaged, not missing.
        FileSlot* file = FileSystemManagerFOpen((folder + "PARTICLE.PNG").c_str(), "rb");
        const bool missing = file == nullptr;
        if (file)
            FileSystemManagerFClose(file);
        CStandardApplication::ReportEngineError(
            missing
                ? "Texture file 'PARTICLE.PNG' not found\nPlease check your data"
                : "Texture file 'PARTICLE.PNG' cannot be read: the file is damaged\nPlease check your data");
        return false;
    }
    m_emitter = ParticleEmitterCreate(kParticles, kEmitterFlags, kParticleValuePointSprites);
    m_frame = FrameCreate();
    if (!m_emitter || !m_frame) {
        Destroy();
        return false;
    }
    AtomicSetFrame(m_emitter, m_frame);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(m_emitter);
    emitter->srcBlend = kBlendSourceAlpha;
    emitter->destBlend = kBlendInverseSourceAlpha;
    emitter->vertexAlpha = 1;
    MaterialSetTexture(MaterialListGetMaterial(&m_emitter->geometry->materials, 0), m_texture);
    const float rect[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    std::memcpy(emitter->texRect, rect, sizeof rect);
    emitter->size[0] = emitter->size[1] = kImpactParticleSize * scale;
    m_colour[0] = r;
    m_colour[1] = g;
    m_colour[2] = b;
    return true;
}

void CImpactParticles::Trigger(const V3d& point)
{
    for (int32_t i = 0; i < kParticles; ++i) {
        m_positions[i] = point;
        const float x = Spread() * 80.0f * m_scale;
        const float y = (Spread() * 150.0f + 20.0f) * m_scale;
        const float z = Spread() * 80.0f * m_scale;
        m_velocities[i] = {x, y, z};
    }
    m_activeCount = 0;
    m_emitted = 0.0f;
    m_age = 0.001f;
}

void CImpactParticles::Update(float dt)
{
    if (!m_emitter || !IsBursting())
        return;
    const float gravity = kGravity * m_scale;
    ParticleArray positions{}, colours{};
    const bool locked = ParticleEmitterLock(m_emitter, &positions, kParticlePosition, kParticleLockWrite) &&
                        ParticleEmitterLock(m_emitter, &colours, kParticleColour, kParticleLockWrite);
    for (int32_t i = 0; i < m_activeCount; ++i) {
        V3d& v = m_velocities[i];
        V3d& p = m_positions[i];
        v.y += gravity * dt;
        p = {p.x + v.x * dt, p.y + v.y * dt, p.z + v.z * dt};
        if (locked) {
            std::memcpy(static_cast<uint8_t*>(positions.data) + i * positions.stride, &p, sizeof p);
            std::memcpy(static_cast<uint8_t*>(colours.data) + i * colours.stride, m_colour, sizeof m_colour);
        }
    }
    ParticleEmitterUnlock(m_emitter);
    m_emitted += kParticlesPerSecond * dt;
    m_activeCount = std::min(kParticles, int32_t(m_emitted));
    ParticleAtomicGetEmitter(m_emitter)->liveParticles = m_activeCount;
    m_age += dt;
}

void CImpactParticles::Render()
{
    if (!m_emitter || !IsBursting())
        return;
    ScreenSetState(kRenderStateZTestEnable, 1);
    ScreenSetState(kRenderStateZWriteEnable, 0);
    m_emitter->renderCallBack(m_emitter);
    ScreenSetState(kRenderStateZWriteEnable, 1);
}

void CImpactParticles::Destroy()
{
    if (m_emitter) {
        AtomicSetFrame(m_emitter, nullptr);
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
    m_age = 0.0f;
    m_activeCount = 0;
}

void AddImpactUser()
{
    ImpactTables& tables = Tables();
    ++tables.users;
    const uint8_t colours[2][3] = {{224, 16, 16}, {144, 144, 144}};
    for (int32_t kind = 0; kind < 2; ++kind) {
        for (CImpactParticles*& system : tables.systems[kind]) {
            if (system)
                continue;
            system = new CImpactParticles();
            system->Init(kSystemScale, colours[kind][0], colours[kind][1], colours[kind][2]);
            system->Trigger({0.0f, 0.0f, 0.0f});
        }
    }
}

void RemoveImpactUser()
{
    ImpactTables& tables = Tables();
    if (tables.users == 0 || --tables.users > 0)
        return;
    for (auto& table : tables.systems) {
        for (CImpactParticles*& system : table) {
            delete system;
            system = nullptr;
        }
    }
    tables.next[0] = tables.next[1] = 0;
}

void TriggerImpact(ImpactKind kind, const V3d& point)
{
    ImpactTables& tables = Tables();
    int32_t& next = tables.next[kind];
    if (CImpactParticles* system = tables.systems[kind][next])
        system->Trigger(point);
    next = (next + 1) % kTableSize;
}

CImpactParticles* GetImpactSystem(ImpactKind kind, int32_t index)
{
    return index >= 0 && index < kTableSize ? Tables().systems[kind][index] : nullptr;
}

void UpdateImpactParticles(float dt)
{
    for (auto& table : Tables().systems) {
        for (CImpactParticles* system : table) {
            if (system)
                system->Update(dt);
        }
    }
}

void RenderImpactParticles()
{
    for (auto& table : Tables().systems) {
        for (CImpactParticles* system : table) {
            if (system)
                system->Render();
        }
    }
}
