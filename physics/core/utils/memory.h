#pragma once
// The physics engine's memory: 16-byte aligned blocks over the graphics
// engine's memory functions, and a byte fill.

#include <cstddef>
#include <cstdint>

/// Memory hint of every lasting physics block.
constexpr uint32_t kOlpMemoryHint = 0x30900;
/// Memory hint of scratch arrays freed within one call.
constexpr uint32_t kOlpScratchHint = 0x10900;

/// `size` bytes at an address divisible by `alignment` (a power of two, at
/// most 255), taken from the engine memory with `hint`; null when the engine
/// memory refuses. Free it with OlpAlignedFree.
void* OlpAlignedAlloc(size_t size, size_t alignment, uint32_t hint);
/// Frees a block of OlpAlignedAlloc; null is ignored.
void OlpAlignedFree(void* block);
/// Fills `count` bytes at `address` with `value`.
void OlpMemFill(void* address, uint8_t value, size_t count);
