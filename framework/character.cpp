// Characters: the table, the profile, and the update in its fourteen steps.
#include "framework/character.h"

#include <algorithm>
#include <cstdio>

#include "framework/animationcommand.h"
#include "framework/animationfile.h"
#include "framework/cameramanager.h"
#include "framework/characterprofile.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/standardapplication.h"
#include "framework/weapon.h"
#include "graphics/core/frame.h"

namespace {

// Dying: 200 death-timer units a second, one 0.98 shrink per unit, dead past 100.
constexpr float kDeathRate = 200.0f;
constexpr float kDeathEnd = 100.0f;
constexpr float kShrinkScale = 490.0f; // SetScale(490) multiplies the frame by 0.98
constexpr float kChangeInterval = 0.1f;
constexpr float kBotAimInterval = 0.25f;
constexpr float kTurnRate = 200.0f; // degrees per second at full turn input
constexpr float kFirstPersonSpeed = 3.0f;
constexpr float kPlayerHit = 1.5f;
constexpr float kBotHit = 5.0f;
constexpr int32_t kMiddleFront = kAnimIdleAimMiddleFront - kAnimIdleAimUpLeft;

struct CharacterTable
{
    CCharacter* entries[CCharacter::kMaxCharacters] = {};
    int32_t count = 0;
};

CharacterTable& Table()
{
    static CharacterTable table;
    return table;
}

void ReportMissingAnimation()
{
    CStandardApplication::ReportEngineError(
        "Animation is missing in character profile\n please check your .ANM data");
}

bool InFirstPerson()
{
    const CCameraManager* cameras = Framework().cameraManager;
    return cameras && cameras->GetMode() == CCameraManager::kFps;
}

} // namespace

CCharacter::CCharacter()
{
    CharacterTable& table = Table();
    if (table.count < kMaxCharacters)
        table.entries[table.count++] = this;
}

CCharacter::~CCharacter()
{
    CharacterTable& table = Table();
    CCharacter** end = table.entries + table.count;
    CCharacter** found = std::find(table.entries, end, this);
    if (found != end) {
        std::copy(found + 1, end, found);
        table.entries[--table.count] = nullptr;
    }
    delete m_weapon;
}

int32_t CCharacter::Count()
{
    return Table().count;
}

CCharacter* CCharacter::Get(int32_t index)
{
    const CharacterTable& table = Table();
    return index >= 0 && index < table.count ? table.entries[index] : nullptr;
}

bool CCharacter::ApplyProfile(const char* profileName, const V3d& position)
{
    CCharacterProfile* profile = FindCharacterProfile(profileName);
    if (!profile) {
        char text[512];
        std::snprintf(
            text, sizeof text,
            "Can not find character profile definition '%s'\nplease check the 'Characters' section in "
            "your XML file",
            profileName ? profileName : "");
        CStandardApplication::ReportEngineError(text);
        return false;
    }
    m_profile = profile;
    Load(profile->clumpFile);
    SetScale(profile->scale);
    Init(position);
    SetModelScale(profile->scale);
    GetMotion().SetProfileValues(profile->scale, profile->sphereRadius, profile->slideIntensity,
                                 profile->slideCreaseY, profile->accuracy, profile->gravity);
    delete m_weapon;
    m_weapon = new CWeapon();
    m_weapon->Init(this);
    return true;
}

void CCharacter::SetPosition(const V3d& position)
{
    GetMotion().SetPosition(position);
    CSceneObject::SetPosition(position);
}

bool CCharacter::Unload()
{
    if (m_weapon) {
        m_weapon->Release();
        delete m_weapon;
        m_weapon = nullptr;
    }
    // The player hands its commands back; a placeholder never reached it.
    if (m_currentCommand && !m_currentCommand->entries[0].animation)
        ReleaseCommand(m_currentCommand);
    m_currentCommand = nullptr;
    return CAnimatedObject::Unload();
}

void CCharacter::GetMuzzle(V3d* point, V3d* up, V3d* at, V3d* right) const
{
    if (m_weapon)
        m_weapon->GetMuzzle(point, up, at, right);
}

void CCharacter::SetAimTarget(const V3d& point)
{
    if (m_weapon)
        m_weapon->SetAimTarget(true, &point);
    m_aimTarget = point;
}

void CCharacter::RenderShots() const
{
    if (m_weapon)
        m_weapon->RenderBullets();
}

float CCharacter::GetCurrentSpeed() const
{
    if (!m_profile)
        return 0.0f;
    if (m_mode == kModeWalk)
        return m_profile->forwardWalkSpeed;
    if (m_mode == kModeRun)
        return m_profile->forwardRunSpeed;
    return 0.0f;
}

void CCharacter::TakeHit()
{
    m_health -= m_playerControlled ? kPlayerHit : kBotHit;
    if (m_health < 0.0f)
        m_health = 0.0f;
}

void CCharacter::SetInputs(float forward, float side, float turn)
{
    m_forward = forward;
    m_side = side;
    m_turn = turn;
}

void CCharacter::UpdateDying(float dt)
{
    if (m_health <= 0.0f && !m_dead) {
        m_deathTimer += dt * kDeathRate;
        const int32_t steps = int32_t(m_deathTimer);
        for (int32_t i = m_deathSteps; i < steps; ++i)
            SetScale(kShrinkScale);
        if (m_deathTimer > kDeathEnd)
            m_dead = true;
        m_deathSteps = steps;
    }
    if (m_dead) {
        m_forward = m_side = m_turn = 0.0f;
        m_fireRequest = false;
    }
}

void CCharacter::ReadPlayerInput(float* k)
{
    CInputManager* input = CInputManager::Instance();
    m_side = input->GetSide();
    m_forward = input->GetForward();
    m_mode = input->IsRightShiftHeld() ? kModeRun : kModeWalk;
    m_turn = input->GetTurn();
    if (input->IsLeftShiftHeld())
        m_mode = kModeStandAim;
    m_fireRequest = input->IsSpaceHeld();
    if (InFirstPerson()) {
        *k = kFirstPersonSpeed;
        m_fireRequest = input->IsLeftButtonHeld();
        m_mode = kModeWalk;
    }
    if (input->TakeKeypad0())
        m_jumpRequest = true;
}

bool CCharacter::PickUnderPointer(V3d* point) const
{
    CCameraManager* cameras = Framework().cameraManager;
    V3d normal;
    return cameras && cameras->PickUnderPointer(point, &normal, nullptr);
}

CAnimationCommand* CCharacter::TakeCommand()
{
    CAnimationCommand* command = AcquireCommand(kAnimationCommandBlend);
    if (!command)
        CStandardApplication::ReportEngineError(
            "No more animation command in animation command pool\n increase "
            "MAX_ANIMATION_COMMANDS to \n(max characters in game) * 3");
    return command;
}

const CAnimationFile* CCharacter::CurrentFirstAnimation() const
{
    return m_currentCommand ? m_currentCommand->entries[0].animation : nullptr;
}

bool CCharacter::Issue(CAnimationCommand* command)
{
    if (!GetPlayer().Play(command)) {
        ReleaseCommand(command);
        return false;
    }
    // The first placeholder never reaches the player: give it back here.
    if (m_currentCommand && !m_currentCommand->entries[0].animation)
        ReleaseCommand(m_currentCommand);
    m_currentCommand = command;
    return true;
}

bool CCharacter::UpdateAim(float dt, CharacterAnimation* fallback)
{
    const CharacterAnimation group = AimGroup(m_mode);
    if (m_playerControlled) {
        PickUnderPointer(&m_aimTarget);
        if (m_weapon)
            m_weapon->SetAimTarget(true, &m_aimTarget);
    }
    AimBlend blend;
    Frame* frame = GetFrame();
    if (!m_weapon || !frame ||
        !ComputeAimBlend(*FrameGetMatrix(frame), m_profile->scale, m_aimTarget, group, &blend)) {
        *fallback = CharacterAnimation(group + kMiddleFront);
        return true;
    }
    CAnimationFile* files[4];
    for (int32_t i = 0; i < 4; ++i)
        files[i] = m_profile->animations[blend.animations[i]];

    if (m_playerControlled) {
        CAnimationCommand* current = m_currentCommand;
        bool same = current && current->entryCount == 4;
        for (int32_t i = 0; same && i < 4; ++i)
            same = current->entries[i].animation == files[i];
        if (same) {
            for (int32_t i = 0; i < 4; ++i)
                current->entries[i].weight = blend.weights[i];
            return false;
        }
    } else {
        m_aimBlendTimer += dt;
        if (!(m_aimBlendTimer > kBotAimInterval))
            return false;
        m_aimBlendTimer = 0.0f;
    }
    if (!files[0] || !files[1] || !files[2] || !files[3]) {
        ReportMissingAnimation();
        return false;
    }
    if (CAnimationCommand* command = TakeCommand()) {
        for (int32_t i = 0; i < 4; ++i)
            command->SetEntry(i, files[i], blend.weights[i]);
        Issue(command);
    }
    return false;
}

void CCharacter::Update(float dt)
{
    // 1-3: dying, then the player's own input (which still reaches a dead player).
    UpdateDying(dt);
    float k = 1.0f;
    if (m_playerControlled)
        ReadPlayerInput(&k);

    MovementChoice choice;
    if (m_profile) {
        // 4: the first "previous" command, never played.
        if (!m_currentCommand)
            m_currentCommand = AcquireCommand(kAnimationCommandBlend);
        // 5-8: the animation this update wants.
        bool changed = false;
        CharacterAnimation wanted = kAnimIdle;
        if (m_mode == kModeCrouchAim || m_mode == kModeStandAim) {
            if (UpdateAim(dt, &wanted))
                changed = m_profile->animations[wanted] != CurrentFirstAnimation() || !m_currentCommand ||
                          m_currentCommand->entryCount != 1;
        } else {
            choice = ChooseMovement(m_mode, m_forward, m_side, k, m_profile->scale);
            wanted = choice.animation;
            changed = m_profile->animations[wanted] != CurrentFirstAnimation();
        }
        // 9: at most one change every 0.1 s.
        m_changeTimer += dt;
        if (changed && m_changeTimer > kChangeInterval) {
            m_changeTimer = 0.0f;
            CAnimationFile* file = m_profile->animations[wanted];
            if (!file) {
                ReportMissingAnimation();
            } else if (CAnimationCommand* command = TakeCommand()) {
                command->SetEntry(0, file, 1.0f);
                command->speed = choice.animationSpeed;
                Issue(command);
            }
        }
    }
    // 10-11: jump, speeds and turn.
    if (m_jumpRequest)
        GetMotion().RequestJump();
    const bool aiming = m_mode == kModeCrouchAim || m_mode == kModeStandAim;
    if (aiming)
        choice = MovementChoice{choice.animation, choice.animationSpeed, 0.0f, 0.0f};
    m_choice = choice;
    GetMotion().SetSpeeds(choice.forwardSpeed, choice.sideSpeed, aiming ? 0.0f : m_turn * kTurnRate);
    // 12: motion, then animation.
    CAnimatedObject::Update(dt);
    // 13: the weapon.
    if (m_weapon) {
        if (!m_playerControlled || !InFirstPerson()) {
            m_weapon->SetFireRequest(m_fireRequest && m_mode >= kModeAlert);
        } else {
            V3d point;
            if (PickUnderPointer(&point))
                m_weapon->SetAimTarget(true, &point);
            m_weapon->SetHandHeld(false);
            m_weapon->SetFireRequest(m_fireRequest);
        }
        m_weapon->Update(dt);
        m_weapon->SetHandHeld(true);
        m_weapon->SetAimTarget(false, nullptr);
    }
    // 14.
    m_fireRequest = false;
    m_jumpRequest = false;
}
