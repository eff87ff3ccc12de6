#pragma once
// Private to the spline module and its tests: the shared inverse matrices.

#include <cstdint>

/// Mn (n x n floats, row-major) for n = 4..10 while the plug-in is open; null otherwise.
const float* SplineGetInverseMatrix(int32_t n);
