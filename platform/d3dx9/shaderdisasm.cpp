// Shader disassembler: token stream to the text that ShaderAssemble reads.
#include "platform/d3dx9/shaderasm.h"

#include "platform/shadervm/shadertokens.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kComponents[] = "xyzw";

const char* UsageName(uint32_t usage)
{
    static constexpr const char* kNames[kShaderUsageCount] = {
        "position", "blendweight", "blendindices", "normal", "psize", "texcoord", "tangent",
        "binormal", "tessfactor",  "positiont",    "color",  "fog",   "depth",    "sample"};
    return usage < kShaderUsageCount ? kNames[usage] : nullptr;
}

class Disassembler
{
  public:
    Disassembler(const uint32_t* tokens, size_t count, std::string* text, std::string* error)
        : tokens_(tokens), count_(count), text_(text), error_(error)
    {
    }

    bool Run()
    {
        text_->clear();
        if (count_ == 0 || tokens_ == nullptr) {
            return Fail("empty token stream");
        }
        const uint32_t version = tokens_[0];
        pixel_ = ShaderVersionIsPixel(version);
        major_ = ShaderVersionMajor(version);
        unsigned minor = ShaderVersionMinor(version);
        if (!pixel_ && !ShaderVersionIsVertex(version)) {
            return Fail("bad version token");
        }
        if (major_ == 2 && minor == 1) {
            *text_ += pixel_ ? "ps_2_x\n" : "vs_2_x\n";
        } else {
            *text_ += (pixel_ ? "ps_" : "vs_") + std::to_string(major_) + "_" + std::to_string(minor) + "\n";
        }
        size_t i = 1;
        while (true) {
            if (i >= count_) {
                return Fail("no end token");
            }
            const uint32_t token = tokens_[i];
            if (token == kShaderEndToken) {
                return true;
            }
            const uint32_t opcode = token & kShaderOpcodeMask;
            if (opcode == kShaderCommentOpcode) {
                size_t length = (token & kShaderCommentLengthMask) >> kShaderCommentLengthShift;
                if (length >= count_ - i) {
                    return Fail("comment runs past the end");
                }
                i += 1 + length;
                continue;
            }
            const ShaderOpcodeInfo* info = ShaderOpcodeFind(opcode);
            if (info == nullptr) {
                return Fail("unknown opcode " + std::to_string(opcode));
            }
            size_t next = 0;
            if (!Instruction(*info, i, &next)) {
                return false;
            }
            i = next;
        }
    }

  private:
    bool Fail(const std::string& message)
    {
        if (error_ != nullptr) {
            *error_ = message;
        }
        return false;
    }

    bool Take(size_t* pos, size_t end, uint32_t* token)
    {
        if (*pos >= end) {
            return Fail("instruction runs past its end");
        }
        *token = tokens_[(*pos)++];
        return true;
    }

    bool RegisterName(uint32_t token, std::string* out)
    {
        const ShaderRegType type = ShaderParamRegType(token);
        const uint32_t n = ShaderParamRegNumber(token);
        const std::string number = std::to_string(n);
        switch (type) {
        case ShaderRegType::Temp:
            *out = "r" + number;
            return true;
        case ShaderRegType::Input:
            *out = "v" + number;
            return true;
        case ShaderRegType::Const:
            *out = "c" + number;
            return true;
        case ShaderRegType::Addr:
            *out = (pixel_ ? "t" : "a") + number;
            return true;
        case ShaderRegType::RastOut:
            if (n > 2) {
                return Fail("bad rasteriser output register");
            }
            *out = n == 0 ? "oPos" : n == 1 ? "oFog" : "oPts";
            return true;
        case ShaderRegType::AttrOut:
            *out = "oD" + number;
            return true;
        case ShaderRegType::TexCrdOut:
            *out = "oT" + number;
            return true;
        default:
            return Fail("unsupported register type " + std::to_string(static_cast<int>(type)));
        }
    }

    bool Destination(uint32_t token, std::string* out)
    {
        if ((token & kShaderParamBit) == 0 || (token & kShaderRelative) != 0 || !RegisterName(token, out)) {
            return Fail("bad destination token");
        }
        uint32_t mask = ShaderParamWriteMask(token);
        if (mask != 0xF) {
            *out += '.';
            for (int c = 0; c < 4; ++c) {
                if (mask & (1u << c)) {
                    *out += kComponents[c];
                }
            }
        }
        return true;
    }

    static std::string SwizzleText(uint32_t swizzle)
    {
        if (swizzle == kShaderSwizzleIdentity) {
            return "";
        }
        // Shortest form whose replicated last letter gives the same swizzle.
        int length = 4;
        while (length > 1 && ((swizzle >> (2 * (length - 1))) & 3) == ((swizzle >> (2 * (length - 2))) & 3)) {
            --length;
        }
        std::string text = ".";
        for (int c = 0; c < length; ++c) {
            text += kComponents[(swizzle >> (2 * c)) & 3];
        }
        return text;
    }

    bool Source(size_t* pos, size_t end, std::string* out)
    {
        uint32_t token = 0;
        if (!Take(pos, end, &token)) {
            return false;
        }
        std::string name;
        if ((token & kShaderParamBit) == 0 || !RegisterName(token, &name)) {
            return Fail("bad source token");
        }
        if (token & kShaderRelative) {
            uint32_t component = 0;
            if (major_ >= 2) {
                uint32_t rel = 0;
                if (!Take(pos, end, &rel)) {
                    return false;
                }
                if (ShaderParamRegType(rel) != ShaderRegType::Addr || ShaderParamRegNumber(rel) != 0) {
                    return Fail("relative addressing through a register other than a0");
                }
                component = ShaderParamSwizzle(rel) & 3;
            }
            if (ShaderParamRegType(token) != ShaderRegType::Const) {
                return Fail("relative addressing of a register other than c#");
            }
            name = std::string("c[a0.") + std::string(1, kComponents[component]) + " + " +
                   std::to_string(ShaderParamRegNumber(token)) + "]";
        }
        std::string swizzle = SwizzleText(ShaderParamSwizzle(token));
        switch (ShaderParamSrcMod(token)) {
        case ShaderSrcMod::None:
            *out = name + swizzle;
            return true;
        case ShaderSrcMod::Neg:
            *out = "-" + name + swizzle;
            return true;
        case ShaderSrcMod::Comp:
            *out = "1-" + name + swizzle;
            return true;
        case ShaderSrcMod::Bias:
            *out = name + "_bias" + swizzle;
            return true;
        case ShaderSrcMod::BiasNeg:
            *out = "-" + name + "_bias" + swizzle;
            return true;
        case ShaderSrcMod::Sign:
            *out = name + "_bx2" + swizzle;
            return true;
        case ShaderSrcMod::SignNeg:
            *out = "-" + name + "_bx2" + swizzle;
            return true;
        default:
            return Fail("unsupported source modifier");
        }
    }

    bool Instruction(const ShaderOpcodeInfo& info, size_t start, size_t* next)
    {
        const uint32_t token = tokens_[start];
        size_t pos = start + 1;
        size_t end = count_;
        if (major_ >= 2) {
            size_t length = (token & kShaderInstLengthMask) >> kShaderInstLengthShift;
            if (length >= count_ - start) {
                return Fail("instruction runs past the end");
            }
            end = start + 1 + length;
        }
        std::string line = (token & kShaderCoissue) ? "+" : "";
        if (info.form == ShaderOperandForm::Dcl) {
            uint32_t usage = 0;
            uint32_t reg = 0;
            if (!Take(&pos, end, &usage) || !Take(&pos, end, &reg)) {
                return false;
            }
            const char* name = UsageName(usage & 0x1F);
            std::string dst;
            if (name == nullptr || !Destination(reg, &dst)) {
                return Fail("bad declaration");
            }
            line += std::string("dcl_") + std::string(name) +
                    std::to_string((usage & kShaderUsageIndexMask) >> kShaderUsageIndexShift) + " " + dst;
        } else if (info.form == ShaderOperandForm::Def || info.form == ShaderOperandForm::DefB) {
            uint32_t reg = 0;
            std::string dst;
            if (!Take(&pos, end, &reg) || !Destination(reg, &dst)) {
                return false;
            }
            line += std::string(info.mnemonic) + " " + dst;
            int values = info.form == ShaderOperandForm::DefB ? 1 : 4;
            for (int v = 0; v < values; ++v) {
                uint32_t bits = 0;
                if (!Take(&pos, end, &bits)) {
                    return false;
                }
                char number[32];
                if (info.opcode == ShaderOpcode::Def) {
                    float f = 0.0f;
                    std::memcpy(&f, &bits, sizeof f);
                    std::snprintf(number, sizeof number, "%.9g", static_cast<double>(f));
                } else {
                    std::snprintf(number, sizeof number, "%d", static_cast<int>(bits));
                }
                line += std::string(", ") + number;
            }
        } else {
            line += info.mnemonic;
            uint32_t dstToken = 0;
            std::string dst;
            if (info.destinations == 1) {
                if (!Take(&pos, end, &dstToken) || !Destination(dstToken, &dst)) {
                    return false;
                }
                int shift = static_cast<int>((dstToken >> kShaderShiftShift) & 0xF);
                static constexpr const char* kShift[16] = {
                    "",      "_x2",   "_x4",   "_x8",   nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr, nullptr, "_d8",   "_d4",   "_d2"};
                if (kShift[shift] == nullptr || (dstToken & (kShaderResultPartial | kShaderResultCentroid))) {
                    return Fail("unsupported result modifier");
                }
                line += kShift[shift];
                if (dstToken & kShaderResultSaturate) {
                    line += "_sat";
                }
                line += " " + dst;
            }
            for (int s = 0; s < info.sources; ++s) {
                std::string src;
                if (!Source(&pos, end, &src)) {
                    return false;
                }
                line += (s == 0 && info.destinations == 0 ? " " : ", ") + src;
            }
        }
        if (major_ >= 2 && pos != end) {
            return Fail("instruction length does not match its operands");
        }
        *text_ += line + "\n";
        *next = pos;
        return true;
    }

    const uint32_t* tokens_;
    size_t count_;
    std::string* text_;
    std::string* error_;
    bool pixel_ = false;
    unsigned major_ = 0;
};

} // namespace

bool ShaderDisassemble(const uint32_t* tokens, size_t count, std::string* text, std::string* error)
{
    Disassembler disassembler(tokens, count, text, error);
    return disassembler.Run();
}
