#include "ai/behaviours/permutation_counter.h"
#include "ai/runtime/random.h"

namespace Zelk {

void CPermutationCounter::Reset(int16_t radix, int16_t digitCount)
{
    m_radix = radix;
    m_digitCount = digitCount < 0 ? 0 : digitCount;
    if (size_t(m_digitCount) > m_digits.size())
        m_digitCount = int16_t(m_digits.size());
    Clear();
}

void CPermutationCounter::Clear()
{
    for (uint16_t& d : m_digits)
        d = 0;
}

bool CPermutationCounter::IsPermutation() const
{
    for (int32_t a = 0; a < m_digitCount; ++a)
        for (int32_t b = a + 1; b < m_digitCount; ++b)
            if (m_digits[size_t(a)] == m_digits[size_t(b)])
                return false;
    return true;
}

double CPermutationCounter::Cost(const std::vector<std::vector<float>>& matrix) const
{
    if (!IsPermutation())
        return 0.0;
    double sum = 0.0;
    for (int32_t j = 0; j < m_digitCount; ++j) {
        const size_t row = m_digits[size_t(j)];
        if (row < matrix.size() && size_t(j) < matrix[row].size())
            sum += double(matrix[row][size_t(j)]);
    }
    return sum;
}

void CPermutationCounter::Increment(int32_t start)
{
    for (int32_t j = start < 0 ? 0 : start; j < m_digitCount; ++j) {
        if (int32_t(m_digits[size_t(j)]) < int32_t(m_radix) - 1) {
            ++m_digits[size_t(j)];
            return;
        }
        m_digits[size_t(j)] = 0;
    }
}

void CPermutationCounter::Randomize()
{
    if (m_radix < 1)
        return;
    for (int32_t j = 0; j < m_digitCount; ++j)
        m_digits[size_t(j)] = uint16_t(AiRandom() % m_radix);
}

bool CPermutationCounter::SameDigits(const CPermutationCounter& other) const
{
    if (m_digitCount != other.m_digitCount)
        return false;
    for (int32_t j = 0; j < m_digitCount; ++j)
        if (m_digits[size_t(j)] != other.m_digits[size_t(j)])
            return false;
    return true;
}

} // namespace Zelk
