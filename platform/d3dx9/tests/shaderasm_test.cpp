// Assembler: each line form against its expected tokens, refusal of bad
// text with the right line, and disassembly round trips.
#include "platform/d3dx9/shaderasm.h"

#include "platform/shadervm/shadertokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Declares every input the renderer's shaders use, so any v register may be read.
const char* kVertexPrelude = "dcl_position0 v0\ndcl_blendweight0 v1\ndcl_blendindices0 v2\ndcl_normal0 v3\n"
                             "dcl_color0 v4\ndcl_texcoord0 v5\ndcl_texcoord1 v6\ndcl_texcoord2 v7\n"
                             "dcl_texcoord3 v8\ndcl_texcoord4 v9\ndcl_texcoord5 v10\ndcl_texcoord6 v11\n"
                             "dcl_texcoord7 v12\ndcl_tangent0 v13\ndcl_position1 v14\ndcl_normal1 v15\n";

struct LineCase
{
    const char* version;
    const char* line;
    std::vector<uint32_t> tokens;
};

// Tokens of `line` alone: assembled between the version/declaration prelude and a closing oPos write.
std::vector<uint32_t> LineTokens(const char* version, const char* line, std::string* error)
{
    const bool pixel = version[0] == 'p';
    std::string head = std::string(version) + "\n" + (pixel ? "" : kVertexPrelude);
    std::string tail = pixel ? "" : "mov oPos, v0\n";
    ShaderAssembly empty;
    ShaderAssembly full;
    if (!ShaderAssemble(head + tail, &empty) || !ShaderAssemble(head + line + "\n" + tail, &full)) {
        *error = "line " + std::to_string(full.errorLine) + ": " + full.error;
        return {};
    }
    const size_t tailTokens = pixel ? 1 : 4; // end token, or mov oPos, v0 and the end token
    const size_t headTokens = empty.tokens.size() - tailTokens;
    return std::vector<uint32_t>(full.tokens.begin() + headTokens, full.tokens.end() - tailTokens);
}

const std::vector<LineCase>& LineCases()
{
    static const std::vector<LineCase> cases = {
        // Declarations: usage token, then the register with its write mask.
        {"vs_2_0", "m4x4 oPos, v0, c0", {0x03000014, 0xC00F0000, 0x90E40000, 0xA0E40000}},
        {"vs_1_1", "m4x4 oPos.xyzw, v0, c[0]", {0x00000014, 0xC00F0000, 0x90E40000, 0xA0E40000}},
        {"vs_1_1", "m4x3 r3.xyz, v0, c[a0.x + 10]", {0x00000015, 0x80070003, 0x90E40000, 0xA0E4200A}},
        {"vs_2_0",
         "m4x3 r3.xyz, v0, c[a0.x + 10]",
         {0x04000015, 0x80070003, 0x90E40000, 0xA0E4200A, 0xB0000000}},
        {"vs_2_0", "mul r8, v1.y, c[a0.y + 4]", {0x04000005, 0x800F0008, 0x90550001, 0xA0E42004, 0xB0550000}},
        {"vs_2_x",
         "mad r10, v1.w, c[a0.w + 2], r10",
         {0x05000004, 0x800F000A, 0x90FF0001, 0xA0E42002, 0xB0FF0000, 0x80E4000A}},
        {"vs_2_0", "mov r0, c[a0.z]", {0x03000001, 0x800F0000, 0xA0E42000, 0xB0AA0000}},
        {"vs_2_0", "mov r0, c[7 + a0.x]", {0x03000001, 0x800F0000, 0xA0E42007, 0xB0000000}},
        {"vs_2_0", "add r7.xyz, c[1 + 5].xyz, -r3.xyz", {0x03000002, 0x80070007, 0xA0A40006, 0x81A40003}},
        {"vs_1_1", "m3x3 r5.xyz, v3, c[a0.x + 20]", {0x00000017, 0x80070005, 0x90E40003, 0xA0E42014}},
        {"vs_1_1", "m3x4 r0, v3, c8", {0x00000016, 0x800F0000, 0x90E40003, 0xA0E40008}},
        {"vs_1_1", "m3x2 r0.xy, v3, c8", {0x00000018, 0x80030000, 0x90E40003, 0xA0E40008}},
        {"vs_1_1", "mov a0.x, v2.x", {0x00000001, 0xB0010000, 0x90000002}},
        {"vs_2_0", "mova a0.x, v2.x", {0x0200002E, 0xB0010000, 0x90000002}},
        {"vs_2_0", "mova a0.xy, v2", {0x0200002E, 0xB0030000, 0x90E40002}},
        {"vs_1_1", "mov oD0, c[4]", {0x00000001, 0xD00F0000, 0xA0E40004}},
        {"vs_1_1", "add oD0, v4, c[4]", {0x00000002, 0xD00F0000, 0x90E40004, 0xA0E40004}},
        {"vs_1_1",
         "mad oD1.xyz, r1, c[5].w, c[5].w",
         {0x00000004, 0xD0070001, 0x80E40001, 0xA0FF0005, 0xA0FF0005}},
        {"vs_1_1", "mov oT0.xy, v5", {0x00000001, 0xE0030000, 0x90E40005}},
        {"vs_1_1", "dp3 oT7.z, r7, c[12]", {0x00000008, 0xE0040007, 0x80E40007, 0xA0E4000C}},
        {"vs_1_1", "dp4 oFog, r0, c[3]", {0x00000009, 0xC00F0001, 0x80E40000, 0xA0E40003}},
        {"vs_1_1", "mov oFog.x, r0.w", {0x00000001, 0xC0010001, 0x80FF0000}},
        {"vs_1_1", "mov oPts.x, c1.x", {0x00000001, 0xC0010002, 0xA0000001}},
        {"vs_1_1", "max r6.x, c[5].w, -r6.x", {0x0000000B, 0x80010006, 0xA0FF0005, 0x81000006}},
        {"vs_1_1", "max r6.xyz, c[5].w, -r6.xyz", {0x0000000B, 0x80070006, 0xA0FF0005, 0x81A40006}},
        {"vs_1_1",
         "mad r11.xyz, c[6].xyz, r6.yyy, r11.xyz",
         {0x00000004, 0x8007000B, 0xA0A40006, 0x80550006, 0x80A4000B}},
        {"vs_1_1", "mul r2, r4.zxyw, r5.yzxw", {0x00000005, 0x800F0002, 0x80D20004, 0x80C90005}},
        {"vs_1_1",
         "mad r2, r4.yzxw, r5.zxyw, -r2",
         {0x00000004, 0x800F0002, 0x80C90004, 0x80D20005, 0x81E40002}},
        {"vs_1_1", "mov r0, v0.wzyx", {0x00000001, 0x800F0000, 0x901B0000}},
        {"vs_1_1", "mov r0, v0.xy", {0x00000001, 0x800F0000, 0x90540000}},
        {"vs_1_1", "mov r0.yw, R1", {0x00000001, 0x800A0000, 0x80E40001}},
        {"vs_1_1", "sub r0, r1, r2", {0x00000003, 0x800F0000, 0x80E40001, 0x80E40002}},
        {"vs_1_1", "rcp oFog, r0.w", {0x00000006, 0xC00F0001, 0x80FF0000}},
        {"vs_1_1", "rsq r1.x, r1.x", {0x00000007, 0x80010001, 0x80000001}},
        {"vs_1_1", "min r0, r1, c2", {0x0000000A, 0x800F0000, 0x80E40001, 0xA0E40002}},
        {"vs_1_1", "slt r4.w, v13.w, v13.w", {0x0000000C, 0x80080004, 0x90FF000D, 0x90FF000D}},
        {"vs_1_1", "sge r0, r1, r2", {0x0000000D, 0x800F0000, 0x80E40001, 0x80E40002}},
        {"vs_1_1", "exp r0, r1.w", {0x0000000E, 0x800F0000, 0x80FF0001}},
        {"vs_1_1", "log r0, r1.w", {0x0000000F, 0x800F0000, 0x80FF0001}},
        {"vs_1_1", "lit r0, r1", {0x00000010, 0x800F0000, 0x80E40001}},
        {"vs_1_1", "dst r0, r1, r2", {0x00000011, 0x800F0000, 0x80E40001, 0x80E40002}},
        {"vs_1_1", "frc r0.xy, r1", {0x00000013, 0x80030000, 0x80E40001}},
        {"vs_1_1", "expp r0.w, r0.w", {0x0000004E, 0x80080000, 0x80FF0000}},
        {"vs_1_1", "logp r0, r1.x", {0x0000004F, 0x800F0000, 0x80000001}},
        {"vs_1_1", "nop", {0x00000000}},
        {"vs_2_x", "mov r31, r0", {0x02000001, 0x800F001F, 0x80E40000}},
        {"vs_1_1", "mov r0, c255", {0x00000001, 0x800F0000, 0xA0E400FF}},
        {"vs_2_0", "lrp r0, r1, r2, r3", {0x04000012, 0x800F0000, 0x80E40001, 0x80E40002, 0x80E40003}},
        {"vs_2_0", "pow r0.x, r1.x, r2.y", {0x03000020, 0x80010000, 0x80000001, 0x80550002}},
        {"vs_2_0", "crs r0.xyz, r1, r2", {0x03000021, 0x80070000, 0x80E40001, 0x80E40002}},
        {"vs_2_0", "sgn r0, r1, r2, r3", {0x04000022, 0x800F0000, 0x80E40001, 0x80E40002, 0x80E40003}},
        {"vs_2_0", "abs r0, -r1", {0x02000023, 0x800F0000, 0x81E40001}},
        {"vs_2_0", "nrm r0.xyz, r1", {0x02000024, 0x80070000, 0x80E40001}},
        {"vs_2_0",
         "sincos r0.xy, r1.x, c0, c1",
         {0x04000025, 0x80030000, 0x80000001, 0xA0E40000, 0xA0E40001}},
        {"vs_2_0", "mov_sat r0, r1", {0x02000001, 0x801F0000, 0x80E40001}},
        {"vs_2_0",
         "def c10, 1, 0.5, -2, 0",
         {0x05000051, 0xA00F000A, 0x3F800000, 0x3F000000, 0xC0000000, 0x00000000}},
        {"vs_1_1",
         "def c95, 1.0, 2.5e1, +3, -0.0",
         {0x00000051, 0xA00F005F, 0x3F800000, 0x41C80000, 0x40400000, 0x80000000}},
        // Pixel shaders 1.x: texture instructions, modifiers and co-issue.
        {"ps_1_1", "tex t0", {0x00000042, 0xB00F0000}},
        {"ps_1_1", "texcoord t1", {0x00000040, 0xB00F0001}},
        {"ps_1_1", "texbem t1, t0", {0x00000043, 0xB00F0001, 0xB0E40000}},
        {"ps_1_1", "texbeml t3, t2", {0x00000044, 0xB00F0003, 0xB0E40002}},
        {"ps_1_1", "texkill t2", {0x00000041, 0xB00F0002}},
        {"ps_1_1", "mul r0, t0, v0", {0x00000005, 0x800F0000, 0xB0E40000, 0x90E40000}},
        {"ps_1_1",
         "mad_x2_sat r0.rgb, t0, v1, c7",
         {0x00000004, 0x81170000, 0xB0E40000, 0x90E40001, 0xA0E40007}},
        {"ps_1_1", "+mov r0.a, t1.a", {0x40000001, 0x80080000, 0xB0FF0001}},
        {"ps_1_1", "lrp r0, c0, t1, t0", {0x00000012, 0x800F0000, 0xA0E40000, 0xB0E40001, 0xB0E40000}},
        {"ps_1_1", "cnd r0, r0.a, t0, t1", {0x00000050, 0x800F0000, 0x80FF0000, 0xB0E40000, 0xB0E40001}},
        {"ps_1_1", "sub r1, 1-t0.a, v0_bias", {0x00000003, 0x800F0001, 0xB6FF0000, 0x92E40000}},
        {"ps_1_1", "sub r1, 1 - t0.a, -v0_bias", {0x00000003, 0x800F0001, 0xB6FF0000, 0x93E40000}},
        {"ps_1_1", "dp3_sat r0, t0_bx2, v0_bx2", {0x00000008, 0x801F0000, 0xB4E40000, 0x94E40000}},
        {"ps_1_1", "add_d2 r0, -t0_bx2, v0.b", {0x00000002, 0x8F0F0000, 0xB5E40000, 0x90AA0000}},
        {"ps_1_1", "mul_x4 r0, t0.a, c1_bx2.a", {0x00000005, 0x820F0000, 0xB0FF0000, 0xA4FF0001}},
        {"ps_1_1",
         "def c7, 0.25, 0.5, 0.75, 1",
         {0x00000051, 0xA00F0007, 0x3E800000, 0x3F000000, 0x3F400000, 0x3F800000}},
        {"ps_1_2", "dp4 r0, t0, c0", {0x00000009, 0x800F0000, 0xB0E40000, 0xA0E40000}},
        {"ps_1_3", "cmp r0, t0, t1, t2", {0x00000058, 0x800F0000, 0xB0E40000, 0xB0E40001, 0xB0E40002}},
    };
    return cases;
}

TEST(ShaderAssemble, LineTokens)
{
    for (const LineCase& c : LineCases()) {
        if (c.tokens.empty()) {
            continue;
        }
        std::string error;
        std::string line = c.line;
        if (line[0] == '+') {
            line = "mul r0.rgb, t0, v0\n" + line; // co-issue needs a preceding instruction
        }
        std::vector<uint32_t> tokens = LineTokens(c.version, line.c_str(), &error);
        if (c.line[0] == '+' && tokens.size() > 4) {
            tokens.erase(tokens.begin(), tokens.begin() + 4);
        }
        EXPECT_EQ(tokens, c.tokens) << c.version << ": " << c.line << " " << error;
    }
}

TEST(ShaderAssemble, VersionAndDeclarationTokens)
{
    ShaderAssembly out;
    ASSERT_TRUE(ShaderAssemble("vs_1_1\ndcl_position0 v0\ndcl_texcoord3 v8.xy\nmov oPos, v0\n", &out))
        << out.error;
    const std::vector<uint32_t> vs11 = {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000,
                                        0x0000001F, 0x80030005, 0x90030008, 0x00000001,
                                        0xC00F0000, 0x90E40000, 0x0000FFFF};
    EXPECT_EQ(out.tokens, vs11);
    ASSERT_TRUE(ShaderAssemble("VS.2.0 ; comment\n  dcl_blendindices v2 // comment\n"
                               "dcl_tangent0 v13\ndcl_normal1 v15\ndcl_color v4\nmov oPos, v2\n",
                               &out))
        << out.error;
    const std::vector<uint32_t> vs20 = {0xFFFE0200, 0x0200001F, 0x80000002, 0x900F0002, 0x0200001F,
                                        0x80000006, 0x900F000D, 0x0200001F, 0x80010003, 0x900F000F,
                                        0x0200001F, 0x8000000A, 0x900F0004, 0x02000001, 0xC00F0000,
                                        0x90E40002, 0x0000FFFF};
    EXPECT_EQ(out.tokens, vs20);
    ASSERT_TRUE(ShaderAssemble("vs_2_x\ndcl_position0 v0\nmov oPos, v0", &out)) << out.error;
    EXPECT_EQ(out.tokens.front(), 0xFFFE0201u);
    ASSERT_TRUE(ShaderAssemble("ps.1.3\nmov r0, v0", &out)) << out.error;
    EXPECT_EQ(out.tokens.front(), 0xFFFF0103u);
}

struct BadCase
{
    const char* text;
    int line;
    const char* fragment; // expected in the message
};

TEST(ShaderAssemble, RefusesBadTextWithItsLine)
{
    const BadCase cases[] = {
        {"", 0, "version"},
        {"// only a comment\n", 0, "version"},
        {"vs_3_0\n", 1, "version"},
        {"mov r0, r1\n", 1, "version"},
        {"vs_1_1\ndcl_position0 v0\nfoo r0, r1\nmov oPos, v0\n", 3, "unknown instruction"},
        {"vs_1_1\ndcl_position0 v0\nm4x4 oPos, v0, c0\nmovv r0, r1\n", 4, "unknown instruction"},
        {"vs_1_1\ndcl_position0 v0\nmov r12, v0\nmov oPos, v0\n", 3, "out of range"},
        {"vs_2_0\ndcl_position0 v0\nmov r12, v0\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, c256\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, c[a0.x + 300]\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position16 v16\nmov oPos, v0\n", 2, "usage index"},
        {"vs_1_1\ndcl_position0 v16\nmov oPos, v0\n", 2, "out of range"},
        {"vs_1_1\ndcl_position0 v0\nmov oT8, v0\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position0 v0\nmov oD2, v0\nmov oPos, v0\n", 3, "out of range"},
        {"vs_2_0\ndcl_position0 v0\nmov oPos, v0\nmov r0, v3\n", 4, "not declared"},
        {"vs_1_1\ndcl_position0 v0\nm4x4 oPos, v1, c0\n", 3, "not declared"},
        {"vs_1_1\ndcl_position0 v0\nmov r0.yx, v0\nmov oPos, v0\n", 3, "write mask"},
        {"vs_1_1\ndcl_position0 v0\nmov r0.xx, v0\nmov oPos, v0\n", 3, "write mask"},
        {"vs_1_1\ndcl_position0 v0\nmov r0.q, v0\nmov oPos, v0\n", 3, "write mask"},
        {"vs_1_1\ndcl_position0 v0\nmov r0.xyzwx, v0\nmov oPos, v0\n", 3, "write mask"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, v0.xq\nmov oPos, v0\n", 3, "swizzle"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, v0\n", 0, "oPos"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, v0, v0\nmov oPos, v0\n", 3, "operands"},
        {"vs_1_1\ndcl_position0 v0\nmad r0, v0, v0\nmov oPos, v0\n", 3, "operands"},
        {"vs_1_1\ndcl_position0 v0\nmov v0, r0\nmov oPos, v0\n", 3, "cannot be written"},
        {"vs_1_1\ndcl_position0 v0\nmov c0, r0\nmov oPos, v0\n", 3, "cannot be written"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, oPos\nmov oPos, v0\n", 3, "cannot be read"},
        {"vs_1_1\ndcl_position0 v0\nmova a0.x, v0.x\nmov oPos, v0\n", 3, "not available"},
        {"vs_2_0\ndcl_position0 v0\nmov a0.x, v0.x\nmov oPos, v0\n", 3, "mova"},
        {"vs_1_1\ndcl_position0 v0\nmov a0.y, v0.x\nmov oPos, v0\n", 3, "a0.x"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, c[a0.y + 1]\nmov oPos, v0\n", 3, "a0.x"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, r1[a0.x]\nmov oPos, v0\n", 3, "bad source"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, c[a0.x + a0.x]\nmov oPos, v0\n", 3, "relative"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, c[a0.x +]\nmov oPos, v0\n", 3, "index"},
        {"vs_1_1\ndcl_position0 v0\nmov r0, c[2 - 5]\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position0 v0\nm4x4 oPos, v0, c253\n", 3, "out of range"},
        {"vs_2_0\ndcl_position0 v0\nm3x3 r0.xyz, v0, r10\nmov oPos, v0\n", 3, "out of range"},
        {"vs_1_1\ndcl_position0 v0\nmov oPos, v0\ndcl_normal0 v3\n", 4, "before"},
        {"vs_1_1\ndcl_position0 v0\ndcl_normal0 v0\nmov oPos, v0\n", 3, "twice"},
        {"vs_1_1\ndcl_banana0 v0\nmov oPos, v0\n", 2, "unknown declaration"},
        {"vs_1_1\ndcl_position0 r0\nmov oPos, v0\n", 2, "input"},
        {"vs_1_1\ndcl_position0 v0\nmov_sat r0, v0\nmov oPos, v0\n", 3, "modifier"},
        {"vs_1_1\ndcl_position0 v0\nmov_x2 r0, v0\nmov oPos, v0\n", 3, "modifier"},
        {"vs_1_1\ndcl_position0 v0\ndef c0, 1, 2, x, 4\nmov oPos, v0\n", 3, "number"},
        {"vs_1_1\ndcl_position0 v0\ndef c0, 1, 2, 3\nmov oPos, v0\n", 3, "values"},
        {"vs_1_1\ndcl_position0 v0\ndef r0, 1, 2, 3, 4\nmov oPos, v0\n", 3, "constant"},
        {"vs_1_1\ndcl_position0 v0\ntex t0\nmov oPos, v0\n", 3, "not available"},
        {"vs_1_1\ndcl_position0 v0\n+mov r0, v0\nmov oPos, v0\n", 3, "co-issue"},
        {"ps_1_1\nmov r2, v0\n", 2, "out of range"},
        {"ps_1_1\nmov r0, c8\n", 2, "out of range"},
        {"ps_1_1\ntex t4\n", 2, "out of range"},
        {"ps_1_1\nmov r0, v2\n", 2, "out of range"},
        {"ps_1_1\n+mov r0.a, v0\n", 2, "co-issue"},
        {"ps_1_1\nm4x4 r0, v0, c0\n", 2, "not available"},
        {"ps_1_1\ndp4 r0, v0, c0\n", 2, "not available"},
        {"ps_1_1\ndcl_texcoord0 v0\n", 2, "declarations"},
        {"ps_1_1\ntexbem t0, t1\n", 2, "lower-numbered"},
        {"ps_1_1\ntex t0.xy\n", 2, "whole texture register"},
        {"ps_1_1\nmov_x3 r0, v0\n", 2, "modifier"},
        {"ps_1_1\nmov r0, v0_foo\n", 2, "modifier"},
        {"ps_1_1\nmov r0, 1-v0_bx2\n", 2, "combined"},
        {"ps_1_1\nmov r0, c[a0.x]\n", 2, "relative"},
    };
    for (const BadCase& c : cases) {
        ShaderAssembly out;
        EXPECT_FALSE(ShaderAssemble(c.text, &out)) << c.text;
        EXPECT_TRUE(out.tokens.empty()) << c.text;
        EXPECT_EQ(out.errorLine, c.line) << c.text << " -> " << out.error;
        EXPECT_NE(out.error.find(c.fragment), std::string::npos) << c.text << " -> " << out.error;
    }
}

// Text -> tokens -> text -> tokens gives the same tokens, and the second text is stable.
void ExpectRoundTrip(const std::string& text)
{
    ShaderAssembly first;
    ASSERT_TRUE(ShaderAssemble(text, &first)) << text << "line " << first.errorLine << ": " << first.error;
    std::string disassembled;
    std::string error;
    ASSERT_TRUE(ShaderDisassemble(first.tokens.data(), first.tokens.size(), &disassembled, &error)) << error;
    ShaderAssembly second;
    ASSERT_TRUE(ShaderAssemble(disassembled, &second)) << disassembled << second.error;
    EXPECT_EQ(first.tokens, second.tokens) << text << "\n---\n" << disassembled;
    std::string again;
    ASSERT_TRUE(ShaderDisassemble(second.tokens.data(), second.tokens.size(), &again, &error));
    EXPECT_EQ(again, disassembled);
}

TEST(ShaderDisassemble, RoundTripsEveryLineForm)
{
    for (const LineCase& c : LineCases()) {
        const bool pixel = c.version[0] == 'p';
        std::string line = c.line;
        if (line[0] == '+') {
            line = "mul r0.rgb, t0, v0\n" + line;
        }
        ExpectRoundTrip(std::string(c.version) + "\n" + (pixel ? "" : kVertexPrelude) + line + "\n" +
                        (pixel ? "" : "mov oPos, v0\n"));
    }
}

TEST(ShaderDisassemble, RoundTripsPixelShaders)
{
    const char* shaders[] = {
        "ps_1_1\ntex t0\ntex t1\nmul r1, t1, t1.a\nmad r0, t0, 1-t0.a, r1\nmul r0, r0, v0\n",
        "ps_1_1\ntex t0\nmul r1, t0, t0.a\nmad r0.rgb, r1, c0, v0\n+mov r0.a, v0.a\n",
        "ps_1_1\ntex t0\ntexbem t1, t0\nmul_sat r0, t1, v0\n+mov r0.a, v0\n",
        "ps_1_3\ndef c1, 0.5, -0.25, 1, 0\ntexcoord t0\ntex t1\ntexkill t2\nadd_d2 r1, -t0_bx2, v1_bias\n"
        "lrp r0.rgb, c1, t1, r1\n+cnd r0.a, r0.a, v0.a, c1.b\ncmp_x2 r0, r1, r0, 1-c0\n",
    };
    for (const char* text : shaders) {
        ExpectRoundTrip(text);
    }
}

TEST(ShaderDisassemble, PrintsReadableText)
{
    ShaderAssembly out;
    ASSERT_TRUE(ShaderAssemble("vs_2_0\ndcl_position0 v0\ndcl_blendindices0 v2\nmova a0.xy, v2\n"
                               "m4x3 r3.xyz, v0, c[a0.y + 12]\nmov r3.w, v0.w\nm4x4 oPos, r3, c0\n",
                               &out));
    std::string text;
    ASSERT_TRUE(ShaderDisassemble(out.tokens.data(), out.tokens.size(), &text, nullptr));
    EXPECT_EQ(text, "vs_2_0\ndcl_position0 v0\ndcl_blendindices0 v2\nmova a0.xy, v2\n"
                    "m4x3 r3.xyz, v0, c[a0.y + 12]\nmov r3.w, v0.w\nm4x4 oPos, r3, c0\n");
}

TEST(ShaderDisassemble, RefusesBrokenStreams)
{
    std::string text;
    std::string error;
    EXPECT_FALSE(ShaderDisassemble(nullptr, 0, &text, &error));
    const uint32_t noEnd[] = {0xFFFE0101, 0x00000001, 0x800F0000, 0x90E40000};
    EXPECT_FALSE(ShaderDisassemble(noEnd, 4, &text, &error));
    const uint32_t truncated[] = {0xFFFE0200, 0x03000014, 0xC00F0000, 0x0000FFFF};
    EXPECT_FALSE(ShaderDisassemble(truncated, 4, &text, &error));
    const uint32_t unknown[] = {0xFFFE0101, 0x00000077, 0x0000FFFF};
    EXPECT_FALSE(ShaderDisassemble(unknown, 3, &text, &error));
    const uint32_t badVersion[] = {0x12340101, 0x0000FFFF};
    EXPECT_FALSE(ShaderDisassemble(badVersion, 2, &text, &error));
    const uint32_t comment[] = {0xFFFE0101, 0x0002FFFE, 0x41424344, 0x00000000, 0x0000FFFF};
    EXPECT_TRUE(ShaderDisassemble(comment, 5, &text, &error)) << error;
    EXPECT_EQ(text, "vs_1_1\n");
}

} // namespace
