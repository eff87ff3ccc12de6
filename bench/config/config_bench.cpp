// Reading a 1 MB "config.xml" (hundreds of "Light" and "Character" sections
// and a game section) through the framework's reader with an observer that
// counts, against expat alone with empty handlers on the same bytes in the
// same 1024-byte blocks. Both report bytes per second.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/framework.h"
#include "framework/standardapplication.h"
#include "framework/testing/configbuilder.h"
#include "platform/win32/debugout.h"

// The benchmark runs no shell: its events go nowhere.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

namespace {

std::string MakeConfig()
{
    ConfigBuilder config;
    config.Open("Config").Element("Scale", {{"value", "1.0"}}).Element("Debug", {{"level", "1"}});
    for (int i = 0; config.Size() < (1u << 20) - 4096; ++i) {
        config.Open("Light", {{"type", i % 2 ? "Directional" : "Ambient"}})
            .Element("Color", {{"r", "0.5"}, {"g", "0.25"}, {"b", "0.125"}})
            .Element("Position", {{"x", std::to_string(i)}, {"y", "10.5"}, {"z", "-3.25"}})
            .Element("Target", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
            .Close();
        config.Open("Character", {{"name", "Soldier" + std::to_string(i)}})
            .Element("Model", {{"file", "models\\soldier\\soldier.dff"}})
            .Element("Speed", {{"walk", "1.5"}, {"run", "4.0"}})
            .Element("Animation", {{"name", "Walk"}, {"file", "anims\\walk.anm"}})
            .Close();
    }
    config.Open("Application").Element("Players", {{"count", "4"}});
    return config.Text();
}

const std::string& ConfigPath()
{
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "olai-bench-config.xml").string();
        std::ofstream(p, std::ios::binary) << MakeConfig();
        return p;
    }();
    return path;
}

class CountingApplication : public CStandardApplication, public CConfigObserver
{
  public:
    CountingApplication() : CStandardApplication(ConfigPath().c_str()) { SetConfigObserver(this); }
    bool OnXmlStartElement(const char*, const char**) override { return ++elements != 0; }
    bool OnInitialize() override { return true; }
    bool OnUpdate(float) override { return true; }
    void OnRender() override {}
    bool OnTerminate() override { return true; }
    const char* GetTitle() override { return "bench"; }
    void OnDispatched(const char*, bool) override { ++elements; }
    void OnSectionOpened(const char*) override { ++sections; }
    void OnSectionClosed(const char*) override { ++sections; }

    int64_t elements = 0;
    int64_t sections = 0;
};

void BM_FrameworkReader(benchmark::State& state)
{
    const auto size = int64_t(std::filesystem::file_size(ConfigPath()));
    Win32SetMessageBoxSink([](HWND, const char*, const char*, UINT) { return IDOK; });
    for (auto _ : state) {
        CountingApplication application;
        application.LoadConfiguration();
        benchmark::DoNotOptimize(application.sections);
    }
    Win32SetMessageBoxSink(nullptr);
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_FrameworkReader)->Unit(benchmark::kMillisecond);

void XMLCALL EmptyStart(void*, const XML_Char*, const XML_Char**)
{
}
void XMLCALL EmptyEnd(void*, const XML_Char*)
{
}

void BM_BareExpat(benchmark::State& state)
{
    const auto size = int64_t(std::filesystem::file_size(ConfigPath()));
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(parser, EmptyStart, EmptyEnd);
        std::FILE* file = std::fopen(ConfigPath().c_str(), "rb");
        char block[1024];
        for (;;) {
            const size_t read = std::fread(block, 1, sizeof block, file);
            const bool last = read < sizeof block;
            if (XML_Parse(parser, block, int(read), last) == XML_STATUS_ERROR || last)
                break;
        }
        std::fclose(file);
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_BareExpat)->Unit(benchmark::kMillisecond);

} // namespace
