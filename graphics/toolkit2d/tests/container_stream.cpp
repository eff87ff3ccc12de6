// Shapes and containers saved and read back: shared lists written once,
// bad indices and lying counts refused, nothing leaked on failure.

#include <vector>

#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/tests/shapetesting.h"

namespace {

class ContainerStreams : public ShapeTest
{
  protected:
    std::vector<uint8_t> Write(const Object2D* container)
    {
        Stream* out = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
        const bool written = out && ContainerStreamWrite(container, out);
        StreamMemory memory{};
        StreamClose(out, &memory);
        std::vector<uint8_t> bytes;
        if (written) {
            bytes.assign(memory.block, memory.block + memory.length);
        }
        MemoryFree(memory.block);
        return bytes;
    }

    Object2D* Read(std::vector<uint8_t> bytes)
    {
        StreamMemory memory = {bytes.data(), uint32_t(bytes.size())};
        Stream* in = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Object2D* read = in ? ContainerStreamRead(in) : nullptr;
        if (in) {
            StreamClose(in, nullptr);
        }
        return read;
    }
};

} // namespace

TEST_F(ContainerStreams, SharedListIsWrittenOnceAndSharedAgain)
{
    Object2D* container = ContainerCreate();
    Object2D* first = ContainerAddShape(container);
    Brush* brush = FlatBrush(9, 8, 7);
    ShapeAddEntry(first, kShapeFill, Square(0, 0, 1), brush);
    BrushDestroy(brush);
    Object2D* inner = ContainerAddContainer(container);
    ShapeList* list = ShapeGetList(first);
    Object2D* second = ObjectAlloc();
    ShapeInit(second, 0, list);
    ContainerAddChild(inner, second);
    ContainerMakeInline(container);
    const std::vector<uint8_t> bytes = Write(container);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.size(), 12 + ContainerStreamGetSize(container));
    Object2D* read = Read(bytes);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(ContainerGetChildCount(read), 2);
    Object2D* readFirst = ContainerGetChild(read, 0);
    Object2D* readSecond = ContainerGetChild(ContainerGetChild(read, 1), 0);
    ASSERT_TRUE(ObjectIsShape(readFirst) && ObjectIsShape(readSecond));
    EXPECT_EQ(ShapeGetList(readFirst), ShapeGetList(readSecond));
    EXPECT_EQ(ShapeGetList(readFirst)->refCount, 2);
    EXPECT_NE(ShapeGetData(readFirst)->atomic, nullptr) << "read shapes are built";
    EXPECT_EQ(Write(read), bytes) << "written again, the same bytes";
    ContainerDestroy(read);
    ContainerDestroy(container);
}
