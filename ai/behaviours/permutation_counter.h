// An odometer over digit arrays, read as assignments: digit j names the member
// (by position in the team's member list) that takes guard slot j.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CPermutationCounter
{
  public:
    virtual ~CPermutationCounter() = default;

    /// Room for capacity digits (allocated once).
    void Allocate(int32_t capacity) { m_digits.assign(size_t(capacity < 0 ? 0 : capacity), 0); }
    /// radix values per digit, digitCount digits (clamped to the allocated room), all 0.
    void Reset(int16_t radix, int16_t digitCount);
    /// Every digit 0.
    void Clear();
    /// True when no two digits are equal (true for fewer than two digits).
    bool IsPermutation() const;
    /// Sum of matrix[digit j][j] over the digits when they form a permutation, else 0.
    double Cost(const std::vector<std::vector<float>>& matrix) const;
    /// Odometer step from digit start upward: digits at radix - 1 become 0 and carry;
    /// the counter wraps to all zeros after the last array.
    void Increment(int32_t start);
    /// Every digit a random value modulo the radix (the project's generator).
    void Randomize();
    bool SameDigits(const CPermutationCounter& other) const;

    int16_t GetRadix() const { return m_radix; }
    int16_t GetDigitCount() const { return m_digitCount; }
    uint16_t GetDigit(int32_t j) const { return m_digits[size_t(j)]; }
    void SetDigit(int32_t j, uint16_t value) { m_digits[size_t(j)] = value; }

  private:
    int16_t m_radix = 0;
    int16_t m_digitCount = 0;
    std::vector<uint16_t> m_digits;
};

} // namespace Zelk
