#pragma once
// Helpers for the serialisation tests: an engine started on a counting
// memory table (so a failed read can be shown to leave nothing behind),
// items and chunks written into a byte vector and read back from it.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/serial/serialctx.h"

class SerialTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
        TakeError();
    }
    void TearDown() override { EngineTestShutdown(); }

    static ErrorRecord TakeError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }

    /// Finds the chunk `type` in the first `length` bytes and runs `read` on
    /// its body; `read`'s answer, or null when the chunk is not there.
    template <typename Read>
    static auto ReadChunk(const std::vector<uint8_t>& bytes, size_t length, uint32_t type, Read read)
    {
        std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        StreamMemory memory = {copy.data(), copy.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        decltype(read(stream)) result = nullptr;
        if (StreamFindChunk(stream, type, nullptr, nullptr)) {
            result = read(stream);
        }
        StreamClose(stream, nullptr);
        return result;
    }

    /// Items written through a write context; `measured` gets what a
    /// measuring context counted for the same items.
    static std::vector<uint8_t> WrittenItems(const std::function<int32_t(OlpSerialCtx*)>& items,
                                             uint32_t* measured)
    {
        OlpSerialCtx measure;
        OlpSerialCtxInit(&measure, nullptr, kOlpSerialWrite);
        *measured = items(&measure) ? measure.count : 0;
        return StreamWrittenBytes([&](Stream* stream) {
            OlpSerialCtx ctx;
            OlpSerialCtxInit(&ctx, stream, kOlpSerialWrite);
            return items(&ctx) != 0 && ctx.count == *measured;
        });
    }

    /// Runs `read` on the first `length` bytes through a read context held
    /// to them; its answer, with the count left in `used`.
    static int32_t ReadItems(const std::vector<uint8_t>& bytes, size_t length,
                             const std::function<int32_t(OlpSerialCtx*)>& read, uint32_t* used = nullptr)
    {
        std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        StreamMemory memory = {copy.data(), copy.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        OlpSerialCtx ctx;
        OlpSerialCtxInit(&ctx, stream, kOlpSerialRead);
        ctx.limit = static_cast<uint32_t>(length);
        const int32_t ok = read(&ctx);
        if (used != nullptr) {
            *used = ctx.count;
        }
        StreamClose(stream, nullptr);
        return ok;
    }
};
