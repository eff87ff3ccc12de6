#pragma once
// A character for the demo's tests: plain fields behind CWardelCharacter
// that record what the application and the AI classes do to it, with a
// profile of height 2, width 0.6, walk 1.5 and run 3 world units a second.
#include <string>

#include "demo/wardelcharacter.h"
#include "framework/characterprofile.h"

class FakeCharacter : public CWardelCharacter
{
  public:
    FakeCharacter()
    {
        matrix.right = {1.0f, 0.0f, 0.0f};
        matrix.up = {0.0f, 1.0f, 0.0f};
        matrix.at = {0.0f, 0.0f, 1.0f};
        matrix.pos = {0.0f, 0.0f, 0.0f};
    }

    /// The profile every fake shares (made on first use, gone with the profile table).
    static CCharacterProfile* Profile()
    {
        CCharacterProfile* profile = FindCharacterProfile("FakeSoldier");
        if (profile == nullptr) {
            profile = CCharacterProfile::Create("FakeSoldier", 1.0f);
            profile->height = 2.0f;
            profile->width = 0.6f;
            profile->forwardWalkSpeed = 1.5f;
            profile->forwardRunSpeed = 3.0f;
        }
        return profile;
    }

    const CCharacterProfile* GetProfile() const override { return profile; }
    const Matrix* GetFrameMatrix() const override { return &matrix; }
    float GetCurrentSpeed() const override
    {
        if (profile == nullptr)
            return 0.0f;
        return mode == kModeWalk  ? profile->forwardWalkSpeed
               : mode == kModeRun ? profile->forwardRunSpeed
                                  : 0.0f;
    }
    int32_t GetMode() const override { return mode; }
    void SetMode(int32_t value) override { mode = value; }
    float GetForwardInput() const override { return forward; }
    float GetSideInput() const override { return side; }
    void SetForwardInput(float value) override { forward = value; }
    void SetSideInput(float value) override { side = value; }
    void SetTurnInput(float value) override { turn = value; }
    float GetHealth() const override { return health; }
    void SetAimTarget(const V3d& point) override
    {
        aimTarget = point;
        aimed = true;
    }
    void SetFireRequest() override { fire = true; }
    bool GetMuzzle(V3d* point) const override
    {
        if (!armed)
            return false;
        *point = muzzle;
        return true;
    }
    bool GetHeadUp(V3d* up) const override
    {
        if (!hasHead)
            return false;
        *up = headUp;
        return true;
    }

    bool ApplyProfile(const char* name, const V3d& position) override
    {
        appliedProfile = name;
        profilePosition = position;
        return true;
    }
    void SetPosition(const V3d& position) override { matrix.pos = position; }
    void SetHeading(float degrees) override { heading = degrees; }
    void SetPlayerControlled(bool player) override { playerControlled = player; }
    void SetAnimate(bool value) override { animate = value; }
    void SetInWorld(bool value) override { inWorld = value; }
    void Register() override { registered = true; }
    void Unregister() override { registered = false; }
    void Update(float step) override
    {
        ++updates;
        lastStep = step;
    }
    void RenderShots() override { ++shotRenders; }
    void Unload() override { unloaded = true; }

    const CCharacterProfile* profile = Profile();
    Matrix matrix{};
    int32_t mode = kModeWalk;
    float forward = 0.0f, side = 0.0f, turn = 0.0f;
    float health = 100.0f;
    V3d aimTarget{};
    bool aimed = false;
    bool fire = false;
    bool armed = false;
    V3d muzzle{};
    bool hasHead = false;
    V3d headUp{};
    std::string appliedProfile;
    V3d profilePosition{};
    float heading = 0.0f;
    bool playerControlled = false, animate = false, inWorld = false, registered = false, unloaded = false;
    int updates = 0, shotRenders = 0;
    float lastStep = 0.0f;
};
