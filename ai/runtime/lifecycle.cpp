// Runtime start and termination: the world table and the entity node pool.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/fixed_list.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/runtime_state.h"

namespace Zelk {

bool AiRuntimeInitialize(const AiRuntimeSettings& settings)
{
    AiRuntimeGlobals& g = RuntimeState();
    if (g.initialised) {
        return false;
    }
    g.settings = settings;
    if (!AiGetRootAllocator()) {
        AiSetRootAllocator(AiGetCurrentAllocator());
    }
    g.usedWorldSlots = 0;
    if (settings.worldLimit) {
        g.worldTable = static_cast<CWorld**>(AiAlloc(sizeof(CWorld*) * settings.worldLimit));
        if (!g.worldTable) {
            return false;
        }
        for (uint32_t i = 0; i < settings.worldLimit; ++i) {
            g.worldTable[i] = nullptr;
        }
    }
    if (settings.entityLimit) {
        g.entityPool = new CFixedList<CEntity>(settings.entityLimit);
        if (!g.entityPool || g.entityPool->GetCapacity() != settings.entityLimit) {
            delete g.entityPool;
            g.entityPool = nullptr;
            AiFree(g.worldTable);
            g.worldTable = nullptr;
            return false;
        }
    }
    g.initialised = true;
    return true;
}

void AiRuntimeTerminate()
{
    AiRuntimeGlobals& g = RuntimeState();
    AiDestroyAllWorldsAndEntities();
    AiFree(g.worldTable);
    g.worldTable = nullptr;
    delete g.entityPool;
    g.entityPool = nullptr;
    g.usedWorldSlots = 0;
    g.currentWorld = nullptr;
    delete g.aisReader;
    g.aisReader = nullptr;
    g.anonymousEntityCounter = 0;
    g.initialised = false;
}

} // namespace Zelk
