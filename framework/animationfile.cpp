// The animation registry: a fixed table of shared, counted ".anm" entries.
#include "framework/animationfile.h"

#include <strings.h>

#include <cstdio>

#include "framework/standardapplication.h"
#include "graphics/animation/animation.h"
#include "graphics/shared/skel/win/shellpath.h"

namespace {

struct Registry
{
    CAnimationFile* slots[kMaxAnimations] = {};
    int32_t used = 0;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

CAnimationFile* GetAnimation(const char* fileName)
{
    Registry& registry = TheRegistry();
    if (registry.used >= kMaxAnimations) {
        CStandardApplication::ReportEngineError(
            "Too much animations ; please increase __OLAIGE_ANIMATION_MAX_ANIMATIONS value");
        return nullptr;
    }
    if (!fileName)
        return nullptr;
    for (int32_t i = 0; i < registry.used; ++i) {
        CAnimationFile* entry = registry.slots[i];
        if (entry && strcasecmp(entry->fileName, fileName) == 0) {
            ++entry->referenceCount;
            return entry;
        }
    }
    auto* entry = new CAnimationFile();
    std::snprintf(entry->fileName, sizeof entry->fileName, "%s", fileName);
    char* path = ShellMakeNativePath(fileName);
    entry->animation = AnimationReadFile(path ? path : fileName);
    ShellFreePath(path);
    if (!entry->animation) {
        delete entry;
        return nullptr;
    }
    registry.slots[registry.used++] = entry;
    return entry;
}

void ReleaseAnimation(CAnimationFile* entry)
{
    Registry& registry = TheRegistry();
    for (int32_t i = 0; entry && i < registry.used; ++i) {
        if (registry.slots[i] != entry)
            continue;
        if (--entry->referenceCount <= 0) {
            AnimationDestroy(entry->animation);
            delete entry;
            registry.slots[i] = nullptr;
        }
        return;
    }
}

int32_t AnimationSlotsUsed()
{
    return TheRegistry().used;
}

void ResetAnimationRegistry()
{
    Registry& registry = TheRegistry();
    for (int32_t i = 0; i < registry.used; ++i) {
        if (registry.slots[i]) {
            AnimationDestroy(registry.slots[i]->animation);
            delete registry.slots[i];
            registry.slots[i] = nullptr;
        }
    }
    registry.used = 0;
}
