// Body definitions and bodies in chunks 0x907 and 0x908.
#include "graphics/core/chunk.h"
#include "graphics/core/streambytes.h"
#include "physics/core/body/bodystream.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/serial/serialpart.h"
#include "physics/core/serial/tests/serialtesting.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/sphere.h"

namespace {

class BodyStreams : public SerialTest
{
  protected:
    /// A definition of a sphere of radius 0.5 and mass 2, centre moved.
    static OlpBodyDef* SphereDef()
    {
        OlpBodyDef* def = OlpBodyDefCreate();
        OlpSphereInit(def->volume, 0.5f);
        OlpPartSetMass(&def->part, 2.0f, 1);
        def->part.centre = {0.0f, 0.25f, 0.0f};
        def->part.damping[0] = 0.3f;
        def->part.carried[1] = 0xFFC00001; // a NaN's bits survive as they are
        return def;
    }

    static uint32_t Word(const std::vector<uint8_t>& bytes, size_t at)
    {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    }
};

} // namespace

TEST_F(BodyStreams, ChunkSizesAreTheMeasuredItemsPlusTheirHeaders)
{
    OlpBodyDef* def = SphereDef();
    OlpSerialCtx measure;
    OlpSerialCtxInit(&measure, nullptr, kOlpSerialWrite);
    ASSERT_TRUE(OlpBodyDefSerialize(&measure, def));
    // Part tag 4; sphere record 4 + (4 + 8 + 4) + 52 + 24 + 12; mass 8;
    // frame 40; three floats 24; carried vector 16; flags 8; inertia 16.
    EXPECT_EQ(measure.count, 4u + 108 + 8 + 40 + 24 + 16 + 8 + 16);
    EXPECT_EQ(OlpBodyDefStreamSize(def), measure.count + 12);

    std::vector<uint8_t> bytes =
        StreamWrittenBytes([&](Stream* s) { return OlpBodyDefStreamWrite(def, s) != nullptr; });
    ASSERT_EQ(bytes.size(), measure.count + 24);
    EXPECT_EQ(Word(bytes, 0), kOlpChunkBodyDef);
    EXPECT_EQ(Word(bytes, 4), measure.count + 12);
    EXPECT_EQ(Word(bytes, 8), ChunkStampEncode(0x37002, 10));
    EXPECT_EQ(Word(bytes, 12), kChunkStruct);
    EXPECT_EQ(Word(bytes, 16), measure.count);

    OlpBody* body = OlpBodyCreate(def);
    EXPECT_EQ(OlpBodyStreamSize(body), measure.count + 24);
    bytes = StreamWrittenBytes([&](Stream* s) { return OlpBodyStreamWrite(body, s) != nullptr; });
    ASSERT_EQ(bytes.size(), measure.count + 36);
    EXPECT_EQ(Word(bytes, 0), kOlpChunkBody);
    EXPECT_EQ(Word(bytes, 4), measure.count + 24);
    EXPECT_EQ(Word(bytes, 12), kOlpChunkBodyDef);
    OlpBodyDestroy(body);
    OlpBodyDefRelease(def);
}

TEST_F(BodyStreams, ABodyReadBackCarriesItsPartAndOwnsItsDefinition)
{
    OlpBodyDef* def = SphereDef();
    OlpBody* body = OlpBodyCreate(def);
    std::vector<uint8_t> bytes =
        StreamWrittenBytes([&](Stream* s) { return OlpBodyStreamWrite(body, s) != nullptr; });
    OlpBody* read =
        ReadChunk(bytes, bytes.size(), kOlpChunkBody, [](Stream* s) { return OlpBodyStreamRead(s); });
    ASSERT_NE(read, nullptr);
    auto* readDef = static_cast<OlpBodyDef*>(read->base.definition);
    EXPECT_EQ(readDef->refCount, 1u) << "the reading reference is dropped";
    EXPECT_EQ(read->base.parts[0].volume, readDef->volume);
    EXPECT_EQ(readDef->part.volume, readDef->volume);
    EXPECT_EQ(readDef->volume->descriptor, &kOlpSphereDescriptor);
    EXPECT_EQ(OlpSphereGetRadius(readDef->volume), 0.5f);
    EXPECT_EQ(readDef->part.mass, 2.0f);
    EXPECT_EQ(readDef->part.centre.y, 0.25f);
    EXPECT_EQ(readDef->part.damping[0], 0.3f);
    EXPECT_EQ(readDef->part.carried[1], 0xFFC00001u);
    EXPECT_EQ(readDef->part.flags, def->part.flags);
    EXPECT_EQ(std::memcmp(&readDef->part.inertia, &def->part.inertia, 12), 0);
    EXPECT_EQ(readDef->part.scalarInertia, def->part.scalarInertia);
    OlpBodyDestroy(read);
    OlpBodyDestroy(body);
    OlpBodyDefRelease(def);
}

TEST_F(BodyStreams, BadVersionsWrongChunksAndCutsGiveNullAndLeakNothing)
{
    OlpBodyDef* def = SphereDef();
    std::vector<uint8_t> good =
        StreamWrittenBytes([&](Stream* s) { return OlpBodyDefStreamWrite(def, s) != nullptr; });
    OlpBodyDefRelease(def);
    const int64_t live = CountingMemory::live;
    struct Damage
    {
        const char* name;
        size_t offset;
        uint32_t word;
        uint32_t error;
    };
    const Damage damages[] = {
        {"struct chunk too old", 20, ChunkStampEncode(0x34000, 10), kErrorBadVersion},
        {"struct chunk too new", 20, ChunkStampEncode(0x38000, 10), kErrorBadVersion},
        {"not a struct chunk", 12, 0x2, kErrorRead},
        {"struct longer than its chunk", 16, uint32_t(good.size()), kErrorRead},
        {"an item of another kind", 24, kOlpItemU32, kErrorRead},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::vector<uint8_t> bad = good;
        for (int i = 0; i < 4; ++i) {
            bad[damage.offset + i] = uint8_t(damage.word >> (8 * i));
        }
        EXPECT_EQ(
            ReadChunk(bad, bad.size(), kOlpChunkBodyDef, [](Stream* s) { return OlpBodyDefStreamRead(s); }),
            nullptr);
        EXPECT_EQ(TakeError().code, damage.error);
    }
    // The outer chunk claims its full size: every cut is caught by the chunk
    // finder or by an item.
    for (size_t cut = 12; cut < good.size(); ++cut) {
        std::vector<uint8_t> bad = good;
        bad.resize(cut);
        const uint32_t size = uint32_t(cut - 12);
        for (int i = 0; i < 4; ++i) {
            bad[4 + i] = uint8_t(size >> (8 * i));
        }
        EXPECT_EQ(ReadChunk(bad, cut, kOlpChunkBodyDef, [](Stream* s) { return OlpBodyDefStreamRead(s); }),
                  nullptr)
            << "cut at " << cut;
        TakeError();
    }
    EXPECT_EQ(CountingMemory::live, live);
}

TEST_F(BodyStreams, RegistrationInstallsTheDefinitionHandlers)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    const float box[6] = {10, 10, 10, -10, -10, -10};
    OlpContext* context = OlpContextCreate(&params, 1.0f, box);
    ASSERT_EQ(OlpBodyRegisterType(context), 1);
    EXPECT_EQ(context->handlers[kOlpObjTypeBody].write, OlpBodyDefSerialize);
    EXPECT_EQ(context->handlers[kOlpObjTypeBody].read, OlpBodyDefDeserialize);
    OlpContextDestroy(context);
}
