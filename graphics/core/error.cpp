#include "graphics/core/error.h"

#include "graphics/core/coremodules.h"
#include "graphics/core/engine.h"
#include "graphics/core/pluginids.h"

namespace {

int32_t gErrorOffset = -1;
int32_t gErrorOpenCount = 0;

constexpr ErrorRecord kNoError = {0, kErrorNone};

// The pending record, or null while no instance block is allocated (before
// EngineOpen, after EngineClose): errors raised then are not kept.
ErrorRecord* PendingRecord()
{
    if (gErrorOffset < 0 || EngineGetOpenCount() == 0) {
        return nullptr;
    }
    return static_cast<ErrorRecord*>(EngineGetModuleData(gErrorOffset));
}

// The instance block is zeroed when EngineOpen makes it, so until the module
// first opens the record reads {0, 0}: nothing pending either.
bool IsClear(const ErrorRecord* record)
{
    return record->pluginId == 0 && (record->code == kErrorNone || record->code == 0);
}

void* ErrorModuleOpen(void* instance, int32_t offset, int32_t)
{
    gErrorOffset = offset;
    ++gErrorOpenCount;
    *static_cast<ErrorRecord*>(EngineGetModuleData(offset)) = kNoError;
    return instance;
}

void* ErrorModuleClose(void* instance, int32_t, int32_t)
{
    --gErrorOpenCount;
    return instance;
}

} // namespace

const ErrorRecord* ErrorSet(const ErrorRecord* record)
{
    ErrorRecord* pending = PendingRecord();
    if (pending && IsClear(pending)) {
        pending->pluginId = (record->code & 0x80000000u) ? 0 : record->pluginId;
        pending->code = record->code;
    }
    return record;
}

ErrorRecord* ErrorGet(ErrorRecord* out)
{
    ErrorRecord* pending = PendingRecord();
    if (!pending || IsClear(pending)) {
        *out = kNoError;
        return out;
    }
    *out = *pending;
    *pending = kNoError;
    return out;
}

uint32_t ErrorCode(uint32_t code, ...)
{
    return code;
}

void ErrorRaise(uint32_t pluginId, uint32_t code)
{
    ErrorRecord record = {pluginId, ErrorCode(code)};
    ErrorSet(&record);
}

int32_t ErrorModuleAttach()
{
    gErrorOffset = EngineAttachPlugin(sizeof(ErrorRecord), kPluginIdError, ErrorModuleOpen, ErrorModuleClose);
    return gErrorOffset;
}
