#pragma once
// The demo's characters: each a framework CCharacter, driven by the
// application and bound to its AI entity through CWardelCharacter.
#include "demo/wardelcharacter.h"
#include "framework/character.h"

class CCharacterBinding : public CWardelCharacter
{
  public:
    /// The bone whose up vector is the character's head direction.
    static constexpr int32_t kHeadBone = 17;

    /// A new character, or null when there is no memory (the factory of the demo).
    static CWardelCharacter* Create();

    CCharacter& GetCharacter() { return m_character; }

    const CCharacterProfile* GetProfile() const override { return m_character.GetProfile(); }
    const Matrix* GetFrameMatrix() const override;
    float GetCurrentSpeed() const override { return m_character.GetCurrentSpeed(); }
    int32_t GetMode() const override { return m_character.GetMode(); }
    void SetMode(int32_t mode) override { m_character.SetMode(mode); }
    float GetForwardInput() const override { return m_character.GetForwardInput(); }
    float GetSideInput() const override { return m_character.GetSideInput(); }
    void SetForwardInput(float value) override;
    void SetSideInput(float value) override;
    void SetTurnInput(float value) override;
    float GetHealth() const override { return m_character.GetHealth(); }
    void SetAimTarget(const V3d& point) override { m_character.SetAimTarget(point); }
    void SetFireRequest() override { m_character.SetFireRequest(true); }
    bool GetMuzzle(V3d* point) const override;
    bool GetHeadUp(V3d* up) const override;

    bool ApplyProfile(const char* profile, const V3d& position) override;
    void SetPosition(const V3d& position) override { m_character.SetPosition(position); }
    void SetHeading(float degrees) override { m_character.SetHeading(degrees); }
    void SetPlayerControlled(bool player) override { m_character.SetPlayerControlled(player); }
    void SetAnimate(bool animate) override { m_character.SetAnimate(animate); }
    void SetInWorld(bool inWorld) override { m_character.SetInWorld(inWorld); }
    void Register() override;
    void Unregister() override;
    void Update(float step) override { m_character.Update(step); }
    void RenderShots() override { m_character.RenderShots(); }
    void Unload() override { m_character.Unload(); }

  private:
    CCharacter m_character;
};
