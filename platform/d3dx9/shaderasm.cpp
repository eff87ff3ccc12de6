// Shader assembler: one pass over the text, line by line, appending tokens.
// Each line is checked against the rules of its shader version (registers,
// index ranges, masks, instructions available) so that callers get a line
// number and a message rather than a stream the device would refuse.
#include "platform/d3dx9/shaderasm.h"

#include "platform/shadervm/shadertokens.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool ParseUnsigned(std::string_view s, uint32_t* value)
{
    if (s.empty() || s.size() > 9) {
        return false;
    }
    uint32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    *value = v;
    return true;
}

// Component letter to index: x/r 0, y/g 1, z/b 2, w/a 3; -1 otherwise.
int ComponentIndex(char c)
{
    switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'x':
    case 'r':
        return 0;
    case 'y':
    case 'g':
        return 1;
    case 'z':
    case 'b':
        return 2;
    case 'w':
    case 'a':
        return 3;
    default:
        return -1;
    }
}

struct UsageName
{
    const char* name;
    ShaderUsage usage;
};

constexpr UsageName kUsages[] = {
    {"position", ShaderUsage::Position},
    {"blendweight", ShaderUsage::BlendWeight},
    {"blendindices", ShaderUsage::BlendIndices},
    {"normal", ShaderUsage::Normal},
    {"psize", ShaderUsage::PSize},
    {"texcoord", ShaderUsage::TexCoord},
    {"tangent", ShaderUsage::Tangent},
    {"binormal", ShaderUsage::Binormal},
    {"tessfactor", ShaderUsage::TessFactor},
    {"positiont", ShaderUsage::PositionT},
    {"color", ShaderUsage::Color},
    {"fog", ShaderUsage::Fog},
    {"depth", ShaderUsage::Depth},
    {"sample", ShaderUsage::Sample},
};

struct Operand
{
    ShaderRegType type = ShaderRegType::Temp;
    uint32_t number = 0;
    uint32_t mask = 0xF;                       // destinations
    uint32_t swizzle = kShaderSwizzleIdentity; // sources
    ShaderSrcMod mod = ShaderSrcMod::None;
    bool relative = false;
    uint32_t relativeComponent = 0; // a0.<component>
};

class Assembler
{
  public:
    explicit Assembler(ShaderAssembly* out) : out_(out) {}

    bool Run(std::string_view text)
    {
        out_->tokens.clear();
        out_->error.clear();
        out_->errorLine = 0;
        size_t pos = 0;
        while (pos <= text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            ++line_;
            if (!Line(text.substr(pos, end - pos))) {
                out_->tokens.clear();
                return false;
            }
            pos = end + 1;
        }
        line_ = 0;
        if (!haveVersion_ || (!pixel_ && (writtenOutputs_ & 1u) == 0)) {
            out_->tokens.clear();
            return Fail(haveVersion_ ? "vertex shader does not write oPos" : "no shader version line");
        }
        tokens().push_back(kShaderEndToken);
        return true;
    }

  private:
    std::vector<uint32_t>& tokens() { return out_->tokens; }

    bool Fail(const std::string& message)
    {
        if (out_->error.empty()) {
            out_->errorLine = line_;
            out_->error = message;
        }
        return false;
    }

    bool Line(std::string_view line)
    {
        size_t cut = std::min(line.find("//"), line.find(';'));
        if (cut != std::string_view::npos) {
            line = line.substr(0, cut);
        }
        line = Trim(line);
        if (line.empty()) {
            return true;
        }
        if (!haveVersion_) {
            return Version(Lower(line));
        }
        bool coissue = false;
        if (line.front() == '+') {
            coissue = true;
            line = Trim(line.substr(1));
        }
        size_t space = 0;
        while (space < line.size() && !std::isspace(static_cast<unsigned char>(line[space]))) {
            ++space;
        }
        std::string mnemonic = Lower(line.substr(0, space));
        std::string_view rest = Trim(line.substr(space));
        if (mnemonic.compare(0, 3, "dcl") == 0 && (mnemonic.size() == 3 || mnemonic[3] == '_')) {
            if (coissue) {
                return Fail("a declaration cannot be co-issued");
            }
            return Declaration(mnemonic, rest);
        }
        return Instruction(mnemonic, rest, coissue);
    }

    bool Version(const std::string& line)
    {
        struct Known
        {
            const char* a;
            const char* b;
            bool pixel;
            unsigned major, minor;
        };
        static constexpr Known kKnown[] = {
            {"vs_1_1", "vs.1.1", false, 1, 1}, {"vs_2_0", "vs.2.0", false, 2, 0},
            {"vs_2_x", "vs.2.x", false, 2, 1}, {"ps_1_1", "ps.1.1", true, 1, 1},
            {"ps_1_2", "ps.1.2", true, 1, 2},  {"ps_1_3", "ps.1.3", true, 1, 3},
        };
        for (const Known& k : kKnown) {
            if (line == k.a || line == k.b) {
                haveVersion_ = true;
                pixel_ = k.pixel;
                major_ = k.major;
                minor_ = k.minor;
                tokens().push_back(ShaderVersionToken(k.pixel, k.major, k.minor));
                return true;
            }
        }
        return Fail("unknown or unsupported shader version '" + line + "'");
    }

    uint32_t TempCount() const { return pixel_ ? 2 : (major_ == 2 && minor_ == 1 ? 32 : 12); }

    // ------------------------------------------------------------ registers

    // Parses a register name ("r3", "c[a0.x + 4]", "oPos", "t0") into op.
    bool Register(std::string_view text, Operand* op, bool source)
    {
        std::string name = Lower(text);
        size_t letters = 0;
        while (letters < name.size() && std::isalpha(static_cast<unsigned char>(name[letters]))) {
            ++letters;
        }
        std::string kind = name.substr(0, letters);
        std::string_view digits = std::string_view(name).substr(letters);
        if (kind.empty()) {
            return Fail(std::string("expected a register, found '") + std::string(text) + "'");
        }
        if (kind == "c" && !digits.empty() && digits.front() == '[') {
            return ConstantIndex(digits, op, source);
        }
        uint32_t number = 0;
        bool numbered = ParseUnsigned(digits, &number);
        if (!numbered && !digits.empty()) {
            return Fail(std::string("bad register '") + std::string(text) + "'");
        }
        auto need = [&](ShaderRegType type, uint32_t count) {
            if (!numbered) {
                return Fail(std::string("register '") + std::string(text) + "' needs a number");
            }
            if (number >= count) {
                return Fail(std::string("register index out of range: '") + std::string(text) + "'");
            }
            op->type = type;
            op->number = number;
            return true;
        };
        if (kind == "r") {
            return need(ShaderRegType::Temp, TempCount());
        }
        if (kind == "v") {
            return need(ShaderRegType::Input, pixel_ ? 2 : kVertexInputs);
        }
        if (kind == "c") {
            return need(ShaderRegType::Const, pixel_ ? 8 : kVertexConstants);
        }
        if (pixel_) {
            if (kind == "t") {
                return need(ShaderRegType::Texture, 4);
            }
        } else {
            if (kind == "a") {
                return need(ShaderRegType::Addr, 1);
            }
            if (kind == "od") {
                return need(ShaderRegType::AttrOut, 2);
            }
            if (kind == "ot") {
                return need(ShaderRegType::TexCrdOut, 8);
            }
            static constexpr const char* kRast[] = {"opos", "ofog", "opts"};
            for (uint32_t i = 0; i < 3; ++i) {
                if (kind == kRast[i] && digits.empty()) {
                    op->type = ShaderRegType::RastOut;
                    op->number = i;
                    return true;
                }
            }
        }
        return Fail(std::string("unknown register '") + std::string(text) + "'");
    }

    // "[a0.x + 5]", "[5 + a0.x]", "[a0.y]", "[1 + 5]": integer terms and at most one a0 component.
    bool ConstantIndex(std::string_view index, Operand* op, bool source)
    {
        if (index.size() < 2 || index.back() != ']') {
            return Fail(std::string("bad constant index '") + std::string(index) + "'");
        }
        std::string_view body = index.substr(1, index.size() - 2);
        int64_t offset = 0;
        bool relative = false;
        uint32_t component = 0;
        bool negate = false;
        bool expectTerm = true;
        size_t i = 0;
        while (i < body.size()) {
            char c = body[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
                continue;
            }
            if (!expectTerm) {
                if (c != '+' && c != '-') {
                    return Fail(std::string("bad constant index '") + std::string(index) + "'");
                }
                negate = c == '-';
                expectTerm = true;
                ++i;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(c))) {
                size_t j = i;
                while (j < body.size() && std::isdigit(static_cast<unsigned char>(body[j]))) {
                    ++j;
                }
                uint32_t value = 0;
                if (!ParseUnsigned(body.substr(i, j - i), &value)) {
                    return Fail(std::string("bad constant index '") + std::string(index) + "'");
                }
                offset += negate ? -static_cast<int64_t>(value) : value;
                i = j;
            } else if (body.substr(i, 2) == "a0") {
                if (relative || negate) {
                    return Fail(std::string("bad relative address '") + std::string(index) + "'");
                }
                relative = true;
                i += 2;
                if (i < body.size() && body[i] == '.') {
                    int comp = i + 1 < body.size() ? ComponentIndex(body[i + 1]) : -1;
                    if (comp < 0 ||
                        (i + 2 < body.size() && std::isalpha(static_cast<unsigned char>(body[i + 2])))) {
                        return Fail(std::string("bad relative address '") + std::string(index) + "'");
                    }
                    component = static_cast<uint32_t>(comp);
                    i += 2;
                }
            } else {
                return Fail(std::string("bad constant index '") + std::string(index) + "'");
            }
            expectTerm = false;
            negate = false;
        }
        if (expectTerm) {
            return Fail(std::string("bad constant index '") + std::string(index) + "'");
        }
        uint32_t limit = pixel_ ? 8 : kVertexConstants;
        if (offset < 0 || offset >= limit) {
            return Fail(std::string("register index out of range: 'c") + std::string(index) + "'");
        }
        if (relative) {
            if (pixel_ || !source) {
                return Fail("relative addressing is only allowed on vertex shader constant sources");
            }
            if (major_ < 2 && component != 0) {
                return Fail("vs_1_1 addresses constants with a0.x only");
            }
        }
        op->type = ShaderRegType::Const;
        op->number = static_cast<uint32_t>(offset);
        op->relative = relative;
        op->relativeComponent = component;
        return true;
    }

    // Components in x, y, z, w order, each at most once.
    bool WriteMask(std::string_view mask, uint32_t* bits)
    {
        if (mask.empty() || mask.size() > 4) {
            return Fail(std::string("bad write mask '.") + std::string(mask) + "'");
        }
        *bits = 0;
        int last = -1;
        for (char c : mask) {
            int comp = ComponentIndex(c);
            if (comp <= last) {
                return Fail(std::string("bad write mask '.") + std::string(mask) + "'");
            }
            *bits |= 1u << comp;
            last = comp;
        }
        return true;
    }

    bool Destination(std::string_view text, Operand* op)
    {
        text = Trim(text);
        size_t dot = text.find('.');
        if (!Register(text.substr(0, dot), op, false)) {
            return false;
        }
        if (dot != std::string_view::npos && !WriteMask(text.substr(dot + 1), &op->mask)) {
            return false;
        }
        switch (op->type) {
        case ShaderRegType::Temp:
        case ShaderRegType::RastOut:
        case ShaderRegType::AttrOut:
        case ShaderRegType::TexCrdOut:
            break;
        case ShaderRegType::Addr: // also Texture in pixel shaders
            if (!pixel_ && (major_ < 2 && op->mask != 1)) {
                return Fail("vs_1_1 writes a0.x only");
            }
            break;
        default:
            return Fail(std::string("register '") + std::string(text) + "' cannot be written");
        }
        if (op->type == ShaderRegType::RastOut && op->number != 0 && op->mask != 0xF && op->mask != 1) {
            return Fail("oFog and oPts take the mask .x only");
        }
        return true;
    }

    bool Source(std::string_view text, Operand* op)
    {
        text = Trim(text);
        if (!text.empty() && text.front() == '-') {
            op->mod = ShaderSrcMod::Neg;
            text = Trim(text.substr(1));
        } else if (pixel_ && text.size() > 1 && text.front() == '1' &&
                   Trim(text.substr(1)).substr(0, 1) == "-") {
            op->mod = ShaderSrcMod::Comp;
            text = Trim(Trim(text.substr(1)).substr(1));
        }
        // Register name, then an optional _modifier and an optional .swizzle in either order.
        size_t end = 0;
        if (Lower(text.substr(0, 2)) == "c[") {
            end = text.find(']');
            end = end == std::string_view::npos ? text.size() : end + 1;
        } else {
            while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) {
                ++end;
            }
        }
        if (!Register(text.substr(0, end), op, true)) {
            return false;
        }
        std::string_view rest = text.substr(end);
        bool haveSuffix = false;
        while (!rest.empty()) {
            size_t next = 1;
            while (next < rest.size() && rest[next] != '.' && rest[next] != '_') {
                ++next;
            }
            std::string part = Lower(rest.substr(1, next - 1));
            if (rest.front() == '.') {
                if (!Swizzle(part, &op->swizzle)) {
                    return false;
                }
            } else if (rest.front() == '_' && pixel_ && !haveSuffix) {
                haveSuffix = true;
                if (!SourceSuffix(part, op)) {
                    return false;
                }
            } else {
                return Fail(std::string("bad source '") + std::string(text) + "'");
            }
            rest = rest.substr(next);
        }
        switch (op->type) {
        case ShaderRegType::Temp:
        case ShaderRegType::Input:
        case ShaderRegType::Const:
            break;
        case ShaderRegType::Texture: // Addr in vertex shaders: a0 is read only as an index
            if (pixel_) {
                break;
            }
            [[fallthrough]];
        default:
            return Fail(std::string("register '") + std::string(text) + "' cannot be read");
        }
        if (!pixel_ && op->type == ShaderRegType::Input && (declaredInputs_ & (1u << op->number)) == 0) {
            return Fail("input register v" + std::to_string(op->number) + " is not declared");
        }
        return true;
    }

    bool SourceSuffix(const std::string& suffix, Operand* op)
    {
        bool neg = op->mod == ShaderSrcMod::Neg;
        if (op->mod != ShaderSrcMod::None && !neg) {
            return Fail("'1 -' cannot be combined with _" + suffix);
        }
        if (suffix == "bias") {
            op->mod = neg ? ShaderSrcMod::BiasNeg : ShaderSrcMod::Bias;
        } else if (suffix == "bx2") {
            op->mod = neg ? ShaderSrcMod::SignNeg : ShaderSrcMod::Sign;
        } else {
            return Fail("unknown source modifier '_" + suffix + "'");
        }
        return true;
    }

    bool Swizzle(const std::string& letters, uint32_t* swizzle)
    {
        if (letters.empty() || letters.size() > 4) {
            return Fail("bad swizzle '." + letters + "'");
        }
        uint32_t value = 0;
        int comp = 0;
        for (size_t i = 0; i < 4; ++i) {
            if (i < letters.size()) {
                comp = ComponentIndex(letters[i]);
                if (comp < 0) {
                    return Fail("bad swizzle '." + letters + "'");
                }
            }
            value |= static_cast<uint32_t>(comp) << (2 * i);
        }
        *swizzle = value;
        return true;
    }

    // ------------------------------------------------------------ emission

    bool Model2() const { return major_ >= 2; }

    static uint32_t DestinationToken(const Operand& op, uint32_t resultMods)
    {
        return ShaderParamRegister(op.type, op.number) | (op.mask << kShaderWriteMaskShift) | resultMods;
    }

    void EmitSource(const Operand& op)
    {
        uint32_t token = ShaderParamRegister(op.type, op.number) | (op.swizzle << kShaderSwizzleShift) |
                         (static_cast<uint32_t>(op.mod) << 24);
        if (op.relative) {
            token |= kShaderRelative;
        }
        tokens().push_back(token);
        if (op.relative && Model2()) {
            tokens().push_back(ShaderParamRegister(ShaderRegType::Addr, 0) |
                               ((op.relativeComponent * 0x55u) << kShaderSwizzleShift));
        }
    }

    void SetLength(size_t instruction)
    {
        if (Model2()) {
            tokens()[instruction] |= static_cast<uint32_t>(tokens().size() - instruction - 1)
                                     << kShaderInstLengthShift;
        }
    }

    std::vector<std::string_view> SplitOperands(std::string_view rest)
    {
        std::vector<std::string_view> parts;
        if (Trim(rest).empty()) {
            return parts;
        }
        size_t pos = 0;
        while (true) {
            size_t comma = rest.find(',', pos);
            parts.push_back(Trim(rest.substr(pos, comma == std::string_view::npos ? comma : comma - pos)));
            if (comma == std::string_view::npos) {
                break;
            }
            pos = comma + 1;
        }
        return parts;
    }

    bool Declaration(const std::string& mnemonic, std::string_view rest)
    {
        if (pixel_) {
            return Fail("ps_1_x shaders have no declarations");
        }
        if (sawInstruction_) {
            return Fail("declarations must come before instructions");
        }
        std::string_view usageText = std::string_view(mnemonic).substr(mnemonic.size() > 3 ? 4 : 3);
        size_t digits = usageText.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(usageText[digits - 1]))) {
            --digits;
        }
        uint32_t index = 0;
        if (digits < usageText.size() && (!ParseUnsigned(usageText.substr(digits), &index) || index > 15)) {
            return Fail("bad usage index in '" + mnemonic + "'");
        }
        const UsageName* usage = nullptr;
        for (const UsageName& u : kUsages) {
            if (usageText.substr(0, digits) == u.name) {
                usage = &u;
            }
        }
        if (usage == nullptr) {
            return Fail("unknown declaration '" + mnemonic + "'");
        }
        std::vector<std::string_view> operands = SplitOperands(rest);
        if (operands.size() != 1) {
            return Fail("'" + mnemonic + "' takes one register");
        }
        Operand op;
        size_t dot = operands[0].find('.');
        if (!Register(operands[0].substr(0, dot), &op, false)) {
            return false;
        }
        if (op.type != ShaderRegType::Input) {
            return Fail("only input registers v# are declared in vertex shaders");
        }
        if (dot != std::string_view::npos && !WriteMask(operands[0].substr(dot + 1), &op.mask)) {
            return false;
        }
        if ((declaredInputs_ & (1u << op.number)) != 0) {
            return Fail(std::string("v") + std::to_string(op.number) + " is declared twice");
        }
        declaredInputs_ |= 1u << op.number;
        size_t start = tokens().size();
        tokens().push_back(static_cast<uint32_t>(ShaderOpcode::Dcl));
        tokens().push_back(kShaderParamBit | static_cast<uint32_t>(usage->usage) |
                           (index << kShaderUsageIndexShift));
        tokens().push_back(DestinationToken(op, 0));
        SetLength(start);
        return true;
    }

    bool Instruction(const std::string& mnemonic, std::string_view rest, bool coissue)
    {
        size_t underscore = mnemonic.find('_');
        std::string base = mnemonic.substr(0, underscore);
        const ShaderOpcodeInfo* info = ShaderOpcodeFindByName(base.data(), base.size());
        if (info == nullptr || info->form == ShaderOperandForm::Dcl) {
            return Fail("unknown instruction '" + mnemonic + "'");
        }
        if (!ShaderOpcodeAvailable(info->opcode, tokens().front())) {
            return Fail("instruction '" + base + "' is not available in this shader version");
        }
        uint32_t resultMods = 0;
        while (underscore != std::string::npos) {
            size_t next = mnemonic.find('_', underscore + 1);
            std::string mod =
                mnemonic.substr(underscore + 1, next == std::string::npos ? next : next - underscore - 1);
            underscore = next;
            uint32_t shift = 0;
            if (mod == "sat" && (pixel_ || major_ >= 2)) {
                resultMods |= kShaderResultSaturate;
                continue;
            }
            if (pixel_) {
                shift = mod == "x2" ? 1 : mod == "x4" ? 2 : mod == "d2" ? 15 : 0;
            }
            if (shift == 0 || (resultMods & (0xFu << kShaderShiftShift)) != 0) {
                return Fail("unknown instruction modifier '_" + mod + "' in '" + mnemonic + "'");
            }
            resultMods |= shift << kShaderShiftShift;
        }
        if (coissue && (!pixel_ || !lastWasArithmetic_)) {
            return Fail("'+' co-issues with a preceding pixel shader arithmetic instruction only");
        }
        std::vector<std::string_view> operands = SplitOperands(rest);
        if (info->form != ShaderOperandForm::Normal) {
            return Definition(*info, operands, resultMods);
        }
        bool isTexture = info->opcode == ShaderOpcode::Tex || info->opcode == ShaderOpcode::TexCoord ||
                         info->opcode == ShaderOpcode::TexKill || info->opcode == ShaderOpcode::TexBem ||
                         info->opcode == ShaderOpcode::TexBemL;
        if (operands.size() != static_cast<size_t>(info->destinations + info->sources)) {
            return Fail("'" + base + "' takes " + std::to_string(info->destinations + info->sources) +
                        " operands");
        }
        if (isTexture && (resultMods != 0 || coissue)) {
            return Fail("texture instructions take no modifiers");
        }
        sawInstruction_ = true;
        size_t start = tokens().size();
        tokens().push_back(static_cast<uint32_t>(info->opcode) | (coissue ? kShaderCoissue : 0));
        Operand dst;
        if (info->destinations == 1) {
            if (!Destination(operands[0], &dst)) {
                return false;
            }
            if (!CheckDestination(*info, dst)) {
                return false;
            }
            tokens().push_back(DestinationToken(dst, resultMods));
        }
        for (size_t i = info->destinations; i < operands.size(); ++i) {
            Operand src;
            if (!Source(operands[i], &src)) {
                return false;
            }
            if (isTexture && (src.type != ShaderRegType::Texture || src.number >= dst.number ||
                              src.mod != ShaderSrcMod::None)) {
                return Fail("'" + base + "' reads a lower-numbered texture register t#");
            }
            if (i == 2 && !src.relative && !MatrixRowsFit(info->opcode, src)) {
                return Fail("register index out of range: the matrix of '" + base +
                            "' runs past the last register");
            }
            EmitSource(src);
        }
        SetLength(start);
        lastWasArithmetic_ = pixel_ && !isTexture && !coissue;
        return true;
    }

    // The rows a matrix instruction reads from consecutive registers must all exist.
    bool MatrixRowsFit(ShaderOpcode op, const Operand& src) const
    {
        uint32_t rows = 1;
        if (op == ShaderOpcode::M4x4 || op == ShaderOpcode::M3x4) {
            rows = 4;
        } else if (op == ShaderOpcode::M4x3 || op == ShaderOpcode::M3x3) {
            rows = 3;
        } else if (op == ShaderOpcode::M3x2) {
            rows = 2;
        }
        uint32_t limit = kVertexConstants;
        if (src.type == ShaderRegType::Temp) {
            limit = TempCount();
        } else if (src.type == ShaderRegType::Input) {
            limit = kVertexInputs;
        }
        return src.number + rows <= limit;
    }

    bool CheckDestination(const ShaderOpcodeInfo& info, const Operand& dst)
    {
        bool isAddr = !pixel_ && dst.type == ShaderRegType::Addr;
        bool isTexReg = pixel_ && dst.type == ShaderRegType::Texture;
        switch (info.opcode) {
        case ShaderOpcode::Mova:
            if (!isAddr) {
                return Fail("mova writes a0");
            }
            break;
        case ShaderOpcode::Mov:
            if (isAddr && major_ >= 2) {
                return Fail("a0 is written with mova in vs_2_0 and later");
            }
            break;
        case ShaderOpcode::Tex:
        case ShaderOpcode::TexCoord:
        case ShaderOpcode::TexKill:
        case ShaderOpcode::TexBem:
        case ShaderOpcode::TexBemL:
            if (!isTexReg || dst.mask != 0xF) {
                return Fail(std::string("'") + std::string(info.mnemonic) +
                            "' writes a whole texture register t#");
            }
            return true;
        case ShaderOpcode::Crs:
            if (dst.mask & 8u) {
                return Fail("bad write mask: crs writes x, y and z only");
            }
            break;
        default:
            if (isAddr) {
                return Fail("a0 is written with mov (vs_1_1) or mova only");
            }
            break;
        }
        if (!pixel_) {
            uint32_t bit = 0;
            switch (dst.type) {
            case ShaderRegType::RastOut:
                bit = dst.number == 0 ? 1u : 0;
                break;
            default:
                break;
            }
            writtenOutputs_ |= bit;
        }
        return true;
    }

    bool Definition(const ShaderOpcodeInfo& info, const std::vector<std::string_view>& operands,
                    uint32_t mods)
    {
        if (mods != 0) {
            return Fail(std::string("'") + std::string(info.mnemonic) + "' takes no modifiers");
        }
        if (sawInstruction_) {
            return Fail("definitions must come before instructions");
        }
        size_t values = info.form == ShaderOperandForm::DefB ? 1 : 4;
        if (operands.size() != values + 1) {
            return Fail(std::string("'") + std::string(info.mnemonic) + "' takes a register and " +
                        std::to_string(values) + " values");
        }
        Operand dst;
        if (operands[0].find('.') != std::string_view::npos || !Register(operands[0], &dst, false)) {
            return Fail(std::string("bad register in '") + std::string(info.mnemonic) + "'");
        }
        if (dst.type != ShaderRegType::Const || dst.relative) {
            return Fail("def defines a constant register c#");
        }
        size_t start = tokens().size();
        tokens().push_back(static_cast<uint32_t>(info.opcode));
        tokens().push_back(DestinationToken(dst, 0));
        for (size_t i = 1; i < operands.size(); ++i) {
            std::string_view text = operands[i];
            if (!text.empty() && text.front() == '+') {
                text.remove_prefix(1);
            }
            float value = 0.0f;
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) {
                return Fail(std::string("bad number '") + std::string(operands[i]) + "'");
            }
            uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            tokens().push_back(bits);
        }
        SetLength(start);
        return true;
    }

    static constexpr uint32_t kVertexInputs = 16;
    static constexpr uint32_t kVertexConstants = 256;

    ShaderAssembly* out_;
    int line_ = 0;
    bool haveVersion_ = false;
    bool pixel_ = false;
    unsigned major_ = 0;
    unsigned minor_ = 0;
    bool sawInstruction_ = false;
    bool lastWasArithmetic_ = false;
    uint32_t declaredInputs_ = 0;
    uint32_t writtenOutputs_ = 0;
};

} // namespace

bool ShaderAssemble(std::string_view text, ShaderAssembly* out)
{
    Assembler assembler(out);
    return assembler.Run(text);
}
