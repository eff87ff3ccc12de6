#include "physics/core/utils/bitmatrix.h"

#include <cstring>

#include "physics/core/utils/memory.h"

OlpBitMatrix* OlpBitMatrixCreate(uint32_t rows, uint32_t columns)
{
    uint64_t bits = uint64_t(rows) * columns;
    if (rows == 0 || columns == 0 || bits > UINT32_MAX) {
        return nullptr;
    }
    uint32_t words = static_cast<uint32_t>((bits + 31) / 32);
    size_t header = (sizeof(OlpBitMatrix) + 15) / 16 * 16;
    auto* block =
        static_cast<uint8_t*>(OlpAlignedAlloc(header + sizeof(uint32_t) * size_t(words), 16, kOlpMemoryHint));
    if (block == nullptr) {
        return nullptr;
    }
    auto* matrix = reinterpret_cast<OlpBitMatrix*>(block);
    matrix->rows = rows;
    matrix->columns = columns;
    matrix->wordCount = words;
    matrix->words = reinterpret_cast<uint32_t*>(block + header);
    std::memset(matrix->words, 0, sizeof(uint32_t) * size_t(words));
    return matrix;
}

void OlpBitMatrixDestroy(OlpBitMatrix* matrix)
{
    OlpAlignedFree(matrix);
}

OlpBitMatrix* OlpBitMatrixCopy(const OlpBitMatrix* matrix)
{
    OlpBitMatrix* copy = OlpBitMatrixCreate(matrix->rows, matrix->columns);
    if (copy != nullptr) {
        std::memcpy(copy->words, matrix->words, sizeof(uint32_t) * size_t(matrix->wordCount));
    }
    return copy;
}

bool OlpBitMatrixGetBit(const OlpBitMatrix* matrix, uint32_t index)
{
    return index / 32 < matrix->wordCount && (matrix->words[index / 32] >> (index % 32) & 1u) != 0;
}

void OlpBitMatrixSetBit(OlpBitMatrix* matrix, uint32_t index, bool value)
{
    if (index / 32 >= matrix->wordCount) {
        return;
    }
    uint32_t bit = 1u << (index % 32);
    matrix->words[index / 32] =
        value ? (matrix->words[index / 32] | bit) : (matrix->words[index / 32] & ~bit);
}
