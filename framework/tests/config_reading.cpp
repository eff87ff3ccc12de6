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
        {"value", {"value", "  +3 "}, true, 3.0f},
        {"value", {"value", "-1e6"}, true, -1e6f},
    };
    for (const auto& c : cases) {
        std::vector<const char*> pair = c.pair;
        float result = -1.0f;
        EXPECT_EQ(ReadFloatAttribute(c.key, pair.data(), &result), c.answer) << c.pair[0];
        EXPECT_EQ(result, c.value) << (c.pair[1] ? c.pair[1] : "(null)");
    }
    const char* ints[] = {"level", " 12 ", nullptr};
    int32_t level = 0;
    EXPECT_TRUE(ReadIntAttribute("level", ints, &level));
    EXPECT_EQ(level, 12);
    EXPECT_FALSE(ReadIntAttribute("level", nullptr, &level));
}

class RefusedValues : public FrameworkTest
{
};

// A value that is there but is no number of the kind asked for is refused
// with the file, the element, the attribute and the value, and halts the
// program; the reader still answers true (the attribute is there) and keeps
// the result as it was.
TEST_F(RefusedValues, WordsFractionsAndNonFiniteNumbersAreNamedInTheErrorBox)
{
    const struct
    {
        const char* value;
        bool integer;
        const char* why;
    } cases[] = {
        {"none", false, "is not a finite number from -1e6 to 1e6"},
        {"1.5e1tail", false, "is not a finite number from -1e6 to 1e6"},
        {"nan", false, "is not a finite number from -1e6 to 1e6"},
        {"-inf", false, "is not a finite number from -1e6 to 1e6"},
        {"1e39", false, "is not a finite number from -1e6 to 1e6"},
        {"-1e30", false, "is not a finite number from -1e6 to 1e6"},
        {"", false, "is not a finite number from -1e6 to 1e6"},
        {"ten", true, "is not a whole number"},
        {"12.9", true, "is not a whole number"},
        {"99999999999", true, "is not a whole number from -2147483648 to 2147483647"},
    };
    ConfigSetReadingPlace("dir/config.xml", "Gravity");
    for (const auto& c : cases) {
        Boxes().clear();
        Framework().halt = false;
        const char* pair[] = {"y", c.value, nullptr};
        float real = 7.0f;
        int32_t whole = 7;
        EXPECT_TRUE(c.integer ? ReadIntAttribute("y", pair, &whole) : ReadFloatAttribute("y", pair, &real));
        EXPECT_EQ(real, 7.0f) << c.value;
        EXPECT_EQ(whole, 7) << c.value;
        EXPECT_TRUE(Framework().halt) << c.value;
        EXPECT_EQ(Boxes(), Calls{"dir/config.xml: element 'Gravity' attribute 'y' value '" +
                                 std::string(c.value) + "' " + c.why + ".\nPlease update your XML file"});
    }
    ConfigSetReadingPlace(nullptr, nullptr);
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

// Values that would leave every frame blank are refused with the element,
// the attribute and the value, whatever section they are in.
TEST_F(ConfigReading, ValuesThatLeaveNothingToDrawAreRefused)
{
    const struct
    {
        const char* what;
        std::string text;
        const char* box;
    } cases[] = {
        {"scale 0", ConfigBuilder().Open("Config").Element("Scale", {{"value", "0"}}).Text(),
         "element 'Scale' attribute 'value' value '0' is not a scale of 0.001 or more"},
        {"scale -2", ConfigBuilder().Open("Config").Element("Scale", {{"value", "-2"}}).Text(),
         "element 'Scale' attribute 'value' value '-2' is not a scale of 0.001 or more"},
        {"scale word", ConfigBuilder().Open("Config").Element("Scale", {{"value", "big"}}).Text(),
         "element 'Scale' attribute 'value' value 'big' is not a finite number from -1e6 to 1e6"},
        {"debug word", ConfigBuilder().Open("Config").Element("Debug", {{"level", "high"}}).Text(),
         "element 'Debug' attribute 'level' value 'high' is not a whole number"},
    };
    for (const auto& c : cases) {
        Boxes().clear();
        Framework().halt = false;
        Read(c.text);
        ASSERT_EQ(Boxes().size(), 1u) << c.what;
        EXPECT_EQ(Boxes()[0], path_ + ": " + c.box + ".\nPlease update your XML file") << c.what;
        EXPECT_TRUE(Framework().halt) << c.what;
        EXPECT_EQ(app_->GetScale(), 1.0f) << c.what;
    }
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

    // Sizes that leave no cache, wrap or would take most of the memory are
    // refused and keep the size.
    for (const char* size : {"0", "-1", "268435457", "838388608"}) {
        ConfigBuilder huge;
        huge.Open("Config").Open("GraphicsGlobalSettings").Element("RessourceArena", {{"size", size}});
        Boxes().clear();
        EXPECT_EQ(Read(huge.Text()).GetResourceArenaSize(), 0x800000u) << size;
        EXPECT_EQ(Boxes(), Calls{path_ + ": element 'RessourceArena' attribute 'size' value '" + size +
                                 "' is not a size from 1 to 268435456 bytes.\nPlease update your XML file"});
    }
    ConfigBuilder largest;
    largest.Open("Config").Open("GraphicsGlobalSettings").Element("RessourceArena", {{"size", "268435456"}});
    EXPECT_EQ(Read(largest.Text()).GetResourceArenaSize(), 268435456u);

    ConfigBuilder missing;
    missing.Open("Config").Open("GraphicsGlobalSettings").Element("RessourceArena", {{"bytes", "1"}});
    Boxes().clear();
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
