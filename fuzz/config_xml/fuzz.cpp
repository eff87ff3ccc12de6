// Fuzz target for the "config.xml" readers: the input is written to a file of
// this process's own and read through the framework's real dispatch (cfgcheck's
// runner, error boxes going to a transcript), with the demo's own reader of
// "Application" as the game. What the demo would hand on to its characters and
// its escort team must then be in range: a count it can serve, finite positions.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo/wardelapplication.h"
#include "framework/character.h"
#include "framework/configsection.h"
#include "fuzz/input_file.h"
#include "tools/cfgcheck/configcheck.h"

namespace {

/// Hands the "Application" elements to the demo's reader.
class DemoSection : public CConfigSection
{
  public:
    explicit DemoSection(CWardelApplication* demo) : m_demo(demo) {}
    bool OnStart(const char* element, const char** attributes) override
    {
        return m_demo->OnXmlStartElement(element, attributes);
    }
    bool OnEnd(const char* element) override { return m_demo->OnXmlEndElement(element); }

  private:
    CWardelApplication* m_demo;
};

bool Sane(const V3d& p)
{
    for (const float c : {p.x, p.y, p.z})
        if (!std::isfinite(c) || std::fabs(c) > kConfigLargestMagnitude)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = InputFileWrite("config-xml", ".xml", data, size);
    if (path.empty())
        return 0;
    CWardelApplication demo(path.c_str());
    DemoSection section(&demo);
    std::string transcript;
    ConfigCheck(path.c_str(), &transcript, &section);
    std::remove(path.c_str());
    if (demo.GetEscortCount() < 0 || demo.GetEscortCount() >= CCharacter::kMaxCharacters ||
        !Sane(demo.GetPlayerPosition()) || !Sane(demo.GetBotsPosition())) {
        std::fprintf(stderr, "the demo's configuration let through %d escorts or a position beyond range\n",
                     int(demo.GetEscortCount()));
        std::abort();
    }
    return 0;
}
