#pragma once
// Recording device entries for 2-D drawing tests: render states kept in a
// table, every 2-D draw (indexed or not) recorded with the states it ran
// under. Install() puts them into the engine instance's device block.

#include <cstdint>
#include <map>
#include <vector>

#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9im2d.h"

struct RecordedDraw
{
    int32_t type;
    std::vector<Im2DVertex> vertices;
    std::vector<uint16_t> indices;
    std::map<int32_t, uintptr_t> states; ///< the render states while drawing
};

struct Recorder
{
    static inline std::map<int32_t, uintptr_t> states;
    static inline std::vector<RecordedDraw> draws;

    static int32_t Set(int32_t state, void* value)
    {
        states[state] = reinterpret_cast<uintptr_t>(value);
        return 1;
    }
    static int32_t Get(int32_t state, void* value)
    {
        if (state == 1) {
            *static_cast<void**>(value) = reinterpret_cast<void*>(states[state]);
        } else {
            *static_cast<uint32_t*>(value) = static_cast<uint32_t>(states[state]);
        }
        return 1;
    }
    static int32_t Draw(int32_t type, Im2DVertex* vertices, int32_t vertexCount, uint16_t* indices,
                        int32_t indexCount)
    {
        draws.push_back({type, {vertices, vertices + vertexCount}, {indices, indices + indexCount}, states});
        return 1;
    }
    static int32_t DrawPrimitive(int32_t type, Im2DVertex* vertices, int32_t vertexCount)
    {
        draws.push_back({type, {vertices, vertices + vertexCount}, {}, states});
        return 1;
    }
    /// Records from now on, starting from the given states.
    static void Install(std::map<int32_t, uintptr_t> initial)
    {
        states = std::move(initial);
        draws.clear();
        DeviceBlock& device = EngineGetInstance()->device;
        device.renderStateSet = Set;
        device.renderStateGet = Get;
        device.im2DRenderIndexedPrimitive = Draw;
        device.im2DRenderPrimitive = DrawPrimitive;
    }
};
