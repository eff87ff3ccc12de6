#pragma once
// Bit matrices: rows x columns bits addressed by one index,
// stored as one block: the header, then (rows x columns + 31) / 32 words.
// Callers index them as they document (the far field's group exclusion
// reads bit a + b x columns for groups a and b).

#include <cstdint>

struct OlpBitMatrix
{
    uint32_t rows;
    uint32_t columns;
    uint32_t wordCount; ///< (rows x columns + 31) / 32
    uint32_t* words;    ///< right after the header
};

/// A zeroed matrix (hint 0x30900); null when a size is 0, the bit count
/// overflows 32 bits, or the memory refuses.
OlpBitMatrix* OlpBitMatrixCreate(uint32_t rows, uint32_t columns);
/// Frees a matrix of OlpBitMatrixCreate; null is ignored.
void OlpBitMatrixDestroy(OlpBitMatrix* matrix);
/// A new matrix with the same size and bits; null when the memory refuses.
OlpBitMatrix* OlpBitMatrixCopy(const OlpBitMatrix* matrix);
/// Bit `index` (false beyond the matrix).
bool OlpBitMatrixGetBit(const OlpBitMatrix* matrix, uint32_t index);
/// Sets or clears bit `index` (ignored beyond the matrix).
void OlpBitMatrixSetBit(OlpBitMatrix* matrix, uint32_t index, bool value);
