#pragma once
// The scene tests' fixture: the engine on the software device in a headless
// window with the scene library attached, optionally over the counting
// memory table, and byte helpers for chunks.

#include <gtest/gtest.h>

#include "graphics/core/error.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/scene/scenelibrary.h"

class SceneFixture : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        CountingMemory::Reset();
    }

    void TearDown() override
    {
        Shutdown();
        EXPECT_EQ(CountingMemory::live, 0) << "engine blocks left after shutdown";
        EngineFixture::TearDown();
    }

    /// Init (over the counting table when asked), attach, open and start.
    bool StartScene(bool counting = false)
    {
        return EngineInit(counting ? CountingMemory::Table() : nullptr, 0, 0x400000) &&
               WorldLibraryAttach() && Open() && EngineStart();
    }

    /// The pending error, cleared.
    static ErrorRecord TakeError()
    {
        ErrorRecord error;
        ErrorGet(&error);
        return error;
    }
};
