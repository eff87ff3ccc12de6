#pragma once
// A running AI world ("OneMeter" 1) with the entity configurations "Bot" (the
// demo's entity class) and "Other" (a test class), and entities made from it for fake characters.
#include <gtest/gtest.h>

#include "ai/runtime/runtime.h"
#include "ai/testhost/support/test_world.h"
#include "demo/defaultentityclass.h"
#include "demo/tests/fakecharacter.h"

class AiClassesTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        world_ = Zelk::TestWorld::Start(
            host_,
            "<World \"w\"><MaxEntity>8</MaxEntity><MaxTeam>2</MaxTeam><OneMeter>1</OneMeter><Tpf>20</Tpf>"
            "<Entities><Entity \"Bot\"><Class>CDefaultEntityClass</Class></Entity>"
            "<Entity \"Other\"><Class>CTestEntity</Class></Entity>"
            "</Entities></World>",
            8);
        ASSERT_NE(world_, nullptr);
    }

    void TearDown() override
    {
        for (Zelk::CEntity* entity : entities_)
            Zelk::AiDestroyEntity(entity);
        Zelk::TestWorld::Stop();
        DestroyCharacterProfiles();
    }

    /// A new entity of the demo's class bound to `character` (may be null).
    Zelk::CDefaultEntityClass* MakeEntity(CAiCharacter* character)
    {
        return static_cast<Zelk::CDefaultEntityClass*>(MakeEntityOf("Bot", character));
    }

    /// A new entity of the configuration `definition` with `character` as its host object.
    Zelk::CEntity* MakeEntityOf(const char* definition, CAiCharacter* character)
    {
        Zelk::CConfigNode* config = Zelk::AiCopyEntityConfig(world_, definition);
        Zelk::CEntity* entity =
            Zelk::AiCreateEntityFromConfig("bot", config, Zelk::AiGetClassMask(), character);
        Zelk::AiDeleteConfigNode(config);
        EXPECT_NE(entity, nullptr);
        if (entity != nullptr)
            entities_.push_back(entity);
        return entity;
    }

    Zelk::CTestHost host_;
    Zelk::CWorld* world_ = nullptr;
    std::vector<Zelk::CEntity*> entities_;
};
