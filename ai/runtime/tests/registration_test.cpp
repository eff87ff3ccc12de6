// Proves that the runtime's and the test host's classes register themselves:
// this program never names their classes, only looks them up by name.
#include "ai/runtime/attribute.h"
#include "ai/runtime/registries.h"

#include <gtest/gtest.h>

namespace Zelk {
namespace {

TEST(RegistrationTest, AttributesAndActionsAreRegisteredByName)
{
    const char* attributes[] = {"CEntityWidth",       "CEntityHeight",          "CEntityHeadDirection",
                                "CEntityHealth",      "CEntityVisualAcuteness", "CEntityEyePosition",
                                "CEntityGunPosition", "CEntityMaxSpeed",        "CEntityHearingAcuteness",
                                "CEntityTeamSide",    "CEntityKneePosition"};
    for (const char* name : attributes) {
        CEntityAttributeRecord* record = CEntityAttributeRecord::Find(name);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_GE(record->GetIndex(), 0) << name;
        EXPECT_NE(record->GetCreator(), nullptr) << name;
    }
    const char* actions[] = {
        "CActionCrouch",       "CActionShoot",    "CActionSpeed", "CActionTorsoRotate", "CActionRotate",
        "CActionAcceleration", "CActionSteering", "CActionJump",  "CActionHeadRotate",  "CActionActivate"};
    for (const char* name : actions) {
        CActionRecord* record = CActionRecord::Find(name);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_NE(record->GetCreator(), nullptr) << name;
    }
    EXPECT_TRUE(CheckEntityAttributeClasses());
    EXPECT_EQ(CEntityAttributeRecord::GetCount(), 11);
    EXPECT_EQ(CActionRecord::GetCount(), 10);
    EXPECT_NE(CTeamClassRecord::Find("CTeam"), nullptr);
    CGlobalServiceClassRecord* sounds = CGlobalServiceClassRecord::Find("CSoundManager");
    ASSERT_NE(sounds, nullptr);
    EXPECT_NE(sounds->GetClassBit(), 0u);
}

TEST(RegistrationTest, TestHostClassesAreRegisteredByName)
{
    EXPECT_NE(CEntityClassRecord::Find("CTestEntity"), nullptr);
    EXPECT_NE(CActionClassRecord::Find("CTestActionClass"), nullptr);
    EXPECT_NE(CBrainClassRecord::Find("CTestBrain"), nullptr);
    EXPECT_NE(CAgentClassRecord::Find("CTestGotoAgent"), nullptr);
    EXPECT_NE(CServiceClassRecord::Find("CTestCounterService"), nullptr);
    EXPECT_NE(CGlobalServiceClassRecord::Find("CTestGlobalService"), nullptr);
    // Only the entity manager asks for its class bit to be added to the mask.
    const CServiceClassRecord* entityManager = CServiceClassRecord::Find("CEntityManager");
    ASSERT_NE(entityManager, nullptr);
    EXPECT_EQ(AiGetClassMask(), 1u | entityManager->GetClassBit());
}

} // namespace
} // namespace Zelk
