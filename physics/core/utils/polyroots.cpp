#include "physics/core/utils/polyroots.h"

#include <cmath>

namespace {

double Evaluate(const double* c, int32_t degree, double x)
{
    double value = c[degree];
    for (int32_t i = degree - 1; i >= 0; --i) {
        value = value * x + c[i];
    }
    return value;
}

double EvaluateDerivative(const double* c, int32_t degree, double x)
{
    double value = degree * c[degree];
    for (int32_t i = degree - 1; i >= 1; --i) {
        value = value * x + i * c[i];
    }
    return value;
}

/// Roots of the polynomial of `degree` >= 2 in [low, high], given the
/// sorted roots of its derivative there: each interval between them holds
/// at most one root, present when the end values differ in sign.
int32_t RootsBetweenCriticalPoints(double* roots, const double* c, int32_t degree, double low, double high,
                                   const double* critical, int32_t criticalCount)
{
    int32_t count = 0;
    double left = low;
    double valueLeft = Evaluate(c, degree, left);
    for (int32_t i = 0; i <= criticalCount; ++i) {
        double right = i < criticalCount ? critical[i] : high;
        double valueRight = Evaluate(c, degree, right);
        double root = 0.0;
        bool found = false;
        if (valueLeft == 0.0) {
            root = left;
            found = true;
        } else if (valueRight == 0.0) {
            root = right;
            found = true;
        } else if ((valueLeft < 0.0) != (valueRight < 0.0)) {
            root = OlpMathPolyRefine(c, degree, left, right, valueLeft, valueRight);
            found = true;
        }
        if (found && (count == 0 || root > roots[count - 1])) {
            roots[count++] = root;
        }
        left = right;
        valueLeft = valueRight;
    }
    return count;
}

} // namespace

double OlpMathPolyRefine(const double* coefficients, int32_t degree, double low, double high, double valueLow,
                         double valueHigh)
{
    if (valueLow == 0.0) {
        return low;
    }
    if (valueHigh == 0.0) {
        return high;
    }
    // Keep the bracket oriented so that the value at `negative` is below 0.
    double negative = valueLow < 0.0 ? low : high;
    double positive = valueLow < 0.0 ? high : low;
    double x = 0.5 * (low + high);
    for (int step = 0; step < 23; ++step) {
        double value = Evaluate(coefficients, degree, x);
        if (value == 0.0) {
            break;
        }
        if (value < 0.0) {
            negative = x;
        } else {
            positive = x;
        }
        double slope = EvaluateDerivative(coefficients, degree, x);
        double next = slope != 0.0 ? x - value / slope : negative;
        double lo = negative < positive ? negative : positive;
        double hi = negative < positive ? positive : negative;
        if (!(next > lo && next < hi)) {
            next = 0.5 * (negative + positive);
        }
        double move = next - x;
        x = next;
        if (move * move < 1.44e-14 * x * x) {
            break;
        }
    }
    return x;
}

int32_t OlpMathPolyRoots(float* roots, float low, float high, int32_t degree, const float* coefficients)
{
    while (degree > 0 && coefficients[degree] == 0.0f) {
        --degree;
    }
    if (degree < 1 || degree > kOlpPolyMaxDegree || !(low <= high)) {
        return 0;
    }
    // derivatives[k] is the polynomial of degree k: the (degree - k)-th
    // derivative of the input, scaled to keep its roots.
    double derivatives[kOlpPolyMaxDegree + 1][kOlpPolyMaxDegree + 1];
    for (int32_t i = 0; i <= degree; ++i) {
        derivatives[degree][i] = coefficients[i];
    }
    for (int32_t k = degree - 1; k >= 1; --k) {
        for (int32_t i = 0; i <= k; ++i) {
            derivatives[k][i] = (i + 1) * derivatives[k + 1][i + 1];
        }
    }
    double found[kOlpPolyMaxDegree];
    double next[kOlpPolyMaxDegree];
    int32_t count = 0;
    double linearRoot = -derivatives[1][0] / derivatives[1][1];
    if (linearRoot >= low && linearRoot <= high) {
        found[count++] = linearRoot;
    }
    for (int32_t k = 2; k <= degree; ++k) {
        count = RootsBetweenCriticalPoints(next, derivatives[k], k, low, high, found, count);
        for (int32_t i = 0; i < count; ++i) {
            found[i] = next[i];
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        roots[i] = static_cast<float>(found[i]);
    }
    return count;
}
