#pragma once
// Impact particles: small bursts of 8 particles thrown up where a shot hits,
// red on characters and grey elsewhere. The weapons share two tables of 8
// systems each, used in turn; the first weapon made fills the tables and the
// last one released empties them (impactparticles.cpp keeps the count).
#include <cstdint>

#include "graphics/core/vector.h"

struct Atomic;
struct Frame;
struct Texture;

class CImpactParticles
{
  public:
    static constexpr int32_t kParticles = 8;
    /// Seconds a burst lasts.
    static constexpr float kLifetime = 2.0f;

    CImpactParticles() = default;
    CImpactParticles(const CImpactParticles&) = delete;
    CImpactParticles& operator=(const CImpactParticles&) = delete;
    ~CImpactParticles() { Destroy(); }

    /// Makes the emitter of `scale`-sized particles in colour (r, g, b),
    /// textured with "PARTICLE.PNG" from "MODELS/TEXTURES/". Without the
    /// texture: the message box, no emitter, false.
    bool Init(float scale, uint8_t r, uint8_t g, uint8_t b);
    /// Starts a burst at `point`: every particle there, thrown up and out at
    /// random (the project's generator).
    void Trigger(const V3d& point);
    /// Moves the particles under gravity and lets more of them show, while
    /// the burst lasts.
    void Update(float dt);
    /// Draws the burst (depth tested, not written) while it lasts.
    void Render();
    /// Frees the emitter, its frame and the texture.
    void Destroy();

    bool IsBursting() const { return m_age > 0.0f && m_age < kLifetime; }
    int32_t GetActiveCount() const { return m_activeCount; }
    const V3d& GetPosition(int32_t i) const { return m_positions[i]; }
    const V3d& GetVelocity(int32_t i) const { return m_velocities[i]; }

  private:
    uint8_t m_colour[4] = {223, 0, 0, 192};
    Atomic* m_emitter = nullptr;
    Frame* m_frame = nullptr;
    Texture* m_texture = nullptr;
    int32_t m_activeCount = 0;
    float m_emitted = 0.0f;
    float m_age = 0.0f; ///< 0: idle
    float m_scale = 1.0f;
    V3d m_positions[kParticles] = {};
    V3d m_velocities[kParticles] = {};
};

/// The two shared tables.
enum ImpactKind : int32_t
{
    kImpactCharacter = 0, ///< red
    kImpactWorld = 1,     ///< grey
};

/// One more weapon uses the tables; the first fills both.
void AddImpactUser();
/// One weapon fewer; the last empties both tables.
void RemoveImpactUser();
/// Starts the next burst of that kind's table at `point`.
void TriggerImpact(ImpactKind kind, const V3d& point);
/// The system `index` (0 to 7) of a table; null while the tables are empty.
CImpactParticles* GetImpactSystem(ImpactKind kind, int32_t index);
/// Every system of the red table, then of the grey table.
void UpdateImpactParticles(float dt);
void RenderImpactParticles();
