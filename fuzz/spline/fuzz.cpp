// Spline chunks (0x0C): SplineStreamRead; a spline that reads is evaluated.
#include "graphics/animation/tests/fuzzanimation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzAnimationEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (stream == nullptr) {
        return 0;
    }
    Spline* spline = nullptr;
    if (StreamFindChunk(stream, kChunkSpline, nullptr, nullptr)) {
        spline = SplineStreamRead(stream);
    }
    if (spline != nullptr) {
        V3d point;
        V3d tangent;
        for (float t : {0.0f, 0.37f, 0.9999999f, 1.0f, 1.5f, -3.25f}) {
            SplineEvaluate(spline, kSplinePathEased, t, &point, &tangent);
        }
        SplineDestroy(spline);
    }
    FuzzStreamClose(stream);
    return 0;
}
