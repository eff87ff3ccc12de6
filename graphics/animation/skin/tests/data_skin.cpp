// Skin data: maximum weights, used bones, preparation, the stored forms and
// the refusal of bad stored data.
#include <algorithm>
#include <cmath>
#include <string>

#include "graphics/animation/skin/tests/skintesting.h"
#include "graphics/core/chunk.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/sceneids.h"

namespace {

class SkinData : public SkinFixture
{
  protected:
    void SetUp() override
    {
        SkinFixture::SetUp();
        ASSERT_TRUE(StartSkin());
    }

    static Bytes Write(const Geometry* geometry)
    {
        return WriteBytes([&](Stream* stream) { return GeometryStreamWrite(geometry, stream) != nullptr; });
    }
    Geometry* Read(const Bytes& bytes)
    {
        Geometry* geometry = ReadBytes<Geometry*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(stream)
                                                                             : nullptr;
        });
        if (geometry) {
            geometries_.push_back(geometry);
        }
        return geometry;
    }

    /// Runs the skin's sub-chunk reader on `body` for `geometry`.
    static bool ReadBody(Geometry* geometry, const Bytes& body)
    {
        return ReadBytes<bool>(body, [&](Stream* stream) {
            return SkinGeometryStreamRead(stream, int32_t(body.size()), geometry, 0, 0) != nullptr;
        });
    }

    /// Offset of the skin sub-chunk of `size` bytes in a written geometry (past the end when absent).
    static size_t SubChunkAt(const Bytes& bytes, uint32_t size)
    {
        size_t at = 0;
        while (at + 12 <= bytes.size() &&
               !(LittleEndianGetU32(&bytes[at]) == 0x116 && LittleEndianGetU32(&bytes[at + 4]) == size)) {
            ++at;
        }
        return at + 12 <= bytes.size() ? at : bytes.size();
    }

    /// Three vertices over two bones, split data optional.
    Skin* Sample(bool split)
    {
        const float weights[] = {1, 0, 0, 0, 0.5f, 0.5f, 0, 0, 0.25f, 0.75f, 0, 0};
        const uint32_t indices[] = {Indices(0), Indices(0, 1), Indices(0, 1)};
        const Matrix matrices[] = {Translation(0, 0, 0), Translation(-1, 0, 0)};
        Skin* skin = SkinCreate(3, 2, weights, indices, matrices);
        if (split && skin) {
            EXPECT_NE(SkinSetSplitData(skin, 2, 2, 1, 1), nullptr);
            skin->splitData[0] = 1;
            skin->splitData[1] = 0;
            skin->meshTable[0] = 0; // first run
            skin->meshTable[1] = 1; // one run
            skin->runTable[0] = 0;  // bones 0..1
            skin->runTable[1] = 2;
        }
        return skin;
    }

    /// A body valid for a 2-vertex geometry over 3 bones.
    static SkinBody ValidBody()
    {
        SkinBody body;
        body.bones = 3;
        body.used = 2;
        body.maxWeights = 2;
        body.usedList = {2, 0};
        body.indices = {Indices(2, 0), Indices(0)};
        body.weights = {0.6f, 0.4f, 0, 0, 1, 0, 0, 0};
        body.matrices.assign(3 * 16, 0.0f);
        return body;
    }
};

TEST_F(SkinData, MaximumWeightsCountLeadingNonZeroWeights)
{
    struct Case
    {
        std::vector<float> weights;
        uint32_t expected;
    };
    const Case cases[] = {
        {{1, 0, 0, 0}, 1},
        {{0.7f, 0.3f, 0, 0}, 2},
        {{0.5f, 0.25f, 0.25f, 0}, 3},
        {{0.4f, 0.3f, 0.2f, 0.1f}, 4},
        {{0.5f, 0, 0.5f, 0}, 1}, // only leading weights count
    };
    for (const Case& c : cases) {
        const uint32_t indices = Indices(5, 2, 1, 0);
        Skin* skin = SkinCreate(1, 6, c.weights.data(), &indices, nullptr);
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(skin->maxWeights, c.expected) << c.weights[0] << " " << c.weights[1];
        SkinDestroy(skin);
    }
}

TEST_F(SkinData, UsedBonesInFirstAppearanceOrderAreSortedWhenSet)
{
    const float weights[] = {0.5f, 0.5f, 0, 0, 0.5f, 0.5f, 0, 0};
    const uint32_t indices[] = {Indices(3, 1), Indices(1, 3)};
    Skin* skin = SkinCreate(2, 4, weights, indices, nullptr);
    ASSERT_NE(skin, nullptr);
    ASSERT_EQ(skin->numUsedBones, 2u);
    EXPECT_EQ(skin->usedBones[0], 3);
    EXPECT_EQ(skin->usedBones[1], 1);
    Geometry* geometry = Points(2);
    SkinGeometrySetSkin(geometry, skin);
    EXPECT_EQ(SkinGeometryGetSkin(geometry), skin);
    EXPECT_EQ(skin->usedBones[0], 1);
    EXPECT_EQ(skin->usedBones[1], 3);

    // Setting it again changes nothing, even what a new preparation would.
    std::swap(skin->usedBones[0], skin->usedBones[1]);
    SkinGeometrySetSkin(geometry, skin);
    EXPECT_EQ(skin->usedBones[0], 3);
}

TEST_F(SkinData, PreparingSortsWeightsWithTheirIndicesUnlessTheFirstIsWhole)
{
    const float weights[] = {0.2f, 0.8f, 0, 0, 1.0f, 0, 0.5f, 0};
    const uint32_t indices[] = {Indices(4, 7), Indices(2, 0, 3)};
    Skin* skin = SkinCreate(2, 8, weights, indices, nullptr);
    ASSERT_NE(skin, nullptr);
    SkinGeometrySetSkin(Points(2), skin);
    EXPECT_EQ(skin->vertexBoneWeights[0], 0.8f);
    EXPECT_EQ(skin->vertexBoneWeights[1], 0.2f);
    EXPECT_EQ(skin->vertexBoneIndices[0], Indices(7, 4));
    EXPECT_EQ(skin->vertexBoneWeights[4], 1.0f);
    EXPECT_EQ(skin->vertexBoneWeights[6], 0.5f);
    EXPECT_EQ(skin->vertexBoneIndices[1], Indices(2, 0, 3));
}

TEST_F(SkinData, CreateRefusesIndicesOutsideTheBones)
{
    const float weights[] = {1, 0, 0, 0};
    const uint32_t indices = Indices(0, 4);
    EXPECT_EQ(SkinCreate(1, 4, weights, &indices, nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorBadArgument);
    EXPECT_EQ(SkinCreate(-1, 4, weights, &indices, nullptr), nullptr);
    EXPECT_EQ(SkinCreate(1, 4, nullptr, &indices, nullptr), nullptr);
}

TEST_F(SkinData, RoundTripsWithAndWithoutSplitData)
{
    for (bool split : {false, true}) {
        SCOPED_TRACE(split ? "split" : "plain");
        Geometry* geometry = Points(3);
        Skin* skin = Sample(split);
        ASSERT_NE(skin, nullptr);
        SkinGeometrySetSkin(geometry, skin);
        const Bytes bytes = Write(geometry);
        ASSERT_FALSE(bytes.empty());

        // The sub-chunk's size is the size callback's and the bytes it holds.
        const int32_t size = SkinGeometryStreamGetSize(geometry, 0, 0);
        EXPECT_EQ(size, 4 + 2 + 3 * 20 + 2 * 64 + 12 + (split ? 2 + 4 : 0));
        const size_t at = SubChunkAt(bytes, uint32_t(size));
        ASSERT_LE(at + 12 + size_t(size), bytes.size());
        const size_t head = at + 12 + 4 + 2 + 3 * 20 + 2 * 64;
        if (!split) {
            EXPECT_EQ(at + 12 + size_t(size), head + 12);
            for (size_t i = head; i < head + 12; ++i) {
                EXPECT_EQ(bytes[i], 0) << "split header byte " << i - head;
            }
        }

        Geometry* read = Read(bytes);
        ASSERT_NE(read, nullptr);
        const Skin* back = SkinGeometryGetSkin(read);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->numBones, 2u);
        EXPECT_EQ(back->numUsedBones, 2u);
        EXPECT_EQ(back->maxWeights, 2u);
        EXPECT_EQ(std::memcmp(back->vertexBoneWeights, skin->vertexBoneWeights, 3 * 16), 0);
        EXPECT_EQ(std::memcmp(back->vertexBoneIndices, skin->vertexBoneIndices, 3 * 4), 0);
        EXPECT_EQ(back->skinToBoneMatrices[1].pos.x, -1.0f);
        EXPECT_EQ(back->skinToBoneMatrices[1].flags, skin->skinToBoneMatrices[1].flags);
        EXPECT_EQ(SkinIsSplit(back), split);
        if (split) {
            EXPECT_EQ(back->splitBoneLimit, 2u);
            EXPECT_EQ(std::memcmp(back->splitData, skin->splitData, 6), 0);
        }
        // Written again, the skin's sub-chunk is the same bytes.
        const Bytes again = Write(read);
        const size_t there = SubChunkAt(again, uint32_t(size));
        ASSERT_LE(there + 12 + size_t(size), again.size());
        EXPECT_TRUE(std::equal(bytes.begin() + long(at), bytes.begin() + long(at + 12 + size_t(size)),
                               again.begin() + long(there)));
    }
}

TEST_F(SkinData, StoredZerosAreComputedOnReading)
{
    SkinBody body = ValidBody();
    body.used = 0;
    body.usedList.clear();
    body.maxWeights = 0;
    Geometry* geometry = Points(2);
    ASSERT_TRUE(ReadBody(geometry, body.Bytes()));
    const Skin* skin = SkinGeometryGetSkin(geometry);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->maxWeights, 2u);
    ASSERT_EQ(skin->numUsedBones, 2u);
    EXPECT_EQ(skin->usedBones[0], 0); // prepared: ascending
    EXPECT_EQ(skin->usedBones[1], 2);
}

TEST_F(SkinData, ReadingReplacesAndFreesAnEarlierSkin)
{
    Geometry* geometry = Points(2);
    ASSERT_TRUE(ReadBody(geometry, ValidBody().Bytes()));
    const Skin* first = SkinGeometryGetSkin(geometry);
    ASSERT_TRUE(ReadBody(geometry, ValidBody().Bytes()));
    EXPECT_NE(SkinGeometryGetSkin(geometry), nullptr);
    EXPECT_NE(SkinGeometryGetSkin(geometry), first);
    // The fixture's counting table finds a leaked first skin at the end.
}

TEST_F(SkinData, BadBodiesAreRefusedAndLeaveTheGeometryAsItWas)
{
    struct Case
    {
        const char* what;
        void (*spoil)(SkinBody&);
    };
    const Case cases[] = {
        {"vertex index at the bone count", [](SkinBody& b) { b.indices[1] = Indices(3); }},
        {"index of a zero weight", [](SkinBody& b) { b.indices[1] = Indices(0, 0, 0, 200); }},
        {"used bone at the bone count", [](SkinBody& b) { b.usedList[1] = 3; }},
        {"maximum weights 5", [](SkinBody& b) { b.maxWeights = 5; }},
        {"maximum weights 255", [](SkinBody& b) { b.maxWeights = 255; }},
        {"used count past the data", [](SkinBody& b) { b.used = 250; }},
        {"bone count past the data", [](SkinBody& b) { b.bones = 200; }},
        {"split counts past the chunk",
         [](SkinBody& b) {
             b.splitHead[1] = 0x7FFFFFFF;
             b.splitHead[2] = 0x7FFFFFFF;
         }},
        {"split mesh runs past the run table",
         [](SkinBody& b) {
             b.splitHead[1] = 1;
             b.splitHead[2] = 1;
             b.split = {0, 1, 2, /*mesh*/ 0, 2, /*run*/ 0, 3};
         }},
        {"split run past the bones",
         [](SkinBody& b) {
             b.splitHead[1] = 1;
             b.splitHead[2] = 1;
             b.split = {0, 1, 2, 0, 1, 2, 2};
         }},
        {"weight not a number", [](SkinBody& b) { b.weights[1] = std::nanf(""); }},
        {"weight infinite", [](SkinBody& b) { b.weights[0] = INFINITY; }},
        {"bone matrix axis infinite", [](SkinBody& b) { b.matrices[1] = -INFINITY; }},
        {"bone matrix position not a number", [](SkinBody& b) { b.matrices[16 + 12] = std::nanf(""); }},
        {"remap byte past the bones",
         [](SkinBody& b) {
             b.splitHead[1] = 1;
             b.splitHead[2] = 1;
             b.split = {0, 7, 2, 0, 1, 0, 3};
         }},
    };
    Geometry* geometry = Points(2);
    ASSERT_TRUE(ReadBody(geometry, ValidBody().Bytes()));
    const Skin* before = SkinGeometryGetSkin(geometry);
    for (const Case& c : cases) {
        SkinBody body = ValidBody();
        c.spoil(body);
        EXPECT_FALSE(ReadBody(geometry, body.Bytes())) << c.what;
        EXPECT_EQ(SkinGeometryGetSkin(geometry), before) << c.what;
        TakeError();
    }
    // The fourth word of a bone matrix row is a flag, not a number: any bits pass.
    SkinBody flagged = ValidBody();
    flagged.matrices[3] = std::nanf("");
    EXPECT_TRUE(ReadBody(geometry, flagged.Bytes()));
    // Every prefix of a valid body with split data is refused too.
    SkinBody split = ValidBody();
    split.splitHead[0] = 2;
    split.splitHead[1] = 1;
    split.splitHead[2] = 1;
    split.split = {1, 0xFF, 0, 0, 1, 0, 3};
    const Bytes full = split.Bytes();
    ASSERT_TRUE(ReadBody(geometry, full));
    const Skin* valid = SkinGeometryGetSkin(geometry);
    for (size_t length = 0; length < full.size(); ++length) {
        EXPECT_FALSE(ReadBody(geometry, Bytes(full.begin(), full.begin() + length))) << length;
        EXPECT_EQ(SkinGeometryGetSkin(geometry), valid);
    }
    TakeError();
}

TEST_F(SkinData, PreInstancedFormHoldsThePlatformAndTheBoneCount)
{
    Geometry* geometry = Points(2);
    geometry->format |= kGeometryNative;
    auto chunk = [](uint32_t version, uint32_t platform, uint32_t bones) {
        return WriteBytes([&](Stream* stream) {
            return ChunkHeaderWrite(stream, kChunkStruct, 8, version, 0) &&
                   StreamWriteUInt32(stream, platform) && StreamWriteUInt32(stream, bones);
        });
    };
    ASSERT_TRUE(ReadBody(geometry, chunk(0x36003, 9, 30)));
    ASSERT_NE(SkinGeometryGetSkin(geometry), nullptr);
    EXPECT_EQ(SkinGeometryGetSkin(geometry)->numBones, 30u);
    EXPECT_EQ(SkinGeometryGetSkin(geometry)->vertexBoneIndices, nullptr);
    EXPECT_EQ(SkinGeometryStreamGetSize(geometry, 0, 0), 0);

    EXPECT_FALSE(ReadBody(geometry, chunk(0x36003, 8, 30)));
    TakeError();
    EXPECT_FALSE(ReadBody(geometry, chunk(0x30000, 9, 30)));
    const ErrorRecord error = TakeError();
    EXPECT_EQ(error.code, kErrorBadVersion);
    EXPECT_EQ(SkinGeometryGetSkin(geometry)->numBones, 30u);
}

TEST_F(SkinData, OlderAtomicFormReads)
{
    // u32 bones, 4 skipped bytes, indices, weights, per bone 12 skipped bytes and 16 floats.
    const float weights[] = {0.3f, 0.7f, 0, 0, 1, 0, 0, 0};
    const Bytes bytes = WriteBytes([&](Stream* stream) {
        bool ok = StreamWriteUInt32(stream, 2) && StreamWriteUInt32(stream, 0) &&
                  StreamWriteUInt32(stream, Indices(0, 1)) && StreamWriteUInt32(stream, Indices(1)) &&
                  StreamWriteReal(stream, weights, sizeof(weights));
        for (int b = 0; b < 2 && ok; ++b) {
            const Matrix m = Translation(float(-b), 0, 0);
            const float values[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, m.pos.x, 0, 0, 1};
            const uint8_t skipped[12] = {};
            ok = StreamWrite(stream, skipped, 12) && StreamWriteReal(stream, values, sizeof(values));
        }
        return ok;
    });
    Geometry* geometry = Points(2);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    const bool read = ReadBytes<bool>(bytes, [&](Stream* stream) {
        return SkinAtomicStreamRead(stream, int32_t(bytes.size()), atomic, 0, 0) != nullptr;
    });
    EXPECT_TRUE(read);
    const Skin* skin = SkinGeometryGetSkin(geometry);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->numBones, 2u);
    EXPECT_EQ(skin->maxWeights, 2u);
    EXPECT_EQ(skin->numUsedBones, 2u);
    EXPECT_EQ(skin->vertexBoneWeights[0], 0.7f); // prepared
    EXPECT_EQ(skin->skinToBoneMatrices[1].pos.x, -1.0f);

    // A truncated older form is refused and leaves the skin alone.
    SkinGeometrySetSkin(geometry, nullptr);
    SkinDestroy(const_cast<Skin*>(skin));
    const Bytes cut(bytes.begin(), bytes.end() - 4);
    EXPECT_FALSE(ReadBytes<bool>(cut, [&](Stream* stream) {
        return SkinAtomicStreamRead(stream, int32_t(cut.size()), atomic, 0, 0) != nullptr;
    }));
    EXPECT_EQ(SkinGeometryGetSkin(geometry), nullptr);
    AtomicDestroy(atomic);
    TakeError();
}

} // namespace
