// physics-viewer run headless on the sample data with the menu, the volume
// edges, the contacts and the iteration counts shown: the last frame is
// compared with a reference picture (99.5 % of the pixels within 3 levels
// per channel); the simulation and the drawing are deterministic.
#include <gtest/gtest.h>

#include <string>

#include "platform/d3d9/testing/referenceimage.h"

namespace {

TEST(PhysicsViewer, PictureMatchesTheReference)
{
    const std::string shot = OLAI_TEST_OUTPUT_DIR "/physics-viewer.png";
    const std::string command = "cd " OLAI_VIEWER_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=20 "
                                "OLAI_EXIT_AFTER_FRAMES=60 OLAI_SCREENSHOT=" +
                                shot + " OLAI_INPUT_SCRIPT=" OLAI_VIEWER_SCRIPT " " OLAI_VIEWER_PROGRAM;
    const std::string failure = d3d9test::CompareProgramFrameWithReference(
        command, shot, OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR, "physics_viewer");
    EXPECT_TRUE(failure.empty()) << failure;
}

} // namespace
