// Tagged items: their sizes, their round trips, and the readers' refusals.
#include <cmath>

#include "physics/core/serial/serialpart.h"
#include "physics/core/serial/tests/serialtesting.h"

namespace {

class SerialItems : public SerialTest
{
};

struct ItemCase
{
    const char* name;
    uint32_t bytes;
    std::function<int32_t(OlpSerialCtx*)> write;
};

const V3d kVector = {1.5f, -2.0f, 3.25f};
const Quaternion kQuaternion = {0.1f, 0.2f, 0.3f, 0.9f};

Matrix SomeMatrix()
{
    Matrix m{};
    m.right = {0, 1, 0};
    m.up = {-1, 0, 0};
    m.at = {0, 0, 1};
    m.pos = {4, 5, 6};
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

} // namespace

TEST_F(SerialItems, EachKindTakesItsSizeAndMeasuringCountsTheSame)
{
    const Matrix matrix = SomeMatrix();
    const V3d three[3] = {kVector, kVector, kVector};
    const float four[4] = {1, 2, 3, 4};
    const uint32_t words[5] = {1, 2, 3, 4, 5};
    OlpJointDef* joint = OlpJointDefCreate();
    OlpBitMatrix* bits = OlpBitMatrixCreate(11, 11);
    const ItemCase cases[] = {
        {"u16", 6, [](OlpSerialCtx* c) { return OlpSerialWriteU16(c, 7); }},
        {"raw u32", 8, [](OlpSerialCtx* c) { return OlpSerialWriteU32Raw(c, 7); }},
        {"u32", 8, [](OlpSerialCtx* c) { return OlpSerialWriteU32(c, 7); }},
        {"array", 8 + 4 * 5, [&](OlpSerialCtx* c) { return OlpSerialWriteArray(c, words, 5); }},
        {"float", 8, [](OlpSerialCtx* c) { return OlpSerialWriteFloat(c, 1.0f); }},
        {"vector", 16, [](OlpSerialCtx* c) { return OlpSerialWriteVector(c, &kVector); }},
        {"quaternion", 20, [](OlpSerialCtx* c) { return OlpSerialWriteQuaternion(c, &kQuaternion); }},
        {"matrix", 52, [&](OlpSerialCtx* c) { return OlpSerialWriteMatrix(c, &matrix); }},
        {"frame", 40, [](OlpSerialCtx* c) { return OlpSerialWriteFrame(c, &kVector, &kQuaternion); }},
        {"three vectors", 52, [&](OlpSerialCtx* c) { return OlpSerialWriteVectors3(c, three); }},
        {"four floats", 20, [&](OlpSerialCtx* c) { return OlpSerialWriteFloats4(c, four); }},
        // Flags 8, two frames 72, two limit modes and blocks 2 x (8 + 36),
        // six drives 6 x 28, the axis word 8, and its own tag.
        {"joint definition", 4 + 8 + 72 + 88 + 168 + 8,
         [&](OlpSerialCtx* c) { return OlpJointDefStreamWrite(c, joint); }},
        // Rows, columns, and the 4 words of 121 bits.
        {"bit matrix", 4 + 8 + 8 + 8 + 16, [&](OlpSerialCtx* c) { return OlpBitMatrixStreamWrite(c, bits); }},
    };
    for (const ItemCase& item : cases) {
        SCOPED_TRACE(item.name);
        uint32_t measured = 0;
        std::vector<uint8_t> bytes = WrittenItems(item.write, &measured);
        EXPECT_EQ(measured, item.bytes);
        EXPECT_EQ(bytes.size(), item.bytes);
    }
    OlpJointDefRelease(joint);
    OlpBitMatrixDestroy(bits);
}

TEST_F(SerialItems, NumbersAndFramesComeBackAsWritten)
{
    const Matrix matrix = SomeMatrix();
    const uint32_t words[3] = {0xDEADBEEF, 0, 42};
    uint32_t measured = 0;
    std::vector<uint8_t> bytes = WrittenItems(
        [&](OlpSerialCtx* c) {
            return OlpSerialWriteU16(c, 0xBEEF) && OlpSerialWriteU32(c, 0x12345678) &&
                   OlpSerialWriteArray(c, words, 3) && OlpSerialWriteFloat(c, -0.5f) &&
                   OlpSerialWriteMatrix(c, &matrix) && OlpSerialWriteFrame(c, &kVector, &kQuaternion);
        },
        &measured);
    uint16_t half = 0;
    uint32_t word = 0;
    uint32_t array[3] = {};
    float value = 0.0f;
    Matrix read{};
    read.flags = kMatrixFlagsAll;
    V3d position{};
    Quaternion orientation{};
    uint32_t used = 0;
    ASSERT_TRUE(ReadItems(
        bytes, bytes.size(),
        [&](OlpSerialCtx* c) {
            return OlpSerialReadU16(c, &half) && OlpSerialReadU32(c, &word) &&
                   OlpSerialReadArray(c, array, 3) && OlpSerialReadFloat(c, &value) &&
                   OlpSerialReadMatrix(c, &read) && OlpSerialReadFrame(c, &position, &orientation);
        },
        &used));
    EXPECT_EQ(used, measured);
    EXPECT_EQ(half, 0xBEEF);
    EXPECT_EQ(word, 0x12345678u);
    EXPECT_EQ(array[0], 0xDEADBEEFu);
    EXPECT_EQ(array[2], 42u);
    EXPECT_EQ(value, -0.5f);
    EXPECT_EQ(std::memcmp(&read.right, &matrix.right, 12), 0);
    EXPECT_EQ(std::memcmp(&read.pos, &matrix.pos, 12), 0);
    EXPECT_EQ(read.flags & kMatrixFlagsAll, 0u) << "a matrix read is marked changed";
    EXPECT_EQ(position.z, kVector.z);
    EXPECT_EQ(orientation.w, kQuaternion.w);
}

TEST_F(SerialItems, ReadersRefuseOtherKindsNewerVersionsAndShortData)
{
    struct Refusal
    {
        const char* name;
        uint32_t tag;
    };
    const Refusal refusals[] = {{"another kind", kOlpItemU32}, {"a newer version", 0x10000 | kOlpItemFloat}};
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        uint32_t measured = 0;
        std::vector<uint8_t> bytes = WrittenItems(
            [&](OlpSerialCtx* c) {
                const float one = 1.0f;
                return OlpSerialPutWords(c, &refusal.tag, 1) && OlpSerialPutFloats(c, &one, 1);
            },
            &measured);
        float value = 0.0f;
        EXPECT_FALSE(
            ReadItems(bytes, bytes.size(), [&](OlpSerialCtx* c) { return OlpSerialReadFloat(c, &value); }));
        EXPECT_EQ(TakeError().code, kErrorRead);
    }
    // An array whose count differs from the one expected, or that runs past
    // the chunk, is refused before its words are read.
    uint32_t measured = 0;
    const uint32_t words[2] = {1, 2};
    std::vector<uint8_t> bytes =
        WrittenItems([&](OlpSerialCtx* c) { return OlpSerialWriteArray(c, words, 2); }, &measured);
    uint32_t out[3] = {};
    EXPECT_FALSE(
        ReadItems(bytes, bytes.size(), [&](OlpSerialCtx* c) { return OlpSerialReadArray(c, out, 3); }));
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(ReadItems(bytes, cut, [&](OlpSerialCtx* c) { return OlpSerialReadArray(c, out, 2); }))
            << "cut at " << cut;
    }
    TakeError();
}

TEST_F(SerialItems, AJointDefinitionComesBackFieldByField)
{
    OlpJointDef* def = OlpJointDefCreate();
    OlpJointDefSetFlags(def, 0x1234);
    def->frames[0] = {{0.0f, 0.6f, 0.0f, 0.8f}, {1, 2, 3}};
    def->frames[1] = {{0.8f, 0.0f, 0.6f, 0.0f}, {-1, -2, -3}};
    for (OlpJointLimit* limit : {&def->limitA, &def->limitB}) {
        OlpJointLimitSetMode(limit, limit == &def->limitA ? 2 : 3);
        OlpJointLimitSetValue(limit, limit == &def->limitA ? 0.25f : 0.75f);
        for (int i = 0; i < 3; ++i) {
            OlpJointLimitSetAngle(limit, i, 0.1f * float(i + 1) + (limit == &def->limitA ? 0.0f : 1.0f));
        }
    }
    for (int i = 0; i < 3; ++i) {
        def->drivesB[i] = {float(i + 1), float(10 * (i + 1)), float(100 * (i + 1))};
        def->blockC.drives[i] = {-float(i + 1), -float(10 * (i + 1)), -float(100 * (i + 1))};
    }
    OlpJointDefSetAxisFlag(def->blockC.axisFlags, 2, 5);
    uint32_t measured = 0;
    std::vector<uint8_t> bytes =
        WrittenItems([&](OlpSerialCtx* c) { return OlpJointDefStreamWrite(c, def); }, &measured);
    OlpJointDef* read = OlpJointDefCreate();
    ASSERT_TRUE(
        ReadItems(bytes, bytes.size(), [&](OlpSerialCtx* c) { return OlpJointDefStreamRead(c, read); }));
    EXPECT_EQ(read->flags, 0x1234u);
    for (int e = 0; e < 2; ++e) {
        EXPECT_EQ(std::memcmp(&read->frames[e].orientation, &def->frames[e].orientation, 16), 0);
        EXPECT_EQ(std::memcmp(&read->frames[e].position, &def->frames[e].position, 12), 0);
    }
    for (auto member : {&OlpJointDef::limitA, &OlpJointDef::limitB}) {
        EXPECT_EQ((read->*member).mode, (def->*member).mode);
        EXPECT_EQ((read->*member).value, (def->*member).value);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ((read->*member).cosHalf[i], (def->*member).cosHalf[i]);
        }
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(&read->drivesB[i], &def->drivesB[i], sizeof(OlpJointDrive)), 0);
        EXPECT_EQ(std::memcmp(&read->blockC.drives[i], &def->blockC.drives[i], sizeof(OlpJointDrive)), 0);
    }
    EXPECT_EQ(OlpJointDefGetAxisMask(read->blockC.axisFlags, 2), 5u);
    EXPECT_EQ(read->refCount, 1u);
    OlpJointDefRelease(def);
    OlpJointDefRelease(read);
}

TEST_F(SerialItems, ACheckerboardBitMatrixComesBackAndBadSizesAreRefused)
{
    OlpBitMatrix* board = OlpBitMatrixCreate(11, 11);
    for (uint32_t r = 0; r < 11; ++r) {
        for (uint32_t c = 0; c < 11; ++c) {
            OlpBitMatrixSetBit(board, r + c * 11, (r + c) % 2 == 0);
        }
    }
    uint32_t measured = 0;
    std::vector<uint8_t> bytes =
        WrittenItems([&](OlpSerialCtx* c) { return OlpBitMatrixStreamWrite(c, board); }, &measured);
    OlpBitMatrix* read = nullptr;
    ASSERT_TRUE(ReadItems(bytes, bytes.size(), [&](OlpSerialCtx* c) {
        read = OlpBitMatrixStreamRead(c);
        return read != nullptr;
    }));
    EXPECT_EQ(read->rows, 11u);
    EXPECT_EQ(read->columns, 11u);
    ASSERT_EQ(read->wordCount, 4u);
    EXPECT_EQ(std::memcmp(read->words, board->words, 16), 0);
    OlpBitMatrixDestroy(read);
    OlpBitMatrixDestroy(board);

    // Sizes whose words the chunk cannot hold, or of no bits, are refused
    // before anything is allocated.
    const int64_t live = CountingMemory::live;
    const uint32_t sizes[][2] = {{0, 5}, {5, 0}, {0xFFFF, 0xFFFF}, {12, 11}};
    for (const auto& size : sizes) {
        std::vector<uint8_t> bad = WrittenItems(
            [&](OlpSerialCtx* c) {
                const uint32_t words[4] = {};
                return OlpSerialPutTag(c, kOlpItemBitMatrix, 0) && OlpSerialWriteU32(c, size[0]) &&
                       OlpSerialWriteU32(c, size[1]) && OlpSerialWriteArray(c, words, 4);
            },
            &measured);
        EXPECT_FALSE(
            ReadItems(bad, bad.size(), [&](OlpSerialCtx* c) { return OlpBitMatrixStreamRead(c) != nullptr; }))
            << size[0] << " x " << size[1];
        EXPECT_EQ(TakeError().code, kErrorRead);
    }
    EXPECT_EQ(CountingMemory::live, live);
}
