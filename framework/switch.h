#pragma once
// CSwitch: a two-state button of four models (green and red, each plain and
// lit) that the user clicks (the physics world toggles the switches near the
// picked point); a toggle within a quarter second of the last is ignored.
// On: the lit green and the plain red are shown; off: the plain green and the
// lit red. Lifts may name a switch that gates them. "config.xml": <Switch name
// px py pz nx ny nz stringOn stringOff/> (the normal is kept, unused; the
// texts say what a click does).
#include "framework/interactiveobject.h"

class CSceneObject;

class CSwitch : public CInteractiveObject
{
  public:
    static constexpr int32_t kNameLength = 128;
    static constexpr int32_t kTextLength = 256;
    /// Seconds after a toggle during which another is ignored.
    static constexpr float kToggleDelay = 0.25f;
    /// A pick nearer to the switch than this is on it, world units.
    static constexpr float kReach = 1.0f;
    /// How far below the green models the red ones stand.
    static constexpr float kRedDrop = 0.5f;
    /// The four models, in this order.
    enum Model : int32_t
    {
        kGreen,
        kGreenLit,
        kRed,
        kRedLit,
        kModels,
    };

    ~CSwitch() override;

    /// "Switch": its attributes (each missing one reported), then the models
    /// placed, registered with the physics world and shown as for "on".
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    /// The four models, at the origin; false when one does not load.
    bool Load() override;
    /// Counts the time since the last toggle.
    void Update(float dt) override;
    void RenderDebug() override {}
    /// Unloads and deletes the models.
    void Shutdown() override;

    bool IsNear(const V3d& point) const override;
    /// Flips the state unless the last toggle was within kToggleDelay.
    void Toggle() override;
    /// The text of the state a click leads to.
    const char* GetActionText() const override { return m_state ? m_stringOff : m_stringOn; }

    /// 1 on, 0 off.
    int32_t GetState() const { return m_state; }
    const char* GetName() const { return m_name; }
    const V3d& GetPosition() const { return m_position; }
    CSceneObject* GetModel(Model model) const { return m_models[model]; }

  private:
    /// Shows the models of the current state.
    void ShowState();

    CSceneObject* m_models[kModels] = {};
    V3d m_position{};
    V3d m_normal{};
    int32_t m_state = 1;
    float m_timer = 0.0f;
    char m_name[kNameLength] = "";
    char m_stringOn[kTextLength] = "";
    char m_stringOff[kTextLength] = "";
};
