#pragma once
// Saving and restoring engine render states around a draw that changes them
// (the debug character set, the logo): the values are read through the
// device's render-state entry and written back the same way.

#include <cstdint>

constexpr int32_t kRenderStateSaveMax = 12;
/// Engine render state 1, the stage-0 texture raster: the one state whose
/// value is a pointer.
constexpr int32_t kEngineRenderStateTextureRaster = 1;

struct SavedRenderStates
{
    int32_t count;
    int32_t states[kRenderStateSaveMax];
    void* values[kRenderStateSaveMax]; ///< a raster, or a 32-bit value in a pointer
};

/// Reads `count` (<= 12) states into `saved`.
void RenderStatesSave(SavedRenderStates* saved, const int32_t* states, int32_t count);
/// Writes the saved values back, in the order they were saved.
void RenderStatesRestore(const SavedRenderStates* saved);
/// Sets one engine render state to a 32-bit value; non-zero on success.
int32_t RenderStateSetValue(int32_t state, uint32_t value);
/// Sets the stage-0 texture raster; non-zero on success.
int32_t RenderStateSetRaster(void* raster);
