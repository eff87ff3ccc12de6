#pragma once
// CLaserBeam: a beam between two points that is lit for "timeOn" seconds,
// then dark for "timeOff" seconds, and so on, starting dark at "startTime"
// seconds into its dark time. Its debug drawing shows the lit beam as a thin
// red ribbon. "config.xml": <LaserBeam p1x.. p2z pw1x.. pw2z timeOn timeOff
// startTime/> (the pw points are kept, unused).
#include "framework/interactiveobject.h"

class CLaserBeam : public CInteractiveObject
{
  public:
    /// Half width of the drawn beam, world units.
    static constexpr float kHalfWidth = 0.04f;
    static constexpr uint32_t kColour = 0xC0FF0000;

    /// "LaserBeam": its attributes, each missing one reported; other elements pass.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    bool Load() override { return true; }
    /// Advances the blink by `dt` seconds.
    void Update(float dt) override;
    /// The beam while lit.
    void RenderDebug() override;
    void Shutdown() override {}

    bool IsLit() const { return m_lit; }
    /// Seconds into the current lit or dark time.
    float GetTime() const { return m_time; }
    const V3d& GetStart() const { return m_p1; }
    const V3d& GetEnd() const { return m_p2; }

  private:
    V3d m_pw1{}, m_pw2{};
    V3d m_p1{}, m_p2{};
    float m_timeOn = 0.0f;
    float m_timeOff = 0.0f;
    float m_time = 0.0f;
    bool m_lit = false;
};
