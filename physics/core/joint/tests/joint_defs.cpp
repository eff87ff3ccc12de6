// Joint definitions, frames and joints.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/tests/managertesting.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/maths.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"

namespace {

class JointTest : public StartedEngineTest
{
};

void ExpectNear(V3d actual, V3d expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

/// Quaternions q and -q are the same rotation.
void ExpectSameRotation(const Quaternion& a, const Quaternion& b)
{
    const float dot = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    EXPECT_NEAR(std::fabs(dot), 1.0f, 1e-5f);
}

const float kHalf = std::sqrt(0.5f);

} // namespace

TEST_F(JointTest, ANewDefinitionHasTheDefaults)
{
    OlpJointDef* def = OlpJointDefCreate();
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->refCount, 1u);
    EXPECT_EQ(OlpJointDefGetFlags(def), 56u);
    for (OlpJointLimit* limit : {OlpJointDefGetLimitA(def), OlpJointDefGetLimitB(def)}) {
        EXPECT_EQ(limit->mode, 0u);
        EXPECT_FLOAT_EQ(limit->value, 1.0f);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FLOAT_EQ(limit->cosHalf[i], std::cos(3.14159265f / 8));
            EXPECT_NEAR(OlpJointLimitGetAngle(limit, i), 3.14159265f / 4, 1e-6f);
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (const OlpJointDrive* drive :
             {OlpJointDefGetDriveB(def, i), OlpJointBlockCGetDrive(&def->blockC, i)}) {
            EXPECT_FLOAT_EQ(drive->first, 1e30f);
            EXPECT_FLOAT_EQ(drive->second, 1e30f);
            EXPECT_EQ(drive->third, kOlpFloatMax);
        }
    }
    EXPECT_EQ(OlpJointDefGetAxisMask(def->blockC.axisFlags, 0xFF), 0u);
    const OlpJointFrame* frame = OlpJointDefGetFrame(def, 1);
    EXPECT_EQ(frame, &def->frames[1]);
    EXPECT_FLOAT_EQ(frame->orientation.w, 1.0f);
    ExpectNear(frame->position, {0, 0, 0}, 0);
    EXPECT_EQ(OlpJointDefAddRef(def), def);
    EXPECT_EQ(OlpJointDefRelease(def), 1);
    EXPECT_EQ(def->refCount, 1u);
    EXPECT_EQ(OlpJointDefRelease(def), 1); // freed; the leak checker watches
}

TEST_F(JointTest, LimitsDrivesAndAxisFlags)
{
    OlpJointDef def;
    OlpJointDefInit(&def);
    OlpJointLimitSetAngle(&def.limitB, 2, 1.5707964f);
    EXPECT_NEAR(OlpJointLimitGetAngle(&def.limitB, 2), 1.5707964f, 1e-6f);
    OlpJointLimitSetAngle(&def.limitB, 0, 0.0f);
    EXPECT_FLOAT_EQ(def.limitB.cosHalf[0], 1.0f);
    OlpJointLimitCopy(&def.limitA, &def.limitB);
    EXPECT_NEAR(OlpJointLimitGetAngle(&def.limitA, 2), 1.5707964f, 1e-6f);

    OlpJointDrive drive = {};
    OlpJointDriveSetFirstInverse(&drive, 0.0f);
    EXPECT_EQ(drive.first, kOlpFloatMax);
    OlpJointDriveSetFirst(&drive, 0.0f);
    EXPECT_EQ(OlpJointDriveGetFirstInverse(&drive), kOlpFloatMax);
    OlpJointDriveSetFirstInverse(&drive, 4.0f);
    EXPECT_FLOAT_EQ(OlpJointDriveGetFirst(&drive), 0.25f);
    EXPECT_FLOAT_EQ(OlpJointDriveGetFirstInverse(&drive), 4.0f);
    OlpJointDriveSetSecond(&drive, 200.0f);
    OlpJointDriveSetThird(&drive, 0.1f);
    OlpJointDefSetDriveB(&def, 1, &drive);
    EXPECT_FLOAT_EQ(OlpJointDriveGetSecond(OlpJointDefGetDriveB(&def, 1)), 200.0f);
    EXPECT_FLOAT_EQ(OlpJointDriveGetThird(OlpJointDefGetDriveB(&def, 1)), 0.1f);

    uint8_t* word = def.blockC.axisFlags;
    OlpJointDefSetAxisFlag(word, 2, 5);
    EXPECT_EQ(word[0], 2);
    EXPECT_EQ(word[1], 0);
    EXPECT_EQ(word[2], 2);
    EXPECT_EQ(word[3], 0);
    EXPECT_EQ(OlpJointDefGetAxisMask(word, 2), 5u);
    // Other flags in the bytes are kept.
    OlpJointDefSetAxisFlag(word, 1, 15);
    OlpJointDefSetAxisFlag(word, 2, 6);
    EXPECT_EQ(word[0], 1);
    EXPECT_EQ(word[1], 3);
    EXPECT_EQ(word[2], 3);
    EXPECT_EQ(word[3], 1);
    EXPECT_EQ(OlpJointDefGetAxisMask(word, 1), 15u);
    OlpJointBlockC copy;
    OlpJointBlockCSetDrive(&def.blockC, 2, &drive);
    OlpJointBlockCCopy(&copy, &def.blockC);
    EXPECT_EQ(OlpJointDefGetAxisMask(copy.axisFlags, 2), 6u);
    EXPECT_FLOAT_EQ(copy.drives[2].second, 200.0f);
}

TEST_F(JointTest, FramesComposeAndRelativeAreInverse)
{
    // a: 90 degrees about z at (1, 0, 0); b: 90 degrees about x at (0, 2, 0).
    const OlpJointFrame a = {{0, 0, kHalf, kHalf}, {1, 0, 0}};
    const OlpJointFrame b = {{kHalf, 0, 0, kHalf}, {0, 2, 0}};
    OlpJointFrame ab;
    OlpJointFrameCompose(&ab, &a, &b);
    // a's rotation turns (0, 2, 0) into (-2, 0, 0).
    ExpectNear(ab.position, {-1, 0, 0});
    Matrix m;
    OlpJointFrameToMatrix(&m, &ab);
    EXPECT_EQ(m.flags, kMatrixFlagsOrthonormal);
    // b maps x to x, then a maps x to y: the composed right axis is y.
    ExpectNear(m.right, {0, 1, 0});
    OlpJointFrame back;
    OlpJointFrameRelative(&back, &a, &ab);
    ExpectSameRotation(back.orientation, b.orientation);
    ExpectNear(back.position, b.position);
    OlpJointFrame fromMatrix;
    OlpJointFrameFromMatrix(&fromMatrix, &m);
    ExpectSameRotation(fromMatrix.orientation, ab.orientation);
    ExpectNear(fromMatrix.position, ab.position);
    // In place.
    OlpJointFrame inPlace = a;
    OlpJointFrameCompose(&inPlace, &inPlace, &b);
    ExpectNear(inPlace.position, ab.position);
}

TEST_F(JointTest, JointsTakeTheirEndsReversedAndReturnToThePool)
{
    OlpMgr* mgr = MakeManager(4, 2, 2);
    ASSERT_NE(mgr, nullptr);
    TestObject objects[2];
    MakeTestObject(objects[0], kOlpObjFlagsBody);
    MakeTestObject(objects[1], kOlpObjFlagsBody, {3, 0, 0});
    OlpMgrAddObject(mgr, &objects[0].base, kOlpMgrAnyId, kOlpMgrAddDynamic);
    OlpMgrAddObject(mgr, &objects[1].base, kOlpMgrAnyId, kOlpMgrAddDynamic);
    OlpJointDef* def = OlpJointDefCreate();
    OlpJointEnd first, second;
    OlpJointEndSet(&first, &objects[0].base, 0);
    OlpJointEndSet(&second, &objects[1].base, 0);
    OlpJoint* joint = OlpJointCreate(mgr, def, &first, &second);
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(def->refCount, 2u);
    EXPECT_EQ(OlpJointGetDef(joint), def);
    EXPECT_EQ(joint->id, kOlpJointNoId);
    EXPECT_EQ(joint->ends[0].pointer, &objects[1].base); // the last argument
    EXPECT_EQ(joint->ends[1].pointer, &objects[0].base);
    EXPECT_FLOAT_EQ(OlpJointGetState(joint)->orientation.w, 1.0f);
    OlpJointEndFrame endFrame;
    OlpJointGetEndFrame(joint, 1, &endFrame);
    EXPECT_EQ(endFrame.end.pointer, &objects[0].base);
    EXPECT_EQ(OlpMgrGetFreeJoints(mgr), 1u);
    OlpJoint* other = OlpJointCreate(mgr, def, &first, &second);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(OlpJointCreate(mgr, def, &first, &second), nullptr); // pool empty
    EXPECT_EQ(def->refCount, 3u);

    // Released while entered: its links go back too.
    ASSERT_EQ(OlpMgrAddJoint(mgr, joint, kOlpMgrAnyId), mgr);
    EXPECT_NE(mgr->jointLists[0], nullptr);
    EXPECT_EQ(OlpJointRelease(joint), 1);
    EXPECT_EQ(mgr->jointLists[0], nullptr);
    EXPECT_EQ(mgr->jointLists[1], nullptr);
    EXPECT_FALSE(OlpMgrIsFreeJointId(mgr, 0));
    EXPECT_EQ(OlpJointReleaseDef(other), 1);
    EXPECT_EQ(OlpJointGetDef(other), nullptr);
    EXPECT_EQ(OlpJointRelease(other), 1);
    EXPECT_EQ(def->refCount, 1u);
    EXPECT_EQ(OlpMgrGetFreeJoints(mgr), 2u);
    OlpJointDefRelease(def);
    for (TestObject& object : objects) {
        OlpMgrRemoveObject(mgr, &object.base);
        OlpObjDeinit(&object.base);
    }
    OlpMgrDestroy(mgr);
}

TEST_F(JointTest, WorldAccessorsGoThroughTheEndsMatrices)
{
    OlpMgr* mgr = MakeManager(2, 1, 1);
    TestObject object;
    MakeTestObject(object, kOlpObjFlagsBody);
    object.base.partCount = 1;
    // 90 degrees about z at (1, 2, 3).
    Matrix source = {{0, 1, 0}, 0, {-1, 0, 0}, 0, {0, 0, 1}, 0, {1, 2, 3}, 0};
    object.base.parts[0].sourceMatrix = &source;
    OlpVolume* plane = OlpPlaneCreate();
    OlpVolume* sphere = OlpSphereCreate(1.0f);
    Matrix sphereFrame = {{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 5}, 0};
    OlpVolumeSetFrame(sphere, &sphereFrame);
    OlpJointDef* def = OlpJointDefCreate();
    OlpJointEnd objectEnd, planeEnd;
    OlpJointEndSet(&objectEnd, &object.base, 0);
    OlpJointEndSetVolume(&planeEnd, plane);
    EXPECT_EQ(planeEnd.part, kOlpJointEndVolume);
    OlpJoint* joint = OlpJointCreate(mgr, def, &planeEnd, &objectEnd); // end 0 the object

    const V3d world = {1, 3, 3}; // one unit along the source's right axis
    OlpJointSetPosition(joint, 0, 0, &world);
    ExpectNear(def->frames[0].position, {1, 0, 0});
    V3d back;
    ExpectNear(*OlpJointGetPosition(joint, 0, 0, &back), world);
    ExpectNear(*OlpJointGetPosition(joint, 0, 1, &back), {1, 0, 0});
    OlpJointAnchor anchor;
    OlpJointGetAnchor(joint, 0, 1, &anchor);
    ExpectNear(anchor.position, world);
    ExpectNear(anchor.axes[0], {0, 1, 0});
    OlpJointGetAnchor(joint, 0, 0, &anchor);
    ExpectNear(anchor.axes[0], {1, 0, 0});
    // A world orientation equal to the source's is the identity locally.
    const Quaternion turned = {0, 0, kHalf, kHalf};
    OlpJointSetOrientation(joint, 0, 0, &turned);
    ExpectSameRotation(def->frames[0].orientation, {0, 0, 0, 1});
    Matrix m;
    OlpJointGetMatrix(joint, 0, 0, &m);
    ExpectNear(m.right, {0, 1, 0});
    ExpectNear(m.pos, world);

    // A plane has no frame: world and local agree.
    OlpJointSetPosition(joint, 1, 0, &world);
    ExpectNear(def->frames[1].position, world);
    // A sphere's frame is used.
    OlpJointEnd sphereEnd;
    OlpJointEndSetVolume(&sphereEnd, sphere);
    OlpJointEndCopy(&joint->ends[1], &sphereEnd);
    OlpJointSetMatrix(joint, 1, 0, &sphereFrame);
    ExpectNear(def->frames[1].position, {0, 0, 0});
    ExpectNear(*OlpJointGetPosition(joint, 1, 0, &back), {0, 0, 5});

    OlpJointRelease(joint);
    OlpJointDefRelease(def);
    OlpVolumeDestroy(plane);
    OlpVolumeDestroy(sphere);
    OlpObjDeinit(&object.base);
    OlpMgrDestroy(mgr);
}
