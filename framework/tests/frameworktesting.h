#pragma once
// The framework tests' helpers: a recording game application, the shell's
// application handler forwarding to it, error boxes caught in a list, a
// clock the test sets, configuration files written into the test's own
// folder, and a shell engine table that runs the real engine on the device
// double (no window, no display).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/standardapplication.h"

/// A game that records what the framework hands it.
class RecordingApplication : public CStandardApplication
{
  public:
    explicit RecordingApplication(const char* configFile) : CStandardApplication(configFile) {}

    bool OnXmlStartElement(const char* element, const char**) override
    {
        calls.push_back(std::string("start ") + element);
        return true;
    }
    bool OnXmlEndElement(const char* element) override
    {
        calls.push_back(std::string("end ") + element);
        return true;
    }
    bool OnInitialize() override
    {
        calls.emplace_back("OnInitialize");
        return true;
    }
    bool OnUpdate(float step) override
    {
        steps.push_back(step);
        calls.emplace_back("OnUpdate");
        return true;
    }
    void OnRender() override { calls.emplace_back("OnRender"); }
    bool OnTerminate() override
    {
        calls.emplace_back("OnTerminate");
        return true;
    }
    const char* GetTitle() override { return "Recording"; }

    std::vector<std::string> calls;
    std::vector<float> steps;
};

/// Per test: error boxes recorded, the clock under the test's control, the
/// framework's globals reset, a folder of the test's own for files.
class FrameworkTest : public ::testing::Test
{
  public:
    /// The application that AppEventHandler forwards to (null: none).
    static CStandardApplication*& Current();

  protected:
    void SetUp() override;
    void TearDown() override;

    /// Writes `text` to `name` in the test's folder; the file's full path.
    std::string WriteFile(const std::string& name, const std::string& text);
    /// Error box texts shown since the test started.
    static std::vector<std::string>& Boxes();
    /// The time the framework's clock answers, in milliseconds.
    static uint32_t& Now();

    std::filesystem::path folder_;
};

/// Shell engine functions over the real engine on the device double; `stop`
/// also runs the test's hook first (null: nothing).
void FrameworkUseDoubleEngine(void (*onStop)());
/// Puts the shell's real engine table back.
void FrameworkUseRealEngine();

/// The framework on the software device in a headless 640 x 480 window:
/// Start sends events 16 and 13 as the shell does (the configuration `config`
/// read from the test's folder, run in <build>/data where the sample pictures,
/// fonts and spline are), Stop sends 14 and destroys the window.
class SoftwareFrameworkTest : public FrameworkTest
{
  protected:
    void TearDown() override;
    /// True when the engine started.
    bool Start(const std::string& config);
    void Stop();
    /// One frame of `ms` milliseconds (event 18).
    void RunFrame(uint32_t ms);
    /// The main camera's raster as 0xAARRGGBB words (empty without one).
    std::vector<uint32_t> CameraPixels(int32_t* width, int32_t* height);

    std::string path_;
    RecordingApplication app_{"config.xml"};
    HWND window_ = nullptr;
};
