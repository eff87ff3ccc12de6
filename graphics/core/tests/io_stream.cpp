// Streams over memory, files, named files and caller functions.

#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/iotesting.h"

namespace {

using StreamTest = IoTest;

TEST_F(StreamTest, MemoryStreamGrowsWhileWrittenAndReadsBack)
{
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(stream, nullptr);
    std::vector<uint8_t> data(700);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = uint8_t(i * 7);
    }
    ASSERT_EQ(StreamWrite(stream, data.data(), 600), stream);
    EXPECT_EQ(stream->memory.length, 1112u) << "512 first, then grown by 600";
    ASSERT_EQ(StreamWrite(stream, data.data() + 600, 100), stream);
    EXPECT_EQ(stream->memory.length, 1112u);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(StreamWrite(stream, "z", 1), stream);
    }
    StreamMemory written{};
    ASSERT_TRUE(StreamClose(stream, &written));
    ASSERT_EQ(written.length, 2700u);
    EXPECT_EQ(std::memcmp(written.block, data.data(), 700), 0);
    EXPECT_EQ(written.block[2699], 'z');

    Stream* reader = StreamOpen(kStreamMemory, kStreamRead, &written);
    ASSERT_NE(reader, nullptr);
    std::vector<uint8_t> back(700);
    EXPECT_EQ(StreamRead(reader, back.data(), 700), 700u);
    EXPECT_EQ(back, data);
    EXPECT_EQ(StreamGetRemaining(reader), 2000);
    StreamMemory ignored{reinterpret_cast<uint8_t*>(1), 99};
    EXPECT_TRUE(StreamClose(reader, &ignored));
    EXPECT_EQ(ignored.length, 99u) << "a read stream hands nothing back";
    MemoryFree(written.block);
}

TEST_F(StreamTest, ShortMemoryReadRaisesEndOfStream)
{
    uint8_t four[4] = {1, 2, 3, 4};
    StreamMemory memory{four, 4};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    uint8_t buffer[10];
    EXPECT_EQ(StreamRead(stream, buffer, 10), 4u);
    ErrorRecord error = TakeError();
    EXPECT_EQ(error.pluginId, 1u);
    EXPECT_EQ(error.code, kErrorCoreEndOfStream);
    EXPECT_EQ(StreamRead(stream, buffer, 10), 0u);
    EXPECT_EQ(StreamSkip(stream, 1), nullptr);
    StreamClose(stream, nullptr);
}

TEST_F(StreamTest, AppendStartsAtTheEndAndGrowsTheCallersBlock)
{
    auto* block = static_cast<uint8_t*>(MemoryAllocate(100, 0));
    std::memset(block, 'a', 100);
    StreamMemory memory{block, 100};
    Stream* stream = StreamOpen(kStreamMemory, kStreamAppend, &memory);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(StreamWrite(stream, "bc", 2), stream);
    StreamMemory out{};
    ASSERT_TRUE(StreamClose(stream, &out));
    EXPECT_EQ(out.length, 102u);
    EXPECT_EQ(out.block[99], 'a');
    EXPECT_EQ(out.block[100], 'b');
    MemoryFree(out.block);
}

TEST_F(StreamTest, SkipByZeroSucceedsOnEveryKind)
{
    PutFile("f.bin", "abc");
    FileSlot* file = FileSystemManagerFOpen("f.bin", "rb");
    uint8_t byte = 0;
    StreamMemory memory{&byte, 1};
    StreamCallbacks callbacks{nullptr, nullptr, nullptr, [](void*, size_t) { return int32_t(0); }, nullptr};
    Stream* streams[] = {
        StreamOpen(kStreamFile, kStreamRead, file),
        StreamOpen(kStreamFileName, kStreamRead, "f.bin"),
        StreamOpen(kStreamMemory, kStreamRead, &memory),
        StreamOpen(kStreamCallbacks, kStreamRead, &callbacks),
    };
    for (Stream* stream : streams) {
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(StreamSkip(stream, 0), stream);
        EXPECT_TRUE(StreamClose(stream, nullptr));
    }
    EXPECT_EQ(FileSystemManagerFTell(file), 0) << "a stream over an open file leaves it open";
    FileSystemManagerFClose(file);
}

TEST_F(StreamTest, BadKindAccessAndNamesFail)
{
    EXPECT_EQ(StreamOpen(kStreamFileName, 5, "f.bin"), nullptr);
    ErrorRecord error = TakeError();
    EXPECT_EQ(error.pluginId, 1u);
    EXPECT_EQ(error.code, kErrorCoreStreamAccess);
    EXPECT_EQ(StreamOpen(9, kStreamRead, nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorCoreStreamKind);
    EXPECT_EQ(StreamOpen(kStreamFileName, kStreamRead, "missing.bin"), nullptr);
    EXPECT_EQ(TakeError().code, kErrorFileOpen);
    EXPECT_EQ(StreamOpen(kStreamMemory, 7, nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorCoreStreamAccess);
    EXPECT_EQ(StreamOpen(kStreamFile, kStreamRead, nullptr), nullptr);
}

TEST_F(StreamTest, RoundTripThroughARealFile)
{
    Stream* out = StreamOpen(kStreamFileName, kStreamWrite, "data\\..\\round.bin");
    ASSERT_EQ(out, nullptr) << "a directory that does not exist";
    EXPECT_EQ(TakeError().code, kErrorFileOpen);
    std::filesystem::create_directories(root / "data");
    out = StreamOpen(kStreamFileName, kStreamWrite, "data\\round.bin");
    ASSERT_NE(out, nullptr);
    const int32_t ints[] = {1, -2, 0x7FFFFFFF};
    const float reals[] = {1.5f, -0.25f};
    ASSERT_TRUE(ChunkHeaderWriteCurrent(out, kChunkStruct, sizeof(ints) + sizeof(reals)));
    ASSERT_TRUE(StreamWriteInt32(out, ints, sizeof(ints)));
    ASSERT_TRUE(StreamWriteReal(out, reals, sizeof(reals)));
    ASSERT_TRUE(StreamClose(out, nullptr));
    EXPECT_EQ(std::filesystem::file_size(root / "data/round.bin"), 12u + 12u + 8u);

    Stream* in = StreamOpen(kStreamFileName, kStreamRead, "DATA/Round.bin");
    ASSERT_NE(in, nullptr);
    uint32_t size = 0;
    uint32_t version = 0;
    ASSERT_TRUE(StreamFindChunk(in, kChunkStruct, &size, &version));
    EXPECT_EQ(size, 20u);
    EXPECT_EQ(version, 0x37002u);
    int32_t intsBack[3];
    float realsBack[2];
    ASSERT_TRUE(StreamReadInt32(in, intsBack, sizeof(intsBack)));
    ASSERT_TRUE(StreamReadReal(in, realsBack, sizeof(realsBack)));
    EXPECT_EQ(std::memcmp(ints, intsBack, sizeof(ints)), 0);
    EXPECT_EQ(std::memcmp(reals, realsBack, sizeof(reals)), 0);
    EXPECT_EQ(StreamGetRemaining(in), 0);
    EXPECT_EQ(StreamSkip(in, 1), nullptr) << "skipping past the end of a file fails";
    EXPECT_EQ(TakeError().code, kErrorCoreEndOfStream);
    EXPECT_TRUE(StreamClose(in, nullptr));
}

struct Recorder
{
    std::vector<size_t> writes;
    std::string bytes;
    size_t readPosition = 0;
    bool closed = false;
};

TEST_F(StreamTest, CallbackStreamAndRealPieces)
{
    Recorder recorder;
    StreamCallbacks callbacks{
        [](void* data) { static_cast<Recorder*>(data)->closed = true; },
        [](void* data, void* buffer, size_t n) {
            auto* r = static_cast<Recorder*>(data);
            size_t count = std::min(n, r->bytes.size() - r->readPosition);
            std::memcpy(buffer, r->bytes.data() + r->readPosition, count);
            r->readPosition += count;
            return count;
        },
        [](void* data, const void* buffer, size_t n) {
            auto* r = static_cast<Recorder*>(data);
            r->writes.push_back(n);
            r->bytes.append(static_cast<const char*>(buffer), n);
            return int32_t(-1);
        },
        [](void* data, size_t n) {
            static_cast<Recorder*>(data)->readPosition += n;
            return int32_t(1);
        },
        &recorder,
    };
    Stream* stream = StreamOpen(kStreamCallbacks, kStreamWrite, &callbacks);
    std::vector<float> reals(150, 2.0f);
    ASSERT_EQ(StreamWriteReal(stream, reals.data(), 600), stream) << "negative answers are success";
    EXPECT_EQ(recorder.writes, (std::vector<size_t>{256, 256, 88}));
    EXPECT_EQ(StreamGetRemaining(stream), -1);
    std::vector<float> back(150);
    EXPECT_EQ(StreamReadReal(stream, back.data(), 600), stream);
    EXPECT_EQ(back, reals);
    EXPECT_EQ(StreamReadReal(stream, back.data(), 4), nullptr) << "nothing left";
    EXPECT_TRUE(StreamClose(stream, nullptr));
    EXPECT_TRUE(recorder.closed);
}

TEST_F(StreamTest, StreamsOnCallerRecordsAndBeforeStart)
{
    uint8_t data[2] = {7, 8};
    StreamMemory memory{data, 2};
    Stream record;
    ASSERT_EQ(StreamInit(&record, false, kStreamMemory, kStreamRead, &memory), &record);
    uint8_t byte = 0;
    EXPECT_EQ(StreamRead(&record, &byte, 1), 1u);
    EXPECT_TRUE(StreamClose(&record, nullptr));
    EngineStop();
    EXPECT_EQ(StreamOpen(kStreamMemory, kStreamWrite, nullptr), nullptr);
    EXPECT_TRUE(EngineStart());
}

} // namespace
