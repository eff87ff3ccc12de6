// Random vertex shaders for the interpreter tests: every arithmetic
// instruction with random registers, swizzles, negation, write masks,
// constants, def constants and relative addressing, ending in writes of the
// temporaries to outputs so that every intermediate result shows.
#pragma once

#include "shadertest_util.h"

#include <string>

// One random program in assembler text; `transcendental` false leaves out
// the instructions whose results come from the C library (exp, log, pow,
// sin, cos), whose last bit may differ between library builds.
inline std::string RandomVertexShader(TestRandom& random, bool transcendental)
{
    auto pick = [&](int n) { return static_cast<int>(random.Next() % static_cast<uint32_t>(n)); };
    const char* versions[] = {"vs_1_1", "vs_2_0", "vs_2_x"};
    const int version = pick(3);
    const bool two = version > 0;
    std::string text = std::string(versions[version]) + "\n";
    text += "def c20, 0.5, -1.5, 2.0, 0.25\n";
    text += "dcl_position0 v0\ndcl_texcoord0 v1\ndcl_texcoord1 v2\ndcl_blendindices0 v3\n";
    bool addressSet = false;
    auto swizzle = [&]() -> std::string {
        if (pick(2) == 0) {
            return "";
        }
        std::string s = ".";
        for (int k = 0; k < 4; ++k) {
            s += "xyzw"[pick(4)];
        }
        return s;
    };
    auto replicate = [&]() { return std::string(".") + "xyzw"[pick(4)]; };
    auto mask = [&](int components) -> std::string {
        const int bits = 1 + pick((1 << components) - 1);
        if (bits == (1 << components) - 1 && pick(2) == 0) {
            return components == 4 ? "" : std::string(".xyzw").substr(0, 1 + components);
        }
        std::string s = ".";
        for (int k = 0; k < components; ++k) {
            if ((bits >> k) & 1) {
                s += "xyzw"[k];
            }
        }
        return s;
    };
    // r8, when set, holds a constant and is never written again (the form
    // the renderer's generator writes for its ambient term).
    if (pick(2) == 0) {
        text += "mov r8, c" + std::to_string(pick(21)) + "\n";
    }
    // A register source (temp or input), or a constant one.
    auto reg = [&]() {
        const int temp = pick(7);
        return pick(2) == 0 ? "r" + std::to_string(temp == 6 ? 8 : temp) : "v" + std::to_string(pick(4));
    };
    auto source = [&](bool allowConstant) {
        std::string s = pick(4) == 0 ? "-" : "";
        const int kind = allowConstant ? pick(5) : 0;
        if (kind == 1) {
            s += "c" + std::to_string(pick(21));
        } else if (kind == 2 && addressSet) {
            s += "c[a0.x + " + std::to_string(pick(12)) + "]";
        } else {
            s += reg();
        }
        return s;
    };
    auto dst = [&]() { return "r" + std::to_string(pick(6)); };
    auto sat = [&]() { return version == 2 && pick(4) == 0 ? "_sat" : ""; };
    const int count = 4 + pick(10);
    for (int i = 0; i < count; ++i) {
        const int form = pick(transcendental ? 14 : 12);
        std::string line;
        switch (form) {
        case 0: { // one source, component-wise
            const char* ops[] = {"mov", "frc", "abs"};
            const char* op = ops[pick(two ? 3 : 2)];
            line = op + std::string(sat()) + " " + dst() + mask(4) + ", " + source(true) + swizzle();
            break;
        }
        case 1:
        case 2: { // two sources
            const char* ops[] = {"add", "sub", "mul", "min", "max", "slt", "sge", "dp3", "dp4"};
            line = ops[pick(9)] + std::string(sat()) + " " + dst() + mask(4) + ", " + source(true) +
                   swizzle() + ", " + source(pick(2) == 0) + swizzle();
            break;
        }
        case 3: { // three sources
            const char* op = two && pick(3) == 0 ? "lrp" : "mad";
            line = op + std::string(sat()) + " " + dst() + mask(4) + ", " + source(true) + swizzle() + ", " +
                   source(false) + swizzle() + ", " + source(pick(2) == 0) + swizzle();
            break;
        }
        case 4: { // scalar
            const char* ops[] = {"rcp", "rsq"};
            line = ops[pick(2)] + std::string(" ") + dst() + mask(4) + ", " + source(true) + replicate();
            break;
        }
        case 5: { // matrix
            const char* ops[] = {"m4x4", "m4x3", "m3x4", "m3x3", "m3x2"};
            const int columns[] = {4, 3, 4, 3, 2};
            const int op = pick(5);
            line = ops[op] + std::string(" ") + dst() + mask(columns[op]) + ", " + reg() + ", c" +
                   std::to_string(pick(17));
            break;
        }
        case 6:
            line = "lit " + dst() + mask(4) + ", " + source(false) + swizzle();
            break;
        case 7:
            line =
                "dst " + dst() + mask(4) + ", " + source(false) + swizzle() + ", " + source(true) + swizzle();
            break;
        case 8:
            if (two) {
                const int op = pick(3);
                if (op == 0) {
                    line = "crs " + dst() + mask(3) + ", " + reg() + ", " + reg();
                } else if (op == 1) {
                    line = "nrm " + dst() + mask(4) + ", " + reg();
                } else {
                    line = "sgn r0" + mask(4) + ", " + reg() + swizzle() + ", r6, r7";
                }
            } else {
                line = "expp " + dst() + mask(4) + ", " + source(true) + replicate();
            }
            break;
        case 9:
            line = two ? "mova a0.x, " + source(false) + replicate()
                       : "mov a0.x, " + source(false) + replicate();
            addressSet = true;
            break;
        case 10:
            line = (pick(2) == 0 ? "logp " : "expp ") + dst() + mask(4) + ", " + source(true) + replicate();
            break;
        case 11: // the shape of a lit vertex: scale a constant by a scalar, add another
            line = "mad " + dst() + mask(4) + ", c" + std::to_string(pick(21)) + ", " + reg() + replicate() +
                   ", " + (pick(2) == 0 ? "c" + std::to_string(pick(21)) : reg());
            break;
        case 12: {
            const char* ops[] = {"exp", "log"};
            line = ops[pick(2)] + std::string(" ") + dst() + mask(4) + ", " + source(true) + replicate();
            break;
        }
        default:
            if (two && pick(2) == 0) {
                line = "sincos " + dst() + ".xy, " + reg() + replicate() + ", c0, c1";
            } else if (two) {
                line = "pow " + dst() + mask(4) + ", " + source(true) + replicate() + ", " + source(false) +
                       replicate();
            } else {
                line = "lit " + dst() + ", " + reg();
            }
            break;
        }
        text += line + "\n";
    }
    text += "mov oPos, r0\nmov oD0, r1\nmov oD1.xz, r2\nmov oT0, r3\nmov oT1, r4\nmov oT2.yw, r5\n";
    return text;
}
