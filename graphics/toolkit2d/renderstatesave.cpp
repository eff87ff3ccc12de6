#include "graphics/toolkit2d/renderstatesave.h"

#include "graphics/core/instance.h"

void RenderStatesSave(SavedRenderStates* saved, const int32_t* states, int32_t count)
{
    const DeviceBlock& device = EngineGetInstance()->device;
    saved->count = count < kRenderStateSaveMax ? count : kRenderStateSaveMax;
    for (int32_t i = 0; i < saved->count; ++i) {
        saved->states[i] = states[i];
        saved->values[i] = nullptr;
        if (states[i] == kEngineRenderStateTextureRaster) {
            device.renderStateGet(states[i], &saved->values[i]);
        } else {
            uint32_t value = 0;
            device.renderStateGet(states[i], &value);
            saved->values[i] = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
        }
    }
}

void RenderStatesRestore(const SavedRenderStates* saved)
{
    const DeviceBlock& device = EngineGetInstance()->device;
    for (int32_t i = 0; i < saved->count; ++i) {
        device.renderStateSet(saved->states[i], saved->values[i]);
    }
}

int32_t RenderStateSetValue(int32_t state, uint32_t value)
{
    return EngineGetInstance()->device.renderStateSet(state,
                                                      reinterpret_cast<void*>(static_cast<uintptr_t>(value)));
}

int32_t RenderStateSetRaster(void* raster)
{
    return EngineGetInstance()->device.renderStateSet(kEngineRenderStateTextureRaster, raster);
}
