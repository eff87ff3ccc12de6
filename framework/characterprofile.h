#pragma once
// Character profiles: the named kinds of character read from the "Character"
// sections of "config.xml" (model, size, dynamics, speeds, 37 animations),
// kept in a table of at most 32 until the framework terminates.
#include <cstdint>

#include "framework/configsection.h"

struct CAnimationFile;

/// The 37 animations of a profile: four groups of nine, then Run.
enum CharacterAnimation : int32_t
{
    // movement group
    kAnimWalk,
    kAnimForwardLeft,
    kAnimForwardRight,
    kAnimIdle,
    kAnimStrafeLeft,
    kAnimStrafeRight,
    kAnimBackward,
    kAnimBackwardLeft,
    kAnimBackwardRight,
    // alert group
    kAnimAlertWalk,
    kAnimAlertForwardLeft,
    kAnimAlertForwardRight,
    kAnimAlertIdle,
    kAnimAlertStrafeLeft,
    kAnimAlertStrafeRight,
    kAnimAlertBackward,
    kAnimAlertBackwardLeft,
    kAnimAlertBackwardRight,
    // crouching aim group
    kAnimCrouchAimUpLeft,
    kAnimCrouchAimUpFront,
    kAnimCrouchAimUpRight,
    kAnimCrouchAimMiddleLeft,
    kAnimCrouchAimMiddleFront,
    kAnimCrouchAimMiddleRight,
    kAnimCrouchAimDownLeft,
    kAnimCrouchAimDownFront,
    kAnimCrouchAimDownRight,
    // standing aim group
    kAnimIdleAimUpLeft,
    kAnimIdleAimUpFront,
    kAnimIdleAimUpRight,
    kAnimIdleAimMiddleLeft,
    kAnimIdleAimMiddleFront,
    kAnimIdleAimMiddleRight,
    kAnimIdleAimDownLeft,
    kAnimIdleAimDownFront,
    kAnimIdleAimDownRight,
    kAnimRun,
    kCharacterAnimationCount
};

/// One kind of character; a section receiver filled element by element.
class CCharacterProfile : public CConfigSection
{
  public:
    static constexpr int32_t kNameSize = 128;
    static constexpr int32_t kFileSize = 512;
    static constexpr int32_t kMaxProfiles = 32;

    /// A new profile appended to the table (name cut at 127 characters,
    /// lengths multiplied by `scale`); null when 32 profiles exist.
    static CCharacterProfile* Create(const char* name, float scale);
    ~CCharacterProfile() override;

    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char* element) override;

    int32_t word = 0;
    char name[kNameSize] = {};
    float scale = 1.0f;
    char clumpFile[kFileSize] = {};
    float height = 0.0f;
    float width = 0.0f;
    float transitionSpeed = 0.0f;
    char animationFiles[kCharacterAnimationCount][kFileSize] = {};
    CAnimationFile* animations[kCharacterAnimationCount] = {};
    float forwardWalkSpeed = 0.0f;
    float forwardRunSpeed = 0.0f;
    float lateralWalkSpeed = 0.0f;
    float slideIntensity = 0.0f;
    float slideCreaseY = 0.0f;
    int32_t accuracy = 0;
    float sphereRadius = 0.0f;
    char sphereModelFile[kFileSize] = {};
    float gravity = 0.0f;
    bool inActions = false;

  private:
    CCharacterProfile(const char* name, float scale);
    bool ReadGeometry(const char** attributes);
    bool ReadGlobalDynamics(const char** attributes);
    bool ReadSpeeds(const char** attributes);
    bool ReadAnimation(const char** attributes);
};

/// The first profile named `name` (any letter case); null when none.
CCharacterProfile* FindCharacterProfile(const char* name);
/// Profiles in the table (0 to 32).
int32_t CharacterProfileCount();
/// Profile `index` in the order read; null outside the table.
CCharacterProfile* GetCharacterProfile(int32_t index);
/// Releases and deletes every profile; the table is empty afterwards.
void DestroyCharacterProfiles();
