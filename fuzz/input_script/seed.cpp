// Writes the input_script seed corpus with the script writer the tests use:
// input_script_seed <corpus directory>
#include <SDL.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/inputscript.h"
#include "tools/common/toolfiles.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: input_script_seed <corpus directory>\n");
        return 2;
    }
    using K = InputScriptKind;
    const std::vector<std::vector<InputScriptEvent>> scripts = {
        {{0, K::KeyDown, SDL_SCANCODE_ESCAPE, 0, 0, 0, 0}},
        {{1, K::KeyDown, SDL_SCANCODE_A, 0, 0, 0, 0},
         {2, K::KeyRepeat, SDL_SCANCODE_A, 0, 0, 0, 0},
         {3, K::KeyUp, SDL_SCANCODE_A, 0, 0, 0, 0},
         {4, K::KeyDown, SDL_SCANCODE_LSHIFT, 0, 0, 0, 0},
         {4, K::KeyDown, SDL_SCANCODE_PAGEDOWN, 0, 0, 0, 0}},
        {{5, K::MouseMove, SDL_SCANCODE_UNKNOWN, 100, -80, 0, 0},
         {6, K::ButtonDown, SDL_SCANCODE_UNKNOWN, 0, 0, SDL_BUTTON_LEFT, 0},
         {6, K::ButtonUp, SDL_SCANCODE_UNKNOWN, 0, 0, SDL_BUTTON_RIGHT, 0},
         {7, K::Wheel, SDL_SCANCODE_UNKNOWN, 0, 0, 0, -3},
         {1000000000, K::KeyDown, SDL_SCANCODE_F12, 0, 0, 0, 0}},
    };
    int n = 0;
    for (const auto& script : scripts) {
        const std::string text = InputScriptWrite(script);
        const std::string path = std::string(argv[1]) + "/script" + std::to_string(n++) + ".txt";
        if (!ToolWriteFile(path, text.data(), text.size())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
