// The animation runtime on the sample soldier (<build>/data/models/soldier.dff)
// and its clips (<build>/data/anims): the command pool, the player's
// cross-fade and blends, and the camera's spline path.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "framework/animationcommand.h"
#include "framework/animationfile.h"
#include "framework/animationhierarchy.h"
#include "framework/animationplayer.h"
#include "framework/splinepath.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/animation/spline.h"
#include "graphics/core/chunk.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenelibrary.h"

namespace {

Clump* ReadClumpFile(const char* path)
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path);
    if (!stream)
        return nullptr;
    Clump* clump = StreamFindChunk(stream, kChunkClump, nullptr, nullptr) ? ClumpStreamRead(stream) : nullptr;
    StreamClose(stream, nullptr);
    return clump;
}

/// One skinned model with its hierarchy holder and player, as an animated object keeps them.
struct Model
{
    explicit Model(const char* file) : clump(ReadClumpFile(file))
    {
        if (clump && holder.FindInClump(clump)) {
            holder.AttachToClump(clump);
            player.Init(&holder);
        }
    }
    ~Model()
    {
        player.Unload();
        holder.Destroy();
        if (clump)
            ClumpDestroy(clump);
    }
    Clump* clump;
    CAnimationHierarchy holder;
    CAnimationPlayer player;
};

const HierInterpKey* Key(const CAnimationHierarchy& holder, int32_t node)
{
    return static_cast<const HierInterpKey*>(
        AnimInterpolatorGetInterpKey(holder.GetHierarchy()->interpolator, node));
}

/// True when every node's rotation and translation agree within `tolerance`.
::testing::AssertionResult SamePose(const CAnimationHierarchy& a, const CAnimationHierarchy& b,
                                    float tolerance = 1e-5f)
{
    if (a.NodeCount() != b.NodeCount())
        return ::testing::AssertionFailure() << "node counts " << a.NodeCount() << " and " << b.NodeCount();
    for (int32_t i = 0; i < a.NodeCount(); ++i) {
        const HierInterpKey* p = Key(a, i);
        const HierInterpKey* q = Key(b, i);
        const float values[][2] = {{p->rotation.x, q->rotation.x},       {p->rotation.y, q->rotation.y},
                                   {p->rotation.z, q->rotation.z},       {p->rotation.w, q->rotation.w},
                                   {p->translation.x, q->translation.x}, {p->translation.y, q->translation.y},
                                   {p->translation.z, q->translation.z}};
        for (const auto& v : values) {
            if (std::abs(v[0] - v[1]) > tolerance)
                return ::testing::AssertionFailure() << "node " << i << ": " << v[0] << " vs " << v[1];
        }
    }
    return ::testing::AssertionSuccess();
}

class AnimationRuntime : public FrameworkTest
{
  protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        ASSERT_TRUE(EngineTestInit() && WorldLibraryAttach() && CollisionPluginAttach() &&
                    HierarchyPluginAttach() && SplinePluginAttach() && SkinPluginAttach() &&
                    EngineTestOpen() && EngineStart());
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files =
            Win32FileSystemCreate(20, (std::filesystem::current_path().string() + "/").c_str(), "unc");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
        for (const char* name :
             {"anims/idle.anm", "anims/walk.anm", "anims/run.anm", "anims/strafeleft.anm"}) {
            files_.push_back(GetAnimation(name));
            ASSERT_NE(files_.back(), nullptr) << name;
        }
    }
    void TearDown() override
    {
        soldier_.reset();
        for (CAnimationFile* file : files_)
            ReleaseAnimation(file);
        ResetAnimationRegistry();
        FileSystemManagerClose();
        EngineTestShutdown();
        FrameworkTest::TearDown();
    }
    Model& Soldier()
    {
        if (!soldier_)
            soldier_ = std::make_unique<Model>("models/soldier.dff");
        return *soldier_;
    }
    /// A looping command of one animation at weight 1.
    CAnimationCommand* Single(CAnimationFile* file)
    {
        CAnimationCommand* command = AcquireCommand(kAnimationCommandBlend);
        if (command)
            command->SetEntry(0, file, 1.0f);
        return command;
    }

    std::vector<CAnimationFile*> files_;
    std::unique_ptr<Model> soldier_;
};

TEST_F(AnimationRuntime, PoolServesThreeHundredCommandsOfOneKind)
{
    EXPECT_EQ(AcquireCommand(kAnimationCommandBlend), nullptr) << "no player, no pool";
    Model& soldier = Soldier();
    ASSERT_NE(soldier.holder.GetHierarchy(), nullptr);
    EXPECT_EQ(AcquireCommand(2), nullptr);
    CAnimationCommand* commands[kMaxAnimationCommands];
    for (CAnimationCommand*& command : commands) {
        command = AcquireCommand(kAnimationCommandBlend);
        ASSERT_NE(command, nullptr);
    }
    EXPECT_EQ(AcquireCommand(kAnimationCommandBlend), nullptr) << "the 301st";
    // A released command comes back reset: the lowest free index first.
    commands[7]->SetEntry(3, files_[0], 0.5f);
    commands[7]->speed = 3.0f;
    commands[7]->loop = false;
    ReleaseCommand(commands[7]);
    CAnimationCommand* again = AcquireCommand(kAnimationCommandBlend);
    ASSERT_EQ(again, commands[7]);
    EXPECT_EQ(again->entryCount, 0);
    EXPECT_EQ(again->entries[3].animation, nullptr);
    EXPECT_FLOAT_EQ(again->speed, 1.0f);
    EXPECT_TRUE(again->loop);
    EXPECT_EQ(again->entries[3].interpolator->NodeCount(), soldier.holder.NodeCount());
    for (CAnimationCommand* command : commands)
        ReleaseCommand(command);
}

TEST_F(AnimationRuntime, PlayRefusesCommandsWithoutAWeightedAnimation)
{
    Model& soldier = Soldier();
    CAnimationCommand* first = Single(files_[0]);
    ASSERT_TRUE(soldier.player.Play(first));
    CAnimationCommand* weightless = AcquireCommand(kAnimationCommandBlend);
    weightless->SetEntry(0, files_[1], 0.0f);
    EXPECT_FALSE(soldier.player.Play(weightless));
    CAnimationCommand* empty = AcquireCommand(kAnimationCommandBlend);
    EXPECT_FALSE(soldier.player.Play(empty));
    EXPECT_EQ(soldier.player.GetCurrentCommand(), first);
    EXPECT_EQ(soldier.player.GetPreviousCommand(), nullptr);
    EXPECT_FALSE(weightless->free);
    ReleaseCommand(weightless);
    ReleaseCommand(empty);
}

TEST_F(AnimationRuntime, PlayReleasesTheCommandPushedOutOfThePreviousSlot)
{
    Model& soldier = Soldier();
    CAnimationCommand* a = Single(files_[0]);
    CAnimationCommand* b = Single(files_[1]);
    CAnimationCommand* c = Single(files_[2]);
    ASSERT_TRUE(soldier.player.Play(a));
    ASSERT_TRUE(soldier.player.Play(b));
    EXPECT_EQ(soldier.player.GetPreviousCommand(), a);
    EXPECT_EQ(AnimationCommandsInUse(), 3);
    ASSERT_TRUE(soldier.player.Play(c));
    EXPECT_TRUE(a->free);
    EXPECT_EQ(soldier.player.GetCurrentCommand(), c);
    EXPECT_EQ(soldier.player.GetPreviousCommand(), b);
    EXPECT_EQ(AnimationCommandsInUse(), 2);
}

TEST_F(AnimationRuntime, CrossFadeShowsThePreviousPoseFirstAndTheCurrentAfterAFifthOfASecond)
{
    Model& soldier = Soldier();
    ASSERT_TRUE(soldier.player.Play(Single(files_[0])));
    soldier.player.Update(0.3f);
    ASSERT_TRUE(soldier.player.Play(Single(files_[2])));
    EXPECT_EQ(soldier.player.GetCrossFade(), 0.0f);
    soldier.player.Update(0.0f);
    EXPECT_TRUE(SamePose(soldier.holder, *soldier.player.GetPreviousResult()));
    EXPECT_FALSE(SamePose(soldier.holder, *soldier.player.GetCurrentResult(), 1e-3f))
        << "idle and run differ";

    // Half-way: between the two, not equal to either.
    soldier.player.Update(0.1f);
    EXPECT_FLOAT_EQ(soldier.player.GetCrossFade(), 0.5f);
    CAnimationHierarchy expected(soldier.holder);
    expected.Blend(*soldier.player.GetCurrentResult(), *soldier.player.GetPreviousResult(), 0.5f);
    EXPECT_TRUE(SamePose(soldier.holder, expected));

    soldier.player.Update(0.1f);
    EXPECT_EQ(soldier.player.GetCrossFade(), 1.0f);
    EXPECT_TRUE(SamePose(soldier.holder, *soldier.player.GetCurrentResult()));
    // The run advanced by 0.2 s of its own time at speed 1.
    EXPECT_NEAR(soldier.player.GetCurrentCommand()->entries[0].interpolator->GetTime(), 0.2f, 1e-5f);
}

TEST_F(AnimationRuntime, EntriesBlendInPairsThenThePairs)
{
    Model& soldier = Soldier();
    struct Case
    {
        float weights[4];
        float first, second, pairs; // blend factors
    };
    const Case cases[] = {
        {{0.25f, 0.25f, 0.25f, 0.25f}, 0.5f, 0.5f, 0.5f},
        {{0.1f, 0.3f, 0.2f, 0.4f}, 0.25f, 1.0f / 3.0f, 0.4f},
    };
    for (const Case& c : cases) {
        CAnimationCommand* command = AcquireCommand(kAnimationCommandBlend);
        for (int32_t i = 0; i < 4; ++i)
            command->SetEntry(i, files_[size_t(i)], c.weights[i]);
        command->speed = 2.0f;
        ASSERT_TRUE(soldier.player.Play(command));
        soldier.player.Update(0.25f);

        // The same blends built by hand from the entries' own poses at 0.5 s.
        CAnimationHierarchy first(soldier.holder), second(soldier.holder), result(soldier.holder);
        const auto& e = command->entries;
        EXPECT_NEAR(e[3].interpolator->GetTime(), 0.5f, 1e-5f);
        first.Blend(*e[0].interpolator, *e[1].interpolator, c.first);
        second.Blend(*e[2].interpolator, *e[3].interpolator, c.second);
        result.Blend(first, second, c.pairs);
        EXPECT_TRUE(SamePose(*soldier.player.GetCurrentResult(), result, 1e-4f));
    }
    // Two entries: the second weighs as much as the first entry's weight says.
    CAnimationCommand* two = AcquireCommand(kAnimationCommandBlend);
    two->SetEntry(0, files_[0], 0.3f);
    two->SetEntry(1, files_[1], 0.7f);
    ASSERT_TRUE(soldier.player.Play(two));
    soldier.player.Update(0.1f);
    CAnimationHierarchy expected(soldier.holder);
    expected.Blend(*two->entries[0].interpolator, *two->entries[1].interpolator, 0.3f);
    EXPECT_TRUE(SamePose(*soldier.player.GetCurrentResult(), expected));
}

TEST_F(AnimationRuntime, PoolOutlivesTheFirstPlayerUnloaded)
{
    auto first = std::make_unique<Model>("models/soldier.dff");
    Model& second = Soldier();
    ASSERT_TRUE(first->player.Play(Single(files_[0])));
    ASSERT_TRUE(second.player.Play(Single(files_[1])));
    first.reset();
    EXPECT_EQ(AnimationCommandsInUse(), 1) << "the first player's command went back";
    CAnimationCommand* next = Single(files_[2]);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(second.player.Play(next));
    second.player.Update(0.05f);
    EXPECT_NEAR(next->entries[0].interpolator->GetTime(), 0.05f, 1e-6f);
    soldier_.reset();
    EXPECT_EQ(AcquireCommand(kAnimationCommandBlend), nullptr) << "the last player took the pool";
}

TEST_F(AnimationRuntime, PlayRefusesAnotherSkeletonThanThePools)
{
    Model& soldier = Soldier(); // the pool's blend targets take the soldier's layout
    Model bar("models/skinbar.dff");
    ASSERT_NE(bar.holder.GetHierarchy(), nullptr);
    ASSERT_NE(bar.holder.NodeCount(), soldier.holder.NodeCount());
    CAnimationCommand* command = Single(files_[0]);
    EXPECT_FALSE(bar.player.Play(command));
    EXPECT_EQ(bar.player.GetCurrentCommand(), nullptr);
    bar.player.Update(0.1f); // nothing held: the matrices are rebuilt from the rest pose
    EXPECT_TRUE(soldier.player.Play(command));
}

TEST_F(AnimationRuntime, SplinePathFollowsTheSampleSpline)
{
    CSplinePath path;
    EXPECT_TRUE(path.Load());
    ASSERT_TRUE(path.IsLoaded());
    Spline* spline = SplineReadFile("models/spindrel/spline.ols");
    ASSERT_NE(spline, nullptr);
    for (float t : {0.0f, 0.3f, 1.0f}) {
        V3d got{}, tangent{}, want{};
        EXPECT_TRUE(path.Evaluate(t, &got, &tangent));
        SplineEvaluate(spline, kSplinePathEased, t, &want, nullptr);
        EXPECT_FLOAT_EQ(got.x, want.x);
        EXPECT_FLOAT_EQ(got.z, want.z);
    }
    SplineDestroy(spline);
    EXPECT_TRUE(path.Release());
    EXPECT_TRUE(path.IsLoaded());

    CSplinePath unloaded;
    V3d point{};
    EXPECT_FALSE(unloaded.Evaluate(0.5f, &point, nullptr));
}

} // namespace
