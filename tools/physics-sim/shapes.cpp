#include "tools/physics-sim/shapes.h"

#include <cstdio>
#include <vector>

#include "physics/core/utils/vec3.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"

using namespace olp;

namespace {

const V3d kDirections[] = {{1, 0, 0}, {0.8f, 0.6f, 0}, {0.6f, 0.6f, 0.53f}, {0, 0, 1}};

/// One volume of each type, as the table shows them.
std::vector<OlpVolume*> MakeVolumes()
{
    V3d half = {1, 2, 3};
    OlpVolume* box = OlpBoxCreate(&half);
    OlpVolumeSetMargin(box, 0.5f);
    OlpVolume* cylinder = OlpCylinderCreate(1.0f, 2.0f);
    OlpAggChildren* list = OlpAggChildrenCreate(2);
    for (uint32_t i = 0; i < 2; ++i) {
        OlpVolume* child = OlpSphereInit(OlpAggChildrenGetChild(list, i), 1.0f);
        child->frame.pos = {i == 0 ? -2.0f : 2.0f, 0, 0};
        child->frame.flags &= ~kMatrixFlagIdentity;
    }
    OlpAggChildrenUpdateBounds(list);
    OlpVolume* aggregate = OlpAggregateCreate(list);
    OlpAggChildrenRelease(list);
    return {OlpNullCreate(), OlpPlaneCreate(), OlpSphereCreate(2.0f), OlpCapsuleCreate(0.5f, 1.0f), box,
            cylinder,        aggregate};
}

void PrintVolume(const OlpVolume* volume)
{
    std::printf("%s (type %u, margin %g)\n", OlpVolumeGetTypeName(volume), volume->descriptor->typeId,
                volume->margin);
    OlpBBox box;
    if (OlpVolumeGetBBox(volume, nullptr, 1, &box) != nullptr) {
        std::printf("  bounds      (%g, %g, %g) - (%g, %g, %g)\n", box.min.x, box.min.y, box.min.z, box.max.x,
                    box.max.y, box.max.z);
    } else {
        std::printf("  bounds      none\n");
    }
    OlpMassProperties mass;
    V3d centre;
    float amount = OlpVolumeGetMassProperties(volume, &mass, &centre);
    std::printf("  volume      %.6g, inertia per unit mass (%.6g, %.6g, %.6g)\n", amount, mass.moments.x,
                mass.moments.y, mass.moments.z);
    std::printf("  thickness   %g\n", volume->descriptor->getCoreThickness(volume));
    for (const V3d& d : kDirections) {
        OlpSupportFeature feature;
        std::printf("  support (%g, %g, %g): ", d.x, d.y, d.z);
        if (OlpVolumeGetSupportFeature(volume, nullptr, 1, &d, &feature) == nullptr) {
            std::printf("none\n");
            continue;
        }
        std::printf("%u point(s)", feature.count);
        for (uint16_t i = 0; i < feature.count; ++i) {
            const V3d& p = feature.points[i].p;
            std::printf(" (%g, %g, %g)", p.x, p.y, p.z);
        }
        std::printf(", normal (%g, %g, %g)\n", feature.normal.x, feature.normal.y, feature.normal.z);
    }
}

/// One panel of the SVG: a shape lying along x, its z = 0 section drawn as a
/// rounded rectangle, and a fan of segments from one point with their hits.
struct Panel
{
    const char* title;
    OlpVolume* volume;
    float halfWidth, halfHeight, corner; ///< the section, in world units
};

int DrawFan(FILE* svg, const Panel& panel, float offsetX)
{
    const float scale = 40.0f;
    auto X = [&](float x) { return offsetX + 170.0f + x * scale; };
    auto Y = [&](float y) { return 170.0f - y * scale; };
    std::fprintf(svg, "<text x='%g' y='20' font-family='sans-serif' font-size='14'>%s</text>\n", offsetX + 10,
                 panel.title);
    std::fprintf(svg,
                 "<rect x='%g' y='%g' width='%g' height='%g' rx='%g' fill='#dde8f4' stroke='#3060a0' "
                 "stroke-width='1.5'/>\n",
                 X(-panel.halfWidth), Y(panel.halfHeight), 2 * panel.halfWidth * scale,
                 2 * panel.halfHeight * scale, panel.corner * scale);
    V3d source = {-3.5f, 3.2f, 0};
    int hits = 0;
    for (int i = 0; i <= 24; ++i) {
        float angle = -1.45f + 1.4f * static_cast<float>(i) / 24.0f;
        V3d end = source + V3d{std::cos(angle), std::sin(angle), 0} * 9.0f;
        OlpLineResult result;
        bool hit = OlpVolumeLineIntersect(panel.volume, nullptr, &source, &end, &result) != 0;
        V3d stop = hit ? result.point : end;
        std::fprintf(svg, "<line x1='%g' y1='%g' x2='%g' y2='%g' stroke='%s' stroke-width='0.8'/>\n",
                     X(source.x), Y(source.y), X(stop.x), Y(stop.y), hit ? "#c04040" : "#b0b0b0");
        if (hit) {
            ++hits;
            V3d tip = result.point + result.normal * 0.4f;
            std::fprintf(svg, "<circle cx='%g' cy='%g' r='2.5' fill='#c00000'/>\n", X(result.point.x),
                         Y(result.point.y));
            std::fprintf(svg, "<line x1='%g' y1='%g' x2='%g' y2='%g' stroke='#008000' stroke-width='1'/>\n",
                         X(result.point.x), Y(result.point.y), X(tip.x), Y(tip.y));
        }
    }
    std::printf("%s: line tests: %d hits of 25\n", OlpVolumeGetTypeName(panel.volume), hits);
    return hits;
}

int WriteSvg(const std::string& path)
{
    // Capsule and cylinder turned so that their axes lie along x.
    Matrix alongX{};
    alongX.right = {0, 0, -1};
    alongX.up = {0, 1, 0};
    alongX.at = {1, 0, 0};
    alongX.flags = kMatrixFlagsOrthonormal;
    V3d half = {1.5f, 1.0f, 1.0f};
    OlpVolume* box = OlpBoxCreate(&half);
    OlpVolumeSetMargin(box, 0.4f);
    OlpVolume* capsule = OlpCapsuleCreate(0.9f, 1.2f);
    OlpVolumeSetFrame(capsule, &alongX);
    OlpVolume* cylinder = OlpCylinderCreate(1.0f, 1.4f);
    OlpVolumeSetMargin(cylinder, 0.3f);
    OlpVolumeSetFrame(cylinder, &alongX);
    const Panel panels[] = {
        {"rounded box 1.5 x 1 x 1, margin 0.4", box, 1.9f, 1.4f, 0.4f},
        {"capsule r 0.9, h 1.2 along x", capsule, 2.1f, 0.9f, 0.9f},
        {"cylinder r 1, h 1.4 along x, margin 0.3", cylinder, 1.7f, 1.3f, 0.3f},
    };
    FILE* svg = std::fopen(path.c_str(), "w");
    int result = 0;
    if (svg == nullptr) {
        std::fprintf(stderr, "physics-sim: cannot write %s\n", path.c_str());
        result = 1;
    } else {
        std::fprintf(svg, "<svg xmlns='http://www.w3.org/2000/svg' width='1020' height='340'>\n");
        std::fprintf(svg, "<rect width='1020' height='340' fill='white'/>\n");
        for (int i = 0; i < 3; ++i) {
            DrawFan(svg, panels[i], 340.0f * static_cast<float>(i));
        }
        std::fprintf(svg, "</svg>\n");
        result = std::fclose(svg) == 0 ? 0 : 1;
    }
    for (const Panel& panel : panels) {
        OlpVolumeDestroy(panel.volume);
    }
    return result;
}

} // namespace

int RunShapes(const std::string& svgPath)
{
    std::vector<OlpVolume*> volumes = MakeVolumes();
    for (OlpVolume* volume : volumes) {
        PrintVolume(volume);
        OlpVolumeDestroy(volume);
    }
    if (svgPath.empty()) {
        return 0;
    }
    int result = WriteSvg(svgPath);
    if (result == 0) {
        std::printf("wrote %s\n", svgPath.c_str());
    }
    return result;
}
