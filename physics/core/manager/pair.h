#pragma once
// The pair record that the object manager builds for the pipeline: two
// ends, each an object (or one of the context's own volumes) with a part
// selector, and a word of pair data.

#include <cstdint>

/// Selector of an end that is the whole object.
constexpr uint16_t kOlpPairWholeObject = 0x8000;
/// Selector of an end that is one of the context's own volumes.
constexpr uint16_t kOlpPairVolume = 0xFFFF;

struct OlpPair
{
    void* a;
    uint16_t selectorA;
    void* b;
    uint16_t selectorB;
    uint32_t data; ///< 0 when built
};
