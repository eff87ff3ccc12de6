#pragma once
// CJumpHelper: two marked points of a jump (where to take off and where to
// land); at debug level 2 or more they are drawn as a white and a black
// upright marker. "config.xml": <JumpHelper p1x p1y p1z p2x p2y p2z/>.
#include "framework/interactiveobject.h"
#include "graphics/d3d9/im3d.h"

class CJumpHelper : public CInteractiveObject
{
  public:
    static constexpr uint32_t kStartColour = 0xC0FFFFFF;
    static constexpr uint32_t kEndColour = 0xC0000000;
    /// Both markers' 24 vertices.
    static constexpr int32_t kVertices = 24;

    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    bool Load() override { return true; }
    void Update(float) override {}
    /// The two markers, from debug level 2.
    void RenderDebug() override;
    void Shutdown() override {}

    /// The markers' vertices: one metre up from each point, 0.04 half wide.
    void BuildMarkers(Im3DVertex out[kVertices]) const;
    const V3d& GetStart() const { return m_p1; }
    const V3d& GetEnd() const { return m_p2; }

  private:
    V3d m_p1{}, m_p2{};
};
