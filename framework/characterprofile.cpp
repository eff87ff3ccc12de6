// Character profiles: reading a "Character" section and the profile table.
#include "framework/characterprofile.h"

#include <strings.h>

#include <cstdio>

#include "framework/animationfile.h"
#include "framework/standardapplication.h"

namespace {

struct ProfileTable
{
    CCharacterProfile* profiles[CCharacterProfile::kMaxProfiles] = {};
    int32_t count = 0;
};

ProfileTable& Table()
{
    static ProfileTable table;
    return table;
}

struct AnimationKey
{
    const char* key;
    CharacterAnimation animation;
};

// "Animation" keys in the order they are tried; the first match wins.
constexpr AnimationKey kAnimationKeys[] = {
    {"Run", kAnimRun},
    {"Walk", kAnimWalk},
    {"Idle", kAnimIdle},
    {"StrafeLeft", kAnimStrafeLeft},
    {"StrafeRight", kAnimStrafeRight},
    {"Backward", kAnimBackward},
    {"BackwardLeft", kAnimBackwardLeft},
    {"BackwardRight", kAnimBackwardRight},
    {"ForwardLeft", kAnimForwardLeft},
    {"ForwardRight", kAnimForwardRight},
    {"AlertWalk", kAnimAlertWalk},
    {"AlertIdle", kAnimAlertIdle},
    {"AlertStrafeLeft", kAnimAlertStrafeLeft},
    {"AlertStrafeRight", kAnimAlertStrafeRight},
    {"AlertBackward", kAnimAlertBackward},
    {"AlertBackwardLeft", kAnimAlertBackwardLeft},
    {"AlertBackwardRight", kAnimAlertBackwardRight},
    {"AlertForwardLeft", kAnimAlertForwardLeft},
    {"AlertForwardRight", kAnimAlertForwardRight},
    {"CrouchAimUpLeft", kAnimCrouchAimUpLeft},
    {"CrouchAimUpFront", kAnimCrouchAimUpFront},
    {"CrouchAimUpRight", kAnimCrouchAimUpRight},
    {"CrouchAimMiddleLeft", kAnimCrouchAimMiddleLeft},
    {"CrouchAimMiddleFront", kAnimCrouchAimMiddleFront},
    {"CrouchAimMiddleRight", kAnimCrouchAimMiddleRight},
    {"CrouchAimDownLeft", kAnimCrouchAimDownLeft},
    {"CrouchAimDownFront", kAnimCrouchAimDownFront},
    {"CrouchAimDownRight", kAnimCrouchAimDownRight},
    {"IdleAimUpLeft", kAnimIdleAimUpLeft},
    {"IdleAimUpFront", kAnimIdleAimUpFront},
    {"IdleAimUpRight", kAnimIdleAimUpRight},
    {"IdleAimMiddleLeft", kAnimIdleAimMiddleLeft},
    {"IdleAimMiddleFront", kAnimIdleAimMiddleFront},
    {"IdleAimMiddleRight", kAnimIdleAimMiddleRight},
    {"IdleAimDownLeft", kAnimIdleAimDownLeft},
    {"IdleAimDownFront", kAnimIdleAimDownFront},
    {"IdleAimDownRight", kAnimIdleAimDownRight},
};

// The names the end of "Animations" reports missing animations by, in the
// order of the four groups (Run is not checked).
constexpr const char* kMissingNames[kAnimRun] = {
    "Walk",
    "WalkLeft",
    "WalkRight",
    "Idle",
    "StrafeLeft",
    "StrafeRight",
    "WalkBackward",
    "WalkBackwardLeft",
    "WalkBackwardRight",
    "WalkAlert",
    "WalkAlertLeft",
    "WalkAlertRight",
    "IdleAlert",
    "StrafeAlertLeft",
    "StrafeAlertRight",
    "WalkAlertBackward",
    "WalkAlertBackwardLeft",
    "WalkAlertBackwardRight",
    "CrouchAimUpLeftAnimation",
    "CrouchAimUpFrontAnimation",
    "CrouchAimUpRightAnimation",
    "CrouchAimMiddleLeftAnimation",
    "CrouchAimMiddleFrontAnimation",
    "CrouchAimMiddleRightAnimation",
    "CrouchAimDownLeftAnimation",
    "CrouchAimDownFrontAnimation",
    "CrouchAimDownRightAnimation",
    "IdleAimUpLeftAnimation",
    "IdleAimUpFrontAnimation",
    "IdleAimUpRightAnimation",
    "IdleAimMiddleLeftAnimation",
    "IdleAimMiddleFrontAnimation",
    "IdleAimMiddleRightAnimation",
    "IdleAimDownLeftAnimation",
    "IdleAimDownFrontAnimation",
    "IdleAimDownRightAnimation",
};

void ReportMissing(const char* attribute, const char* section)
{
    char text[192];
    std::snprintf(text, sizeof text, "'%s' attribute not found in '%s' section.\nPlease update your XML file",
                  attribute, section);
    CStandardApplication::ReportEngineError(text);
}

// The "GlobalDynamics" messages lack the blank before "section" except the
// last one's; the wording is the one users know.
void ReportMissingDynamics(const char* attribute)
{
    char text[192];
    std::snprintf(text, sizeof text,
                  "'%s' attribute not found in 'GlobalDynamics'section.\nPlease update your XML file",
                  attribute);
    CStandardApplication::ReportEngineError(text);
}

bool ReadScaledFloat(const char* key, const char** attributes, int32_t position, float scale, float* result)
{
    if (!ReadFloatAttribute(key, AttributePair(attributes, position), result))
        return false;
    *result *= scale;
    return true;
}

// A text attribute at `position` whose name is `key` (any letter case), copied
// into a file-name field; false when absent.
bool ReadTextAttribute(const char* key, const char** attributes, int32_t position, char* to)
{
    const char** pair = AttributePair(attributes, position);
    if (!pair || !pair[0] || !pair[1] || strcasecmp(pair[0], key) != 0)
        return false;
    std::snprintf(to, CCharacterProfile::kFileSize, "%s", pair[1]);
    return true;
}

} // namespace

CCharacterProfile* CCharacterProfile::Create(const char* name, float scale)
{
    ProfileTable& table = Table();
    if (table.count >= kMaxProfiles)
        return nullptr;
    auto* profile = new CCharacterProfile(name, scale);
    table.profiles[table.count++] = profile;
    return profile;
}

CCharacterProfile::CCharacterProfile(const char* profileName, float profileScale) : scale(profileScale)
{
    std::snprintf(name, sizeof name, "%s", profileName ? profileName : "");
}

CCharacterProfile::~CCharacterProfile()
{
    for (CAnimationFile*& animation : animations) {
        ReleaseAnimation(animation);
        animation = nullptr;
    }
}

bool CCharacterProfile::OnStart(const char* element, const char** attributes)
{
    if (inActions) {
        if (strcasecmp(element, "Speeds") == 0)
            return ReadSpeeds(attributes);
        if (strcasecmp(element, "Animation") == 0)
            return ReadAnimation(attributes);
        return true;
    }
    if (strcasecmp(element, "Geometry") == 0)
        return ReadGeometry(attributes);
    if (strcasecmp(element, "GlobalAnimator") == 0)
        return ReadFloatAttribute("transitionSpeed", AttributePair(attributes, 0), &transitionSpeed);
    if (strcasecmp(element, "GlobalDynamics") == 0)
        return ReadGlobalDynamics(attributes);
    if (strcasecmp(element, "Actions") == 0)
        inActions = true;
    return true;
}

bool CCharacterProfile::OnEnd(const char* element)
{
    if (strcasecmp(element, "Actions") == 0) {
        inActions = false;
    } else if (strcasecmp(element, "Animations") == 0) {
        for (int32_t i = 0; i < kAnimRun; ++i) {
            if (animations[i])
                continue;
            char text[160];
            std::snprintf(text, sizeof text,
                          "'%s' animation definition not found in XML\nPlease update your XML file",
                          kMissingNames[i]);
            CStandardApplication::ReportEngineError(text);
        }
    }
    return true;
}

bool CCharacterProfile::ReadGeometry(const char** attributes)
{
    if (!ReadTextAttribute("clump", attributes, 0, clumpFile))
        return false;
    if (!ReadScaledFloat("heigth", attributes, 1, scale, &height)) {
        ReportMissing("heigth", "Geometry");
        return false;
    }
    if (!ReadScaledFloat("width", attributes, 2, scale, &width)) {
        ReportMissing("width", "Geometry");
        return false;
    }
    return true;
}

bool CCharacterProfile::ReadGlobalDynamics(const char** attributes)
{
    if (!ReadScaledFloat("slideIntensity", attributes, 0, scale, &slideIntensity)) {
        ReportMissingDynamics("slideIntensity");
        return false;
    }
    if (!ReadFloatAttribute("slideCreaseYComponent", AttributePair(attributes, 1), &slideCreaseY)) {
        ReportMissingDynamics("slideCreaseYComponent");
        return false;
    }
    if (!ReadIntAttribute("accuracy", AttributePair(attributes, 2), &accuracy)) {
        ReportMissingDynamics("accuracy");
        return false;
    }
    if (!ReadScaledFloat("sphereRadius", attributes, 3, scale, &sphereRadius)) {
        ReportMissingDynamics("sphereRadius");
        return false;
    }
    if (!ReadTextAttribute("sphereModel", attributes, 4, sphereModelFile))
        return false;
    if (!ReadScaledFloat("gravity", attributes, 5, scale, &gravity)) {
        ReportMissing("gravity", "GlobalDynamics");
        return false;
    }
    return true;
}

bool CCharacterProfile::ReadSpeeds(const char** attributes)
{
    if (!ReadScaledFloat("forwardRun", attributes, 0, scale, &forwardRunSpeed)) {
        ReportMissing("forwardRun", "Speeds");
        return false;
    }
    if (!ReadScaledFloat("forwardWalk", attributes, 1, scale, &forwardWalkSpeed)) {
        ReportMissing("forwardWalk", "Speeds");
        return false;
    }
    if (!ReadScaledFloat("lateralWalk", attributes, 2, scale, &lateralWalkSpeed)) {
        ReportMissing("lateralWalk", "Speeds");
        return false;
    }
    return true;
}

bool CCharacterProfile::ReadAnimation(const char** attributes)
{
    const char** first = AttributePair(attributes, 0);
    const char** second = AttributePair(attributes, 1);
    if (!first || !first[0] || !first[1] || !second || !second[0] || !second[1]) {
        CStandardApplication::ReportEngineError(
            "Attribute missing in 'Animation' definition\nPlease update your XML file");
        return false;
    }
    const char* key = first[1];
    const char* file = second[1];
    for (const AnimationKey& entry : kAnimationKeys) {
        if (strcasecmp(key, entry.key) != 0)
            continue;
        std::snprintf(animationFiles[entry.animation], kFileSize, "%s", file);
        // A second definition of one key replaces the first; its reference goes back.
        ReleaseAnimation(animations[entry.animation]);
        animations[entry.animation] = GetAnimation(animationFiles[entry.animation]);
        if (!animations[entry.animation]) {
            char text[kFileSize + 64];
            std::snprintf(text, sizeof text, "Can not load '%s' animation\nPlease check your data", key);
            CStandardApplication::ReportEngineError(text);
        }
        break;
    }
    return true;
}

CCharacterProfile* FindCharacterProfile(const char* name)
{
    ProfileTable& table = Table();
    for (int32_t i = 0; name && i < table.count; ++i) {
        if (strcasecmp(table.profiles[i]->name, name) == 0)
            return table.profiles[i];
    }
    return nullptr;
}

int32_t CharacterProfileCount()
{
    return Table().count;
}

CCharacterProfile* GetCharacterProfile(int32_t index)
{
    const ProfileTable& table = Table();
    return index >= 0 && index < table.count ? table.profiles[index] : nullptr;
}

void DestroyCharacterProfiles()
{
    ProfileTable& table = Table();
    for (int32_t i = 0; i < table.count; ++i) {
        delete table.profiles[i];
        table.profiles[i] = nullptr;
    }
    table.count = 0;
}
