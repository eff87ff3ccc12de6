#pragma once
// CCharacter: the animated, physical character of the player and the bots.
// It takes its model, size, speeds and animations from a character profile,
// reads its movement from the input manager (player-controlled) or from the
// values a bot's controller writes, chooses and cross-fades its animations,
// aims and fires its weapon, and dies when its health runs out. The camera
// follows it through CCameraTarget.
//
// Every character is listed in the framework's table of kMaxCharacters in
// creation order (the camera follows the first); a character beyond the
// limit still works but is not listed, and a deleted one leaves the table.
//
// Lifecycle: construct, ApplyProfile (model, body proxy, weapon), register
// nothing more (the body proxy is registered by the motion), Update every
// frame, Unload and delete at the end, before the physics world goes.
#include <cstdint>

#include "framework/animatedobject.h"
#include "framework/cameratarget.h"
#include "framework/characteractions.h"

class CAnimationCommand;
class CCharacterProfile;
class CWeapon;

class CCharacter : public CAnimatedObject, public CCameraTarget
{
  public:
    static constexpr int32_t kMaxCharacters = 256;
    static constexpr float kFullHealth = 100.0f;

    /// Appends the character to the table (when there is room).
    CCharacter();
    /// Leaves the table; Unload first.
    ~CCharacter() override;

    /// Finds the profile (any letter case) and loads its model at its scale,
    /// makes the body proxy at `position`, gives the motion the profile's
    /// values and makes the weapon. An unknown profile: the message box
    /// "Can not find character profile definition '%s' ..." and false.
    virtual bool ApplyProfile(const char* profileName, const V3d& position);
    /// One frame: dying, input, the animation choice, speeds, motion and
    /// animation, the weapon.
    void Update(float dt) override;
    /// Moves the body proxy, then the frame.
    void SetPosition(const V3d& position) override;
    /// Releases the weapon, then the animated object; true.
    bool Unload() override;

    /// The weapon's muzzle and axes (outputs optional); nothing without weapon.
    void GetMuzzle(V3d* point, V3d* up, V3d* at, V3d* right) const;
    /// The point to aim at (also handed to the weapon with its aim on).
    void SetAimTarget(const V3d& point);
    /// Draws the weapon's bullets.
    void RenderShots() const;
    /// Holds the trigger for the next update.
    void SetFireRequest(bool fire) { m_fireRequest = fire; }
    /// Jumps at the next update.
    void RequestJump() { m_jumpRequest = true; }
    /// The profile's walking speed in walk mode, running speed in run mode, else 0.
    float GetCurrentSpeed() const;
    /// A shot hit the character: health less 1.5 (player) or 5 (bot), not below 0.
    void TakeHit();

    /// The movement inputs: forward, side and turn in [-1, 1] for the player.
    void SetInputs(float forward, float side, float turn);
    void SetMode(int32_t mode) { m_mode = mode; }
    int32_t GetMode() const { return m_mode; }
    void SetPlayerControlled(bool player) { m_playerControlled = player; }
    bool IsPlayerControlled() const { return m_playerControlled; }
    float GetHealth() const { return m_health; }
    void SetHealth(float health) { m_health = health; }
    bool IsDead() const { return m_dead; }
    float GetForwardInput() const { return m_forward; }
    float GetSideInput() const { return m_side; }
    float GetTurnInput() const { return m_turn; }
    const V3d& GetAimTarget() const { return m_aimTarget; }
    CCharacterProfile* GetProfile() const { return m_profile; }
    CWeapon* GetWeapon() const { return m_weapon; }
    CAnimationCommand* GetCurrentCommand() const { return m_currentCommand; }
    /// The speeds handed to the motion at the last update.
    const MovementChoice& GetLastChoice() const { return m_choice; }

    // CCameraTarget
    Frame* GetCameraFrame() override { return GetFrame(); }
    bool IsInWorld() const override { return CSceneObject::IsInWorld(); }
    void SetInWorld(bool inWorld) override { CSceneObject::SetInWorld(inWorld); }

    /// Characters listed (0 to kMaxCharacters).
    static int32_t Count();
    /// Character `index` of the table, null outside it.
    static CCharacter* Get(int32_t index);

  private:
    /// Step 1: shrinking while the death timer runs, then dead.
    void UpdateDying(float dt);
    /// Step 3: the input manager's axes, keys and buttons.
    void ReadPlayerInput(float* k);
    /// Modes 3 and 4: issues the four-way blend itself, or answers the
    /// fallback pose in `fallback` (true) when it cannot aim.
    bool UpdateAim(float dt, CharacterAnimation* fallback);
    /// Plays `command` and makes it current; false (command released, the
    /// previous one kept) when the player refuses it.
    bool Issue(CAnimationCommand* command);
    /// A new command from the pool; null after the pool's message.
    static CAnimationCommand* TakeCommand();
    /// The current command's first animation (null: none yet).
    const CAnimationFile* CurrentFirstAnimation() const;
    /// The point under the pointer, when the camera manager finds one.
    bool PickUnderPointer(V3d* point) const;

    float m_changeTimer = 1000.0f;
    bool m_playerControlled = true;
    CCharacterProfile* m_profile = nullptr;
    float m_forward = 0.0f;
    float m_side = 0.0f;
    float m_turn = 0.0f;
    int32_t m_mode = kModeWalk;
    CAnimationCommand* m_currentCommand = nullptr;
    float m_health = kFullHealth;
    bool m_dead = false;
    int32_t m_deathSteps = 0;
    float m_deathTimer = 0.0f;
    CWeapon* m_weapon = nullptr;
    bool m_fireRequest = false;
    V3d m_aimTarget = {0.0f, 0.0f, 0.0f};
    float m_aimBlendTimer = 0.0f;
    bool m_jumpRequest = false;
    MovementChoice m_choice;
};
