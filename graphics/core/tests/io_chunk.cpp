// Chunk headers, version stamps, the chunk search, typed arrays, and a
// table of truncated and corrupted inputs that must all fail cleanly.

#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/core/stringstream.h"
#include "graphics/core/tests/iotesting.h"

namespace {

using ChunkTest = IoTest;

// Builds byte strings of chunks for the readers.
struct Bytes
{
    std::string data;

    Bytes& U32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            data.push_back(char(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& Header(uint32_t type, uint32_t size, uint32_t stamp = 0x1C020016)
    {
        return U32(type).U32(size).U32(stamp);
    }
    Bytes& Raw(const std::string& raw)
    {
        data += raw;
        return *this;
    }
};

// A read stream over bytes that outlive it.
struct Reader
{
    explicit Reader(const std::string& bytes) : data(bytes)
    {
        StreamMemory memory{reinterpret_cast<uint8_t*>(data.data()), data.size()};
        stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    }
    ~Reader() { StreamClose(stream, nullptr); }
    std::string data;
    Stream* stream;
};

TEST_F(ChunkTest, HeaderStampOfTheCurrentVersion)
{
    EXPECT_EQ(ChunkStampEncode(0x37002, 0x16), 0x1C020016u);
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_TRUE(ChunkHeaderWriteCurrent(stream, 0x10, 0x1234));
    StreamMemory out{};
    StreamClose(stream, &out);
    ASSERT_EQ(out.length, 12u);
    const uint8_t expected[12] = {0x10, 0, 0, 0, 0x34, 0x12, 0, 0, 0x16, 0x00, 0x02, 0x1C};
    EXPECT_EQ(std::memcmp(out.block, expected, 12), 0);
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &out);
    ChunkHeaderInfo info{};
    ASSERT_EQ(ChunkHeaderInfoRead(in, &info), in);
    EXPECT_EQ(info.type, 0x10u);
    EXPECT_EQ(info.length, 0x1234u);
    EXPECT_EQ(info.version, 0x37002u);
    EXPECT_EQ(info.build, 0x16u);
    EXPECT_EQ(info.isComplex, 1u);
    StreamClose(in, nullptr);
    MemoryFree(out.block);
}

struct VersionCase
{
    uint32_t stamp;
    uint32_t version;
    uint32_t build;
    bool accepted;
};

TEST_F(ChunkTest, VersionWindow)
{
    EXPECT_FALSE(ChunkVersionIsSupported(0x34FFF));
    EXPECT_TRUE(ChunkVersionIsSupported(0x35000));
    EXPECT_TRUE(ChunkVersionIsSupported(0x37002));
    EXPECT_FALSE(ChunkVersionIsSupported(0x37003));
    const VersionCase cases[] = {
        {0x00000310, 0x31000, 0, false},
        {0x00000350, 0x35000, 0, true},
        // A stamp keeps only version bits 8-15 and 0-5: 0x34FFF reads as 0x34F3F.
        {ChunkStampEncode(0x34FFF, 1), 0x34F3F, 1, false},
        {ChunkStampEncode(0x34F00, 1), 0x34F00, 1, false},
        {ChunkStampEncode(0x35000, 2), 0x35000, 2, true},
        {ChunkStampEncode(0x36003, 0xFFFF), 0x36003, 0xFFFF, true},
        {ChunkStampEncode(0x37002, 0x16), 0x37002, 0x16, true},
        {ChunkStampEncode(0x37003, 0x16), 0x37003, 0x16, false},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.version));
        uint32_t version = 0;
        uint32_t build = 0;
        ChunkStampDecode(c.stamp, &version, &build);
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(build, c.build);
        Reader reader(Bytes().Header(kChunkStruct, 4, c.stamp).U32(0).data);
        uint32_t found = 0;
        EXPECT_EQ(StreamFindChunk(reader.stream, kChunkStruct, nullptr, &found), c.accepted);
        ErrorRecord error = TakeError();
        if (c.accepted) {
            EXPECT_EQ(found, c.version);
            EXPECT_EQ(error.code, kErrorNone);
        } else {
            EXPECT_EQ(error.pluginId, 0u);
            EXPECT_EQ(error.code, kErrorBadVersion);
        }
    }
}

TEST_F(ChunkTest, FindChunkSkipsOtherChunksWhateverTheirVersion)
{
    Bytes bytes;
    bytes.Header(0x7777, 5, 0x310)
        .Raw("12345")
        .Header(kChunkMatrix, 3)
        .Raw("abc")
        .Header(kChunkStruct, 4)
        .U32(42);
    Reader reader(bytes.data);
    uint32_t size = 0;
    ASSERT_TRUE(StreamFindChunk(reader.stream, kChunkStruct, &size, nullptr));
    EXPECT_EQ(size, 4u);
    uint32_t value = 0;
    ASSERT_TRUE(StreamReadUInt32(reader.stream, &value));
    EXPECT_EQ(value, 42u);
    EXPECT_FALSE(StreamFindChunk(reader.stream, kChunkStruct, nullptr, nullptr)) << "absent: end of data";
}

TEST_F(ChunkTest, TypedArraysRoundTripLittleEndian)
{
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    const int16_t shorts[] = {-2, 0x1234};
    const int32_t ints[] = {0x01020304};
    const float reals[] = {1.0f};
    ASSERT_TRUE(StreamWriteInt16(stream, shorts, sizeof(shorts)));
    ASSERT_TRUE(StreamWriteInt32(stream, ints, sizeof(ints)));
    ASSERT_TRUE(StreamWriteReal(stream, reals, sizeof(reals)));
    EXPECT_EQ(StreamWriteInt32(stream, ints, 3), nullptr) << "not a whole number of values";
    StreamMemory out{};
    StreamClose(stream, &out);
    const uint8_t expected[] = {0xFE, 0xFF, 0x34, 0x12, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x80, 0x3F};
    ASSERT_EQ(out.length, sizeof(expected));
    EXPECT_EQ(std::memcmp(out.block, expected, sizeof(expected)), 0);
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &out);
    int16_t shortsBack[2];
    int32_t intsBack[1];
    float realsBack[1];
    ASSERT_TRUE(StreamReadInt16(in, shortsBack, sizeof(shortsBack)));
    ASSERT_TRUE(StreamReadInt32(in, intsBack, sizeof(intsBack)));
    ASSERT_TRUE(StreamReadReal(in, realsBack, sizeof(realsBack)));
    EXPECT_EQ(shortsBack[1], 0x1234);
    EXPECT_EQ(intsBack[0], 0x01020304);
    EXPECT_EQ(realsBack[0], 1.0f);
    StreamClose(in, nullptr);
    MemoryFree(out.block);
}

// Each case is a malformed input and a reader that must fail on it without
// reading out of bounds (the sanitizers watch) and leave an error pending.
struct MalformedCase
{
    const char* name;
    std::string bytes;
    bool (*read)(Stream* stream);
};

bool FindStruct(Stream* stream)
{
    return StreamFindChunk(stream, kChunkStruct, nullptr, nullptr);
}

bool ReadInts(Stream* stream)
{
    int32_t values[4];
    return StreamFindChunk(stream, kChunkStruct, nullptr, nullptr) &&
           StreamReadInt32(stream, values, sizeof(values));
}

bool ReadReals(Stream* stream)
{
    float values[3];
    return StreamReadReal(stream, values, sizeof(values)) != nullptr;
}

bool ReadShorts(Stream* stream)
{
    int16_t values[3];
    return StreamReadInt16(stream, values, sizeof(values)) != nullptr;
}

bool ReadString(Stream* stream)
{
    char* text = StringStreamRead(nullptr, 0, stream);
    StringFree(text);
    return text != nullptr;
}

bool ReadHeader(Stream* stream)
{
    ChunkHeaderInfo info;
    return ChunkHeaderInfoRead(stream, &info) != nullptr;
}

TEST_F(ChunkTest, TruncatedAndCorruptedInputsFailCleanly)
{
    const MalformedCase cases[] = {
        {"empty input", "", ReadHeader},
        {"header cut short", Bytes().U32(1).U32(4).data.substr(0, 7), ReadHeader},
        {"body shorter than its size", Bytes().Header(kChunkStruct, 16).U32(1).data, FindStruct},
        {"huge size", Bytes().Header(kChunkStruct, 0xFFFFFFFF).U32(1).data, FindStruct},
        {"skipped chunk runs past the end", Bytes().Header(0x50, 0x7FFFFFF0).data, FindStruct},
        {"typed read one byte short", Bytes().Header(kChunkStruct, 15).U32(1).U32(2).U32(3).Raw("abc").data,
         ReadInts},
        {"reals cut mid-value", Bytes().U32(0).U32(0).Raw("ab").data, ReadReals},
        {"shorts cut mid-value", Bytes().U32(0).Raw("a").data, ReadShorts},
        {"string body short", Bytes().Header(kChunkString, 8).Raw("abc").data, ReadString},
        {"string with huge size", Bytes().Header(kChunkString, 0xFFFFFFF0).Raw("abcd").data, ReadString},
        {"wide string of odd size", Bytes().Header(kChunkWideString, 5).Raw("a\0b\0\0").data, ReadString},
        {"string chunk of a refused version", Bytes().Header(kChunkString, 4, 0x310).Raw("abc").data,
         ReadString},
        {"string behind a truncated chunk", Bytes().Header(0x50, 100).Raw("xx").data, ReadString},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reader reader(c.bytes);
        EXPECT_FALSE(c.read(reader.stream));
        EXPECT_NE(TakeError().code, kErrorNone);
    }
}

} // namespace
