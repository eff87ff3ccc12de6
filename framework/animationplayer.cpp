// The animation player: two command slots, cross-fade, 1-, 2- and 4-way blends.
#include "framework/animationplayer.h"

#include <utility>

#include "framework/animationcommand.h"

CAnimationPlayer::CAnimationPlayer()
{
    AnimationCommandPoolAddUser();
    m_holdsPool = true;
}

CAnimationPlayer::~CAnimationPlayer()
{
    Unload();
}

void CAnimationPlayer::Init(CAnimationHierarchy* output)
{
    m_output = output;
    DestroyTargets();
    if (!output || !output->GetHierarchy())
        return;
    for (Slot& slot : m_slots) {
        for (CAnimationHierarchy*& target : slot.targets)
            target = new CAnimationHierarchy(*output);
    }
    AnimationCommandPoolMakeTargets(*output);
}

bool CAnimationPlayer::Play(CAnimationCommand* command)
{
    if (!command)
        return false;
    if (command->GetKind() != kAnimationCommandBlend)
        return true;
    if (!m_output || !m_current->targets[0])
        return false;
    // Every active entry must play on this skeleton: a command's blend
    // targets come from the first hierarchy the pool saw.
    const int32_t nodes = m_output->NodeCount();
    bool any = false;
    for (int32_t i = 0; i < command->entryCount; ++i) {
        if (!command->IsActive(i))
            continue;
        const CAnimationHierarchy* target = command->entries[i].interpolator;
        if (!target || target->NodeCount() != nodes || !m_output->Fits(command->entries[i].animation))
            return false;
        any = true;
    }
    if (!any)
        return false;

    // Playing the current command again restarts it in place.
    if (command != m_current->command) {
        if (m_previous->command != command)
            ReleaseCommand(m_previous->command);
        m_previous->command = nullptr;
        std::swap(m_current, m_previous);
        m_current->command = command;
    }
    for (int32_t i = 0; i < command->entryCount; ++i) {
        if (!command->IsActive(i))
            continue;
        const CAnimationFile* animation = command->entries[i].animation;
        command->entries[i].interpolator->SetAnimation(animation);
        m_output->SetAnimation(animation);
        for (CAnimationHierarchy* target : m_current->targets)
            target->SetAnimation(animation);
    }
    m_crossFade = 0.0f;
    return true;
}

void CAnimationPlayer::Advance(Slot& slot, float dt)
{
    CAnimationCommand* command = slot.command;
    if (!command || command->GetKind() != kAnimationCommandBlend || command->finished)
        return;
    CAnimationHierarchy* active[CAnimationCommand::kMaxEntries] = {};
    float weights[CAnimationCommand::kMaxEntries] = {};
    int32_t count = 0;
    bool wrapped = false;
    for (int32_t i = 0; i < command->entryCount; ++i) {
        if (!command->IsActive(i))
            continue;
        CAnimationHierarchy* entry = command->entries[i].interpolator;
        const float before = entry->GetTime();
        entry->AddTime(dt * command->speed);
        wrapped = wrapped || entry->GetTime() < before;
        active[count] = entry;
        weights[count] = command->entries[i].weight;
        ++count;
    }
    if (wrapped) {
        ++command->loopCounter;
        // A command that does not loop holds its last pose after one play.
        command->finished = !command->loop;
    }

    CAnimationHierarchy& result = *slot.targets[0];
    switch (count) {
    case 1:
        result.CopyFrom(*active[0]);
        break;
    case 2:
        result.Blend(*active[0], *active[1], weights[0]);
        break;
    case 4:
        slot.targets[1]->Blend(*active[0], *active[1], weights[0] / (weights[0] + weights[1]));
        slot.targets[2]->Blend(*active[2], *active[3], weights[2] / (weights[2] + weights[3]));
        result.Blend(*slot.targets[1], *slot.targets[2], weights[0] + weights[1]);
        break;
    default: // three entries combine nothing
        break;
    }
}

void CAnimationPlayer::Update(float dt)
{
    if (!m_output || !m_current->targets[0])
        return;
    Advance(*m_current, dt);
    Advance(*m_previous, dt);
    if (m_crossFade < 1.0f) {
        m_crossFade += dt * kCrossFadeRate;
        if (m_crossFade > 1.0f)
            m_crossFade = 1.0f;
    }
    if (m_current->command) {
        if (m_previous->command && m_crossFade != 1.0f)
            m_output->Blend(*m_current->targets[0], *m_previous->targets[0], 1.0f - m_crossFade);
        else
            m_output->CopyFrom(*m_current->targets[0]);
    }
    m_output->UpdateMatrices();
}

bool CAnimationPlayer::Unload()
{
    for (Slot& slot : m_slots) {
        ReleaseCommand(slot.command);
        slot.command = nullptr;
    }
    DestroyTargets();
    m_output = nullptr;
    if (m_holdsPool) {
        m_holdsPool = false;
        AnimationCommandPoolRemoveUser();
    }
    return true;
}

void CAnimationPlayer::DestroyTargets()
{
    for (Slot& slot : m_slots) {
        for (CAnimationHierarchy*& target : slot.targets) {
            delete target;
            target = nullptr;
        }
    }
}
