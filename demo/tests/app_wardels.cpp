// The demo's application over the sample data (run in the data root): its
// keys, the start-up with characters made by a test factory, the frame, F1,
// the AI's queries through the physics world, and what broken data does.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "ai/behaviours/wardel_team.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/team.h"
#include "demo/tests/fakecharacter.h"
#include "demo/wardelapplication.h"
#include "framework/animationfile.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/shellwin.h"
#include "platform/d3d9/d3d9control.h"
#include "testing/textpattern.h"

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// The characters the factory made, in order; live ones only.
std::vector<FakeCharacter*>& Made()
{
    static std::vector<FakeCharacter*> made;
    return made;
}

class LiveCharacter : public FakeCharacter
{
  public:
    LiveCharacter() { Made().push_back(this); }
    ~LiveCharacter() override { std::erase(Made(), this); }
};

CWardelCharacter* MakeFake()
{
    return new LiveCharacter;
}

class WardelApp : public FrameworkTest
{
  protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        CWardelApplication::SetCharacterFactory(&MakeFake);
        Zelk::ShowCoverage = 0;
    }

    void TearDown() override
    {
        Stop();
        CWardelApplication::SetCharacterFactory(nullptr);
        FrameworkTest::TearDown();
        EXPECT_TRUE(Made().empty()) << "every character is removed at the end";
    }

    /// The sample configuration with `application` as its "Application"
    /// section and without the start screen.
    static std::string SampleConfig(const std::string& application)
    {
        std::string text = ReadText("config.xml");
        text = TextPatternReplace(text, "<Application>[\\s\\S]*</Application>", application);
        return TextPatternReplace(text, "<Hud/>", "");
    }

    static std::string Application(const std::string& bots, const std::string& aiPath = "data/wardels.ais",
                                   const std::string& mode = "<AiMode value=\"InGame\"/>")
    {
        return "<Application><Player><InitialPosition x=\"-11.0\" y=\"0.0\" z=\"-6.0\"/></Player>" + bots +
               "<AiPathData value=\"" + aiPath + "\"/>" + mode + "</Application>";
    }

    /// Events 16 and 13 with `config`; the answer of OnInitialize.
    bool Start(const std::string& config)
    {
        path_ = WriteFile("config.xml", config);
        app_ = std::make_unique<CWardelApplication>(path_.c_str());
        Current() = app_.get();
        window_ = Win32WindowCreate("wardels test", 640, 480);
        EXPECT_NE(window_, nullptr);
        EXPECT_EQ(app_->OnEvent(ShellEventInitialise, nullptr), ShellEventHandled);
        app_->SetHWND(window_);
        EXPECT_TRUE(app_->Initialize(window_));
        return app_->OnInitialize();
    }

    void Frame(uint32_t ms = 20)
    {
        Now() += ms;
        app_->OnEvent(ShellEventIdle, nullptr);
    }

    void Stop()
    {
        if (window_ == nullptr)
            return;
        app_->OnEvent(ShellEventStopEngine, nullptr);
        ShellTerminate();
        Win32WindowDestroy(window_);
        window_ = nullptr;
        D3D9ResetAdapters();
        // The framework's animation table is process-wide and never takes a
        // freed slot again: each start of the application in this process
        // begins with an empty one, as a program does.
        ResetAnimationRegistry();
    }

    /// A copy of the sample AI data with `from` replaced by `to` (same
    /// length), or cut to `keep` bytes; its path from the data root.
    std::string DamagedAis(const std::string& from, const std::string& to, size_t keep = 0)
    {
        std::string bytes = ReadText("data/wardels.ais");
        for (size_t at = bytes.find(from); !from.empty() && at != std::string::npos;
             at = bytes.find(from, at))
            bytes.replace(at, from.size(), to);
        if (keep > 0)
            bytes.resize(keep);
        WriteFile("damaged.ais", bytes);
        return std::filesystem::relative(folder_ / "damaged.ais").string();
    }

    std::string path_;
    std::unique_ptr<CWardelApplication> app_;
    HWND window_ = nullptr;
};

TEST_F(WardelApp, KeysAreReadByPositionInsidePlayerAndBots)
{
    CWardelApplication app("config.xml");
    EXPECT_STREQ(app.GetTitle(), "OLAI - Wardels");
    const char* at[] = {"x", "1", "y", "2", "z", "3", nullptr};
    const char* elsewhere[] = {"x", "7", "y", "7", "z", "7", nullptr};
    // Outside "Player" and "Bots" a position is ignored.
    EXPECT_TRUE(app.OnXmlStartElement("InitialPosition", elsewhere));
    EXPECT_EQ(app.GetPlayerPosition().x, 0.0f);
    EXPECT_EQ(app.GetBotsPosition().x, 0.0f);
    // "Player" without a position, then "Bots" with one.
    EXPECT_TRUE(app.OnXmlStartElement("Player", nullptr));
    EXPECT_TRUE(app.OnXmlEndElement("Player"));
    const char* number[] = {"number", "3", nullptr};
    EXPECT_TRUE(app.OnXmlStartElement("Bots", number));
    EXPECT_TRUE(app.OnXmlStartElement("InitialPosition", at));
    EXPECT_TRUE(app.OnXmlEndElement("Bots"));
    EXPECT_EQ(app.GetEscortCount(), 3);
    EXPECT_EQ(app.GetBotsPosition().z, 3.0f);
    EXPECT_EQ(app.GetPlayerPosition().z, 0.0f);
    EXPECT_TRUE(app.OnXmlStartElement("InitialPosition", elsewhere));
    EXPECT_EQ(app.GetBotsPosition().z, 3.0f);
    // A missing coordinate answers false.
    const char* noZ[] = {"x", "1", "y", "2", nullptr};
    const char* swapped[] = {"y", "1", "x", "2", "z", "3", nullptr};
    EXPECT_TRUE(app.OnXmlStartElement("Player", nullptr));
    EXPECT_FALSE(app.OnXmlStartElement("InitialPosition", noZ));
    EXPECT_FALSE(app.OnXmlStartElement("InitialPosition", swapped));
    const char* badNumber[] = {"count", "3", nullptr};
    EXPECT_FALSE(app.OnXmlStartElement("Bots", badNumber));
    // "AiMode": any value sets the flag, only "InGame" is accepted.
    EXPECT_FALSE(app.IsInGame());
    const char* foo[] = {"value", "Foo", nullptr};
    EXPECT_FALSE(app.OnXmlStartElement("AiMode", foo));
    EXPECT_TRUE(app.IsInGame());
    const char* inGame[] = {"value", "InGame", nullptr};
    EXPECT_TRUE(app.OnXmlStartElement("AiMode", inGame));
    // "AiPathData": a value under 256 characters.
    const std::string longest(255, 'a'), tooLong(256, 'b');
    const char* fits[] = {"value", longest.c_str(), nullptr};
    const char* overflows[] = {"value", tooLong.c_str(), nullptr};
    const char* unnamed[] = {"file", "x.ais", nullptr};
    EXPECT_TRUE(app.OnXmlStartElement("AiPathData", fits));
    EXPECT_FALSE(app.OnXmlStartElement("AiPathData", overflows));
    EXPECT_FALSE(app.OnXmlStartElement("AiPathData", unnamed));
    EXPECT_EQ(std::string(app.GetAiPathData()), longest);
    EXPECT_TRUE(app.OnXmlStartElement("Anything", nullptr));
}

TEST_F(WardelApp, StartMakesTheTeamTheVipAndTheEscorts)
{
    ASSERT_TRUE(Start(SampleConfig(
        Application("<Bots number=\"3\"><InitialPosition x=\"0.0\" y=\"0.0\" z=\"0.0\"/></Bots>"))));
    ASSERT_NE(app_->GetAiWorld(), nullptr);
    ASSERT_EQ(Made().size(), 4u);
    FakeCharacter* vip = Made()[0];
    EXPECT_EQ(app_->GetVip(), vip);
    EXPECT_EQ(vip->appliedProfile, "BlueSoldier");
    EXPECT_EQ(vip->matrix.pos.x, -11.0f);
    EXPECT_EQ(vip->matrix.pos.z, -6.0f);
    EXPECT_EQ(vip->heading, 100.0f);
    EXPECT_TRUE(vip->playerControlled);
    EXPECT_TRUE(vip->registered);
    // Each escort further out than the one before.
    const V3d expected[3] = {{0.25f, 0.0f, 0.0f}, {0.75f, 0.0f, 0.25f}, {1.5f, 0.0f, 0.75f}};
    for (int i = 0; i < 3; ++i) {
        FakeCharacter* escort = Made()[size_t(i) + 1];
        EXPECT_EQ(app_->GetEscort(i), escort);
        EXPECT_EQ(escort->appliedProfile, "RedSoldier");
        EXPECT_EQ(escort->profilePosition.x, expected[i].x) << i;
        EXPECT_EQ(escort->profilePosition.z, expected[i].z) << i;
        EXPECT_EQ(escort->matrix.pos.x, expected[i].x) << i;
        EXPECT_FALSE(escort->playerControlled);
        EXPECT_TRUE(escort->inWorld);
        EXPECT_TRUE(escort->registered);
    }
    auto* team = static_cast<Zelk::CWardelTeam*>(app_->GetEscortTeam());
    ASSERT_NE(team, nullptr);
    EXPECT_EQ(team->GetMembers().GetCount(), 3u);
    ASSERT_NE(team->GetVip(), nullptr);
    EXPECT_STREQ(team->GetVip()->GetName(), "Player");

    // Every frame updates each escort, then the VIP, with the frame's step.
    for (int frame = 0; frame < 3; ++frame)
        Frame(20);
    for (FakeCharacter* character : Made()) {
        EXPECT_EQ(character->updates, 3);
        EXPECT_NEAR(character->lastStep, 0.02f, 1e-6f);
    }
    EXPECT_EQ(vip->shotRenders, 3);
}

TEST_F(WardelApp, NoEscortsStillMakesTheTeamAndTheVip)
{
    ASSERT_TRUE(Start(SampleConfig(Application("<Bots number=\"0\"/>"))));
    EXPECT_EQ(Made().size(), 1u);
    EXPECT_EQ(app_->GetEscort(0), nullptr);
    EXPECT_NE(app_->GetEscortTeam(), nullptr);
    Frame();
    EXPECT_EQ(Made()[0]->updates, 1);
}

TEST_F(WardelApp, F1PressedTwiceBetweenFramesTogglesOnce)
{
    ASSERT_TRUE(Start(SampleConfig(Application("<Bots number=\"1\"/>"))));
    ShellKeyRecord f1{0, kShellKeyF1};
    for (int press = 0; press < 2; ++press) {
        CInputManager::KeyboardHandler(ShellEventKeyDown, &f1);
        CInputManager::KeyboardHandler(ShellEventKeyUp, &f1);
    }
    Frame();
    EXPECT_EQ(Zelk::ShowCoverage, 1);
    Frame();
    EXPECT_EQ(Zelk::ShowCoverage, 1);
    CInputManager::KeyboardHandler(ShellEventKeyDown, &f1);
    Frame();
    EXPECT_EQ(Zelk::ShowCoverage, 0);
}

TEST_F(WardelApp, AiQueriesGoThroughThePhysicsWorld)
{
    ASSERT_TRUE(Start(SampleConfig(Application("<Bots number=\"1\"/>"))));
    // Through the hall's east door to the outer wall at x = 14, as the AI asks.
    Zelk::CHitRecord hit;
    const Zelk::CVec3 from(0.0f, 1.5f, 0.0f), to(20.0f, 1.5f, 0.0f);
    ASSERT_TRUE(Zelk::HostRayCast(from, to, nullptr, 1, &hit));
    EXPECT_NEAR(hit.fraction, 14.0f / 20.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(hit.normal.x), 1.0f, 1e-4f);
    EXPECT_FALSE(Zelk::HostIsVisible(from, to, nullptr, 1));
    EXPECT_TRUE(Zelk::HostIsVisible(from, Zelk::CVec3(10.0f, 1.5f, 0.0f), nullptr, 1));
    EXPECT_TRUE(Zelk::HostCanGo(from, Zelk::CVec3(10.0f, 1.5f, 0.0f), 1.0f, nullptr, 1));
    EXPECT_FALSE(Zelk::HostCanGo(from, Zelk::CVec3(10.0f, 1.5f, 0.0f), 2.0f, nullptr, 1));
    // The same point: the length, without a query.
    float normal[3] = {5.0f, 5.0f, 5.0f};
    const float p[3] = {0.0f, 1.5f, 0.0f};
    EXPECT_EQ(Zelk::AiGetSettings().rayCast, &Zelk::HostRayCast);
    EXPECT_EQ(Zelk::AiGetHostInterface()->rayCast(p, p, nullptr, 1, 7.0f, normal), 7.0f);
}

// The demo needs its AI data whole: a file that is missing, cut short,
// carries a number that is not a finite float, or whose world leaves out a
// service stops the start with an error box that names the file and what is
// wrong (and where), which halts the frames.
TEST_F(WardelApp, BrokenAiDataStopsTheStartWithAMessage)
{
    struct Case
    {
        const char* what;
        std::string from, to;
        size_t keep;
        std::vector<std::string> said;
    };
    const size_t size = ReadText("data/wardels.ais").size();
    const Case cases[] = {
        {"no team", "WardelsTeam", "WardelsTeaX", 0, {"Wardels: the AI data has no team \"WardelsTeam\""}},
        {"cut in the tree", "", "", 200, {"damaged.ais is damaged: ", " at byte "}},
        {"NaN in a leaf", "<AstarMemory>", "<AstarMemory>", 0, {}}, // replaced below
        {"cut in the raw data", "", "", size - 100, {"damaged.ais makes no escort team"}},
        {"missing file", "", "", 0, {"Wardels: the AI data data/none.ais cannot be opened"}},
    };
    for (const Case& c : cases) {
        std::string path =
            std::string(c.what) == "missing file" ? "data/none.ais" : DamagedAis(c.from, c.to, c.keep);
        std::vector<std::string> said = c.said;
        if (std::string(c.what) == "NaN in a leaf") {
            path = DamagedAis(std::string("4000\0", 5), std::string("nan\0\0", 5));
            said = {
                "damaged.ais is damaged: <AstarMemory> holds \"nan\", which is not a finite number at byte "};
        }
        Boxes().clear();
        EXPECT_FALSE(Start(SampleConfig(Application("<Bots number=\"2\"/>", path)))) << c.what;
        std::string boxes;
        for (const std::string& box : Boxes())
            boxes += box + "\n";
        for (const std::string& part : said)
            EXPECT_NE(boxes.find(part), std::string::npos) << c.what << ": " << boxes;
        EXPECT_TRUE(Framework().halt) << c.what;
        EXPECT_EQ(app_->GetVip(), nullptr) << c.what;
        Stop();
    }
}

// "Bots" asks for as many characters as the framework's table holds beside
// the VIP at most; more is refused with the key before anything is made.
TEST_F(WardelApp, EscortCountsBeyondTheCharacterTableAreRefused)
{
    for (const char* number : {"2147483647", "256", "-1", "many"}) {
        Boxes().clear();
        Start(SampleConfig(Application(std::string("<Bots number=\"") + number + "\"/>")));
        ASSERT_FALSE(Boxes().empty()) << number;
        EXPECT_NE(Boxes()[0].find(std::string("element 'Bots' attribute 'number' value '") + number + "'"),
                  std::string::npos)
            << Boxes()[0];
        EXPECT_EQ(app_->GetEscortCount(), 0) << number;
        Stop();
    }
    ASSERT_TRUE(Start(SampleConfig(Application("<Bots number=\"255\"/>", "data/wardels.ais"))));
    EXPECT_EQ(app_->GetEscortCount(), 255);
}

// A position that is not a finite number never reaches the characters and
// the escort team: the configuration is refused with the element and value.
TEST_F(WardelApp, NonFinitePositionsAreRefused)
{
    const std::string bots = "<Bots number=\"1\"><InitialPosition x=\"1\" y=\"inf\" z=\"0\"/></Bots>";
    Boxes().clear();
    Start(SampleConfig(Application(bots)));
    ASSERT_FALSE(Boxes().empty());
    EXPECT_NE(Boxes()[0].find("element 'InitialPosition' attribute 'y' value 'inf' is not a finite number"),
              std::string::npos)
        << Boxes()[0];
    EXPECT_TRUE(std::isfinite(app_->GetBotsPosition().y));
}

TEST_F(WardelApp, EscortsWithoutGuardConfigurationHaveNoEntities)
{
    ASSERT_TRUE(Start(SampleConfig(Application("<Bots number=\"2\"/>", DamagedAis("Guard", "Guarx")))));
    EXPECT_EQ(Made().size(), 3u);
    EXPECT_EQ(app_->GetEscortTeam()->GetMembers().GetCount(), 0u);
    Frame();
}

using WardelAppDeathTest = WardelApp;

TEST_F(WardelAppDeathTest, ExitCodesForNoGameModeAndNoPlayer)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(Start(SampleConfig(Application("<Bots number=\"1\"/>", "data/wardels.ais", ""))),
                ::testing::ExitedWithCode(255), "");
    EXPECT_EXIT(Start(SampleConfig(Application("<Bots number=\"1\"/>", DamagedAis("Player", "Plxyer")))),
                ::testing::ExitedWithCode(254), "");
}

} // namespace
