#include "graphics/animation/spline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/animation/animationids.h"
#include "graphics/animation/chunkfile.h"
#include "graphics/animation/splineinternal.h"
#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kHintSpline = kMemoryHintObject | kChunkSpline;
constexpr uint32_t kHintBasis = kMemoryHintEngine | kPluginIdSpline;
constexpr uint32_t kHintMatrix = kMemoryHintObject | kPluginIdSpline;
constexpr int32_t kTableEntries = 257;
constexpr int32_t kMinMatrix = 4;
constexpr int32_t kMaxMatrix = 10;
constexpr int32_t kBodyHeadBytes = 40;

/// The basis tables in their block: B0..B3 then D0..D3, 257 entries each.
enum BasisTable
{
    kB0,
    kB1,
    kB2,
    kB3,
    kD0,
    kD1,
    kD2,
    kD3,
    kBasisTableCount
};

/// Shared by every spline of the process: built at the first plug-in open,
/// freed at the last close.
struct SplineTables
{
    int32_t openCount;
    float* basis;
    float* inverse[kMaxMatrix + 1]; ///< Mn for n = 4..10, n x n row-major
} gTables;

const float* Basis(BasisTable table)
{
    return gTables.basis + table * kTableEntries;
}

void FillBasis(float* basis)
{
    for (int32_t i = 0; i < kTableEntries; ++i) {
        const float u = static_cast<float>(i) / 256.0f;
        const float u2 = u * u;
        const float u3 = u2 * u;
        const float v = 1.0f - u;
        basis[kB0 * kTableEntries + i] = u3 / 6.0f;
        basis[kB1 * kTableEntries + i] = (-3.0f * u3 + 3.0f * u2 + 3.0f * u + 1.0f) / 6.0f;
        basis[kB2 * kTableEntries + i] = (3.0f * u3 - 6.0f * u2 + 4.0f) / 6.0f;
        basis[kB3 * kTableEntries + i] = v * v * v / 6.0f;
        basis[kD0 * kTableEntries + i] = u2 / 2.0f;
        basis[kD1 * kTableEntries + i] = (-3.0f * u2 + 2.0f * u + 1.0f) / 2.0f;
        basis[kD2 * kTableEntries + i] = (3.0f * u2 - 4.0f * u) / 2.0f;
        basis[kD3 * kTableEntries + i] = -(v * v) / 2.0f;
    }
}

/// Mn, the inverse of An (the interpolation matrix of an open spline of n
/// points with its end points' neighbours mirrored), by Gauss-Jordan
/// elimination in double precision; An is diagonally dominant, so no pivoting.
void FillInverse(float* out, int32_t n)
{
    double a[kMaxMatrix][kMaxMatrix] = {};
    double inv[kMaxMatrix][kMaxMatrix] = {};
    for (int32_t r = 0; r < n; ++r) {
        a[r][r] = 4.0 / 6.0;
        inv[r][r] = 1.0;
        if (r > 0) {
            a[r][r - 1] = 1.0 / 6.0;
        }
        if (r + 1 < n) {
            a[r][r + 1] = 1.0 / 6.0;
        }
    }
    a[0][1] = 2.0 / 6.0;
    a[n - 1][n - 2] = 2.0 / 6.0;
    for (int32_t c = 0; c < n; ++c) {
        const double pivot = a[c][c];
        for (int32_t k = 0; k < n; ++k) {
            a[c][k] /= pivot;
            inv[c][k] /= pivot;
        }
        for (int32_t r = 0; r < n; ++r) {
            if (r == c || a[r][c] == 0.0) {
                continue;
            }
            const double f = a[r][c];
            for (int32_t k = 0; k < n; ++k) {
                a[r][k] -= f * a[c][k];
                inv[r][k] -= f * inv[c][k];
            }
        }
    }
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t c = 0; c < n; ++c) {
            out[r * n + c] = static_cast<float>(inv[r][c]);
        }
    }
}

void FreeTables()
{
    for (int32_t n = kMaxMatrix; n >= kMinMatrix; --n) {
        MemoryFree(gTables.inverse[n]);
        gTables.inverse[n] = nullptr;
    }
    MemoryFree(gTables.basis);
    gTables.basis = nullptr;
}

void* SplineOpen(void* instance, int32_t, int32_t)
{
    if (gTables.openCount++ > 0) {
        return instance;
    }
    gTables.basis =
        static_cast<float*>(MemoryAllocate(sizeof(float) * kTableEntries * kBasisTableCount, kHintBasis));
    bool ok = gTables.basis != nullptr;
    if (ok) {
        FillBasis(gTables.basis);
    }
    for (int32_t n = kMinMatrix; ok && n <= kMaxMatrix; ++n) {
        gTables.inverse[n] = static_cast<float*>(MemoryAllocate(sizeof(float) * n * n, kHintMatrix));
        ok = gTables.inverse[n] != nullptr;
        if (ok) {
            FillInverse(gTables.inverse[n], n);
        }
    }
    if (!ok) {
        ErrorRaise(0, kErrorOutOfMemory);
        ErrorRaise(kPluginIdSpline, kErrorSplineTablesFailed);
        FreeTables();
        gTables.openCount = 0;
        return nullptr;
    }
    return instance;
}

void* SplineClose(void* instance, int32_t, int32_t)
{
    if (gTables.openCount > 0 && --gTables.openCount == 0) {
        FreeTables();
    }
    return instance;
}

bool TypeIsValid(uint32_t type)
{
    return type == kSplineOpen || type == kSplineClosed;
}

int32_t GivenCount(const Spline* spline)
{
    if (!TypeIsValid(spline->type)) {
        ErrorRaise(kPluginIdSpline, kErrorSplineBadType);
        return 0;
    }
    return static_cast<int32_t>(spline->storedCount) - (spline->type == kSplineOpen ? 2 : 3);
}

/// sum += weight (p - origin).
void AddScaledFrom(V3d* sum, float weight, const V3d& p, const V3d& origin)
{
    sum->x += weight * (p.x - origin.x);
    sum->y += weight * (p.y - origin.y);
    sum->z += weight * (p.z - origin.z);
}

void AddScaled(V3d* sum, float weight, const V3d& p)
{
    sum->x += weight * p.x;
    sum->y += weight * p.y;
    sum->z += weight * p.z;
}

/// Open spline: solves An s = P through Mm, exactly for N <= 10 and with a
/// sliding window of 10 points beyond; the mirrored ends give zero slope.
void DeriveOpen(Spline* spline, int32_t n)
{
    const int32_t m = std::min(n, kMaxMatrix);
    const int32_t h = m / 2;
    const float* inverse = gTables.inverse[m];
    const V3d origin = spline->points[0];
    V3d* s = spline->stored;
    for (int32_t i = 0; i < n; ++i) {
        int32_t row;
        int32_t first;
        if (i < h) {
            row = i;
            first = 0;
        } else if (i < n - h) {
            row = h;
            first = i - h;
        } else {
            row = m - n + i;
            first = n - m;
        }
        // Every row of weights sums to 1, so the sum is taken over offsets
        // from the first point: coincident points give identical stored
        // points, and far-off curves keep their precision.
        const float* weights = inverse + row * m;
        V3d sum = origin;
        for (int32_t j = 0; j < m; ++j) {
            AddScaledFrom(&sum, weights[j], spline->points[first + j], origin);
        }
        s[i + 1] = sum;
    }
    s[0] = s[2];
    s[n + 1] = s[n - 1];
}

/// Closed spline: each stored point is the cyclic inverse's row applied to
/// the window of m points around its given point.
void DeriveClosed(Spline* spline, int32_t n)
{
    const int32_t m = std::min(n, kMaxMatrix);
    const int32_t h = m / 2;
    // Integer recurrences for the inverse of the cyclic (1, 4, 1) / 6 matrix.
    int32_t a[kMaxMatrix / 2 + 1];
    int32_t divisor;
    if (m % 2 == 0) {
        int32_t d0 = 1;
        int32_t d1 = 4;
        for (int32_t k = 1; k < h - 1; ++k) {
            const int32_t d2 = 4 * d1 - d0;
            d0 = d1;
            d1 = d2;
        }
        divisor = d1;
        a[0] = 1;
        a[1] = 2;
    } else {
        int32_t g0 = 1;
        int32_t g1 = 3;
        for (int32_t k = 1; k < h; ++k) {
            const int32_t g2 = 4 * g1 - g0;
            g0 = g1;
            g1 = g2;
        }
        divisor = g1;
        a[0] = 1;
        a[1] = 5;
    }
    for (int32_t k = 1; k < h; ++k) {
        a[k + 1] = 4 * a[k] - a[k - 1];
    }
    for (int32_t j = h - 1; j >= 0; j -= 2) {
        a[j] = -a[j];
    }
    const float f = 1.0f / static_cast<float>(divisor);
    float c[kMaxMatrix / 2 + 1];
    for (int32_t k = 0; k <= h; ++k) {
        c[k] = f * static_cast<float>(a[h - k]);
    }
    const int32_t behind = (m + 1) / 2 - 1;
    V3d* s = spline->stored;
    const V3d* p = spline->points;
    // The coefficients sum to 1: offsets from the first point, as for open splines.
    const V3d origin = p[0];
    for (int32_t i = 0; i < n; ++i) {
        V3d sum = origin;
        AddScaledFrom(&sum, c[0], p[i], origin);
        for (int32_t k = 1; k <= h; ++k) {
            AddScaledFrom(&sum, c[k], p[(i + k) % n], origin);
        }
        for (int32_t k = 1; k <= behind; ++k) {
            // The non-negative residue: i - k may be below zero.
            AddScaledFrom(&sum, c[k], p[((i - k) % n + n) % n], origin);
        }
        s[i + 1] = sum;
    }
    s[0] = s[n];
    s[n + 1] = s[1];
    s[n + 2] = s[2];
}

void DeriveStored(Spline* spline)
{
    const int32_t n = GivenCount(spline);
    if (spline->type == kSplineOpen) {
        DeriveOpen(spline, n);
    } else {
        DeriveClosed(spline, n);
    }
}

/// One block for the record and the stored points, plus the points copy.
Spline* SplineAllocate(int32_t count, uint32_t type)
{
    const uint32_t stored = static_cast<uint32_t>(count) + (type == kSplineOpen ? 2 : 3);
    const size_t bytes = sizeof(Spline) + sizeof(V3d) * stored;
    auto* spline = static_cast<Spline*>(MemoryAllocate(bytes, kHintSpline));
    if (spline == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    spline->points = static_cast<V3d*>(MemoryAllocate(sizeof(V3d) * static_cast<size_t>(count), kHintSpline));
    if (spline->points == nullptr) {
        MemoryFree(spline);
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(V3d) * static_cast<size_t>(count)));
        return nullptr;
    }
    spline->objectType = static_cast<uint8_t>(kChunkSpline);
    spline->storedCount = stored;
    spline->type = type;
    std::memset(spline->name, 0, sizeof(spline->name));
    spline->stored = reinterpret_cast<V3d*>(reinterpret_cast<uint8_t*>(spline) + sizeof(Spline));
    return spline;
}

bool ControlPointInRange(const Spline* spline, int32_t i)
{
    if (i < 0 || i >= GivenCount(spline)) {
        ErrorRaise(0, ErrorCode(kErrorBadArgument, "control point out of range"));
        return false;
    }
    return true;
}

/// The body of chunk 0x0C when at most `limit` bytes can be its body (-1:
/// unknown). Counts are checked against the limit before anything is allocated.
Spline* ReadBody(Stream* stream, int64_t limit)
{
    char name[32];
    uint32_t count = 0;
    uint32_t type = 0;
    if (StreamRead(stream, name, sizeof(name)) != sizeof(name) || !StreamReadUInt32(stream, &count) ||
        !StreamReadUInt32(stream, &type)) {
        return nullptr;
    }
    const int64_t bytes = static_cast<int64_t>(count) * static_cast<int64_t>(sizeof(V3d));
    if (count > INT32_MAX / sizeof(V3d) || (limit >= 0 && kBodyHeadBytes + bytes > limit)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    if (!TypeIsValid(type)) {
        ErrorRaise(kPluginIdSpline, kErrorSplineBadType);
        return nullptr;
    }
    auto* points =
        static_cast<V3d*>(MemoryAllocate(static_cast<size_t>(bytes) + 1, kMemoryHintScratch | kChunkSpline));
    if (points == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    Spline* spline = nullptr;
    if (StreamReadReal(stream, reinterpret_cast<float*>(points), static_cast<size_t>(bytes)) != nullptr) {
        spline = SplineCreate(static_cast<int32_t>(count), type, points);
    }
    MemoryFree(points);
    if (spline != nullptr) {
        std::memcpy(spline->name, name, sizeof(name));
        spline->name[sizeof(name) - 1] = '\0';
    }
    return spline;
}

} // namespace

const float* SplineGetInverseMatrix(int32_t n)
{
    return n >= kMinMatrix && n <= kMaxMatrix ? gTables.inverse[n] : nullptr;
}

bool SplinePluginAttach()
{
    return EngineAttachPlugin(0, kPluginIdSpline, SplineOpen, SplineClose) >= 0;
}

Spline* SplineCreate(int32_t count, uint32_t type, const V3d* points)
{
    if (!TypeIsValid(type)) {
        ErrorRaise(kPluginIdSpline, kErrorSplineBadType);
        return nullptr;
    }
    if (gTables.basis == nullptr) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    // An open spline needs the 4x4 matrix at least; a closed one needs three
    // points for its cyclic window.
    if (points == nullptr || count < (type == kSplineOpen ? kMinMatrix : 3)) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    Spline* spline = SplineAllocate(count, type);
    if (spline == nullptr) {
        return nullptr;
    }
    std::memcpy(spline->points, points, sizeof(V3d) * static_cast<size_t>(count));
    DeriveStored(spline);
    return spline;
}

int32_t SplineDestroy(Spline* spline)
{
    if (spline != nullptr) {
        MemoryFree(spline->points);
        MemoryFree(spline);
    }
    return 1;
}

Spline* SplineClone(const Spline* spline)
{
    const int32_t count = GivenCount(spline);
    if (count == 0) {
        return nullptr;
    }
    Spline* clone = SplineAllocate(count, spline->type);
    if (clone == nullptr) {
        return nullptr;
    }
    std::memcpy(clone->points, spline->points, sizeof(V3d) * static_cast<size_t>(count));
    std::memcpy(clone->stored, spline->stored, sizeof(V3d) * spline->storedCount);
    std::memcpy(clone->name, spline->name, sizeof(clone->name));
    return clone;
}

int32_t SplineGetNumControlPoints(const Spline* spline)
{
    return GivenCount(spline);
}

V3d* SplineGetControlPoint(const Spline* spline, int32_t i, V3d* out)
{
    if (!ControlPointInRange(spline, i)) {
        return nullptr;
    }
    *out = spline->points[i];
    return out;
}

Spline* SplineSetControlPoint(Spline* spline, int32_t i, const V3d* point)
{
    if (!ControlPointInRange(spline, i)) {
        return nullptr;
    }
    spline->points[i] = *point;
    DeriveStored(spline);
    return spline;
}

V3d* SplineEvaluate(const Spline* spline, int32_t mode, float t, V3d* point, V3d* tangent)
{
    if (mode != kSplinePathLinear && mode != kSplinePathEased) {
        ErrorRaise(kPluginIdSpline, kErrorSplineBadType);
        return nullptr;
    }
    if (gTables.basis == nullptr || GivenCount(spline) == 0) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    t = std::fabs(t);
    if (!std::isfinite(t)) {
        t = 0.0f;
    }
    if (t > 1.0f) {
        // A closed spline wraps; an open one ends at its last point.
        t = spline->type == kSplineClosed ? t - std::floor(t) : 1.0f;
    }
    if (mode == kSplinePathEased) {
        t = t <= 0.5f ? 2.0f * t * t : -2.0f * t * t + 4.0f * t - 1.0f;
    }
    // Segment k, table entry j and the blend r between entries j and j + 1.
    // Rounding of (S - 3) t may reach the segment count just below t = 1: the
    // last segment's end is taken then, so no point past s(S - 1) is read.
    const int32_t lastSegment = static_cast<int32_t>(spline->storedCount) - 4;
    int32_t k = lastSegment;
    int32_t j = 255;
    float r = 1.0f;
    if (t != 1.0f) {
        const float x = static_cast<float>(lastSegment + 1) * t;
        const int32_t segment = static_cast<int32_t>(x);
        if (segment <= lastSegment) {
            const float y = (x - static_cast<float>(segment)) * 256.0f;
            k = segment;
            j = std::min(static_cast<int32_t>(y), 255);
            r = y - static_cast<float>(j);
        }
    }
    auto at = [j, r](BasisTable table) {
        const float* values = Basis(table);
        return values[j] + (values[j + 1] - values[j]) * r;
    };
    const V3d* s = spline->stored + k;
    V3d sum = {0, 0, 0};
    AddScaled(&sum, at(kB3), s[0]);
    AddScaled(&sum, at(kB2), s[1]);
    AddScaled(&sum, at(kB1), s[2]);
    AddScaled(&sum, at(kB0), s[3]);
    *point = sum;
    if (tangent != nullptr) {
        // The derivative weights sum to zero, so the derivative is taken over
        // differences from s[0]: coincident points give exactly zero instead
        // of a rounding residue that would normalise to a random direction.
        const V3d d1 = {s[1].x - s[0].x, s[1].y - s[0].y, s[1].z - s[0].z};
        const V3d d2 = {s[2].x - s[0].x, s[2].y - s[0].y, s[2].z - s[0].z};
        const V3d d3 = {s[3].x - s[0].x, s[3].y - s[0].y, s[3].z - s[0].z};
        V3d d = {0, 0, 0};
        AddScaled(&d, at(kD2), d1);
        AddScaled(&d, at(kD1), d2);
        AddScaled(&d, at(kD0), d3);
        if (V3dNormalizeFast(tangent, &d) == 0.0f) {
            *tangent = {0, 1, 0};
        }
    }
    return point;
}

int32_t SplineStreamGetSize(const Spline* spline)
{
    return kBodyHeadBytes + static_cast<int32_t>(sizeof(V3d)) * GivenCount(spline);
}

const Spline* SplineStreamWrite(const Spline* spline, Stream* stream)
{
    const int32_t count = GivenCount(spline);
    const uint32_t size = static_cast<uint32_t>(kBodyHeadBytes) + static_cast<uint32_t>(sizeof(V3d) * count);
    const bool ok = ChunkHeaderWriteCurrent(stream, kChunkSpline, size) != nullptr &&
                    StreamWrite(stream, spline->name, sizeof(spline->name)) != nullptr &&
                    StreamWriteUInt32(stream, static_cast<uint32_t>(count)) != nullptr &&
                    StreamWriteUInt32(stream, TypeIsValid(spline->type) ? spline->type : 0) != nullptr &&
                    StreamWriteReal(stream, reinterpret_cast<const float*>(spline->points),
                                    sizeof(V3d) * static_cast<size_t>(count)) != nullptr;
    return ok ? spline : nullptr;
}

Spline* SplineStreamRead(Stream* stream)
{
    return ReadBody(stream, StreamGetRemaining(stream));
}

Spline* SplineReadFile(const char* path)
{
    return ChunkFileRead(path, kChunkSpline, ReadBody);
}

int32_t SplineWriteFile(const Spline* spline, const char* path)
{
    return ChunkFileWrite(path, spline, SplineStreamWrite);
}
