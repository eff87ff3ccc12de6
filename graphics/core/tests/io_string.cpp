// String chunks and name objects.

#include <cstring>
#include <string>

#include "graphics/core/chunk.h"
#include "graphics/core/name.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/stringstream.h"
#include "graphics/core/tests/iotesting.h"

namespace {

using StringChunkTest = IoTest;

std::string Written(void (*write)(Stream*))
{
    const std::vector<uint8_t> bytes = StreamWrittenBytes([&](Stream* s) {
        write(s);
        return true;
    });
    return std::string(bytes.begin(), bytes.end());
}

struct Memory
{
    explicit Memory(std::string bytes) : data(std::move(bytes))
    {
        StreamMemory memory{reinterpret_cast<uint8_t*>(data.data()), data.size()};
        stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    }
    ~Memory() { StreamClose(stream, nullptr); }
    std::string data;
    Stream* stream;
};

std::string Header(uint32_t type, uint32_t size)
{
    std::string bytes;
    for (uint32_t word : {type, size, 0x1C020016u}) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(char(word >> (8 * i)));
        }
    }
    return bytes;
}

struct SizeCase
{
    const char* text;
    uint32_t size;
};

TEST_F(StringChunkTest, BodySizesAndPadding)
{
    const SizeCase cases[] = {{"abc", 4}, {"abcd", 8}, {"", 4}, {nullptr, 4}, {"abcdefg", 8}};
    for (const SizeCase& c : cases) {
        EXPECT_EQ(StringStreamGetSize(c.text), c.size) << (c.text ? c.text : "null");
    }
    std::string bytes = Written([](Stream* s) { ASSERT_NE(StringStreamWrite("abcd", s), nullptr); });
    EXPECT_EQ(bytes, Header(kChunkString, 8) + std::string("abcd\0\0\0\0", 8));
    bytes = Written([](Stream* s) { ASSERT_STREQ(StringStreamWrite(nullptr, s), ""); });
    EXPECT_EQ(bytes, Header(kChunkString, 4) + std::string(4, '\0'));
}

TEST_F(StringChunkTest, ReadFindsTheStringBehindAnotherChunk)
{
    Memory memory(Header(0x50, 3) + "xyz" + Header(kChunkString, 8) + std::string("hello\0\0\0", 8));
    char* text = StringStreamRead(nullptr, 0, memory.stream);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "hello");
    StringFree(text);
}

TEST_F(StringChunkTest, WideStringKeepsTheLowBytes)
{
    Memory memory(Header(kChunkWideString, 6) + std::string("h\0i\x01\0\0", 6));
    char buffer[8];
    ASSERT_EQ(StringStreamRead(buffer, sizeof(buffer), memory.stream), buffer);
    EXPECT_STREQ(buffer, "hi");
}

TEST_F(StringChunkTest, CallersBufferMustHoldTheText)
{
    std::string chunk = Header(kChunkString, 8) + std::string("abcdef\0\0", 8);
    char buffer[16];
    {
        Memory memory(chunk);
        EXPECT_EQ(StringStreamRead(buffer, 7, memory.stream), buffer) << "six characters and the NUL fit";
        EXPECT_STREQ(buffer, "abcdef");
    }
    {
        Memory memory(chunk);
        std::memset(buffer, 'q', sizeof(buffer));
        EXPECT_EQ(StringStreamRead(buffer, 6, memory.stream), nullptr);
        EXPECT_EQ(TakeError().code, kErrorNameTooLong);
    }
    {
        Memory memory(Header(kChunkString, 4) + "abcd");
        std::memset(buffer, 'q', sizeof(buffer));
        ASSERT_EQ(StringStreamRead(buffer, sizeof(buffer), memory.stream), buffer);
        EXPECT_STREQ(buffer, "abcd") << "a body without its NUL is terminated";
    }
    {
        Memory memory(Header(kChunkString, 4) + "abcd");
        char* text = StringStreamRead(nullptr, 0, memory.stream);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "abcd");
        StringFree(text);
    }
}

TEST_F(StringChunkTest, LongStringReadIntoANewBlock)
{
    std::string longText(5000, 'k');
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(StringStreamWrite(longText.c_str(), stream), nullptr);
    StreamMemory out{};
    StreamClose(stream, &out);
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &out);
    char* text = StringStreamRead(nullptr, 0, in);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), longText);
    StringFree(text);
    StreamClose(in, nullptr);
    MemoryFree(out.block);
}

using NameTest = IoTest;

TEST_F(NameTest, SetAcceptsUpTo31Characters)
{
    Name* name = NameCreate();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(NameGet(name), "");
    std::string text31(31, 'n');
    EXPECT_EQ(NameSet(name, text31.c_str()), name);
    EXPECT_EQ(NameGet(name), text31);
    EXPECT_EQ(NameSet(name, std::string(32, 'm').c_str()), nullptr);
    EXPECT_EQ(NameGet(name), text31) << "a refused text leaves the name";
    EXPECT_EQ(NameSet(name, nullptr), name);
    EXPECT_STREQ(NameGet(name), "");
    EXPECT_TRUE(NameDestroy(name));
    EXPECT_TRUE(NameDestroy(nullptr));
}

TEST_F(NameTest, NameChunkRoundTrip)
{
    Name* name = NameCreate();
    NameSet(name, "door_left");
    EXPECT_EQ(NameStreamGetSize(name), 12u + 16u);
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(NameStreamWrite(name, stream), name);
    int value = 5;
    ASSERT_EQ(NameStreamWriteEmpty(&value, stream), &value);
    StreamMemory out{};
    StreamClose(stream, &out);
    EXPECT_EQ(out.length, 12u + 28u + 12u);
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &out);
    uint32_t size = 0;
    ASSERT_TRUE(StreamFindChunk(in, kChunkName, &size, nullptr));
    EXPECT_EQ(size, 28u);
    Name* back = NameStreamRead(in);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(NameGet(back), "door_left");
    ASSERT_TRUE(StreamFindChunk(in, kChunkEmptyName, &size, nullptr));
    EXPECT_EQ(size, 0u);
    NameDestroy(back);
    NameDestroy(name);
    StreamClose(in, nullptr);
    MemoryFree(out.block);
}

TEST_F(NameTest, NameReadTakesAtMost32Characters)
{
    std::string one = std::string("\x01\0\0\0", 4);
    {
        Memory memory(one + Header(kChunkString, 36) + std::string(32, 'a') + std::string(4, '\0'));
        Name* name = NameStreamRead(memory.stream);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::strlen(NameGet(name)), 32u);
        NameDestroy(name);
    }
    {
        Memory memory(one + Header(kChunkString, 36) + std::string(33, 'a') + std::string(3, '\0'));
        EXPECT_EQ(NameStreamRead(memory.stream), nullptr);
    }
    {
        Memory memory(one.substr(0, 2));
        EXPECT_EQ(NameStreamRead(memory.stream), nullptr);
    }
}

} // namespace
