// A program that never names the named data managers: their static
// registrations must still have run, so that configurations find them by name.
#include "ai/runtime/registries.h"

#include <gtest/gtest.h>

namespace Zelk {
namespace {

TEST(NamedRegistrationTest, ManagersAreFoundByName)
{
    for (const char* name : {"CScriptManager", "CPathWayManager", "CNeuralNetManager"}) {
        const CGlobalServiceClassRecord* record = CGlobalServiceClassRecord::Find(name);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_NE(record->GetCreator(), nullptr) << name;
    }
}

} // namespace
} // namespace Zelk
