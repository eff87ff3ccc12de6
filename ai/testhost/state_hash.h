// A hash of a simulation's state, for pinning determinism in tests: FNV-1a over
// the little-endian bytes of each value added, floats by their bit patterns, so
// the figure changes with any bit of the state and not with the machine.
#pragma once

#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CStateHash
{
  public:
    /// Adds the four bytes of word, lowest first.
    void AddWord(uint32_t word);
    /// Adds the bit pattern of value (so -0 and 0 differ, as do NaN payloads).
    void AddFloat(float value);
    /// Adds x, y and z.
    void AddVec(const CVec3& v);
    uint64_t Get() const { return m_hash; }

  private:
    uint64_t m_hash = 14695981039346656037ull;
};

} // namespace Zelk
