// A program that never names the entity and sound managers: their static
// registrations must still have run, so that configurations find them by name.
#include "ai/runtime/registries.h"

#include <gtest/gtest.h>

namespace Zelk {
namespace {

TEST(PerceptionRegistrationTest, ManagersAreFoundByName)
{
    const CServiceClassRecord* entities = CServiceClassRecord::Find("CEntityManager");
    ASSERT_NE(entities, nullptr);
    EXPECT_NE(entities->GetCreator(), nullptr);
    EXPECT_NE(entities->GetClassBit() & AiGetClassMask(), 0u);
    const CGlobalServiceClassRecord* sounds = CGlobalServiceClassRecord::Find("CSoundManager");
    ASSERT_NE(sounds, nullptr);
    EXPECT_NE(sounds->GetCreator(), nullptr);
}

} // namespace
} // namespace Zelk
