// Plug-in data saved and read back as an object's extension chunk.

#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/plugin.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/iotesting.h"

namespace {

// An object of 16 bytes with two plug-ins: one saves an int32 counter, one
// saves a short text; a third has only an always callback.
struct Thing
{
    int32_t own[4];
};

std::vector<std::string> gEvents;

int32_t& Counter(void* object, int32_t offset)
{
    return *reinterpret_cast<int32_t*>(static_cast<char*>(object) + offset);
}

char* Text(void* object, int32_t offset)
{
    return static_cast<char*>(object) + offset;
}

Stream* CounterWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    return StreamWriteInt32(stream, &Counter(const_cast<void*>(object), offset), 4);
}

Stream* CounterRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    gEvents.push_back("read counter");
    return length == 4 ? StreamReadInt32(stream, &Counter(object, offset), 4) : nullptr;
}

int32_t CounterSize(const void* object, int32_t offset, int32_t)
{
    return Counter(const_cast<void*>(object), offset) != 0 ? 4 : 0;
}

Stream* TextWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t)
{
    return StreamWrite(stream, Text(const_cast<void*>(object), offset), size_t(length));
}

// Reads only the first byte: the registry skips the rest of its data.
Stream* TextReadFirst(Stream* stream, int32_t, void* object, int32_t offset, int32_t)
{
    gEvents.push_back("read text");
    return StreamRead(stream, Text(object, offset), 1) == 1 ? stream : nullptr;
}

int32_t TextSize(const void* object, int32_t offset, int32_t)
{
    return int32_t(std::strlen(Text(const_cast<void*>(object), offset)));
}

int32_t Always(void*, int32_t, int32_t)
{
    gEvents.push_back("always");
    return 1;
}

class ExtensionTest : public IoTest
{
  protected:
    void BeforeOpen() override
    {
        gEvents.clear();
        counterOffset = PluginRegistryRegister(&registry, 4, 0x8001, nullptr, nullptr, nullptr);
        textOffset = PluginRegistryRegister(&registry, 8, 0x8002, nullptr, nullptr, nullptr);
        ASSERT_GE(PluginRegistryRegister(&registry, 0, 0x8003, nullptr, nullptr, nullptr), 0);
        ASSERT_GE(PluginRegistryAddStream(&registry, 0x8001, CounterRead, CounterWrite, CounterSize), 0);
        ASSERT_GE(PluginRegistryAddStream(&registry, 0x8002, TextReadFirst, TextWrite, TextSize), 0);
        ASSERT_GE(PluginRegistryAddAlwaysCallback(&registry, 0x8003, Always), 0);
    }

    std::string Save(void* object)
    {
        const std::vector<uint8_t> bytes = StreamWrittenBytes([&](Stream* s) {
            EXPECT_EQ(PluginRegistryStreamWrite(&registry, s, object), &registry);
            return true;
        });
        return std::string(bytes.begin(), bytes.end());
    }

    bool Load(std::string bytes, void* object)
    {
        StreamMemory memory{reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        bool ok = PluginRegistryStreamRead(&registry, stream, object) != nullptr;
        StreamClose(stream, nullptr);
        return ok;
    }

    PluginRegistry registry = PluginRegistryMake(sizeof(Thing));
    int32_t counterOffset = -1;
    int32_t textOffset = -1;
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

TEST_F(ExtensionTest, RoundTrip)
{
    std::vector<char> object(size_t(registry.objectSize), 0);
    Counter(object.data(), counterOffset) = 77;
    std::strcpy(Text(object.data(), textOffset), "abc");
    EXPECT_EQ(PluginRegistryStreamSize(&registry, object.data()), (12 + 4) + (12 + 3));
    std::string bytes = Save(object.data());
    EXPECT_EQ(bytes.substr(0, 12), Header(kChunkExtension, 31));
    EXPECT_EQ(bytes.size(), 12u + 31u);

    std::vector<char> back(size_t(registry.objectSize), 0);
    ASSERT_TRUE(Load(bytes, back.data()));
    EXPECT_EQ(Counter(back.data(), counterOffset), 77);
    EXPECT_EQ(Text(back.data(), textOffset)[0], 'a');
    EXPECT_EQ(gEvents, (std::vector<std::string>{"read counter", "read text", "always"}));
}

TEST_F(ExtensionTest, NoDataWritesAnEmptyChunkAndStillRunsAlways)
{
    std::vector<char> object(size_t(registry.objectSize), 0);
    std::string bytes = Save(object.data());
    EXPECT_EQ(bytes, Header(kChunkExtension, 0));
    ASSERT_TRUE(Load(bytes, object.data()));
    EXPECT_EQ(gEvents, std::vector<std::string>{"always"});
}

TEST_F(ExtensionTest, UnknownIdsAreSkippedAndSkipPassesTheWholeChunk)
{
    std::string bytes = Header(kChunkExtension, 12 + 5 + 12 + 4) + Header(0x9999, 5) + "12345" +
                        Header(0x8001, 4) + std::string("\x09\0\0\0", 4) + Header(kChunkStruct, 0);
    std::vector<char> object(size_t(registry.objectSize), 0);
    ASSERT_TRUE(Load(bytes, object.data()));
    EXPECT_EQ(Counter(object.data(), counterOffset), 9);

    StreamMemory memory{reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    EXPECT_EQ(PluginRegistryStreamSkip(&registry, stream), &registry);
    EXPECT_TRUE(StreamFindChunk(stream, kChunkStruct, nullptr, nullptr))
        << "the stream stands after the extension";
    StreamClose(stream, nullptr);
}

TEST_F(ExtensionTest, MalformedExtensionsFail)
{
    const std::string cases[] = {
        Header(kChunkExtension, 20) + Header(0x8001, 9) + "12345678",      // sub-chunk past the chunk
        Header(kChunkExtension, 8) + "12345678",                           // less than a sub-header left
        Header(kChunkExtension, 16) + Header(0x8001, 0x7FFFFFF0) + "1234", // huge sub-chunk size
        Header(kChunkExtension, 16) + Header(0x8001, 4),                   // truncated data
        Header(kChunkExtension, 17) + Header(0x8001, 5) + "12345",         // plug-in refuses its data
        Header(kChunkExtension, 100),                                      // chunk longer than the data
        Header(kChunkStruct, 0),                                           // no extension at all
    };
    for (const std::string& bytes : cases) {
        std::vector<char> object(size_t(registry.objectSize), 0);
        EXPECT_FALSE(Load(bytes, object.data()));
        StreamMemory memory{reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data())), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        if (bytes.size() != 12 + 16 + 4 && bytes.size() != 12 + 12 + 5) {
            EXPECT_EQ(PluginRegistryStreamSkip(&registry, stream), nullptr);
        }
        StreamClose(stream, nullptr);
    }
}

} // namespace
