#include "fuzz/physics_stream/seeds.h"

#include <functional>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "physics/core/body/bodystream.h"
#include "physics/core/context/volumetype.h"
#include "physics/core/generic/generic.h"
#include "physics/core/ragdoll/ragdoll.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/trilist.h"
#include "physics/qhull/qhullbuild.h"

namespace {

constexpr uint32_t kCustomTypeId = 77;

int32_t CustomWrite(const OlpVolume* volume, Stream* stream)
{
    const float radius = volume->margin;
    return stream == nullptr || StreamWriteReal(stream, &radius, 4) != nullptr ? 4 : 0;
}

OlpVolume* CustomRead(OlpVolume* volume, Stream* stream)
{
    float radius = 0.0f;
    return StreamReadReal(stream, &radius, 4) != nullptr ? OlpVolumeSetMargin(volume, radius) : nullptr;
}

Matrix Placed(V3d position)
{
    Matrix m{};
    m.right = {0.6f, 0.8f, 0};
    m.up = {-0.8f, 0.6f, 0};
    m.at = {0, 0, 1};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

// Sets the definition's volume up as `kind`.
void Shape(OlpVolume* v, const std::string& kind)
{
    const V3d half = {0.5f, 0.25f, 1.0f};
    if (kind == "plane") {
        OlpPlaneInit(v);
    } else if (kind == "sphere") {
        OlpSphereInit(v, 0.5f);
    } else if (kind == "capsule") {
        OlpCapsuleInit(v, 0.25f, 0.75f);
    } else if (kind == "box") {
        OlpBoxInit(v, &half);
    } else if (kind == "cylinder") {
        OlpCylinderInit(v, 0.5f, 1.0f);
    } else if (kind == "convex") {
        V3d points[8];
        for (int i = 0; i < 8; ++i) {
            points[i] = {i & 1 ? 1.0f : -1.0f, i & 2 ? 0.5f : -0.5f, i & 4 ? 0.25f : -0.25f};
        }
        OlpConvexHull* hull = OlpQHullBuildHull(8, points, nullptr, OlpQHullDiscard());
        OlpConvexInit(v, hull);
        OlpConvexHullRelease(hull);
    } else if (kind == "aggregate") {
        OlpAggChildren* list = OlpAggChildrenCreate(2);
        OlpSphereInit(OlpAggChildrenGetChild(list, 0), 0.5f);
        OlpBoxInit(OlpAggChildrenGetChild(list, 1), &half);
        const Matrix at = Placed({1, 0, 0});
        OlpVolumeSetFrame(OlpAggChildrenGetChild(list, 1), &at);
        OlpAggChildrenUpdateBounds(list);
        OlpAggregateInit(v, list);
        OlpAggChildrenRelease(list);
    } else if (kind == "grid") {
        OlpGridInit(v, 4);
        for (uint32_t i = 0; i < 4; ++i) {
            OlpSphereInit(OlpGridGetCell(v, i), 0.4f);
            const Matrix at = Placed({float(i), float(i % 2), 0});
            OlpVolumeSetFrame(OlpGridGetCell(v, i), &at);
        }
        OlpGridBuild(v, 0.5f);
    } else if (kind == "trilist") {
        OlpTrilistInit(v, nullptr, kOlpTrilistUnbounded);
    } else if (kind == "custom") {
        OlpVolumeInit(v, OlpVolumeTypeFind(nullptr, kCustomTypeId));
        OlpVolumeSetMargin(v, 0.3f);
    } else {
        OlpNullInit(v);
    }
}

} // namespace

void PhysicsStreamRegisterCustomType()
{
    static OlpVolumeDescriptor descriptor = [] {
        OlpVolumeDescriptor d = kOlpSphereDescriptor;
        d.typeId = kCustomTypeId;
        d.streamWrite = CustomWrite;
        d.streamRead = CustomRead;
        d.name = "FuzzCustom";
        return d;
    }();
    if (OlpVolumeTypeFind(nullptr, kCustomTypeId) != &descriptor) {
        OlpVolumeTypeRegister(nullptr, kCustomTypeId, &descriptor);
    }
}

std::vector<PhysicsStreamSeed> PhysicsStreamSeeds()
{
    PhysicsStreamRegisterCustomType();
    std::vector<PhysicsStreamSeed> seeds;
    const char* kinds[] = {"null",   "plane",     "sphere", "capsule", "box",   "cylinder",
                           "convex", "aggregate", "grid",   "trilist", "custom"};
    for (const char* kind : kinds) {
        OlpBodyDef* def = OlpBodyDefCreate();
        OlpVolumeDestroyContents(def->volume);
        Shape(def->volume, kind);
        OlpPartSetMass(&def->part, 1.5f, 1);
        seeds.push_back({std::string("bodydef-") + kind + ".bin", StreamWrittenBytes([&](Stream* s) {
                             return OlpBodyDefStreamWrite(def, s) != nullptr;
                         })});
        if (std::string(kind) == "box") {
            OlpBody* body = OlpBodyCreate(def);
            seeds.push_back({"body-box.bin", StreamWrittenBytes([&](Stream* s) {
                                 return OlpBodyStreamWrite(body, s) != nullptr;
                             })});
            OlpBodyDestroy(body);
        }
        OlpBodyDefRelease(def);
    }

    // A ragdoll chain of eleven capsules with a mapping of twelve bones.
    OlpRagdollDef* ragdoll = OlpRagdollDefCreate();
    OlpRagdollDefSetPartCount(ragdoll, 11);
    OlpRagdollDefSetJointCount(ragdoll, 10);
    std::vector<uint32_t> keys(12), values(12, 0);
    for (uint32_t i = 0; i < 12; ++i) {
        keys[i] = i;
        if (i < 11) {
            ragdoll->boneKeys[i] = i;
            OlpBitMatrixSetBit(ragdoll->partPairs, i + i * 11, true);
        }
        if (i < 10) {
            OlpRagdollSetJointIndex(ragdoll, i, 1, i);
            OlpRagdollSetJointIndex(ragdoll, i, 0, i + 1);
        }
    }
    OlpRagdollDefSetMapping(ragdoll, keys.data(), values.data(), 12);
    OlpRagdoll* ragdollObject = OlpRagdollCreate(ragdoll);
    seeds.push_back({"ragdolldef.bin", StreamWrittenBytes([&](Stream* s) {
                         return OlpRagdollDefStreamWrite(ragdoll, s) != nullptr;
                     })});
    seeds.push_back({"ragdoll.bin", StreamWrittenBytes([&](Stream* s) {
                         return OlpRagdollStreamWrite(ragdollObject, s) != nullptr;
                     })});
    OlpRagdollDestroy(ragdollObject);
    OlpRagdollDefRelease(ragdoll);

    // A generic object of three used parts out of four, two joints out of three.
    OlpGenericDef* generic = OlpGenericDefCreate(4, 3);
    OlpGenericDefSetPartCount(generic, 3);
    OlpGenericDefSetJointCount(generic, 2);
    for (uint32_t i = 0; i < 3; ++i) {
        Shape(&generic->volumes[i], i == 0 ? "box" : "sphere");
        generic->boneKeys[i] = 10 + i;
    }
    OlpGenericDefSetJointIndex(generic, 1, 0, 2);
    OlpGenericDefSetMapping(generic, keys.data(), values.data(), 4);
    OlpGenericObj* genericObject = OlpGenericObjCreate(generic);
    seeds.push_back({"genericdef.bin", StreamWrittenBytes([&](Stream* s) {
                         return OlpGenericDefStreamWrite(generic, s) != nullptr;
                     })});
    seeds.push_back({"generic.bin", StreamWrittenBytes([&](Stream* s) {
                         return OlpGenericObjStreamWrite(genericObject, s) != nullptr;
                     })});
    OlpGenericObjDestroy(genericObject);
    OlpGenericDefRelease(generic);
    return seeds;
}
