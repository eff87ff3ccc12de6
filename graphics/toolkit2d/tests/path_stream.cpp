// Paths in streams: the nested chunk chain, its sizes, and malformed chunks.

#include <cstring>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tests/twodtesting.h"

namespace {

using Bytes = std::vector<uint8_t>;

class PathStreams : public TwoDTest
{
  protected:
    /// Three sub-paths: a closed rectangle, an open curve, a lone move.
    static Path* ThreeSubPaths()
    {
        Path* path = PathCreate();
        PathRect(path, 0, 0, 2, 1);
        PathMoveTo(path, 3, 3);
        PathCurveTo(path, 4, 4, 5, 4, 6, 3);
        PathMoveTo(path, 9, 9);
        PathSetStrokeOffset(path, 0.25f);
        return path;
    }

    static Bytes Write(const Path* path, bool marker = false)
    {
        return StreamWrittenBytes([&](Stream* s) {
            EXPECT_NE(PathStreamWrite(path, s), nullptr);
            if (marker) {
                StreamWriteUInt32(s, 0xC0FFEE);
            }
            return true;
        });
    }

    /// Reads into `into` (or a new path); the marker after the chunk must be next.
    static Path* Read(Bytes bytes, Path* into = nullptr, bool* markerNext = nullptr)
    {
        StreamMemory memory = {bytes.data(), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Path* path = into ? PathStreamReadInto(into, stream) : PathStreamRead(stream);
        if (markerNext) {
            uint32_t marker = 0;
            *markerNext = StreamReadUInt32(stream, &marker) && marker == 0xC0FFEE;
        }
        StreamClose(stream, nullptr);
        ErrorRecord discard;
        ErrorGet(&discard);
        return path;
    }

    static void Put32(Bytes& bytes, size_t at, uint32_t value)
    {
        for (int32_t i = 0; i < 4; ++i) {
            bytes[at + i] = uint8_t(value >> (8 * i));
        }
    }

    static void ExpectSameChain(const Path* a, const Path* b)
    {
        for (; a && b; a = a->next, b = b->next) {
            ASSERT_EQ(PathGetNodeCount(a), PathGetNodeCount(b));
            EXPECT_EQ(
                std::memcmp(PathGetNodes(a), PathGetNodes(b), sizeof(PathNode) * size_t(PathGetNodeCount(a))),
                0);
            EXPECT_EQ(a->closed, b->closed);
            EXPECT_EQ(a->straight, b->straight);
            EXPECT_EQ(a->strokeOffset, b->strokeOffset);
        }
        EXPECT_EQ(a, nullptr);
        EXPECT_EQ(b, nullptr);
    }
};

} // namespace

TEST_F(PathStreams, ThreeSubPathsRoundTrip)
{
    Path* path = ThreeSubPaths();
    const Bytes bytes = Write(path);
    // 16 + 24 n per sub-path (5, 4 and 1 nodes), 12 per follower header.
    EXPECT_EQ(PathStreamGetSize(path), 16u * 3 + 24u * 10 + 12u * 2);
    ASSERT_EQ(bytes.size(), kChunkHeaderSize + PathStreamGetSize(path));
    EXPECT_EQ(PathStreamGetSize(path->next), 16u * 2 + 24u * 5 + 12u) << "each header covers its followers";
    Path* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    ExpectSameChain(back, path);
    EXPECT_EQ(back->count, 5) << "read sub-paths hold plain arrays";
    EXPECT_EQ(back->current, back->next->next);
    PathDestroy(back);
    PathDestroy(path);
}

TEST_F(PathStreams, ReadIntoReplacesOrLeavesUntouched)
{
    Path* path = ThreeSubPaths();
    Path* target = PathCreate();
    PathRect(target, 5, 5, 1, 1);
    bool markerNext = false;
    ASSERT_EQ(Read(Write(path, true), target, &markerNext), target);
    EXPECT_TRUE(markerNext);
    ExpectSameChain(target, path);

    Path* kept = PathCreate();
    PathRect(kept, 5, 5, 1, 1);
    Bytes bad = Write(path, true);
    Put32(bad, kChunkHeaderSize, 2); // format version 2
    EXPECT_EQ(Read(bad, kept, &markerNext), nullptr);
    EXPECT_TRUE(markerNext) << "the refused chunk is skipped by its size";
    EXPECT_EQ(PathGetNodeCount(kept), 5);
    EXPECT_EQ(PathGetNodes(kept)[0].x, 5.0f);
    PathDestroy(kept);
    PathDestroy(target);
    PathDestroy(path);
}

TEST_F(PathStreams, MalformedChunksAreRefused)
{
    Path* path = ThreeSubPaths();
    const Bytes good = Write(path, true);
    const size_t second = kChunkHeaderSize + 16 + 24 * 5; // the follower's header
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Case cases[] = {
        {"count beyond the chunk", kChunkHeaderSize + 4, 1000},
        {"negative count", kChunkHeaderSize + 4, 0xFFFFFFFF},
        {"follower of another type", second, 0x1A2},
        {"follower larger than its parent", second + 4, 5000},
        {"follower with a bad version", second + kChunkHeaderSize, 7},
        {"node type 9", kChunkHeaderSize + 16, 9},
        {"NaN coordinate", kChunkHeaderSize + 16 + 4, 0x7FC00000},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        Put32(bytes, c.at, c.value);
        bool markerNext = false;
        EXPECT_EQ(Read(bytes, nullptr, &markerNext), nullptr) << c.what;
        EXPECT_TRUE(markerNext) << c.what << ": the outer chunk is skipped whole";
    }
    for (size_t cut = 1; cut < good.size() - 4; cut += 7) {
        EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + cut)), nullptr) << "cut at " << cut;
    }
    PathDestroy(path);
}

TEST_F(PathStreams, LongChainsReadWithoutRecursion)
{
    Path* path = PathCreate();
    for (int32_t i = 0; i < 20000; ++i) {
        PathMoveTo(path, float(i), 0);
    }
    const Bytes bytes = Write(path);
    Path* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    int32_t count = 0;
    for (const Path* sub = back; sub; sub = sub->next) {
        ++count;
    }
    EXPECT_EQ(count, 20000);
    PathDestroy(back);
    PathDestroy(path);
}
