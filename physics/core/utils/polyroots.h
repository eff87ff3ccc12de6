#pragma once
// Real roots of polynomials of small degree within an interval, found by
// isolating them between the roots of the successive derivatives.

#include <cstdint>

/// Largest degree OlpMathPolyRoots accepts.
constexpr int32_t kOlpPolyMaxDegree = 8;

/// Writes the real roots in [low, high] of c[0] + c[1] x + ... + c[degree]
/// x^degree in ascending order (a double root once) and returns their
/// number (at most `degree`). Leading zero coefficients are dropped; a
/// constant has no roots; a degree above kOlpPolyMaxDegree gives 0.
int32_t OlpMathPolyRoots(float* roots, float low, float high, int32_t degree, const float* coefficients);
/// One root of the polynomial in [low, high] whose end values `valueLow` and
/// `valueHigh` differ in sign (or one is zero): Newton steps, at most 23,
/// falling back to bisection whenever a step leaves the bracket; stops when
/// step^2 < 1.44e-14 x^2.
double OlpMathPolyRefine(const double* coefficients, int32_t degree, double low, double high, double valueLow,
                         double valueHigh);
