// The project's one random-number generator: values 0..32767 (15 bits), from an
// explicit seed, so that runs repeat. Tests and hosts may install their own
// source in its place; behaviours must never depend on a particular sequence.
#pragma once
#include <cstdint>

namespace Zelk {

inline constexpr int32_t kAiRandomMax = 32767;

/// A replacement source: returns a value in 0..32767.
using AiRandomSource = int32_t (*)(void* user);

/// Restarts the built-in generator from seed (the runtime starts from seed 1).
void AiSeedRandom(uint32_t seed);
/// The next value in 0..32767, from the installed source or the built-in generator.
int32_t AiRandom();
/// Installs a source (null restores the built-in generator). Values outside
/// 0..32767 are folded into the range.
void AiSetRandomSource(AiRandomSource source, void* user);

} // namespace Zelk
