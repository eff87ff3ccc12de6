// The fixed pool of animation commands.
#include "framework/animationcommand.h"

#include <memory>

namespace {

struct CommandPool
{
    CAnimationCommand commands[kMaxAnimationCommands];
    bool targetsMade = false;
};

struct PoolState
{
    std::unique_ptr<CommandPool> pool;
    int32_t users = 0;
};

PoolState& State()
{
    static PoolState state;
    return state;
}

} // namespace

CAnimationCommand::~CAnimationCommand()
{
    for (Entry& entry : entries)
        delete entry.interpolator;
}

void CAnimationCommand::Reset()
{
    for (Entry& entry : entries) {
        entry.animation = nullptr;
        entry.weight = 0.0f;
    }
    entryCount = 0;
    loop = true;
    speed = 1.0f;
    finished = false;
    loopCounter = 0;
}

void CAnimationCommand::SetEntry(int32_t index, CAnimationFile* animation, float weight)
{
    if (index < 0 || index >= kMaxEntries)
        return;
    entries[index].animation = animation;
    entries[index].weight = weight;
    if (entryCount <= index)
        entryCount = index + 1;
}

CAnimationCommand* AcquireCommand(int32_t kind)
{
    CommandPool* pool = State().pool.get();
    if (kind != kAnimationCommandBlend || !pool)
        return nullptr;
    for (CAnimationCommand& command : pool->commands) {
        if (command.free) {
            command.Reset();
            command.free = false;
            return &command;
        }
    }
    return nullptr;
}

void ReleaseCommand(CAnimationCommand* command)
{
    if (command)
        command->free = true;
}

int32_t AnimationCommandsInUse()
{
    int32_t used = 0;
    if (CommandPool* pool = State().pool.get()) {
        for (const CAnimationCommand& command : pool->commands)
            used += command.free ? 0 : 1;
    }
    return used;
}

void AnimationCommandPoolAddUser()
{
    PoolState& state = State();
    if (!state.pool)
        state.pool = std::make_unique<CommandPool>();
    ++state.users;
}

void AnimationCommandPoolRemoveUser()
{
    PoolState& state = State();
    if (state.users > 0 && --state.users == 0)
        state.pool.reset();
}

void AnimationCommandPoolMakeTargets(const CAnimationHierarchy& layout)
{
    CommandPool* pool = State().pool.get();
    if (!pool || pool->targetsMade || !layout.GetHierarchy())
        return;
    for (CAnimationCommand& command : pool->commands) {
        for (CAnimationCommand::Entry& entry : command.entries)
            entry.interpolator = new CAnimationHierarchy(layout);
    }
    pool->targetsMade = true;
}
