// Plug-in registries: offsets and sizes, duplicates, maximum sizes,
// constructors, destructors and copies in order, rights callbacks, close.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/core/plugin.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

std::vector<std::string> gLog;
int32_t gFailingConstructor = -1;

template <int32_t N> void* Construct(void* object, int32_t offset, int32_t size)
{
    gLog.push_back("construct " + std::to_string(N));
    if (N == gFailingConstructor) {
        return nullptr;
    }
    *reinterpret_cast<int32_t*>(static_cast<char*>(object) + offset) = N * 100 + size;
    return object;
}

template <int32_t N> void* Destruct(void* object, int32_t, int32_t)
{
    gLog.push_back("destruct " + std::to_string(N));
    return object;
}

template <int32_t N> void* Copy(void* destination, const void* source, int32_t offset, int32_t)
{
    gLog.push_back("copy " + std::to_string(N));
    *reinterpret_cast<int32_t*>(static_cast<char*>(destination) + offset) =
        *reinterpret_cast<const int32_t*>(static_cast<const char*>(source) + offset) + 1;
    return destination;
}

class PluginRegistryTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        gLog.clear();
        gFailingConstructor = -1;
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestInit(CountingMemory::Table()));
    }
    void TearDown() override
    {
        EngineTestShutdown();
        EXPECT_EQ(CountingMemory::live, 0);
    }

    void RegisterThree()
    {
        ASSERT_EQ(PluginRegistryRegister(&registry, 4, 0x9001, Construct<1>, Destruct<1>, Copy<1>), 32);
        ASSERT_EQ(PluginRegistryRegister(&registry, 4, 0x9002, Construct<2>, Destruct<2>, Copy<2>), 40);
        ASSERT_EQ(PluginRegistryRegister(&registry, 4, 0x9003, Construct<3>, Destruct<3>, Copy<3>), 48);
    }

    // Registries outlive their registrations (EngineTerm resets them).
    PluginRegistry registry = PluginRegistryMake(32);
    PluginRegistry big = PluginRegistryMake(300);
    PluginRegistry other = PluginRegistryMake(8);
};

TEST_F(PluginRegistryTest, OffsetsFollowTheBaseSizeInRegistrationOrder)
{
    EXPECT_EQ(PluginRegistryRegister(&big, 6, 1, nullptr, nullptr, nullptr), 304);
    EXPECT_EQ(PluginRegistryRegister(&big, 4, 2, nullptr, nullptr, nullptr), 312);
    EXPECT_EQ(big.objectSize, 320);
    EXPECT_EQ(PluginRegistryRegister(&big, 0, 3, nullptr, nullptr, nullptr), 320);
    EXPECT_EQ(big.objectSize, 320);
    EXPECT_EQ(PluginRegistryGetOffset(&big, 2), 312);
    EXPECT_EQ(PluginRegistryGetOffset(&big, 4), -1);
    EXPECT_EQ(big.first->pluginId, 1u);
    EXPECT_EQ(big.last->pluginId, 3u);
}

TEST_F(PluginRegistryTest, DuplicateIdAnswersItsOffsetUnlessItAsksForMore)
{
    ASSERT_EQ(PluginRegistryRegister(&registry, 16, 0x9001, nullptr, nullptr, nullptr), 32);
    EXPECT_EQ(PluginRegistryRegister(&registry, 16, 0x9001, nullptr, nullptr, nullptr), 32);
    EXPECT_EQ(PluginRegistryRegister(&registry, 8, 0x9001, nullptr, nullptr, nullptr), 32);
    EXPECT_EQ(PluginRegistryRegister(&registry, 17, 0x9001, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(registry.objectSize, 48);
}

TEST_F(PluginRegistryTest, StaticPluginsSizeLimitsRegistration)
{
    EXPECT_TRUE(PluginRegistrySetStaticPluginsSize(&registry, 16));
    EXPECT_EQ(registry.maxSize, 48);
    EXPECT_EQ(registry.staticFlag, 1u);
    EXPECT_EQ(PluginRegistryRegister(&registry, 8, 1, nullptr, nullptr, nullptr), 32);
    EXPECT_EQ(PluginRegistryRegister(&registry, 9, 2, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(PluginRegistryRegister(&registry, 8, 3, nullptr, nullptr, nullptr), 40);
    EXPECT_EQ(PluginRegistryRegister(&registry, 1, 4, nullptr, nullptr, nullptr), -1);
    EXPECT_FALSE(PluginRegistrySetStaticPluginsSize(&registry, 64)) << "plug-ins already registered";
}

TEST_F(PluginRegistryTest, ConstructDestructAndCopyRunInOrder)
{
    RegisterThree();
    alignas(8) char a[56] = {};
    alignas(8) char b[56] = {};
    ASSERT_EQ(PluginRegistryConstruct(&registry, a), &registry);
    EXPECT_EQ(*reinterpret_cast<int32_t*>(a + 40), 204);
    ASSERT_EQ(PluginRegistryCopy(&registry, b, a), &registry);
    EXPECT_EQ(*reinterpret_cast<int32_t*>(b + 48), 305);
    ASSERT_EQ(PluginRegistryDestruct(&registry, a), &registry);
    const std::vector<std::string> expected = {"construct 1", "construct 2", "construct 3",
                                               "copy 1",      "copy 2",      "copy 3",
                                               "destruct 3",  "destruct 2",  "destruct 1"};
    EXPECT_EQ(gLog, expected);
}

TEST_F(PluginRegistryTest, FailingConstructorUnwindsOnlyThoseBeforeIt)
{
    RegisterThree();
    gFailingConstructor = 3;
    alignas(8) char object[56] = {};
    EXPECT_EQ(PluginRegistryConstruct(&registry, object), nullptr);
    const std::vector<std::string> expected = {"construct 1", "construct 2", "construct 3", "destruct 2",
                                               "destruct 1"};
    EXPECT_EQ(gLog, expected);
    gLog.clear();
    gFailingConstructor = 1;
    EXPECT_EQ(PluginRegistryConstruct(&registry, object), nullptr);
    EXPECT_EQ(gLog, std::vector<std::string>{"construct 1"});
}

TEST_F(PluginRegistryTest, MissingCallbacksAreIdentities)
{
    ASSERT_EQ(PluginRegistryRegister(&registry, 4, 7, nullptr, nullptr, nullptr), 32);
    alignas(8) char object[40] = {};
    EXPECT_EQ(PluginRegistryConstruct(&registry, object), &registry);
    EXPECT_EQ(PluginRegistryCopy(&registry, object, object), &registry);
    EXPECT_EQ(PluginRegistryDestruct(&registry, object), &registry);
}

int32_t Rights(void* object, int32_t, int32_t, uint32_t value)
{
    *static_cast<uint32_t*>(object) = value;
    return value == 0 ? 0 : -1;
}

TEST_F(PluginRegistryTest, RightsCallbackAnswersForItsId)
{
    ASSERT_EQ(PluginRegistryRegister(&registry, 4, 0x9001, nullptr, nullptr, nullptr), 32);
    ASSERT_EQ(PluginRegistryRegister(&registry, 4, 0x9002, nullptr, nullptr, nullptr), 40);
    EXPECT_EQ(PluginRegistryAddRightsCallback(&registry, 0x9002, Rights), 40);
    EXPECT_EQ(PluginRegistryAddRightsCallback(&registry, 0x9009, Rights), -1);
    uint32_t object = 0;
    EXPECT_EQ(PluginRegistryInvokeRights(&registry, 0x9002, &object, 77), &registry) << "negative is success";
    EXPECT_EQ(object, 77u);
    EXPECT_EQ(PluginRegistryInvokeRights(&registry, 0x9002, &object, 0), nullptr);
    EXPECT_EQ(PluginRegistryInvokeRights(&registry, 0x9001, &object, 5), nullptr) << "no callback";
    EXPECT_EQ(PluginRegistryInvokeRights(&registry, 0x9009, &object, 5), nullptr) << "no such id";
}

TEST_F(PluginRegistryTest, CallbacksNeedARegisteredId)
{
    EXPECT_EQ(PluginRegistryAddStream(&registry, 0x9001, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(PluginRegistryAddAlwaysCallback(&registry, 0x9001, nullptr), -1);
    RegisterThree();
    EXPECT_EQ(PluginRegistryAddStream(&registry, 0x9002, nullptr, nullptr, nullptr), 40);
    EXPECT_EQ(PluginRegistryAddAlwaysCallback(&registry, 0x9003, nullptr), 48);
}

TEST_F(PluginRegistryTest, TermPutsEveryRegistryBackAtItsBaseSize)
{
    RegisterThree();
    ASSERT_GE(PluginRegistryRegister(&other, 12, 1, nullptr, nullptr, nullptr), 0);
    EngineTestShutdown();
    EXPECT_EQ(registry.objectSize, 32);
    EXPECT_EQ(registry.first, nullptr);
    EXPECT_EQ(registry.last, nullptr);
    EXPECT_EQ(other.objectSize, 8);
    EXPECT_EQ(PluginRegistryGetOffset(&other, 1), -1);
}

TEST_F(PluginRegistryTest, UnpooledEntriesAreReleasedAtTerm)
{
    EngineTestShutdown();
    ASSERT_TRUE(EngineTestInit(CountingMemory::Table(), kEngineInitUnpooled));
    RegisterThree();
    ASSERT_EQ(PluginRegistryRegister(&other, 4, 1, nullptr, nullptr, nullptr), 8);
    // TearDown checks that every entry was freed.
}

TEST_F(PluginRegistryTest, RegistrationNeedsOpenRegistriesAndAClosedEngine)
{
    EngineTestShutdown();
    EXPECT_EQ(PluginRegistryRegister(&registry, 4, 1, nullptr, nullptr, nullptr), -1);
    ASSERT_TRUE(EngineTestInit());
    ASSERT_TRUE(EngineTestOpen());
    EXPECT_EQ(PluginRegistryRegister(&registry, 4, 1, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(PluginRegistryRegister(&registry, -4, 1, nullptr, nullptr, nullptr), -1);
}

} // namespace
