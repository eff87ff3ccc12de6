#pragma once
// CTeleporter: an entry point that moves every character coming within one
// unit of it to the exit point, marked by fifty particles spiralling up from
// the entry. "config.xml": <Teleporter p1x p1y p1z p2x p2y p2z/> (entry p1,
// exit p2). Without "particle.png" (in "MODELS/TEXTURES/") it does not load.
#include "framework/interactiveobject.h"

struct Atomic;
struct Frame;
struct Texture;

class CTeleporter : public CInteractiveObject
{
  public:
    static constexpr int32_t kParticles = 50;
    /// A character nearer to the entry than this is moved, world units.
    static constexpr float kReach = 1.0f;
    /// The spiral: rise per second, radius, turns per unit of rise (radians),
    /// height after which a particle starts again at the entry.
    static constexpr float kRiseSpeed = 0.4f;
    static constexpr float kRadius = 0.5f;
    static constexpr float kTwist = 5.0f;
    static constexpr float kHeight = 2.0f;

    ~CTeleporter() override;

    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    /// The particle texture and emitter (in the physics world's first world,
    /// when there is one); false, silently, without the texture.
    bool Load() override;
    /// The particles climb; characters at the entry go to the exit.
    void Update(float dt) override;
    void RenderDebug() override {}
    void Shutdown() override;

    /// Whether a character at `position` is taken to the exit.
    bool Reaches(const V3d& position) const;
    const V3d& GetEntry() const { return m_p1; }
    const V3d& GetExit() const { return m_p2; }
    /// Particle i's position (after the first update).
    const V3d& GetParticle(int32_t i) const { return m_particles[i]; }

  private:
    void MoveParticles(float dt);
    void WriteParticles();

    V3d m_p1{}, m_p2{};
    bool m_firstUpdate = true;
    uint8_t m_colour[4] = {255, 255, 255, 255};
    Texture* m_texture = nullptr;
    Atomic* m_emitter = nullptr;
    Frame* m_frame = nullptr;
    V3d m_particles[kParticles] = {};
};
