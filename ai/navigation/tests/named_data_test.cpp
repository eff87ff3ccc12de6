#include "ai/navigation/nav_error.h"
#include "ai/navigation/neural_net.h"
#include "ai/navigation/path_way.h"
#include "ai/navigation/script_manager.h"
#include "ai/runtime/world.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace Zelk {
namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A world with one script manager whose definition holds the given entries.
CWorld* StartScriptWorld(const std::string& entries)
{
    return NavTest::StartWorld(NavTest::WorldText(
        1.0f, "<GlobalServices><Service>Scripts</Service></GlobalServices><Services><Service \"Scripts\">"
              "<Class>CScriptManager</Class>" +
                  entries + "</Service></Services>"));
}

CScriptManager* Scripts(CWorld* world)
{
    return static_cast<CScriptManager*>(world->FindGlobalService(&CScriptManager::s_classRecord));
}

std::string ScriptEntry(const std::string& name, const std::string& file)
{
    return "<Script \"" + name + "\"><RawData>" + file + "</RawData></Script>";
}

class NamedDataTest : public ::testing::Test
{
  protected:
    void TearDown() override { NavTest::StopWorld(); }
};

TEST_F(NamedDataTest, ScriptsLoadByName)
{
    const std::string hello = NavTest::OutputPath("hello.txt");
    const std::string empty = NavTest::OutputPath("empty.txt");
    WriteText(hello, "say hello\nwait 2\n");
    WriteText(empty, "");
    CWorld* world = StartScriptWorld(ScriptEntry("Hello", hello) + ScriptEntry("Empty", empty));
    ASSERT_NE(world, nullptr);
    CScriptManager* scripts = Scripts(world);
    ASSERT_NE(scripts, nullptr);
    ASSERT_NE(scripts->GetScript("Hello"), nullptr);
    EXPECT_STREQ(scripts->GetScript("Hello")->GetText(), "say hello\nwait 2\n");
    EXPECT_EQ(scripts->GetScript("Hello")->GetLength(), 17u);
    EXPECT_EQ(scripts->GetScript("hello"), nullptr); // exact case
    ASSERT_NE(scripts->GetScript("Empty"), nullptr);
    EXPECT_EQ(scripts->GetScript("Empty")->GetLength(), 0u);
    EXPECT_EQ(scripts->GetScript("Empty")->GetText(), nullptr);

    // Saved and loaded again through the host's files, from the file's start.
    const std::string copy = NavTest::OutputPath("copy.txt");
    ASSERT_TRUE(scripts->GetScript("Hello")->SaveToFile(copy.c_str()));
    CScript loaded;
    ASSERT_TRUE(loaded.LoadFromFile(copy.c_str()));
    EXPECT_STREQ(loaded.GetText(), "say hello\nwait 2\n");
    EXPECT_FALSE(loaded.LoadFromFile(NavTest::OutputPath("missing.txt").c_str()));
    CScript duplicate(loaded);
    EXPECT_STREQ(duplicate.GetText(), loaded.GetText());
    EXPECT_NE(duplicate.GetText(), loaded.GetText());
}

TEST_F(NamedDataTest, RefusedEntriesFailTheManager)
{
    const std::string file = NavTest::OutputPath("one.txt");
    WriteText(file, "x");
    const std::string longName(128, 'n');
    const std::string cases[] = {
        ScriptEntry("Twice", file) + ScriptEntry("Twice", file),        // a name used twice
        "<Script \"NoData\"></Script>",                                 // no "RawData"
        ScriptEntry("Missing", NavTest::OutputPath("missing.txt")),     // a block that cannot be read
        "<PathWay \"Wrong\"><RawData>" + file + "</RawData></PathWay>", // another manager's key
        ScriptEntry(longName, file),                                    // 128 characters
    };
    for (const std::string& entries : cases) {
        CWorld* world = StartScriptWorld(entries);
        ASSERT_NE(world, nullptr);
        EXPECT_EQ(Scripts(world), nullptr) << entries;
    }
    CWorld* world = StartScriptWorld(ScriptEntry(std::string(127, 'n'), file));
    ASSERT_NE(Scripts(world), nullptr);
    EXPECT_NE(Scripts(world)->GetScript(std::string(127, 'n').c_str()), nullptr);
}

TEST_F(NamedDataTest, TableGrowsAndRemovesInOrder)
{
    NavTest::StartRuntime();
    CPathWayManager table;
    EXPECT_EQ(table.GetCapacity(), 8u);
    for (int i = 0; i < 17; ++i) {
        ASSERT_TRUE(table.Add(("way" + std::to_string(i)).c_str(), new CPathWay()));
        if (i == 8) {
            EXPECT_EQ(table.GetCapacity(), 16u);
        }
    }
    EXPECT_EQ(table.GetCapacity(), 32u);
    EXPECT_EQ(table.GetCount(), 17u);

    CPathWay kept;
    EXPECT_FALSE(table.Add("way3", &kept)); // refused: the caller keeps it
    EXPECT_FALSE(table.Add(nullptr, &kept));
    EXPECT_FALSE(table.Add("null", nullptr));
    EXPECT_FALSE(table.Add(std::string(128, 'x').c_str(), &kept));

    // Removing gives the object back to the caller and keeps the others' order.
    CPathWay* first = table.GetPathWay("way0");
    ASSERT_TRUE(table.Remove("way0"));
    EXPECT_EQ(table.GetPathWay("way0"), nullptr);
    EXPECT_STREQ(table.GetEntry(0)->GetName(), "way1");
    EXPECT_STREQ(table.GetEntry(1)->GetName(), "way2");
    EXPECT_EQ(table.GetCount(), 16u);
    EXPECT_FALSE(table.Remove("way0"));
    delete first;
}

} // namespace
} // namespace Zelk
