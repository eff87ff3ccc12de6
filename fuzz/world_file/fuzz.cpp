// Fuzz target for the physics world's world files: the input is written to a
// file of this process's own and loaded by CPhysicsWorld::LoadWorld (texture
// dictionary, world and clumps, each read by its own pass), then the world is
// queried and taken down; error boxes are discarded.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "fuzz/input_file.h"
#include "graphics/core/error.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "platform/win32/debugout.h"
#include "tools/cfgcheck/configcheck.h"

namespace {

int DiscardBox(HWND, const char*, const char*, UINT)
{
    return IDOK;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = StartHeadlessEngine();
    if (!started)
        return 0;
    const std::string path = InputFileWrite("world-file", ".bsp", data, size);
    if (path.empty())
        return 0;
    const Win32MessageBoxSink previous = Win32SetMessageBoxSink(DiscardBox);
    {
        CPhysicsWorld worlds;
        if (worlds.LoadWorld(path.c_str(), 2)) {
            // What was loaded answers queries.
            const V3d from = {-100.0f, 1.0f, 0.0f}, to = {100.0f, 1.0f, 0.0f};
            float distance = 0.0f;
            CSceneObject* object = nullptr;
            worlds.TestSegment(&from, &to, false, &distance, nullptr, &object);
            SphereQueryResult result = {};
            worlds.SphereQuery(0.0f, 0.0f, 0.0f, 1.0f, &result);
            worlds.Step(0.02f);
        }
    }
    ShellGetEngine()->destroyDictionaries();
    Win32SetMessageBoxSink(previous);
    Framework().halt = false;
    std::remove(path.c_str());
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
