// The "Camera" section read by a camera manager without an engine: error
// boxes for malformed elements, the bounded switch sequence, and NextCamera
// over sequences without fixed cameras.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/configsection.h"
#include "framework/framework.h"
#include "framework/tests/frameworktesting.h"

namespace {

using Strings = std::vector<std::string>;
using CM = CCameraManager;

class CameraSection : public FrameworkTest
{
  protected:
    /// One element start with its attributes (name, value, ...).
    bool Start(const char* element, std::vector<const char*> attributes = {})
    {
        attributes.push_back(nullptr);
        return cameras_.OnStart(element, attributes.data());
    }
    void Sequence(std::initializer_list<const char*> modes)
    {
        Start("SwitchSequence");
        for (const char* mode : modes)
            Start("Mode", {"value", mode});
        cameras_.OnEnd("SwitchSequence");
    }

    CCameraManager cameras_{2.0f};
};

TEST_F(CameraSection, MalformedElementsShowTheirMessage)
{
    const struct
    {
        const char* element;
        std::vector<const char*> attributes;
        const char* box; // null: refused without a message
    } cases[] = {
        {"Camera",
         {"nearClip", "1", "farClip", "9"},
         "'fov' attribute not found in 'Camera' section.\nPlease update your XML file"},
        {"Camera",
         {"farClip", "9"},
         "'nearClip' attribute not found in 'Camera' section.\nPlease update your XML file"},
        {"Follow",
         {"minVAngle", "0", "maxVAngle", "1", "minDistance", "1"},
         "'maxDistance' attribute not found in 'Follow' section.\nPlease update your XML file"},
        {"CameraMode",
         {"mode", "Sideways"},
         "Unrecognized camera mode.\nPlease fix the 'CameraMode' section in your XML file"},
        {"CameraMode", {"value", "Free"}, nullptr},
        {"CameraMode", {}, nullptr},
    };
    for (const auto& c : cases) {
        Boxes().clear();
        std::vector<const char*> attributes = c.attributes;
        attributes.push_back(nullptr);
        EXPECT_FALSE(cameras_.OnStart(c.element, attributes.data())) << c.element;
        EXPECT_EQ(Boxes(), c.box ? Strings{c.box} : Strings{}) << c.element;
    }
    EXPECT_EQ(cameras_.GetMode(), CM::kFree) << "a refused mode changes nothing";
}

TEST_F(CameraSection, ValuesAreReadAndDistancesScaled)
{
    EXPECT_TRUE(Start("Camera", {"nearClip", "0.5", "farClip", "800", "fov", "60"}));
    EXPECT_TRUE(
        Start("Follow", {"minVAngle", "-10", "maxVAngle", "70", "minDistance", "2", "maxDistance", "30"}));
    EXPECT_TRUE(Start("CameraMode", {"mode", "Path"}));
    EXPECT_TRUE(Start("Unknown"));
    EXPECT_EQ(cameras_.GetNearClip(), 0.5f);
    EXPECT_EQ(cameras_.GetFarClip(), 800.0f);
    EXPECT_EQ(cameras_.GetFieldOfView(), 60.0f);
    EXPECT_EQ(cameras_.GetMode(), CM::kPath);
    EXPECT_EQ(cameras_.GetFollowDistance(), 20.0f) << "10 x the scale 2";
    EXPECT_EQ(cameras_.GetFollowPitch(), 40.0f);
    EXPECT_TRUE(Boxes().empty());
}

// Clip planes and fields of view that leave nothing to draw are refused with
// the element, the attribute and the value; the camera keeps its values.
TEST_F(CameraSection, ClipsAndFieldOfViewThatDrawNothingAreRefused)
{
    const struct
    {
        std::vector<const char*> attributes;
        const char* box;
    } cases[] = {
        {{"nearClip", "0", "farClip", "9", "fov", "60"},
         "attribute 'nearClip' value '0' is not a distance above 0"},
        {{"nearClip", "nan", "farClip", "9", "fov", "60"},
         nullptr}, // the reader's own message, then the default
        {{"nearClip", "10", "farClip", "9", "fov", "60"},
         "attribute 'farClip' value '9' is not beyond the near clip"},
        {{"nearClip", "1", "farClip", "1", "fov", "60"},
         "attribute 'farClip' value '1' is not beyond the near clip"},
        {{"nearClip", "1", "farClip", "9", "fov", "0"},
         "attribute 'fov' value '0' is not an angle between 0 and 180 degrees"},
        {{"nearClip", "1", "farClip", "9", "fov", "180"},
         "attribute 'fov' value '180' is not an angle between 0 and 180 degrees"},
    };
    ConfigSetReadingPlace("config.xml", "Camera");
    const float nearClip = cameras_.GetNearClip(), farClip = cameras_.GetFarClip();
    for (const auto& c : cases) {
        Boxes().clear();
        Framework().halt = false;
        Start("Camera", c.attributes);
        ASSERT_FALSE(Boxes().empty()) << c.attributes[1];
        if (c.box) {
            EXPECT_EQ(Boxes().back(), std::string("config.xml: element 'Camera' ") + c.box +
                                          ".\nPlease update your XML file");
        }
        EXPECT_TRUE(Framework().halt);
        EXPECT_EQ(cameras_.GetNearClip(), nearClip) << c.attributes[1];
        EXPECT_EQ(cameras_.GetFarClip(), farClip) << c.attributes[3];
    }
    ConfigSetReadingPlace(nullptr, nullptr);
}

// The follow camera's start (pitch 40, distance 10 x the scale 2) is brought
// inside the configured limits.
TEST_F(CameraSection, FollowStartsInsideItsLimits)
{
    EXPECT_TRUE(
        Start("Follow", {"minVAngle", "45", "maxVAngle", "70", "minDistance", "1", "maxDistance", "3"}));
    EXPECT_EQ(cameras_.GetFollowPitch(), 45.0f);
    EXPECT_EQ(cameras_.GetFollowDistance(), 6.0f);
    EXPECT_TRUE(
        Start("Follow", {"minVAngle", "0", "maxVAngle", "30", "minDistance", "4", "maxDistance", "9"}));
    EXPECT_EQ(cameras_.GetFollowPitch(), 30.0f);
    EXPECT_EQ(cameras_.GetFollowDistance(), 8.0f);
}

TEST_F(CameraSection, SwitchSequenceHoldsEightModes)
{
    Sequence({"Path", "Fixed"});
    ASSERT_EQ(cameras_.GetSequenceCount(), 2);
    EXPECT_EQ(cameras_.GetSequenceEntry(0), CM::kPath);
    EXPECT_EQ(cameras_.GetSequenceEntry(1), CM::kFixed);

    Start("SwitchSequence");
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(Start("Mode", {"value", "Free"}));
    EXPECT_FALSE(Start("Mode", {"value", "FPS"}));
    EXPECT_EQ(Boxes(), Strings{"Too much camera modes.\nPlease increase MAX_CAMERA_MODES value"});
    EXPECT_EQ(cameras_.GetSequenceCount(), 8);

    Boxes().clear();
    EXPECT_FALSE(Start("Mode", {"name", "Free"})) << "the first attribute must be \"value\"";
    EXPECT_FALSE(Start("Mode"));
    EXPECT_FALSE(Start("Mode", {"value", "Orbit"}));
    EXPECT_EQ(Boxes(),
              Strings{"Unrecognized camera mode.\nPlease fix the 'SwitchSequence' section in your XML file"});
}

TEST_F(CameraSection, EmptySwitchSequenceIsReportedAtItsEnd)
{
    Start("SwitchSequence");
    EXPECT_FALSE(cameras_.OnEnd("SwitchSequence"));
    EXPECT_EQ(
        Boxes(),
        Strings{"Empty camera switch sequence.\nPlease fix the 'SwitchSequence' section in your XML file"});
    cameras_.NextCamera();
    EXPECT_EQ(cameras_.GetMode(), CM::kFree) << "an empty sequence has no entry to switch to";
}

TEST_F(CameraSection, NextCameraSkipsFixedWithoutFixedCameras)
{
    const struct
    {
        std::initializer_list<const char*> sequence;
        std::vector<int32_t> modes; // after each NextCamera
    } cases[] = {
        {{"Fixed", "Free"}, {CM::kFree, CM::kFree}},
        {{"Fixed", "Fixed", "Fixed"}, {CM::kFree, CM::kFree}}, // one pass, then Free
        {{"Follow", "FPS", "Free", "Fixed"}, {CM::kFps, CM::kFree, CM::kFollow, CM::kFps}},
        {{"Path", "Fixed", "Follow"}, {CM::kFollow, CM::kPath, CM::kFollow}},
    };
    for (const auto& c : cases) {
        cameras_.~CCameraManager();
        new (&cameras_) CCameraManager(1.0f);
        Sequence(c.sequence);
        std::vector<int32_t> modes;
        for (size_t i = 0; i < c.modes.size(); ++i) {
            cameras_.NextCamera();
            modes.push_back(cameras_.GetMode());
        }
        EXPECT_EQ(modes, c.modes) << *c.sequence.begin();
    }
}

TEST_F(CameraSection, FixedModeWithoutFixedCamerasFallsBackToFree)
{
    cameras_.SetMode(CM::kFixed);
    cameras_.Update(0.02f);
    EXPECT_EQ(cameras_.GetMode(), CM::kFree);
    EXPECT_EQ(cameras_.GetPreviousMode(), CM::kFixed);
    cameras_.NextFixedCamera();
    EXPECT_EQ(cameras_.GetMode(), CM::kFree) << "no fixed camera to step to";
}

TEST_F(CameraSection, ModesWithoutTargetOrSplineFallBackToFree)
{
    for (const int32_t mode : {CM::kFollow, CM::kFps, CM::kPath}) {
        cameras_.SetMode(mode);
        cameras_.Update(0.02f);
        EXPECT_EQ(cameras_.GetMode(), CM::kFree) << mode;
        EXPECT_EQ(cameras_.GetPreviousMode(), mode);
        cameras_.Update(0.02f);
        EXPECT_EQ(cameras_.GetPreviousMode(), CM::kFree);
    }
}

} // namespace
