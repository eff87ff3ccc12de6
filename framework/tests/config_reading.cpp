// Reading "config.xml": the attribute readers, the top-level dispatch, the
// section protocol with nested elements, block boundaries and bad files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/configsection.h"
#include "framework/framework.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"

namespace {

using Calls = std::vector<std::string>;

TEST(AttributeReaders, MatchNamesExactlyAndReadTheValue)
{
    const struct
    {
        const char* key;
        std::vector<const char*> pair;
        bool answer;
        float value;
    } cases[] = {
        {"value", {"value", "2.5"}, true, 2.5f},
        {"value", {"Value", "2.5"}, false, -1.0f}, // case matters
        {"value", {"scale", "2.5"}, false, -1.0f},
        {"value", {"value", nullptr}, false, -1.0f},
        {"value", {nullptr, nullptr}, false, -1.0f},
        {"value", {"value", "  +3"}, true, 3.0f},
        {"value", {"value", "1.5e1tail"}, true, 15.0f},
        {"value", {"value", "none"}, true, -1.0f}, // a value without a number: true, result kept
    };
    for (const auto& c : cases) {
        std::vector<const char*> pair = c.pair;
        float result = -1.0f;
        EXPECT_EQ(ReadFloatAttribute(c.key, pair.data(), &result), c.answer) << c.pair[0];
        EXPECT_EQ(result, c.value) << (c.pair[1] ? c.pair[1] : "(null)");
    }
    const char* ints[] = {"level", "12.9", nullptr};
    int32_t level = 0;
    EXPECT_TRUE(ReadIntAttribute("level", ints, &level));
    EXPECT_EQ(level, 12);
    const char* huge[] = {"level", "99999999999", nullptr};
    EXPECT_TRUE(ReadIntAttribute("level", huge, &level));
    EXPECT_EQ(level, 12) << "a number out of range leaves the result alone";
    EXPECT_FALSE(ReadIntAttribute("level", nullptr, &level));
}

TEST(AttributeReaders, PairsByPosition)
{
    const char* attributes[] = {"x", "1", "y", "2", nullptr};
    EXPECT_EQ(AttributePair(attributes, 1), attributes + 2);
    EXPECT_EQ(AttributePair(attributes, 2), attributes + 4); // the null name: readers answer false
    EXPECT_EQ(AttributePair(attributes, 3), nullptr);
    float z = 7.0f;
    EXPECT_FALSE(ReadFloatAttribute("z", AttributePair(attributes, 2), &z));
    EXPECT_EQ(z, 7.0f);
}

class ConfigReading : public FrameworkTest
{
  protected:
    /// Reads `text` as the configuration of a new recording application.
    RecordingApplication& Read(const std::string& text)
    {
        path_ = WriteFile("config.xml", text);
        app_ = std::make_unique<RecordingApplication>(path_.c_str());
        app_->LoadConfiguration();
        return *app_;
    }

    std::string path_;
    std::unique_ptr<RecordingApplication> app_;
};

TEST_F(ConfigReading, MissingFileHaltsWithItsMessage)
{
    const std::string absent = (folder_ / "absent.xml").string();
    RecordingApplication app(absent.c_str());
    app.LoadConfiguration();
    EXPECT_EQ(Boxes(), Calls{"Configuration file not found\n config.xml should be added in root directory"});
    EXPECT_TRUE(Framework().halt);
}

TEST_F(ConfigReading, ScaleWithAMisnamedAttributeStaysSilently)
{
    ConfigBuilder config;
    config.Open("Config").Element("Scale", {{"Value", "3.0"}});
    EXPECT_EQ(Read(config.Text()).GetScale(), 1.0f);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(Framework().halt);

    ConfigBuilder good;
    good.Open("Config").Element("Scale", {{"value", "0.5"}});
    EXPECT_EQ(Read(good.Text()).GetScale(), 0.5f);
}

TEST_F(ConfigReading, DebugLevelIsTheFirstAttribute)
{
    ConfigBuilder good;
    good.Open("Config").Element("Debug", {{"level", "2"}});
    Read(good.Text());
    EXPECT_EQ(Framework().debugLevel, 2);
    EXPECT_TRUE(Boxes().empty());

    ConfigBuilder second;
    second.Open("Config")
        .Element("Debug", {{"mode", "x"}, {"level", "1"}})
        .Element("Scale", {{"value", "2"}});
    Read(second.Text());
    EXPECT_EQ(Boxes(), Calls{"'level' attribute not found in 'Debug' section.\nPlease update your XML file"});
    EXPECT_TRUE(Framework().halt);
    EXPECT_EQ(app_->GetScale(), 2.0f) << "an error box does not stop the reading";
}

TEST_F(ConfigReading, ResourceArenaOnlyInsideGraphicsSettings)
{
    ConfigBuilder outside;
    outside.Open("Config").Element("RessourceArena", {{"size", "1024"}});
    EXPECT_EQ(Read(outside.Text()).GetResourceArenaSize(), 0x800000u);

    ConfigBuilder inside;
    inside.Open("Config")
        .Open("GraphicsGlobalSettings")
        .Element("Scale", {{"value", "4"}}) // ignored in here
        .Element("RessourceArena", {{"size", "4096"}})
        .Close()
        .Element("Scale", {{"value", "3"}});
    Read(inside.Text());
    EXPECT_EQ(app_->GetResourceArenaSize(), 4096u);
    EXPECT_EQ(app_->GetScale(), 3.0f) << "the settings end where their element ends";

    // Sizes that wrap or would take most of the memory keep the size.
    for (const char* size : {"-1", "268435457", "838388608"}) {
        ConfigBuilder huge;
        huge.Open("Config").Open("GraphicsGlobalSettings").Element("RessourceArena", {{"size", size}});
        EXPECT_EQ(Read(huge.Text()).GetResourceArenaSize(), 0x800000u) << size;
    }
    ConfigBuilder largest;
    largest.Open("Config").Open("GraphicsGlobalSettings").Element("RessourceArena", {{"size", "268435456"}});
    EXPECT_EQ(Read(largest.Text()).GetResourceArenaSize(), 268435456u);

    ConfigBuilder missing;
    missing.Open("Config").Open("GraphicsGlobalSettings").Element("RessourceArena", {{"bytes", "1"}});
    Read(missing.Text());
    EXPECT_EQ(Boxes(),
              Calls{"'size' attribute not found in 'RessourceArena' section.\nPlease update your XML file"});
}

TEST_F(ConfigReading, ApplicationElementsReachTheGame)
{
    ConfigBuilder config;
    config.Open("Config")
        .Open("Application")
        .Element("Players", {{"count", "2"}})
        .Open("Light", {{"type", "Ambient"}}) // nested: the game's, not a light
        .Element("Color", {{"r", "1"}, {"g", "1"}, {"b", "1"}})
        .Close()
        .Close()
        .Element("Scale", {{"value", "5"}});
    RecordingApplication& app = Read(config.Text());
    EXPECT_EQ(app.calls,
              (Calls{"start Application", "start Players", "end Players", "start Light", "start Color",
                     "end Color", "end Light", "end Application", "start Scale", "end Scale", "end Config"}));
    EXPECT_EQ(app.GetScale(), 1.0f) << "after Application the game stays the receiver";
}

TEST_F(ConfigReading, SectionsToComeAreSwallowedWholeAndAudioIgnored)
{
    ConfigBuilder config;
    config.Open("Config")
        .Open("Light", {{"type", "Ambient"}}) // before any world: creates nothing
        .Element("Scale", {{"value", "9"}})
        .Close()
        .Open("Audio")
        .Element("Debug", {{"level", "2"}})
        .Close()
        .Open("Camera")
        .Open("Light")
        .Close()
        .Element("Debug", {{"level", "1"}})
        .Close()
        .Element("Door")
        .Element("Scale", {{"value", "2"}});
    RecordingApplication& app = Read(config.Text());
    EXPECT_EQ(app.GetScale(), 2.0f);
    EXPECT_EQ(Framework().debugLevel, 0);
    EXPECT_TRUE(app.calls.empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ConfigReading, BlockBoundariesReadAlike)
{
    for (const size_t size : {size_t(1023), size_t(1024), size_t(1025), size_t(2048), size_t(2049)}) {
        ConfigBuilder config;
        config.Open("Config").Element("Scale", {{"value", "0.25"}}).Element("Debug", {{"level", "1"}});
        config.PadTo(size - std::string("</Config>\n").size()).Close();
        const std::string text = config.Text();
        ASSERT_EQ(text.size(), size);
        Framework().debugLevel = 0;
        Read(text);
        EXPECT_EQ(app_->GetScale(), 0.25f) << size;
        EXPECT_EQ(Framework().debugLevel, 1) << size;
        EXPECT_TRUE(Boxes().empty()) << size;
    }
}

TEST_F(ConfigReading, MalformedTailKeepsTheEarlierEffects)
{
    ConfigBuilder config;
    config.Open("Config")
        .Element("Scale", {{"value", "0.75"}})
        .Open("Application")
        .Element("Early")
        .Raw("<Broken attr=>\n")
        .Element("Late");
    RecordingApplication& app = Read(config.Text());
    EXPECT_EQ(app.GetScale(), 0.75f);
    EXPECT_EQ(app.calls, (Calls{"start Application", "start Early", "end Early"}));
    EXPECT_TRUE(Boxes().empty()) << "a malformed file stops without a message";

    // A file cut inside a section leaves nothing open for a second reading.
    Read("<Config><Application><Open>");
    app_->LoadConfiguration();
    EXPECT_EQ(app_->calls, (Calls{"start Application", "start Open", "start Application", "start Open"}));
}

} // namespace
