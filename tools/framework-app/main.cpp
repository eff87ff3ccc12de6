// framework-app: the game framework with no game. It reads the configuration
// named by its argument (default "config.xml") in the data root (the current
// directory), shows the start screen when the configuration has one, moves
// the main camera as the user asks and draws a ground grid so that the
// camera's moves show. When the configuration has character profiles, the
// player walks as the first of them (arrows, right shift runs, left shift
// aims, space fires, keypad 0 jumps); being the first character, the follow
// camera takes it. Each
// time the camera mode changes, and every 10 frames, it prints the camera's
// mode, position and view direction, and where the player stands:
//
//   frame 12: Free camera at 0.00 12.00 -30.00 looking 0.00 -0.37 0.93
//   frame 12: player at 0.00 0.00 1.25 health 100.0
//
//   framework-app [config.xml]     (run in the data root)
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/cameramanager.h"
#include "framework/character.h"
#include "framework/characterprofile.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/screenquad.h"
#include "framework/standardapplication.h"
#include "graphics/core/frame.h"
#include "graphics/d3d9/im3d.h"
#include "tools/cli/tool_shell.h"

namespace {

/// The configuration's path, from the command line; the application keeps
/// a pointer to this text.
std::string gConfigPath = "config.xml";

const char* ModeName(int32_t mode)
{
    switch (mode) {
    case CCameraManager::kFree:
        return "Free";
    case CCameraManager::kFollow:
        return "Follow";
    case CCameraManager::kFps:
        return "FPS";
    case CCameraManager::kPath:
        return "Path";
    case CCameraManager::kFixed:
        return "Fixed";
    default:
        return "Unknown";
    }
}

class CFrameworkApp : public CStandardApplication
{
  public:
    CFrameworkApp() : CStandardApplication(gConfigPath.c_str()) {}

    bool OnInitialize() override
    {
        // The player: the first profile, dropped at the origin, followed by the camera.
        CPhysicsWorld* world = Framework().physicsWorld;
        if (CharacterProfileCount() == 0 || !world)
            return true;
        m_player = new CCharacter();
        if (!m_player->ApplyProfile(GetCharacterProfile(0)->name, kPlayerStart))
            return true;
        world->RegisterObject(m_player);
        return true;
    }
    bool OnUpdate(float step) override
    {
        if (m_player)
            m_player->Update(step);
        return true;
    }
    bool OnTerminate() override
    {
        if (m_player) {
            m_player->Unload();
            delete m_player;
            m_player = nullptr;
        }
        return true;
    }
    const char* GetTitle() override { return "OLAI - Framework"; }

    void OnRender() override
    {
        DrawGrid();
        if (m_player)
            m_player->RenderShots();
        Report();
    }

    ShellEventResult OnEvent(ShellEvent event, void* parameter) override
    {
        if (event == ShellEventStartEngine)
            SetHWND(static_cast<HWND>(parameter));
        return CStandardApplication::OnEvent(event, parameter);
    }

  private:
    /// A 100 x 100 grid on the ground, a line every 5 units, the axes in colour.
    static void DrawGrid()
    {
        constexpr int kLines = 21;
        static Im3DVertex vertices[4 * kLines];
        for (int i = 0; i < kLines; ++i) {
            const float c = -50.0f + 5.0f * float(i);
            const uint32_t colour = i == kLines / 2 ? 0xFFE04040 : 0xFF909090;
            const uint32_t other = i == kLines / 2 ? 0xFF4040E0 : 0xFF909090;
            vertices[4 * i + 0] = {c, 0.0f, -50.0f, 0, 1, 0, other, 0, 0};
            vertices[4 * i + 1] = {c, 0.0f, 50.0f, 0, 1, 0, other, 0, 0};
            vertices[4 * i + 2] = {-50.0f, 0.0f, c, 0, 1, 0, colour, 0, 0};
            vertices[4 * i + 3] = {50.0f, 0.0f, c, 0, 1, 0, colour, 0, 0};
        }
        // The overlays of the last frame leave their picture as the texture.
        ScreenSetRaster(nullptr);
        if (Im3DTransform(vertices, 4 * kLines, nullptr, kIm3DNoVertexAlpha)) {
            Im3DRenderPrimitive(kIm3DLineList);
            Im3DEnd();
        }
    }

    void Report()
    {
        const CCameraManager* cameras = Framework().cameraManager;
        Frame* frame = cameras ? cameras->GetCameraFrame() : nullptr;
        if (!frame)
            return;
        const int32_t mode = cameras->GetMode();
        if (mode != m_reportedMode || m_frame % kReportEvery == 0) {
            const Matrix* m = FrameGetMatrix(frame);
            std::printf("frame %d: %s camera at %.2f %.2f %.2f looking %.2f %.2f %.2f\n", m_frame,
                        ModeName(mode), double(m->pos.x), double(m->pos.y), double(m->pos.z), double(m->at.x),
                        double(m->at.y), double(m->at.z));
            m_reportedMode = mode;
            if (m_player && m_player->GetFrame()) {
                const V3d& p = FrameGetMatrix(m_player->GetFrame())->pos;
                std::printf("frame %d: player at %.2f %.2f %.2f health %.1f\n", m_frame, double(p.x),
                            double(p.y), double(p.z), double(m_player->GetHealth()));
            }
            std::fflush(stdout);
        }
        ++m_frame;
    }

    static constexpr int32_t kReportEvery = 10;
    static constexpr V3d kPlayerStart = {0.0f, 1.0f, 0.0f};
    CCharacter* m_player = nullptr;
    int32_t m_frame = 0;
    int32_t m_reportedMode = 0;
};

CFrameworkApp& App()
{
    static CFrameworkApp app;
    return app;
}

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return App().OnEvent(event, param);
}

int main(int argc, char** argv)
{
    ToolCli::App app("The game framework without a game, on a configuration of the data root (the current "
                     "directory).",
                     "framework-app");
    app.add_option("config", gConfigPath, "the configuration file (default config.xml)");
    return ToolCli::ShellMain(app, argc, argv);
}
