// Token stream decoding: checks every token of a stream against the rules of
// its version and builds the compact program the executor runs. Nothing in a
// stream is trusted: counts, lengths, register types and indices are all
// checked here, so a program that exists is safe to run.
#include "platform/shadervm/shaderprogram.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

class Decoder
{
  public:
    Decoder(const uint32_t* tokens, size_t count) : tokens_(tokens), count_(count) {}

    ShaderProgram* Run(std::string* error)
    {
        ShaderProgram* program = new (std::nothrow) ShaderProgram;
        if (program == nullptr) {
            *error = "out of memory";
            return nullptr;
        }
        p_ = program;
        if (!Decode()) {
            *error = error_;
            delete program;
            return nullptr;
        }
        return program;
    }

  private:
    bool Fail(const std::string& message)
    {
        if (error_.empty()) {
            error_ = message;
        }
        return false;
    }

    bool Decode()
    {
        if (tokens_ == nullptr || count_ < 2) {
            return Fail("token stream too short");
        }
        const uint32_t version = tokens_[0];
        p_->version = version;
        p_->pixel = ShaderVersionIsPixel(version);
        major_ = ShaderVersionMajor(version);
        const unsigned minor = ShaderVersionMinor(version);
        const bool vertexOk =
            ShaderVersionIsVertex(version) && ((major_ == 1 && minor == 1) || (major_ == 2 && minor <= 1));
        const bool pixelOk = p_->pixel && major_ == 1 && minor >= 1 && minor <= 3;
        if (!vertexOk && !pixelOk) {
            return Fail("unsupported shader version " + Hex(version));
        }
        p_->tempCount = p_->pixel ? 2 : (major_ == 2 && minor == 1 ? 32 : 12);
        for (int16_t& slot : p_->defSlot) {
            slot = -1;
        }
        size_t i = 1;
        while (true) {
            if (i >= count_) {
                return Fail("no end token");
            }
            const uint32_t token = tokens_[i];
            if (token == kShaderEndToken) {
                p_->tokens.assign(tokens_, tokens_ + i + 1);
                return Finish();
            }
            if ((token & kShaderOpcodeMask) == kShaderCommentOpcode) {
                const size_t length = (token & kShaderCommentLengthMask) >> kShaderCommentLengthShift;
                if (length >= count_ - i) {
                    return Fail("comment runs past the end of the stream");
                }
                i += 1 + length;
                continue;
            }
            if (!Instruction(i, &i)) {
                return false;
            }
        }
    }

    bool Finish()
    {
        if (!p_->pixel) {
            ForwardConstantMoves();
        }
        // With relative addressing, def registers must be found at run time.
        for (const VmInst& inst : p_->code) {
            for (int s = 0; s < inst.sources; ++s) {
                if (inst.src[s].bank == VmBank::ConstRel && !p_->immediates.empty()) {
                    p_->hasRelativeDefs = true;
                }
            }
        }
        // Reads of def registers by number become immediate reads; every
        // constant operand gets its prepared lanes.
        for (VmInst& inst : p_->code) {
            for (int s = 0; s < inst.sources; ++s) {
                VmSrc& src = inst.src[s];
                src.needed = Needed(inst);
                const int rows = s == 1 ? RowsOf(inst.op) : 1;
                if (src.bank == VmBank::Const && rows == 1 && p_->defSlot[src.index] >= 0) {
                    src.bank = VmBank::Immediate;
                    src.index = static_cast<uint16_t>(p_->defSlot[src.index]);
                }
                if (src.bank == VmBank::Const || src.bank == VmBank::Immediate) {
                    if (p_->prepared.size() + static_cast<size_t>(rows) > 0xFFFF) {
                        return Fail("too many constant operands");
                    }
                    src.prepared = static_cast<uint16_t>(p_->prepared.size());
                    for (int r = 0; r < rows; ++r) {
                        VmPrepared prepared = {src.bank, src.mod, {}, static_cast<uint16_t>(src.index + r)};
                        std::memcpy(prepared.swizzle, src.swizzle, sizeof prepared.swizzle);
                        p_->prepared.push_back(prepared);
                    }
                }
            }
        }
        for (VmInst& inst : p_->code) {
            inst.direct = Direct(inst);
        }
        FindReadsBeforeWrites();
        for (int slot = 0; slot < kVmTempSlots; ++slot) {
            for (int c = 0; c < 4; ++c) {
                if ((p_->tempReadFirst[slot] >> c) & 1) {
                    p_->zeroFirst.push_back(static_cast<uint16_t>(slot * 4 + c));
                }
            }
        }
        for (int o = 0; o < kShaderOutputCount && !p_->pixel; ++o) {
            for (int c = 0; c < 4; ++c) {
                if (p_->outputWritten[o] != 0 && ((p_->outputWritten[o] >> c) & 1) == 0) {
                    p_->outputDefaults.push_back(static_cast<uint16_t>(o * 4 + c));
                }
            }
        }
        return true;
    }

    // A vertex shader's "mov rN, cM" (whole register, no modifier, no
    // swizzle) whose temporary is never written again is dropped, and the
    // later reads of rN read cM with their own swizzle and modifier: the
    // values are the same, bit for bit, and the copy into lanes is saved.
    void ForwardConstantMoves()
    {
        std::vector<VmInst>& code = p_->code;
        for (size_t i = 0; i < code.size();) {
            const VmInst& mov = code[i];
            const VmSrc& from = mov.src[0];
            const bool candidate = mov.op == VmOp::Mov && mov.dst.bank == VmBank::Temp &&
                                   mov.dst.mask == 0xF && !mov.dst.saturate && mov.dst.shift == 0 &&
                                   from.bank == VmBank::Const && from.mod == 0 && from.swizzle[0] == 0 &&
                                   from.swizzle[1] == 1 && from.swizzle[2] == 2 && from.swizzle[3] == 3;
            if (!candidate || !ReadOnlyAfter(i, mov.dst.index)) {
                ++i;
                continue;
            }
            const uint16_t temp = mov.dst.index;
            const uint16_t constant = from.index;
            for (size_t j = i + 1; j < code.size(); ++j) {
                for (int s = 0; s < code[j].sources; ++s) {
                    VmSrc& src = code[j].src[s];
                    if (src.bank == VmBank::Temp && src.index == temp) {
                        src.bank = VmBank::Const;
                        src.index = constant;
                    }
                }
            }
            code.erase(code.begin() + static_cast<ptrdiff_t>(i));
        }
    }

    // True when no instruction after `first` writes temporary `temp` or
    // reads it as a row of a matrix.
    bool ReadOnlyAfter(size_t first, uint16_t temp) const
    {
        const std::vector<VmInst>& code = p_->code;
        for (size_t j = first + 1; j < code.size(); ++j) {
            const VmInst& inst = code[j];
            if (inst.dst.bank == VmBank::Temp && inst.dst.index == temp) {
                return false;
            }
            const VmSrc& rows = inst.src[1];
            if (inst.sources > 1 && RowsOf(inst.op) > 1 && rows.bank == VmBank::Temp && temp >= rows.index &&
                temp < rows.index + RowsOf(inst.op)) {
                return false;
            }
        }
        return true;
    }

    // Temporary components that some instruction reads before any writes
    // them; a run zeroes them first, so results never depend on old memory.
    void FindReadsBeforeWrites()
    {
        uint8_t written[kVmTempSlots] = {};
        auto reads = [&](const VmInst& inst) {
            for (int s = 0; s < inst.sources; ++s) {
                const VmSrc& src = inst.src[s];
                if (src.bank != VmBank::Temp) {
                    continue;
                }
                uint8_t components = 0;
                for (int k = 0; k < 4; ++k) {
                    if ((src.needed >> k) & 1) {
                        components |= static_cast<uint8_t>(1u << src.swizzle[k]);
                    }
                }
                const int rows = s == 1 ? RowsOf(inst.op) : 1;
                for (int r = src.index; r < src.index + rows; ++r) {
                    p_->tempReadFirst[r] |= static_cast<uint8_t>(components & ~written[r]);
                }
            }
            if (inst.op == VmOp::TexKill || inst.op == VmOp::TexBem || inst.op == VmOp::TexBemL) {
                const int reg = inst.op == VmOp::TexKill ? inst.dst.index : inst.src[0].index;
                p_->tempReadFirst[reg] |= static_cast<uint8_t>(0xF & ~written[reg]);
            }
        };
        auto writes = [&](const VmInst& inst) {
            if (inst.dst.bank == VmBank::Temp) {
                written[inst.dst.index] |= inst.dst.mask;
            }
        };
        const std::vector<VmInst>& code = p_->code;
        for (size_t i = 0; i < code.size(); ++i) {
            reads(code[i]);
            if (i + 1 < code.size() && code[i + 1].coissue) { // a co-issued pair reads before it writes
                reads(code[i + 1]);
                writes(code[i]);
                writes(code[i + 1]);
                ++i;
            } else {
                writes(code[i]);
            }
        }
    }

    // Vertex instructions whose result can be written as it is computed:
    // those that write only their masked components, into a register none
    // of their sources reads, without saturation.
    bool Direct(const VmInst& inst) const
    {
        if (p_->pixel || inst.dst.saturate || inst.dst.shift != 0 || inst.dst.bank == VmBank::Addr) {
            return false;
        }
        switch (inst.op) {
        case VmOp::ExppFull:
        case VmOp::LogpFull:
        case VmOp::Lit:
        case VmOp::Dst:
        case VmOp::Crs:
        case VmOp::Nrm:
        case VmOp::SinCos:
            return false;
        default:
            break;
        }
        for (int s = 0; s < inst.sources; ++s) {
            const VmSrc& src = inst.src[s];
            const int rows = s == 1 ? RowsOf(inst.op) : 1;
            if (inst.dst.bank == VmBank::Temp && src.bank == VmBank::Temp && inst.dst.index >= src.index &&
                inst.dst.index < src.index + rows) {
                return false;
            }
        }
        return true;
    }

    // Components of each source that an instruction reads.
    static uint8_t Needed(const VmInst& in)
    {
        switch (in.op) {
        case VmOp::Dp3:
        case VmOp::M3x4:
        case VmOp::M3x3:
        case VmOp::M3x2:
        case VmOp::Crs:
            return 0x7;
        case VmOp::Rcp:
        case VmOp::Rsq:
        case VmOp::Exp:
        case VmOp::Log:
        case VmOp::ExppFull:
        case VmOp::ExppScalar:
        case VmOp::LogpFull:
        case VmOp::LogpScalar:
        case VmOp::Pow:
        case VmOp::SinCos:
            return 0x8; // the replicate swizzle's component (w when none is given)
        case VmOp::Mov:
        case VmOp::Add:
        case VmOp::Sub:
        case VmOp::Mad:
        case VmOp::Mul:
        case VmOp::Min:
        case VmOp::Max:
        case VmOp::Slt:
        case VmOp::Sge:
        case VmOp::Frc:
        case VmOp::Lrp:
        case VmOp::Sgn:
        case VmOp::Abs:
        case VmOp::Mova:
        case VmOp::Cnd:
        case VmOp::Cmp:
            return in.dst.mask;
        default:
            return 0xF;
        }
    }

    static int RowsOf(VmOp op)
    {
        switch (op) {
        case VmOp::M4x4:
        case VmOp::M3x4:
            return 4;
        case VmOp::M4x3:
        case VmOp::M3x3:
            return 3;
        case VmOp::M3x2:
            return 2;
        default:
            return 1;
        }
    }

    bool Take(size_t* pos, size_t end, uint32_t* token)
    {
        if (*pos >= end) {
            return Fail("instruction at token " + std::to_string(start_) + " is truncated");
        }
        *token = tokens_[(*pos)++];
        return true;
    }

    bool Instruction(size_t start, size_t* next)
    {
        start_ = start;
        const uint32_t token = tokens_[start];
        const uint32_t opcode = token & kShaderOpcodeMask;
        const std::string where = " at token " + std::to_string(start);
        if (token & kShaderParamBit) {
            return Fail("parameter token where an instruction was expected" + where);
        }
        const ShaderOpcodeInfo* info = ShaderOpcodeFind(opcode);
        if (info == nullptr) {
            return Fail("unknown or unsupported opcode " + std::to_string(opcode) + where);
        }
        const uint32_t allowedBits =
            kShaderOpcodeMask | (major_ >= 2 ? kShaderInstLengthMask : 0) | (p_->pixel ? kShaderCoissue : 0);
        if (token & ~allowedBits) {
            return Fail("unsupported control bits in instruction " + Hex(token) + where);
        }
        size_t end = count_;
        if (major_ >= 2) {
            const size_t length = (token & kShaderInstLengthMask) >> kShaderInstLengthShift;
            if (length >= count_ - start) {
                return Fail("instruction runs past the end of the stream" + where);
            }
            end = start + 1 + length;
        }
        size_t pos = start + 1;
        bool ok = false;
        if (info->form == ShaderOperandForm::Dcl) {
            ok = Declaration(&pos, end);
        } else if (!ShaderOpcodeAvailable(info->opcode, p_->version)) {
            return Fail(std::string("instruction '") + info->mnemonic + "' is not available in this version" +
                        where);
        } else if (info->form == ShaderOperandForm::Def) {
            ok = Definition(&pos, end);
        } else {
            ok = Operation(*info, (token & kShaderCoissue) != 0, &pos, end);
        }
        if (!ok) {
            return false;
        }
        if (major_ >= 2 && pos != end) {
            return Fail("instruction length does not match its operands" + where);
        }
        *next = pos;
        return true;
    }

    bool Declaration(size_t* pos, size_t end)
    {
        uint32_t usage = 0;
        uint32_t reg = 0;
        if (p_->pixel) {
            return Fail("declarations are not allowed in ps_1_x");
        }
        if (!Take(pos, end, &usage) || !Take(pos, end, &reg)) {
            return false;
        }
        const uint32_t kind = usage & 0x1F;
        if ((usage & kShaderParamBit) == 0 ||
            (usage & ~(kShaderParamBit | 0x1Fu | kShaderUsageIndexMask)) != 0 ||
            kind >= static_cast<uint32_t>(kShaderUsageCount)) {
            return Fail("bad declaration usage token " + Hex(usage));
        }
        if ((reg & kShaderParamBit) == 0 || ShaderParamRegType(reg) != ShaderRegType::Input ||
            ShaderParamRegNumber(reg) >= kShaderVertexInputs ||
            (reg & ~(kShaderParamBit | 0x70001800u | kShaderRegNumberMask | kShaderWriteMaskAll)) != 0) {
            return Fail("declarations name an input register v0..v15");
        }
        const uint32_t n = ShaderParamRegNumber(reg);
        if (p_->declaredMask & (1u << n)) {
            return Fail("v" + std::to_string(n) + " is declared twice");
        }
        p_->declaredMask |= 1u << n;
        p_->inputMask |= 1u << n;
        p_->inputUsage[n] = static_cast<uint8_t>(kind);
        p_->inputUsageIndex[n] =
            static_cast<uint8_t>((usage & kShaderUsageIndexMask) >> kShaderUsageIndexShift);
        return true;
    }

    bool Definition(size_t* pos, size_t end)
    {
        uint32_t reg = 0;
        if (!Take(pos, end, &reg)) {
            return false;
        }
        const uint32_t limit = p_->pixel ? kShaderPixelConstants : kShaderMaxVertexConstants;
        if ((reg & kShaderParamBit) == 0 || ShaderParamRegType(reg) != ShaderRegType::Const ||
            ShaderParamRegNumber(reg) >= limit || (reg & kShaderRelative) != 0) {
            return Fail("def names a constant register out of range");
        }
        const uint32_t n = ShaderParamRegNumber(reg);
        if (p_->defSlot[n] < 0) {
            p_->defSlot[n] = static_cast<int16_t>(p_->immediates.size() / 4);
            p_->immediates.resize(p_->immediates.size() + 4);
        }
        float* values = &p_->immediates[static_cast<size_t>(p_->defSlot[n]) * 4];
        for (int c = 0; c < 4; ++c) {
            uint32_t bits = 0;
            if (!Take(pos, end, &bits)) {
                return false;
            }
            std::memcpy(&values[c], &bits, sizeof bits);
        }
        return true;
    }

    bool Destination(uint32_t token, VmDst* dst, bool addressAllowed)
    {
        if ((token & kShaderParamBit) == 0 || (token & kShaderRelative) != 0 ||
            ShaderParamWriteMask(token) == 0) {
            return Fail("bad destination token " + Hex(token));
        }
        const uint32_t n = ShaderParamRegNumber(token);
        const ShaderRegType type = ShaderParamRegType(token);
        dst->mask = static_cast<uint8_t>(ShaderParamWriteMask(token));
        dst->index = static_cast<uint16_t>(n);
        bool ok = false;
        if (type == ShaderRegType::Temp) {
            ok = n < static_cast<uint32_t>(p_->tempCount);
            dst->bank = VmBank::Temp;
        } else if (p_->pixel) {
            ok = type == ShaderRegType::Texture && n < kShaderPixelTextures;
            dst->bank = VmBank::Temp;
            dst->index = static_cast<uint16_t>(kVmTextureBase + n);
        } else if (type == ShaderRegType::Addr) {
            ok = addressAllowed && n == 0 && (major_ >= 2 || dst->mask == 1);
            dst->bank = VmBank::Addr;
        } else {
            dst->bank = VmBank::Output;
            if (type == ShaderRegType::RastOut && n <= 2) {
                ok = true;
                dst->index = static_cast<uint16_t>(n == 0   ? kShaderOutPosition
                                                   : n == 1 ? kShaderOutFog
                                                            : kShaderOutPointSize);
            } else if (type == ShaderRegType::AttrOut && n < 2) {
                ok = true;
                dst->index = static_cast<uint16_t>(kShaderOutColor0 + n);
            } else if (type == ShaderRegType::TexCrdOut && n < kShaderTexCoordOutputs) {
                ok = true;
                dst->index = static_cast<uint16_t>(kShaderOutTexCoord0 + n);
            }
        }
        if (!ok) {
            return Fail("bad destination register " + Hex(token));
        }
        const uint32_t mods = (token >> 20) & 0xF;
        const int shift = static_cast<int>((token >> kShaderShiftShift) & 0xF);
        if ((mods & ~1u & ~2u) != 0 || ((mods & 1u) && !p_->pixel && major_ < 2)) {
            return Fail("unsupported result modifier in " + Hex(token));
        }
        if (shift != 0 && (!p_->pixel || (shift != 1 && shift != 2 && shift != 15))) {
            return Fail("unsupported result shift in " + Hex(token));
        }
        dst->saturate = (mods & 1u) != 0;
        dst->shift = static_cast<int8_t>(shift == 15 ? -1 : shift);
        return true;
    }

    bool Source(size_t* pos, size_t end, VmSrc* src, int rows)
    {
        uint32_t token = 0;
        if (!Take(pos, end, &token)) {
            return false;
        }
        if ((token & kShaderParamBit) == 0 || (token & 0x0000C000u) != 0) {
            return Fail("bad source token " + Hex(token));
        }
        const uint32_t n = ShaderParamRegNumber(token);
        const ShaderRegType type = ShaderParamRegType(token);
        const uint32_t swizzle = ShaderParamSwizzle(token);
        for (int c = 0; c < 4; ++c) {
            src->swizzle[c] = static_cast<uint8_t>((swizzle >> (2 * c)) & 3);
        }
        const ShaderSrcMod mod = ShaderParamSrcMod(token);
        switch (mod) {
        case ShaderSrcMod::None:
        case ShaderSrcMod::Neg:
            break;
        case ShaderSrcMod::Bias:
        case ShaderSrcMod::BiasNeg:
        case ShaderSrcMod::Sign:
        case ShaderSrcMod::SignNeg:
        case ShaderSrcMod::Comp:
            if (p_->pixel) {
                break;
            }
            [[fallthrough]];
        default:
            return Fail("unsupported source modifier in " + Hex(token));
        }
        src->mod = static_cast<uint8_t>(mod);
        src->index = static_cast<uint16_t>(n);
        const uint32_t last = n + static_cast<uint32_t>(rows) - 1;
        bool ok = false;
        if (token & kShaderRelative) {
            if (p_->pixel || type != ShaderRegType::Const || n >= kShaderMaxVertexConstants) {
                return Fail("relative addressing of a register other than a vertex shader constant");
            }
            src->bank = VmBank::ConstRel;
            src->relComponent = 0;
            if (major_ >= 2) {
                uint32_t rel = 0;
                if (!Take(pos, end, &rel)) {
                    return false;
                }
                if ((rel & kShaderParamBit) == 0 || ShaderParamRegType(rel) != ShaderRegType::Addr ||
                    ShaderParamRegNumber(rel) != 0) {
                    return Fail("relative addressing through a register other than a0");
                }
                src->relComponent = static_cast<uint8_t>(ShaderParamSwizzle(rel) & 3);
            }
            addrRead_ |= static_cast<uint8_t>(1u << src->relComponent);
            ok = true;
        } else if (type == ShaderRegType::Temp) {
            src->bank = VmBank::Temp;
            ok = last < static_cast<uint32_t>(p_->tempCount);
        } else if (type == ShaderRegType::Input) {
            src->bank = VmBank::Input;
            ok = last < (p_->pixel ? 2u : static_cast<uint32_t>(kShaderVertexInputs));
            if (ok && !p_->pixel) {
                for (uint32_t r = n; r <= last; ++r) {
                    p_->inputMask |= 1u << r;
                }
            }
        } else if (type == ShaderRegType::Const) {
            src->bank = VmBank::Const;
            ok =
                last < (p_->pixel ? static_cast<uint32_t>(kShaderPixelConstants) : kShaderMaxVertexConstants);
        } else if (type == ShaderRegType::Texture && p_->pixel) {
            src->bank = VmBank::Temp;
            src->index = static_cast<uint16_t>(kVmTextureBase + n);
            ok = last < kShaderPixelTextures;
        }
        if (!ok) {
            return Fail("bad source register " + Hex(token));
        }
        return true;
    }

    static VmOp MapOp(ShaderOpcode op, bool model1)
    {
        switch (op) {
        case ShaderOpcode::Add:
            return VmOp::Add;
        case ShaderOpcode::Sub:
            return VmOp::Sub;
        case ShaderOpcode::Mad:
            return VmOp::Mad;
        case ShaderOpcode::Mul:
            return VmOp::Mul;
        case ShaderOpcode::Rcp:
            return VmOp::Rcp;
        case ShaderOpcode::Rsq:
            return VmOp::Rsq;
        case ShaderOpcode::Dp3:
            return VmOp::Dp3;
        case ShaderOpcode::Dp4:
            return VmOp::Dp4;
        case ShaderOpcode::Min:
            return VmOp::Min;
        case ShaderOpcode::Max:
            return VmOp::Max;
        case ShaderOpcode::Slt:
            return VmOp::Slt;
        case ShaderOpcode::Sge:
            return VmOp::Sge;
        case ShaderOpcode::Exp:
            return VmOp::Exp;
        case ShaderOpcode::Log:
            return VmOp::Log;
        case ShaderOpcode::Lit:
            return VmOp::Lit;
        case ShaderOpcode::Dst:
            return VmOp::Dst;
        case ShaderOpcode::Lrp:
            return VmOp::Lrp;
        case ShaderOpcode::Frc:
            return VmOp::Frc;
        case ShaderOpcode::M4x4:
            return VmOp::M4x4;
        case ShaderOpcode::M4x3:
            return VmOp::M4x3;
        case ShaderOpcode::M3x4:
            return VmOp::M3x4;
        case ShaderOpcode::M3x3:
            return VmOp::M3x3;
        case ShaderOpcode::M3x2:
            return VmOp::M3x2;
        case ShaderOpcode::Pow:
            return VmOp::Pow;
        case ShaderOpcode::Crs:
            return VmOp::Crs;
        case ShaderOpcode::Sgn:
            return VmOp::Sgn;
        case ShaderOpcode::Abs:
            return VmOp::Abs;
        case ShaderOpcode::Nrm:
            return VmOp::Nrm;
        case ShaderOpcode::SinCos:
            return VmOp::SinCos;
        case ShaderOpcode::Mova:
            return VmOp::Mova;
        case ShaderOpcode::Expp:
            return model1 ? VmOp::ExppFull : VmOp::ExppScalar;
        case ShaderOpcode::Logp:
            return model1 ? VmOp::LogpFull : VmOp::LogpScalar;
        case ShaderOpcode::Cnd:
            return VmOp::Cnd;
        case ShaderOpcode::Cmp:
            return VmOp::Cmp;
        case ShaderOpcode::Tex:
            return VmOp::Tex;
        case ShaderOpcode::TexCoord:
            return VmOp::TexCoord;
        case ShaderOpcode::TexBem:
            return VmOp::TexBem;
        case ShaderOpcode::TexBemL:
            return VmOp::TexBemL;
        case ShaderOpcode::TexKill:
            return VmOp::TexKill;
        default:
            return VmOp::Mov;
        }
    }

    bool Operation(const ShaderOpcodeInfo& info, bool coissue, size_t* pos, size_t end)
    {
        if (info.opcode == ShaderOpcode::Nop) {
            return true;
        }
        VmInst inst;
        inst.op = MapOp(info.opcode, major_ < 2);
        inst.sources = info.sources;
        inst.coissue = coissue;
        const bool texture = inst.op == VmOp::Tex || inst.op == VmOp::TexCoord || inst.op == VmOp::TexBem ||
                             inst.op == VmOp::TexBemL || inst.op == VmOp::TexKill;
        if (coissue &&
            (texture || p_->code.empty() || p_->code.back().coissue || IsTexture(p_->code.back().op))) {
            return Fail("co-issue without a preceding arithmetic instruction");
        }
        uint32_t dstToken = 0;
        if (!Take(pos, end, &dstToken)) {
            return false;
        }
        const bool addressAllowed =
            info.opcode == ShaderOpcode::Mova || (info.opcode == ShaderOpcode::Mov && major_ < 2);
        if (!Destination(dstToken, &inst.dst, addressAllowed)) {
            return false;
        }
        if (inst.dst.bank == VmBank::Addr) {
            inst.op = VmOp::Mova;
        } else if (info.opcode == ShaderOpcode::Mova) {
            return Fail("mova writes a0");
        }
        if (texture) {
            if (inst.dst.index < kVmTextureBase || inst.dst.mask != 0xF || inst.dst.saturate ||
                inst.dst.shift != 0) {
                return Fail(std::string("'") + info.mnemonic + "' writes a whole texture register t#");
            }
            if (inst.op != VmOp::TexCoord && inst.op != VmOp::TexKill) {
                p_->sampledStages |= 1u << (inst.dst.index - kVmTextureBase);
            }
        }
        if (inst.op == VmOp::Crs && (inst.dst.mask & 8u) != 0) {
            return Fail("crs cannot write w");
        }
        const int rows = RowsOf(inst.op);
        for (int s = 0; s < inst.sources; ++s) {
            if (!Source(pos, end, &inst.src[s], s == 1 ? rows : 1)) {
                return false;
            }
        }
        if ((inst.op == VmOp::TexBem || inst.op == VmOp::TexBemL) &&
            (inst.src[0].bank != VmBank::Temp || inst.src[0].index < kVmTextureBase ||
             inst.src[0].index >= inst.dst.index || inst.src[0].mod != 0)) {
            return Fail("texbem reads a lower-numbered texture register");
        }
        if (inst.dst.bank == VmBank::Addr) {
            addrWritten_ |= inst.dst.mask;
        } else if (inst.dst.bank == VmBank::Output) {
            p_->outputWritten[inst.dst.index] |= inst.dst.mask;
        }
        p_->addrReadFirst |= static_cast<uint8_t>(addrRead_ & ~addrWritten_);
        addrRead_ = 0;
        p_->code.push_back(inst);
        return true;
    }

    static bool IsTexture(VmOp op)
    {
        return op == VmOp::Tex || op == VmOp::TexCoord || op == VmOp::TexBem || op == VmOp::TexBemL ||
               op == VmOp::TexKill;
    }

    const uint32_t* tokens_;
    size_t count_;
    ShaderProgram* p_ = nullptr;
    std::string error_;
    unsigned major_ = 0;
    size_t start_ = 0;
    uint8_t addrWritten_ = 0;
    uint8_t addrRead_ = 0;
};

} // namespace

ShaderProgram* ShaderProgramCreate(const uint32_t* tokens, size_t count, std::string* error)
{
    std::string message;
    Decoder decoder(tokens, count);
    ShaderProgram* program = decoder.Run(&message);
    if (program == nullptr && error != nullptr) {
        *error = message;
    }
    return program;
}

void ShaderProgramDestroy(ShaderProgram* program)
{
    delete program;
}

size_t ShaderTokensLength(const uint32_t* tokens, size_t maxTokens)
{
    if (tokens == nullptr || maxTokens == 0) {
        return 0;
    }
    const bool model2 = ShaderVersionMajor(tokens[0]) >= 2;
    size_t i = 1;
    while (i < maxTokens) {
        const uint32_t token = tokens[i];
        if (token == kShaderEndToken) {
            return i + 1;
        }
        const uint32_t opcode = token & kShaderOpcodeMask;
        if (opcode == kShaderCommentOpcode) {
            i += 1 + ((token & kShaderCommentLengthMask) >> kShaderCommentLengthShift);
        } else if (model2) {
            i += 1 + ((token & kShaderInstLengthMask) >> kShaderInstLengthShift);
        } else if (opcode == static_cast<uint32_t>(ShaderOpcode::Def)) {
            i += 6;
        } else {
            // Shader model 1 has no length field; parameter tokens carry bit 31.
            ++i;
            while (i < maxTokens && (tokens[i] & kShaderParamBit) != 0) {
                ++i;
            }
        }
    }
    return 0;
}

uint32_t ShaderProgramVersion(const ShaderProgram* program)
{
    return program ? program->version : 0;
}
bool ShaderProgramIsPixel(const ShaderProgram* program)
{
    return program && program->pixel;
}

const uint32_t* ShaderProgramTokens(const ShaderProgram* program, size_t* count)
{
    *count = program ? program->tokens.size() : 0;
    return program ? program->tokens.data() : nullptr;
}

uint32_t ShaderProgramInputMask(const ShaderProgram* program)
{
    return program ? program->inputMask : 0;
}

bool ShaderProgramInputUsage(const ShaderProgram* program, int reg, ShaderUsage* usage, uint32_t* usageIndex)
{
    if (program == nullptr || reg < 0 || reg >= kShaderVertexInputs ||
        (program->declaredMask & (1u << reg)) == 0) {
        return false;
    }
    *usage = static_cast<ShaderUsage>(program->inputUsage[reg]);
    *usageIndex = program->inputUsageIndex[reg];
    return true;
}

int ShaderProgramFindInput(const ShaderProgram* program, ShaderUsage usage, uint32_t usageIndex)
{
    for (int reg = 0; program && reg < kShaderVertexInputs; ++reg) {
        if ((program->declaredMask & (1u << reg)) &&
            program->inputUsage[reg] == static_cast<uint8_t>(usage) &&
            program->inputUsageIndex[reg] == usageIndex) {
            return reg;
        }
    }
    return -1;
}

uint32_t ShaderProgramOutputMask(const ShaderProgram* program)
{
    uint32_t mask = 0;
    for (int o = 0; program && o < kShaderOutputCount; ++o) {
        if (program->outputWritten[o]) {
            mask |= 1u << o;
        }
    }
    return mask;
}

uint32_t ShaderProgramOutputComponents(const ShaderProgram* program, ShaderOutput output)
{
    return program && output >= 0 && output < kShaderOutputCount ? program->outputWritten[output] : 0;
}

uint32_t ShaderProgramSampledStages(const ShaderProgram* program)
{
    return program ? program->sampledStages : 0;
}
