// Writes the physics stream seeds into a folder, or with --check compares
// the folder with them (the test that pins the committed corpus to the
// writers):
//   fuzz_physics_stream_make_corpus [--check] <folder>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fuzz/physics_stream/seeds.h"
#include "graphics/core/tests/fuzzengine.h"
#include "tools/common/toolfiles.h"

int main(int argc, char** argv)
{
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if ((argc != 2 && !check) || !FuzzEngineStart()) {
        std::fprintf(stderr, "usage: %s [--check] <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[argc - 1];
    int failures = 0;
    for (const PhysicsStreamSeed& seed : PhysicsStreamSeeds()) {
        const std::string path = folder + "/" + seed.name;
        if (seed.bytes.empty()) {
            std::fprintf(stderr, "%s: the writer failed\n", seed.name.c_str());
            ++failures;
        } else if (check) {
            std::ifstream in(path, std::ios::binary);
            const std::vector<uint8_t> stored{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
            if (stored != seed.bytes) {
                std::fprintf(stderr, "%s differs from what the writers make now\n", path.c_str());
                ++failures;
            }
        } else {
            failures += ToolWriteFile(path, seed.bytes.data(), seed.bytes.size()) ? 0 : 1;
        }
    }
    return failures == 0 ? 0 : 1;
}
