// Process-wide state of the runtime (private to ai/runtime).
#pragma once

#include "ai/runtime/host.h"

#include <cstdint>

namespace Zelk {

class CWorld;
class CEntity;
class CBlockAllocator;
class CAisReader;
template <class T> class CFixedList;

struct AiRuntimeGlobals
{
    AiHostInterface hostCopy{};
    const AiHostInterface* hostPointer = nullptr;
    AiRuntimeSettings settings;
    bool initialised = false;
    CWorld** worldTable = nullptr;
    uint32_t usedWorldSlots = 0;
    CWorld* currentWorld = nullptr;
    CFixedList<CEntity>* entityPool = nullptr;
    CBlockAllocator* heapAllocator = nullptr;
    CAisReader* aisReader = nullptr;
    uint32_t anonymousEntityCounter = 0;
    void (*positionHook)(const CVec3*, void*) = nullptr;
    void (*segmentHook)(const CVec3*, const CVec3*, void*) = nullptr;
    int (*pointFilterHook)(const CVec3*) = nullptr;
};

AiRuntimeGlobals& RuntimeState();

} // namespace Zelk

namespace Zelk {

/// Destroys every world of the table and every entity left in the entity pool.
void AiDestroyAllWorldsAndEntities();

} // namespace Zelk
