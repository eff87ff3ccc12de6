#pragma once
// Small geometric and numeric routines shared by the collision volumes, the
// mass properties, the narrow phase and the constraint builder. All values
// are 32-bit floats; a symmetric 3 x 3 matrix is 9 floats, row by row.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"
#include "physics/core/utils/boundingsphere.h"

/// The smallest normal float, the threshold of the normalisations below.
constexpr float kOlpFloatMin = 1.1754944e-38f;
/// The largest float, used as "unbounded".
constexpr float kOlpFloatMax = 3.4028235e38f;

/// out = v / |v| and |v|; when |v|^2 <= kOlpFloatMin, out = (0, 0, 1) and
/// the result is |v|^2. out may alias v.
float OlpVecNormalize(V3d* out, const V3d* v);
/// A vector perpendicular to v (not normalised): the smallest component is
/// zeroed, the other two swapped with one sign changed. Zero for v = 0.
V3d* OlpMathPerpendicular(V3d* out, const V3d* v);
/// Index (0, 1, 2) of the component of largest magnitude; ties go to the later axis.
int32_t OlpMathLargestAxis(const V3d* v);
/// Cyclic Jacobi on a symmetric 3 x 3 matrix: diagonalises `matrix` in place
/// and writes the eigenvectors as the columns of `vectors` (starting from the
/// identity). Stops when the off-diagonal squares sum to at most
/// tolerance^2 (the rotations run in double precision); returns the sweeps
/// left over, at least 1, or 0 when it did not converge.
int32_t OlpMathJacobiEigen(float matrix[9], float vectors[9], int32_t sweeps, float tolerance);
/// True when the matrix's normal and orthogonal errors lie within the
/// engine's matrix tolerances (1e-6 each when none are installed).
bool OlpMathMatrixIsValid(const Matrix* matrix);
/// Incircle of the triangle a, b, c (as a sphere: centre in the plane,
/// radius); returns the length of the longest side. A degenerate triangle
/// gives radius 0.
float OlpMathTriangleIncircle(OlpSphere* out, const V3d* a, const V3d* b, const V3d* c);
