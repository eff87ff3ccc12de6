#pragma once
// CDynamicModels: the "Physics" section of "config.xml", a list of named
// model kinds (<Models>: <Sphere name clumpFilename/> of radius 0.5 and
// 30 kg, <Box name clumpFilename dx dy dz mass slide bounce/> of half
// extents dx, dy, dz) and of placed instances (<Instances>: <Instance model
// px py pz ox oy oz angle/>, turned by angle degrees about (ox, oy, oz)),
// each a model moved by its own rigid body. While left CTRL is held, a body
// under the pointer can be grabbed and pulled towards the pointer by a force
// of 200 per unit of distance, at most 1000; the pull is drawn as a green arrow.
//
// One instance, made by the configuration reader at "Physics" and destroyed
// at the terminate event; the instances' models belong to the physics world.
#include <cstdint>

#include "framework/configsection.h"
#include "graphics/core/vector.h"
#include "graphics/d3d9/im3d.h"

class CSceneObject;
struct OlpBody;
struct OlpBodyDef;

class CDynamicModels : public CConfigSection
{
  public:
    static constexpr int32_t kMaxKinds = 32;
    static constexpr int32_t kFileNameLength = 256;
    static constexpr int32_t kNameLength = 64;
    /// Force per unit of pull, and the largest force.
    static constexpr float kPullStrength = 200.0f;
    static constexpr float kMaxForce = 1000.0f;
    static constexpr uint32_t kArrowColour = 0xE000A000;
    /// The arrow's two markers.
    static constexpr int32_t kArrowVertices = 24;

    struct Kind
    {
        char clumpFilename[kFileNameLength];
        char name[kNameLength];
        OlpBodyDef* definition; ///< released at the end of "Instances"
    };

    /// The one instance, made on first use; null when memory runs out.
    static CDynamicModels* Instance();
    /// Deletes the instance (the next Instance makes a new one).
    static void Destroy();
    /// The instance when it exists, without making it.
    static CDynamicModels* Existing();

    ~CDynamicModels() override;

    /// "Models", "Instances" and their elements; false for a malformed one or
    /// an instance of an unknown kind (no message), and for a kind past
    /// kMaxKinds (with one).
    bool OnStart(const char* element, const char** attributes) override;
    /// The end of "Instances" releases the kinds' definitions; true.
    bool OnEnd(const char* element) override;

    /// The grab and the pull (`dt` seconds; the pull is a force).
    void Update(float dt);
    /// The pull's arrow while a body is grabbed.
    void Render();

    /// The force pulling a grab point towards a target: 200 per unit of
    /// distance, scaled down to kMaxForce when larger.
    static V3d PullForce(const V3d& grabPoint, const V3d& target);
    /// The arrow from `from` to `to`: a shaft up to 0.3 before the target and
    /// a head whose tip is the target; false (nothing written) for a zero length.
    static bool BuildArrow(const V3d& from, const V3d& to, Im3DVertex out[kArrowVertices]);

    int32_t GetKindCount() const { return m_kindCount; }
    const Kind& GetKind(int32_t i) const { return m_kinds[i]; }
    bool IsGrabbing() const { return m_grabbing; }
    OlpBody* GetGrabbedBody() const { return m_grabbedBody; }
    const V3d& GetGrabPoint() const { return m_grabPoint; }
    const V3d& GetPullTarget() const { return m_pullTarget; }

  private:
    CDynamicModels() = default;
    CDynamicModels(const CDynamicModels&) = delete;
    CDynamicModels& operator=(const CDynamicModels&) = delete;

    bool ReadSphere(const char** attributes);
    bool ReadBox(const char** attributes);
    bool ReadInstance(const char** attributes);
    /// The next free kind with its name and file, or null (after the
    /// message for a full table) when malformed.
    Kind* ReadKindHeader(const char** attributes);
    void TryGrab();
    void Pull();
    void Release();

    Kind m_kinds[kMaxKinds] = {};
    int32_t m_kindCount = 0;
    bool m_inModels = false;
    bool m_inInstances = false;
    bool m_grabbing = false;
    OlpBody* m_grabbedBody = nullptr;
    CSceneObject* m_grabbedObject = nullptr;
    V3d m_grabPoint{};
    V3d m_pullTarget{};
    V3d m_localGrabPoint{};
    int32_t m_pointerAtGrab[2] = {};
};
