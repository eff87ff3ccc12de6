#pragma once
// CDoor: two leaves on vertical hinges either side of a doorway, pushed
// open by whatever walks into them, at most a quarter turn either way. The
// hinge also carries a spring limit at 0, which swings a pushed leaf back
// closed once nothing holds it open.
// The leaves are box bodies drawn by their own shapes in light blue; they
// are made by the first update after the configuration, when the physics
// world is complete. "config.xml": <Door px py pz width height depth axis
// pw1x .. pw2z/>: axis 0 puts the leaves along z, 1 along x; the leaves are
// boxes of half extents (depth, height, width) turned by the axis, centred
// width + 0.02 either side of the door and height / 2 above it, each hinged
// at its outer edge (2 width + 0.02 out): the doorway needs 4 width + 0.04
// plus twice the depth for the leaves to swing clear.
#include "framework/interactiveobject.h"

struct Atomic;
struct OlpBody;
struct OlpJoint;
struct OlpVolume;

class CDoor : public CInteractiveObject
{
  public:
    static constexpr int32_t kLeaves = 2;
    /// The hinge's limits: open up to a quarter turn; a spring limit at 0 (off).
    static constexpr float kOpenAngle = 1.5707964f;
    static constexpr float kSpring = 200.0f;
    static constexpr float kDamping = 0.1f;

    ~CDoor() override;

    /// "Door": its attributes, each missing one reported.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    bool Load() override { return true; }
    /// The first update makes the leaves and their hinges.
    void Update(float dt) override;
    void RenderDebug() override {}
    void Shutdown() override;

    /// Whether the leaves are still to be made.
    bool NeedsCreation() const { return m_needsCreation; }
    OlpBody* GetLeaf(int32_t i) const { return m_leaves[i].body; }
    /// Leaf i's centre and hinge point (world units, known after the first update).
    const V3d& GetLeafCentre(int32_t i) const { return m_leaves[i].centre; }
    const V3d& GetHinge(int32_t i) const { return m_leaves[i].hinge; }

  private:
    struct Leaf
    {
        V3d centre{};
        V3d hinge{};
        OlpBody* body = nullptr;
        Atomic* atomic = nullptr;
        OlpJoint* joint = nullptr;
    };

    void Build();
    void BuildLeaf(Leaf& leaf);

    V3d m_pw1{}, m_pw2{};
    V3d m_position{};
    int32_t m_axis = 0;
    float m_width = 0.0f, m_height = 0.0f, m_depth = 0.0f;
    OlpVolume* m_anchor = nullptr;
    bool m_needsCreation = true;
    Leaf m_leaves[kLeaves];
};
