// The committed seeds of the scene fuzz targets are what the writers make
// today (scenetool corpus fuzz regenerates them).
#include <filesystem>
#include <fstream>
#include <iterator>

#include "graphics/scene/collision.h"
#include "graphics/scene/tests/scenetesting.h"
#include "tools/scenebuild/scenecorpus.h"

namespace {

using SceneCorpus = SceneFixture;

TEST_F(SceneCorpus, SeedsMatchTheWriters)
{
    // As the tools start it: with the collision plug-in.
    ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && CollisionPluginAttach() &&
                Open() && EngineStart());
    std::vector<SceneCorpusFile> files = SceneCorpusFiles();
    ASSERT_FALSE(files.empty());
    const std::filesystem::path fuzz =
        std::filesystem::path(OLAI_TEST_SOURCE_DIR) / ".." / ".." / ".." / "fuzz";
    for (const SceneCorpusFile& file : files) {
        std::ifstream in(fuzz / file.target / "corpus" / file.name, std::ios::binary);
        std::vector<uint8_t> committed((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        EXPECT_EQ(committed, file.bytes) << file.target << "/" << file.name << ": run scenetool corpus fuzz";
    }
}

} // namespace
