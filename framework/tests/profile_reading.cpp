// Character profiles read element by element, their table, and the animation
// registry they fill (the sample animations in <build>/data/anims).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/animationfile.h"
#include "framework/characterprofile.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/animation/hierarchy.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/core/win32filesystem.h"

namespace {

using Strings = std::vector<std::string>;

class ProfileReading : public FrameworkTest
{
  protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        ASSERT_TRUE(EngineTestInit() && HierarchyPluginAttach() && EngineTestOpen() && EngineStart());
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files =
            Win32FileSystemCreate(20, (std::filesystem::current_path().string() + "/").c_str(), "unc");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
    }
    void TearDown() override
    {
        DestroyCharacterProfiles();
        ResetAnimationRegistry();
        FileSystemManagerClose();
        EngineTestShutdown();
        FrameworkTest::TearDown();
    }
    /// One element start with its attributes (name, value, ...).
    static bool Start(CCharacterProfile* profile, const char* element,
                      std::vector<const char*> attributes = {})
    {
        attributes.push_back(nullptr);
        return profile->OnStart(element, attributes.data());
    }
};

TEST_F(ProfileReading, ElementsStoreScaledValuesAndReportMissingAttributes)
{
    CCharacterProfile* profile = CCharacterProfile::Create("BlueSoldier", 2.0f);
    ASSERT_NE(profile, nullptr);
    EXPECT_TRUE(Start(profile, "geometry", {"clump", "models/blue.dff", "heigth", "1.5", "width", "0.5"}));
    EXPECT_STREQ(profile->clumpFile, "models/blue.dff");
    EXPECT_FLOAT_EQ(profile->height, 3.0f);
    EXPECT_FLOAT_EQ(profile->width, 1.0f);
    EXPECT_TRUE(Start(profile, "GlobalDynamics",
                      {"slideIntensity", "1", "slideCreaseYComponent", "0.7", "accuracy", "4", "sphereRadius",
                       "0.3", "sphereModel", "models/sphere.dff", "gravity", "10"}));
    EXPECT_FLOAT_EQ(profile->slideIntensity, 2.0f);
    EXPECT_FLOAT_EQ(profile->slideCreaseY, 0.7f);
    EXPECT_EQ(profile->accuracy, 4);
    EXPECT_FLOAT_EQ(profile->sphereRadius, 0.6f);
    EXPECT_FLOAT_EQ(profile->gravity, 20.0f);
    EXPECT_TRUE(Boxes().empty());

    const struct
    {
        const char* element;
        std::vector<const char*> attributes;
        const char* box; // null: refused without a message
    } cases[] = {
        {"Geometry",
         {"clump", "a.dff", "width", "1", "heigth", "2"},
         "'heigth' attribute not found in 'Geometry' section.\nPlease update your XML file"},
        {"Geometry",
         {"clump", "a.dff", "heigth", "2"},
         "'width' attribute not found in 'Geometry' section.\nPlease update your XML file"},
        {"Geometry", {"heigth", "2", "width", "1"}, nullptr},
        {"GlobalDynamics",
         {"slideIntensity", "1", "accuracy", "4"},
         "'slideCreaseYComponent' attribute not found in 'GlobalDynamics'section.\nPlease update your XML "
         "file"},
        {"GlobalDynamics",
         {"slideIntensity", "1", "slideCreaseYComponent", "0.7", "accuracy", "4", "sphereRadius", "0.3",
          "sphereModel", "s.dff"},
         "'gravity' attribute not found in 'GlobalDynamics' section.\nPlease update your XML file"},
        {"GlobalDynamics",
         {"slideIntensity", "1", "slideCreaseYComponent", "0.7", "accuracy", "4", "sphereRadius", "0.3"},
         nullptr},
    };
    for (const auto& c : cases) {
        Boxes().clear();
        EXPECT_FALSE(Start(profile, c.element, c.attributes)) << c.element;
        EXPECT_EQ(Boxes(), c.box ? Strings{c.box} : Strings{}) << c.element;
    }
}

TEST_F(ProfileReading, SpeedsCountOnlyInsideActions)
{
    CCharacterProfile* profile = CCharacterProfile::Create("P", 2.0f);
    ASSERT_NE(profile, nullptr);
    EXPECT_TRUE(Start(profile, "Speeds", {"forwardRun", "3", "forwardWalk", "1.5", "lateralWalk", "1"}));
    EXPECT_EQ(profile->forwardRunSpeed, 0.0f);
    EXPECT_TRUE(Start(profile, "Actions"));
    EXPECT_TRUE(Start(profile, "speeds", {"forwardRun", "3", "forwardWalk", "1.5", "lateralWalk", "1"}));
    EXPECT_FLOAT_EQ(profile->forwardRunSpeed, 6.0f);
    EXPECT_FLOAT_EQ(profile->forwardWalkSpeed, 3.0f);
    EXPECT_FLOAT_EQ(profile->lateralWalkSpeed, 2.0f);
    EXPECT_FALSE(Start(profile, "Speeds", {"forwardRun", "3", "lateralWalk", "1"}));
    EXPECT_EQ(Boxes(),
              Strings{"'forwardWalk' attribute not found in 'Speeds' section.\nPlease update your XML file"});
    profile->OnEnd("Actions");
    EXPECT_FALSE(profile->inActions);
}

TEST_F(ProfileReading, AnimationsShareRegistryEntriesAndMissingOnesAreReported)
{
    CCharacterProfile* profile = CCharacterProfile::Create("P", 1.0f);
    ASSERT_NE(profile, nullptr);
    Start(profile, "Actions");
    EXPECT_TRUE(Start(profile, "Animation", {"key", "walk", "file", "anims/walk.anm"}));
    EXPECT_TRUE(Start(profile, "Animation", {"key", "Run", "file", "ANIMS/WALK.ANM"}));
    ASSERT_NE(profile->animations[kAnimWalk], nullptr);
    EXPECT_EQ(profile->animations[kAnimRun], profile->animations[kAnimWalk]);
    EXPECT_EQ(profile->animations[kAnimWalk]->referenceCount, 2);
    EXPECT_STREQ(profile->animationFiles[kAnimRun], "ANIMS/WALK.ANM");
    EXPECT_TRUE(Start(profile, "Animation", {"key", "Dance", "file", "anims/idle.anm"}));
    EXPECT_TRUE(Boxes().empty());

    EXPECT_TRUE(Start(profile, "Animation", {"key", "Idle", "file", "anims/none.anm"}));
    EXPECT_EQ(Boxes(), Strings{"Can not load 'Idle' animation\nPlease check your data"});
    Boxes().clear();
    EXPECT_FALSE(Start(profile, "Animation", {"key", "Idle"}));
    EXPECT_EQ(Boxes(), Strings{"Attribute missing in 'Animation' definition\nPlease update your XML file"});

    Boxes().clear();
    EXPECT_TRUE(profile->OnEnd("Animations"));
    ASSERT_EQ(Boxes().size(), 35u); // every group entry but Walk
    EXPECT_EQ(Boxes()[0], "'WalkLeft' animation definition not found in XML\nPlease update your XML file");
    EXPECT_EQ(Boxes()[1], "'WalkRight' animation definition not found in XML\nPlease update your XML file");
    EXPECT_EQ(Boxes()[34],
              "'IdleAimDownRightAnimation' animation definition not found in XML\nPlease update your "
              "XML file");

    CCharacterProfile* empty = CCharacterProfile::Create("Empty", 1.0f);
    Boxes().clear();
    empty->OnEnd("Animations");
    ASSERT_EQ(Boxes().size(), 36u);
    EXPECT_EQ(Boxes()[0], "'Walk' animation definition not found in XML\nPlease update your XML file");
    EXPECT_EQ(Boxes()[12], "'IdleAlert' animation definition not found in XML\nPlease update your XML file");

    DestroyCharacterProfiles(); // releases both references
    EXPECT_EQ(GetAnimation("anims/walk.anm")->referenceCount, 1);
}

TEST_F(ProfileReading, TableFindsByNameInAnyCaseAndHolds32)
{
    const std::string longName(300, 'n');
    for (int i = 0; i < CCharacterProfile::kMaxProfiles; ++i)
        ASSERT_NE(CCharacterProfile::Create(i == 0 ? "BlueSoldier" : longName.c_str(), 1.0f), nullptr);
    EXPECT_EQ(CCharacterProfile::Create("RedSoldier", 1.0f), nullptr);
    EXPECT_EQ(CharacterProfileCount(), 32);
    ASSERT_NE(FindCharacterProfile("bluesoldier"), nullptr);
    EXPECT_STREQ(FindCharacterProfile("BLUESOLDIER")->name, "BlueSoldier");
    EXPECT_EQ(FindCharacterProfile("RedSoldier"), nullptr);
    EXPECT_EQ(std::string(FindCharacterProfile(longName.substr(0, 127).c_str())->name).size(), 127u);
    DestroyCharacterProfiles();
    EXPECT_EQ(FindCharacterProfile("BlueSoldier"), nullptr);
}

TEST_F(ProfileReading, RegistryRefusesEvenLoadedNamesOnce128SlotsAreUsed)
{
    CAnimationFile* walk = GetAnimation("anims/walk.anm");
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(GetAnimation("Anims/Walk.anm"), walk);
    EXPECT_EQ(walk->referenceCount, 2);
    EXPECT_EQ(GetAnimation("anims/missing.anm"), nullptr);
    EXPECT_EQ(AnimationSlotsUsed(), 1);
    ReleaseAnimation(walk);
    ReleaseAnimation(walk);
    EXPECT_EQ(AnimationSlotsUsed(), 1); // the freed slot stays used
    EXPECT_TRUE(Boxes().empty());

    walk = GetAnimation("anims/walk.anm");
    for (int i = 2; i < kMaxAnimations; ++i) {
        const std::filesystem::path file = folder_ / ("a" + std::to_string(i) + ".anm");
        std::filesystem::copy_file("anims/walk.anm", file);
        const std::string copy = std::filesystem::relative(file).string();
        ASSERT_NE(GetAnimation(copy.c_str()), nullptr) << i;
    }
    EXPECT_EQ(AnimationSlotsUsed(), kMaxAnimations);
    EXPECT_EQ(GetAnimation("anims/walk.anm"), nullptr);
    EXPECT_EQ(walk->referenceCount, 1);
    EXPECT_EQ(Boxes(),
              Strings{"Too much animations ; please increase __OLAIGE_ANIMATION_MAX_ANIMATIONS value"});
}

} // namespace
