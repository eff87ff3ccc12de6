// Shapes and containers saved and read back: shared lists written once,
// bad indices and lying counts refused, nothing leaked on failure.

#include <functional>
#include <vector>

#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/tests/shapetesting.h"

namespace {

class ContainerStreams : public ShapeTest
{
  protected:
    /// Every allocation counted, free-list entries included, so that a
    /// failed read can be seen to give everything back.
    bool StartEngine() override
    {
        CountingMemory::Reset();
        return EngineInit(CountingMemory::Table(), 1, 0x400000) && WorldLibraryAttach() && Open() &&
               EngineStart();
    }
    void TearDown() override
    {
        ShapeTest::TearDown();
        CountingMemory::Reset();
    }

    static Bytes Write(const Object2D* object)
    {
        return WriteBytes([object](Stream* stream) {
            return ObjectIsShape(object) ? ShapeStreamWrite(object, stream) != nullptr
                                         : ContainerStreamWrite(object, stream) != nullptr;
        });
    }
    static Object2D* ReadContainer(const Bytes& bytes)
    {
        return ReadBytes<Object2D*>(bytes, ContainerStreamRead);
    }
    static Object2D* ReadShape(const Bytes& bytes) { return ReadBytes<Object2D*>(bytes, ShapeStreamRead); }

    /// A shape filling a square and stroking it with a second brush.
    Object2D* TwoEntryShape()
    {
        Object2D* shape = ShapeCreate();
        Brush* fill = FlatBrush(9, 8, 7);
        Brush* stroke = FlatBrush(1, 2, 3);
        ShapeAddEntry(shape, kShapeFill, Square(0, 0, 1), fill);
        ShapeAddEntry(shape, 0, Square(1, 1, 2), stroke);
        BrushDestroy(fill);
        BrushDestroy(stroke);
        return shape;
    }

    /// A container of that shape and a text-free hit region.
    Object2D* SmallTree()
    {
        Object2D* container = ContainerCreate();
        ContainerAddChild(container, TwoEntryShape());
        PathRect(HitRegionGetPath(ContainerAddHitRegion(container)), 0, 0, 4, 4);
        ContainerMakeInline(container);
        return container;
    }

    /// A read of `bytes` that must fail and give back all it took.
    void ExpectRefused(const Bytes& bytes, const std::function<Object2D*(const Bytes&)>& read,
                       const char* what)
    {
        const int64_t live = CountingMemory::live;
        Object2D* object = read(bytes);
        EXPECT_EQ(object, nullptr) << what;
        if (object) {
            ObjectDestroyData(object);
            ObjectFree(object);
        }
        EXPECT_EQ(CountingMemory::live, live) << what << ": blocks left after a failed read";
        TakeError();
    }
};

/// Offsets in a written container of one list: the chunk header, the
/// common header, the child and list counts, then the list.
struct ContainerLayout
{
    size_t childCount = kChunkHeaderSize + ObjectStreamGetSizeBase();
    size_t listCount = childCount + 4;
    size_t listVersion = listCount + 4;
    size_t entryCount = listVersion + 4;
    size_t firstEntryFlags = entryCount + 4;
    size_t firstPathChunk = firstEntryFlags + 8;
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
    const Bytes bytes = Write(container);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.size(), kChunkHeaderSize + ContainerStreamGetSize(container));
    EXPECT_EQ(GetU32(bytes, ContainerLayout().listCount), 1u) << "the shared list is written once";
    Object2D* read = ReadContainer(bytes);
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

TEST_F(ContainerStreams, ShapeAloneRoundTrips)
{
    Object2D* shape = TwoEntryShape();
    const Bytes bytes = Write(shape);
    ASSERT_EQ(bytes.size(), kChunkHeaderSize + ShapeStreamGetSize(shape));
    Object2D* read = ReadShape(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ShapeGetEntryCount(read), 2);
    EXPECT_NE(ShapeGetData(read)->atomic, nullptr);
    EXPECT_EQ(Write(read), bytes);
    ShapeDestroy(read);
    ShapeDestroy(shape);
}

// Each field below is overwritten with a value that lies; the read must
// fail and leave every list, brush, material and object it made freed.
TEST_F(ContainerStreams, LyingFieldsAreRefusedWithoutLeaks)
{
    Object2D* container = SmallTree();
    const Bytes good = Write(container);
    ASSERT_FALSE(good.empty());
    // A good read first, so that scratch buffers kept by the toolkit are
    // allocated before counting.
    Object2D* warm = ReadContainer(good);
    ASSERT_NE(warm, nullptr);
    ContainerDestroy(warm);

    const ContainerLayout at;
    const size_t pathSize = GetU32(good, at.firstPathChunk + 4);
    const size_t brushChunk = at.firstPathChunk + kChunkHeaderSize + pathSize;
    // The shape is the first child; its list index follows its common header.
    const size_t shapeIndex = at.listVersion +
                              ShapeListStreamGetSize(ShapeGetList(ContainerGetChild(container, 0))) +
                              ObjectStreamGetSizeBase();
    ASSERT_EQ(GetU32(good, shapeIndex), 0u);
    const struct
    {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"list index past the table", shapeIndex, 1},
        {"negative list index", shapeIndex, 0xFFFFFFFF},
        {"huge child count", at.childCount, 0xFFFFFFFF},
        {"one child too many", at.childCount, 3},
        {"huge list count", at.listCount, 0x7FFFFFFF},
        {"negative list count", at.listCount, 0xFFFFFFFF},
        {"two lists where one is", at.listCount, 2},
        {"list format version", at.listVersion, 2},
        {"huge entry count", at.entryCount, 0x40000000},
        {"negative entry count", at.entryCount, 0x80000000},
        {"unknown entry flag", at.firstEntryFlags, 0x24},
        {"missing path chunk", at.firstPathChunk, kChunkBrush},
        {"path longer than the chunk", at.firstPathChunk + 4, 0x7FFFFFF0},
        {"missing brush chunk", brushChunk, kChunkPath},
        {"brush longer than the chunk", brushChunk + 4, 0x7FFFFFF0},
        {"child of no kind", shapeIndex - ObjectStreamGetSizeBase() + 4, 7},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        PutU32(bad, c.offset, c.value);
        ExpectRefused(bad, ReadContainer, c.what);
    }
    ContainerDestroy(container);
}

TEST_F(ContainerStreams, TruncatedStreamsAreRefusedWithoutLeaks)
{
    Object2D* container = SmallTree();
    Object2D* shape = TwoEntryShape();
    const Bytes containerBytes = Write(container);
    const Bytes shapeBytes = Write(shape);
    ContainerDestroy(ReadContainer(containerBytes));
    const struct
    {
        const Bytes& bytes;
        std::function<Object2D*(const Bytes&)> read;
    } streams[] = {{containerBytes, ReadContainer}, {shapeBytes, ReadShape}};
    for (const auto& s : streams) {
        for (size_t length = 0; length < s.bytes.size(); ++length) {
            // Cut short with the header's size left as it was, and with the
            // header's size cut to what remains.
            Bytes cut(s.bytes.begin(), s.bytes.begin() + long(length));
            ExpectRefused(cut, s.read, "cut short");
            if (length >= kChunkHeaderSize) {
                PutU32(cut, 4, uint32_t(length - kChunkHeaderSize));
                ExpectRefused(cut, s.read, "chunk size cut");
            }
        }
    }
    ShapeDestroy(shape);
    ContainerDestroy(container);
}

TEST_F(ContainerStreams, NestingDepthIsBounded)
{
    // Containers nested `depth` deep under the top one, a shape at the bottom.
    const auto nested = [this](int32_t depth) {
        Object2D* top = ContainerCreate();
        Object2D* at = top;
        for (int32_t i = 0; i < depth; ++i) {
            at = ContainerAddContainer(at);
        }
        ContainerAddChild(at, TwoEntryShape());
        return top;
    };
    Object2D* allowed = nested(64);
    const Bytes allowedBytes = Write(allowed);
    Object2D* read = ReadContainer(allowedBytes);
    ASSERT_NE(read, nullptr) << "64 levels are read";
    ContainerDestroy(read);
    ContainerDestroy(allowed);

    Object2D* deep = nested(65);
    const Bytes deepBytes = Write(deep);
    ASSERT_FALSE(deepBytes.empty());
    ExpectRefused(deepBytes, ReadContainer, "65 levels");
    ContainerDestroy(deep);
}
