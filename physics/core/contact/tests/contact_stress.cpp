// Random scenes through the whole contact pass (objects of several parts,
// aggregates among them, over a grid of boxes and triangles) and random
// fast, spinning bodies through the impact search.
#include <random>

#include "physics/core/contact/tests/contacttesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/triangle.h"

using namespace olp;

namespace {

bool PartsBox(void* object, uint32_t selector, void*, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpBatchObjectBox(object, selector, nullptr, out);
    }
    auto* obj = static_cast<OlpObj*>(object);
    for (uint32_t p = 0; p < obj->partCount; ++p) {
        OlpBBox box;
        OlpVolumeGetBBox(obj->parts[p].volume, obj->parts[p].sourceMatrix, 0, &box);
        p == 0 ? (void)(*out = box) : (void)OlpBBoxMerge(out, out, &box);
    }
    return obj->partCount > 0;
}

class ContactStress : public ContactTest
{
};

} // namespace

TEST_F(ContactStress, RandomScenesGiveSoundContacts)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    OlpVolume* ground = OlpGridCreate(60);
    for (uint32_t i = 0; i < 60; ++i) {
        OlpVolume* cell = OlpGridGetCell(ground, i);
        float x = float(i % 10) - 5.0f, y = float(i / 10) - 3.0f;
        if (i % 3 == 0) {
            V3d a = {x, y, 0.1f * unit(random)}, b = {x + 1, y, 0.1f * unit(random)}, c = {x, y + 1, 0};
            OlpTriangleInit(cell, &a, &b, i % 9 == 0 ? &a : &c); // some degenerate
        } else {
            V3d half = {0.5f, 0.5f, 0.2f + 0.1f * unit(random)};
            OlpBoxInit(cell, &half);
            Matrix at = MakeFrame({0, 0, 1}, 10.0f * unit(random), {x + 0.5f, y + 0.5f, -0.2f});
            OlpVolumeSetFrame(cell, &at);
        }
    }
    OlpGridBuild(ground, 0.0f);
    int records = 0;
    for (int scene = 0; scene < 60; ++scene) {
        const int objects = 12;
        std::vector<OlpObj> bodies(objects);
        std::vector<std::vector<OlpVolume>> volumes(objects, std::vector<OlpVolume>(3));
        std::vector<std::vector<Matrix>> poses(objects, std::vector<Matrix>(3));
        std::vector<OlpBatchPair> pairs;
        for (int o = 0; o < objects; ++o) {
            uint16_t parts = static_cast<uint16_t>(1 + (o % 3));
            OlpObjInit(&bodies[o], parts, 0);
            bodies[o].partCount = parts;
            V3d centre = {3.0f * unit(random), 2.0f * unit(random), 0.3f + 0.3f * unit(random)};
            for (uint16_t p = 0; p < parts; ++p) {
                OlpVolume* v = &volumes[o][p];
                int kind = (o + p) % 4;
                V3d half = {0.3f, 0.2f * (p % 2), 0.25f}; // zero extents along y on odd parts
                if (kind == 0) {
                    OlpSphereInit(v, 0.3f);
                } else if (kind == 1) {
                    OlpBoxInit(v, &half);
                } else if (kind == 2) {
                    OlpCapsuleInit(v, 0.15f, 0.3f);
                } else {
                    OlpAggChildren* list = OlpAggChildrenCreate(2);
                    OlpSphereInit(OlpAggChildrenGetChild(list, 0), 0.2f);
                    OlpBoxInit(OlpAggChildrenGetChild(list, 1), &half);
                    OlpAggChildrenUpdateBounds(list);
                    OlpAggregateInit(v, list);
                    OlpAggChildrenRelease(list);
                }
                V3d axis = {unit(random), unit(random), 1.0f};
                axis = axis * (1.0f / Length(axis));
                poses[o][p] =
                    MakeFrame(axis, 90.0f * unit(random),
                              centre + V3d{0.3f * unit(random), 0.3f * unit(random), 0.2f * unit(random)});
                bodies[o].parts[p].volume = v;
                bodies[o].parts[p].sourceMatrix = &poses[o][p];
            }
            pairs.push_back({&bodies[o], 0, ground, kOlpBarePart, nullptr});
            pairs.push_back({&bodies[o], 0, &bodies[o], 0, nullptr});
            if (o > 0) {
                pairs.push_back({&bodies[o], 0, &bodies[o - 1], 0, nullptr});
            }
        }
        std::vector<OlpContact> contacts(300);
        uint32_t n = OlpBatchContactPass(&area, pairs.data(), static_cast<uint32_t>(pairs.size()), PartsBox,
                                         nullptr, contacts.data(), 300);
        for (uint32_t k = 0; k < n; ++k) {
            const OlpContact& c = contacts[k];
            ASSERT_TRUE(IsUnit(c.normal))
                << scene << " " << k << " n " << c.normal.x << " " << c.normal.y << " " << c.normal.z
                << " parts " << c.partA << " " << c.partB << " kinds " << int(c.kindA) << int(c.kindB)
                << " count " << c.count << " B " << (c.objectB == ground);
            ASSERT_GE(c.count, 1u);
            ASSERT_LE(c.count, 4u);
            for (uint32_t i = 0; i < c.count; ++i) {
                ASSERT_TRUE(IsFiniteV3(c.points[i].position));
                ASSERT_TRUE(std::isfinite(c.points[i].separation));
                // Within the contact distance, and not absurdly deep.
                ASSERT_LE(c.points[i].separation, area.contactDistance + 1e-3f) << scene << " " << k;
                ASSERT_GT(c.points[i].separation, -2.0f) << scene << " " << k;
            }
        }
        records += static_cast<int>(n);
        for (int o = 0; o < objects; ++o) {
            for (uint16_t p = 0; p < bodies[o].partCount; ++p) {
                OlpVolumeDestroyContents(&volumes[o][p]);
            }
            OlpObjDeinit(&bodies[o]);
        }
    }
    EXPECT_GT(records, 100);
    OlpVolumeDestroy(ground);
}

TEST_F(ContactStress, RandomImpactSearchesStayWithinTheStep)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    V3d floorHalf = {5, 5, 0.05f};
    OlpVolume floor;
    OlpBoxInit(&floor, &floorHalf);
    void* memory = OlpAlignedAlloc(OlpDynArraysSize(4), 16, kOlpMemoryHint);
    OlpDynArrays arrays;
    OlpDynArraysInit(&arrays, memory, 4);
    const float step = 1.0f / 60.0f;
    int ended = 0;
    for (int n = 0; n < 300; ++n) {
        OlpObj body;
        OlpObjInit(&body, 2, 0);
        body.partCount = 2;
        body.id = 3;
        OlpVolume parts[2];
        Matrix poses[2];
        V3d half = {0.2f, 0.1f, 0.3f * std::fabs(unit(random))};
        OlpBoxInit(&parts[0], &half);
        OlpCapsuleInit(&parts[1], 0.1f, 0.2f);
        V3d axis = {unit(random), unit(random), 1.0f};
        axis = axis * (1.0f / Length(axis));
        V3d centre = {unit(random), unit(random), 0.3f + 2.0f * std::fabs(unit(random))};
        OlpDyn* dyns[2];
        for (int p = 0; p < 2; ++p) {
            poses[p] = MakeFrame(axis, 180.0f * unit(random), centre + V3d{0.3f * p, 0, 0});
            dyns[p] = OlpDynArraysTake(&arrays);
            OlpDynInit(dyns[p], nullptr, &poses[p]);
            V3d linear = {5.0f * unit(random), 5.0f * unit(random), -150.0f * std::fabs(unit(random))};
            V3d angular = {20.0f * unit(random), 20.0f * unit(random), 20.0f * unit(random)};
            OlpDynSetVelocity(dyns[p], &linear, &angular);
            body.parts[p].volume = &parts[p];
            body.parts[p].sourceMatrix = &poses[p];
            body.parts[p].dyn = dyns[p];
        }
        uint16_t slots[4] = {0, 0, 0, 1};
        OlpBBox swept[2];
        swept[1].min = centre - V3d{3, 3, 3};
        swept[1].max = centre + V3d{3, 3, 3};
        float times[2] = {step, step};
        OlpBatchPair pair = {&body, 0, &floor, kOlpBarePart, nullptr};
        ended += static_cast<int>(
            OlpBatchTimeOfImpactPass(&area, &pair, 1, slots, swept, times, 2, step, PartsBox, nullptr));
        ASSERT_TRUE(times[1] >= 0.0f && times[1] <= step) << n << " " << times[1];
        for (int p = 0; p < 2; ++p) {
            OlpDynRelease(dyns[p]);
        }
        OlpObjDeinit(&body);
    }
    EXPECT_GT(ended, 20);
    OlpAlignedFree(memory);
}
