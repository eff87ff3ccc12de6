// Vertex-element conversion: exact bytes of the element types, the
// sum-preserving weights, read-back within one quantum, and the choice of
// the most compact type under the renderer's declaration-type bits.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/d3d9/renderer/vertexconvert.h"

namespace {

uint32_t Field(uint32_t word, int index)
{
    return (word >> (10 * index)) & 0x3FF;
}

uint32_t Word(const uint8_t* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

TEST(VertexConvert, HalfRoundsToEvenAndMinusOnePacksAsDec3n)
{
    const float half[3] = {0.5f, 0.5f, 0.5f};
    uint8_t bytes[4] = {};
    EXPECT_EQ(VertexConvert3(D3DDECLTYPE_UBYTE4N, bytes, half, 1, 4), 4u);
    EXPECT_EQ(bytes[0], 128); // 127.5 goes to its even neighbour
    EXPECT_EQ(bytes[1], 128);
    EXPECT_EQ(bytes[3], 255); // unit fourth component

    uint8_t dec[4] = {};
    VertexConvert3(D3DDECLTYPE_DEC3N, dec, half, 1, 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Field(Word(dec), i), 256u);
    }

    const float minusOne[3] = {-1.0f, 0.0f, 1.0f};
    VertexConvert3(D3DDECLTYPE_DEC3N, dec, minusOne, 1, 4);
    EXPECT_EQ(Field(Word(dec), 0), 0x201u);
    EXPECT_EQ(Field(Word(dec), 2), 511u);
    float back[3];
    VertexConvertBack3(D3DDECLTYPE_DEC3N, back, dec);
    EXPECT_FLOAT_EQ(back[0], -1.0f);
    EXPECT_FLOAT_EQ(back[1], 0.0f);
    EXPECT_FLOAT_EQ(back[2], 1.0f);
}

TEST(VertexConvert, ColourTakesMemoryOrderBlueGreenRedAlpha)
{
    const float c[3] = {1.0f, 0.5f, 0.0f};
    uint8_t bytes[4] = {};
    VertexConvert3(D3DDECLTYPE_D3DCOLOR, bytes, c, 1, 4);
    EXPECT_EQ(std::vector<int>(bytes, bytes + 4), (std::vector<int>{0, 128, 255, 255}));

    const uint8_t rgba[8] = {10, 20, 30, 255, 1, 2, 3, 255};
    uint32_t out[2] = {};
    EXPECT_EQ(VertexColorsWrite(out, rgba, 2, 4), 0u);
    EXPECT_EQ(out[0], 0xFF0A141Eu);
    const uint8_t translucent[4] = {1, 2, 3, 254};
    EXPECT_EQ(VertexColorsWrite(out, translucent, 1, 4), 1u);
    EXPECT_EQ(VertexColorsWrite(out, translucent, 0, 4), 0u);
}

TEST(VertexConvert, WeightsKeepTheirSumInEveryNormalisedType)
{
    const float w[8] = {0.5f, 0.25f, 0.25f, 0.0f, 1.0f, 0.3f, 0.0f, 0.0f};
    uint8_t ub[8] = {};
    VertexConvert(D3DDECLTYPE_UBYTE4N, ub, w, 2, 4);
    EXPECT_EQ(std::vector<int>(ub, ub + 4), (std::vector<int>{127, 64, 64, 0}));
    EXPECT_EQ(std::vector<int>(ub + 4, ub + 8), (std::vector<int>{255, 0, 0, 0})); // w0 >= 1 wins

    uint8_t colour[4] = {};
    VertexConvert(D3DDECLTYPE_D3DCOLOR, colour, w, 1, 4);
    EXPECT_EQ(std::vector<int>(colour, colour + 4), (std::vector<int>{64, 64, 127, 0})); // w0 in red

    const float odd[4] = {0.1f, 0.3f, 0.3f, 0.3f};
    for (uint32_t type : {D3DDECLTYPE_SHORT4N, D3DDECLTYPE_USHORT4N}) {
        uint16_t s[4] = {};
        VertexConvert(type, s, odd, 1, 8);
        const int unit = type == D3DDECLTYPE_SHORT4N ? 32767 : 65535;
        EXPECT_EQ(int(s[0]) + s[1] + s[2] + s[3], unit) << type;
    }
    float f4[4] = {};
    VertexConvert(D3DDECLTYPE_FLOAT4, f4, odd, 1, 16);
    EXPECT_EQ(std::vector<float>(f4, f4 + 4), std::vector<float>(odd, odd + 4));
}

// Every normalised and float type reads back within one quantum of what was
// written, at a stride that leaves canary bytes between the elements.
TEST(VertexConvert, RoundTripWithinOneQuantumAndCanariesUntouched)
{
    struct Case
    {
        uint32_t type;
        float quantum;
        bool signedRange;
    };
    const Case cases[] = {
        {D3DDECLTYPE_FLOAT3, 0.0f, true},
        {D3DDECLTYPE_D3DCOLOR, 1.0f / 255, false},
        {D3DDECLTYPE_UBYTE4N, 1.0f / 255, false},
        {D3DDECLTYPE_SHORT4N, 1.0f / 32767, true},
        {D3DDECLTYPE_USHORT4N, 1.0f / 65535, false},
        {D3DDECLTYPE_DEC3N, 1.0f / 511, true},
    };
    const float values[12] = {0.0f, 0.25f, 1.0f, 0.7f, 0.33f, 0.01f, -0.5f, -1.0f, 0.9f, -0.2f, 0.6f, -0.77f};
    constexpr uint32_t stride = 20;
    for (const Case& c : cases) {
        std::array<uint8_t, stride * 4> buffer;
        buffer.fill(0xCD);
        const int count = c.signedRange ? 4 : 2; // the first two vectors are non-negative
        const uint32_t size = VertexConvert3(c.type, buffer.data(), values, count, stride);
        for (int i = 0; i < count; ++i) {
            float back[3];
            VertexConvertBack3(c.type, back, buffer.data() + i * stride);
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(back[k], values[3 * i + k], c.quantum + 1e-6f) << c.type << " vertex " << i;
            }
            for (uint32_t b = size; b < stride; ++b) {
                EXPECT_EQ(buffer[i * stride + b], 0xCD) << c.type;
            }
        }
    }
}

TEST(VertexConvert, HalfFloatTypesAndEmptyCountsWriteNothing)
{
    const float v[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    for (uint32_t type : {D3DDECLTYPE_FLOAT16_2, D3DDECLTYPE_FLOAT16_4}) {
        uint8_t buffer[16];
        std::memset(buffer, 0xCD, sizeof buffer);
        EXPECT_EQ(VertexConvert3(type, buffer, v, 1, 8), VertexElementTypeSize(type));
        EXPECT_EQ(VertexConvert2(type, buffer, v, 1, 8), VertexElementTypeSize(type));
        for (uint8_t b : buffer) {
            EXPECT_EQ(b, 0xCD);
        }
    }
    uint8_t buffer[4] = {0xCD, 0xCD, 0xCD, 0xCD};
    EXPECT_EQ(VertexConvert3(D3DDECLTYPE_UBYTE4N, buffer, v, 0, 4), 4u);
    EXPECT_EQ(buffer[0], 0xCD);
}

TEST(VertexConvert, OutOfRangeKeepsLowBitsAndNanGivesZero)
{
    const float big[3] = {300.0f, -1.0f, std::nanf("")};
    uint8_t bytes[4] = {};
    VertexConvert3(D3DDECLTYPE_UBYTE4, bytes, big, 1, 4);
    EXPECT_EQ(bytes[0], 300 & 0xFF);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0);
    const float huge[2] = {1e30f, -1e30f};
    int16_t s[2] = {7, 7};
    VertexConvert2(D3DDECLTYPE_SHORT2, s, huge, 1, 4);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 0);
}

TEST(VertexConvert, PackedNormalsLerpAndIndices)
{
    const int8_t packed[4] = {127, 0, -128, 0};
    uint8_t dec[4];
    VertexConvertPackedNormals(D3DDECLTYPE_DEC3N, dec, packed, 1, 4);
    EXPECT_EQ(Field(Word(dec), 0), uint32_t(std::nearbyint(127 / 128.0 * 511)));
    EXPECT_EQ(Field(Word(dec), 1), 0u);
    EXPECT_EQ(Field(Word(dec), 2), 0x201u); // -1.0

    const float a[3] = {0.0f, 2.0f, 0.0f}, b[3] = {1.0f, 4.0f, 1.0f};
    float mixed[3];
    VertexConvertLerp3(D3DDECLTYPE_FLOAT3, mixed, a, b, 0.25f, 1, 12);
    EXPECT_EQ(std::vector<float>(mixed, mixed + 3), (std::vector<float>{0.25f, 2.5f, 0.25f}));
    uint8_t un[4];
    VertexConvertLerp3(D3DDECLTYPE_UBYTE4N, un, a, b, 0.5f, 1, 4);
    EXPECT_EQ(un[0], 128);

    const uint8_t indices[4] = {1, 2, 3, 4};
    uint8_t colour[4];
    VertexConvertIndices(D3DDECLTYPE_D3DCOLOR, colour, indices, 1, 4);
    EXPECT_EQ(std::vector<int>(colour, colour + 4), (std::vector<int>{3, 2, 1, 4}));
    uint16_t shorts[4];
    VertexConvertIndices(D3DDECLTYPE_SHORT4, shorts, indices, 1, 8);
    EXPECT_EQ(std::vector<int>(shorts, shorts + 4), (std::vector<int>{1, 2, 3, 4}));
    uint8_t remap[256];
    for (int i = 0; i < 256; ++i) {
        remap[i] = uint8_t(i * 10);
    }
    uint8_t bytes[4] = {0xCD, 0xCD, 0xCD, 0xCD};
    VertexConvertBytes(D3DDECLTYPE_UBYTE4, bytes, indices, remap, 1, 4);
    EXPECT_EQ(std::vector<int>(bytes, bytes + 4), (std::vector<int>{10, 20, 30, 40}));
    uint8_t untouched[4] = {0xCD, 0xCD, 0xCD, 0xCD};
    VertexConvertIndices(D3DDECLTYPE_FLOAT1, untouched, indices, 1, 4);
    EXPECT_EQ(untouched[0], 0xCD);
}

TEST(VertexConvert, DeclarationSizeStopsAtTheEndElement)
{
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_DEC3N, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    uint32_t end = 0;
    EXPECT_EQ(VertexDeclarationSize(elements, &end), 24u);
    EXPECT_EQ(end, 3u);
}

// The type chosen for 3- and 2-component data over ranges and DeclTypes bits.
TEST(VertexConvert, RangeFitTable)
{
    struct Case
    {
        uint32_t declTypes;
        float lo, hi;
        uint32_t three, two;
    };
    const Case cases[] = {
        {0xFF, 0.0f, 1.0f, D3DDECLTYPE_DEC3N, D3DDECLTYPE_USHORT2N},
        {0x80, 0.0f, 1.0f, D3DDECLTYPE_DEC3N, D3DDECLTYPE_DEC3N},
        {0x20, 0.0f, 1.0f, D3DDECLTYPE_USHORT4N, D3DDECLTYPE_D3DCOLOR},
        {0x00, 0.0f, 1.0f, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_D3DCOLOR},
        {0x00, 0.0f, 1.5f, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT2},
        {0xFF, -1.0f, 1.0f, D3DDECLTYPE_DEC3N, D3DDECLTYPE_SHORT2N},
        {0x08, -1.0f, 1.0f, D3DDECLTYPE_SHORT4N, D3DDECLTYPE_FLOAT2},
        {0x84, -1.0f, 0.5f, D3DDECLTYPE_DEC3N, D3DDECLTYPE_SHORT2N},
        {0x80, -1.0f, 0.5f, D3DDECLTYPE_DEC3N, D3DDECLTYPE_DEC3N},
        {0xFF, -1.5f, 1.0f, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT2},
    };
    for (const Case& c : cases) {
        VertexDeclTypesSet(c.declTypes);
        const float v3[6] = {c.lo, 0.0f, 0.5f, c.hi, 0.25f, 0.0f};
        const float v2[4] = {c.lo, 0.5f, c.hi, 0.0f};
        EXPECT_EQ(VertexRangeFitsCompressed3(v3, 2), c.three) << c.declTypes << " " << c.lo << " " << c.hi;
        EXPECT_EQ(VertexRangeFitsCompressed(v2, 2), c.two) << c.declTypes << " " << c.lo << " " << c.hi;
    }
    VertexDeclTypesReset();
}

} // namespace
