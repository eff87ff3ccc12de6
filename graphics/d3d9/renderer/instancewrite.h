#pragma once
// Helpers shared by the atomic and sector instancing (private to the
// renderer): locking the streams of an instanced-data record, finding where
// an element lives in the locked memory, colours, unlocking.

#include <cstdint>

#include "graphics/d3d9/renderer/instanceddata.h"

struct RGBA;

/// Room for the longest declaration (64 elements) and its end element.
constexpr uint32_t kInstanceMaxElements = 65;

/// The locked memory of each stream (null: not locked).
struct InstanceLocks
{
    uint8_t* memory[2] = {nullptr, nullptr};
};

/// Where one element is written: memory of vertex 0, its type and the stride;
/// memory is null when the element is absent or its stream is not locked.
struct InstanceTarget
{
    uint8_t* memory;
    uint32_t type;
    uint32_t stride;
};

/// The declaration's elements (ended by type 17); the number of streams used.
uint32_t InstanceDeclarationElements(InstancedData* data, D3DVERTEXELEMENT9* elements);
/// Locks the streams: all of them at a first instancing (`changed` becomes
/// 0xFFF), else those holding changed data (a dynamic stream is discarded and
/// all of its data counts as changed). True.
bool InstanceLockStreams(InstancedData* data, uint32_t streamCount, int32_t reinstance, uint32_t* changed,
                         InstanceLocks* locks);
void InstanceUnlockStreams(InstancedData* data, InstanceLocks* locks);
/// The element of `usage` and `usageIndex`.
InstanceTarget InstanceFindElement(InstancedData* data, const D3DVERTEXELEMENT9* elements,
                                   const InstanceLocks* locks, uint32_t usage, uint32_t usageIndex);
/// Pre-lit colours per mesh (each mesh's vertex-alpha flag set from them), or
/// without colours every vertex-alpha flag cleared at a first instancing.
void InstanceWriteColours(InstancedData* data, const D3DVERTEXELEMENT9* elements, const InstanceLocks* locks,
                          const RGBA* colours, uint32_t changed, int32_t reinstance);
