#include "framework/physicsscene.h"

#include "framework/physicsshape.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/worldmembers.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/context/contextparams.h"
#include "physics/core/joint/joint.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/ragdoll/ragdoll.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/volume.h"

namespace {

constexpr float kDemoBoxHalf = 1000.0f;
constexpr uint32_t kDemoBodies = 200, kDemoActiveBodies = 100;
constexpr uint32_t kDemoRagdolls = 100, kDemoActiveRagdolls = 50;
constexpr uint32_t kDemoFreeJoints = 20;

constexpr int32_t kGroundGridSide = 5; // vertices: 4 x 4 cells
constexpr float kGroundGridCell = 50.0f;

/// `at` in the space of part 0's source matrix; false without one.
bool InPartSpace(const OlpObj* object, const V3d& at, V3d* out)
{
    const Matrix* source = object->partCount > 0 ? object->parts[0].sourceMatrix : nullptr;
    Matrix inverse;
    if (!source || !MatrixInvert(&inverse, source))
        return false;
    V3dTransformPoint(out, &at, &inverse);
    return true;
}

} // namespace

OlpContext* PhysicsCreateDemoContext(float scale)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, kDemoBodies, kDemoActiveBodies);
    OlpRagdollParamsReserve(&params, kDemoRagdolls, kDemoActiveRagdolls);
    OlpContextParamsSetFreeJoints(&params, kDemoFreeJoints);
    const float box[6] = {kDemoBoxHalf,  kDemoBoxHalf,  kDemoBoxHalf,
                          -kDemoBoxHalf, -kDemoBoxHalf, -kDemoBoxHalf};
    OlpContext* context = OlpContextCreate(&params, scale, box);
    if (context && (!OlpBodyRegisterType(context) || !OlpRagdollRegisterType(context))) {
        OlpContextDestroy(context);
        return nullptr;
    }
    if (context) {
        OlpPipeline* pipeline = OlpContextGetPipeline(context);
        OlpPipelineSetMaxPosIterations(pipeline, kPhysicsPositionMoves);
        OlpPipelineSetMaxVelIterations(pipeline, kPhysicsVelocityMoves);
    }
    return context;
}

OlpVolume* PhysicsCreateGroundPlane(OlpContext* context, World* world, Atomic** grid)
{
    if (grid)
        *grid = nullptr;
    OlpVolume* plane = context ? OlpPlaneCreate() : nullptr;
    if (!plane)
        return nullptr;
    // The plane's normal is its frame's at axis: turned to +y.
    Matrix frame;
    const V3d xAxis = {1.0f, 0.0f, 0.0f};
    MatrixRotate(&frame, &xAxis, -90.0f, kCombineReplace);
    OlpVolumeSetFrame(plane, &frame);
    OlpVolumeSetBounce(plane, 1.0f);
    if (!OlpContextAddObject(context, plane, 0)) {
        OlpVolumeDestroy(plane);
        return nullptr;
    }
    if (world) {
        Geometry* geometry = GeometryCreateGrid(kGroundGridSide, kGroundGridCell, nullptr);
        Atomic* atomic = geometry ? AtomicCreateEmpty(world) : nullptr;
        if (atomic) {
            AtomicSetGeometry(atomic, geometry, 0);
            atomic->object.object.flags |= kAtomicRender;
        }
        if (geometry)
            GeometryRelease(geometry);
        if (grid)
            *grid = atomic;
    }
    return plane;
}

OlpJoint* PhysicsCreateJoint(OlpObj* a, OlpObj* b, const V3d& at, uint32_t flags)
{
    if (!a || !b || !a->manager || a->manager != b->manager)
        return nullptr;
    V3d onA, onB;
    if (!InPartSpace(a, at, &onA) || !InPartSpace(b, at, &onB))
        return nullptr;
    OlpJointDef* def = OlpJointDefCreate();
    if (!def)
        return nullptr;
    OlpJointDefSetFlags(def, flags);
    OlpJointFrameSetPosition(OlpJointDefGetFrame(def, 0), &onA);
    OlpJointFrameSetPosition(OlpJointDefGetFrame(def, 1), &onB);
    OlpJointEnd endA, endB;
    OlpJointEndSet(&endA, a, 0);
    OlpJointEndSet(&endB, b, 0);
    OlpJoint* joint = OlpJointCreate(a->manager, def, &endB, &endA);
    OlpJointDefRelease(def); // the joint holds its own reference
    if (joint && !OlpMgrAddJoint(a->manager, joint, kOlpMgrAnyId)) {
        OlpJointRelease(joint);
        return nullptr;
    }
    return joint;
}
