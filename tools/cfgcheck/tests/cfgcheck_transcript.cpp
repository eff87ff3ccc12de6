// cfgcheck on configurations written by the builder: the dispatch and the
// error boxes it prints, and the program's exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/testing/configbuilder.h"
#include "tools/cfgcheck/configcheck.h"

namespace {

std::string Write(const std::string& name, const std::string& text)
{
    const std::filesystem::path folder = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "cfgcheck";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << text;
    return (folder / name).string();
}

TEST(CfgCheck, GoodConfiguration)
{
    ConfigBuilder config;
    config.Open("Config")
        .Open("GraphicsGlobalSettings")
        .Element("RessourceArena", {{"size", "4194304"}})
        .Close()
        .Open("Worlds")
        .Element("World", {{"file", "level"}})
        .Close()
        .Element("Scale", {{"value", "1"}})
        .Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}})
        .Element("Mode", {{"value", "Free"}})
        .Close()
        .Open("Application")
        .Element("Player", {{"name", "VIP"}})
        .Close();
    std::string transcript;
    EXPECT_EQ(ConfigCheck(Write("good.xml", config.Text()).c_str(), &transcript), 0);
    EXPECT_EQ(transcript,
              "element Config\n"
              "element GraphicsGlobalSettings\nopen GraphicsGlobalSettings\nclose GraphicsGlobalSettings\n"
              "element Worlds\nopen Worlds\nclose Worlds\n"
              "element Scale\n"
              "element Camera\nopen Camera\nclose Camera\n"
              "element Application\nopen Application\ngame start Application\n"
              "game start Player\ngame end Player\ngame end Application\n"
              "game end Config\nclose Config\n");
}

TEST(CfgCheck, FaultyConfiguration)
{
    ConfigBuilder config;
    config.Open("Config").Element("Debug", {{"Level", "1"}}).Element("Scale", {{"value", "2"}});
    std::string transcript;
    EXPECT_EQ(ConfigCheck(Write("faulty.xml", config.Text()).c_str(), &transcript), 1);
    EXPECT_EQ(transcript,
              "element Config\n"
              "box [Ombrelight AI Game Engine error handler]: 'level' attribute not found in 'Debug' "
              "section.\nPlease update your XML file\n"
              "element Debug (refused)\n"
              "element Scale\n");

    std::string missing;
    EXPECT_EQ(ConfigCheck(Write("empty.xml", "<Config/>").c_str(), &missing), 0);
    EXPECT_NE(missing.find("warning: no 'Worlds' section"), std::string::npos);
    EXPECT_NE(missing.find("warning: no 'Camera' section"), std::string::npos);
}

TEST(CfgCheck, ProgramExitStatus)
{
    ConfigBuilder faulty;
    faulty.Open("Config").Element("Debug");
    const std::string bad = Write("bad.xml", faulty.Text());
    const std::string good = Write("fine.xml", "<Config><Scale value=\"2\"/></Config>");
    const std::string quiet = " > " + (std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "cfgcheck.out").string();
    EXPECT_EQ(std::system((std::string(OLAI_CFGCHECK) + " " + good + quiet).c_str()), 0);
    EXPECT_NE(std::system((std::string(OLAI_CFGCHECK) + " " + bad + quiet).c_str()), 0);
    EXPECT_NE(std::system((std::string(OLAI_CFGCHECK) + " " + bad + "-absent" + quiet).c_str()), 0);
}

} // namespace
