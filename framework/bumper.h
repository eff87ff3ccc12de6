#pragma once
// CBumper: throws every character that comes within two units of its centre
// up and away (a push of (-6, 12, 0) units per second and a jump).
// "config.xml": <Bumper p1x p1y p1z p2x p2y p2z/> (centre p1; p2 kept, unused).
#include "framework/interactiveobject.h"

class CBumper : public CInteractiveObject
{
  public:
    /// A character nearer to the centre than this is thrown, world units.
    static constexpr float kReach = 2.0f;

    /// The velocity a thrown character receives, world units per second.
    static V3d Push() { return {-6.0f, 12.0f, 0.0f}; }

    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    bool Load() override { return true; }
    /// Throws the characters within reach.
    void Update(float dt) override;
    void RenderDebug() override {}
    void Shutdown() override {}

    /// Whether a character at `position` is thrown.
    bool Reaches(const V3d& position) const;
    const V3d& GetCentre() const { return m_p1; }

  private:
    V3d m_p1{}, m_p2{};
};
