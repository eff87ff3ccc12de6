// Reference-counted buffers and the D3DX-style assembler entry points.
#include "platform/d3dx9/d3dx9shader.h"

#include "platform/d3dx9/shaderasm.h"
#include "platform/shadervm/shadervm.h"

#include <cstring>
#include <new>
#include <string>

namespace {

class Buffer final : public ID3DXBuffer
{
  public:
    explicit Buffer(uint32_t size)
        : size_(size), bytes_(new (std::nothrow) unsigned char[size == 0 ? 1 : size]())
    {
    }
    bool Valid() const { return bytes_ != nullptr; }

    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override
    {
        uint32_t refs = --refs_;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }
    void* GetBufferPointer() override { return bytes_; }
    uint32_t GetBufferSize() override { return size_; }

  private:
    ~Buffer() override { delete[] bytes_; }

    uint32_t refs_ = 1;
    uint32_t size_;
    unsigned char* bytes_;
};

int32_t MakeBuffer(const void* data, size_t size, ID3DXBuffer** out)
{
    ID3DXBuffer* buffer = nullptr;
    int32_t result = D3DXCreateBuffer(static_cast<uint32_t>(size), &buffer);
    if (result == D3DX_OK) {
        std::memcpy(buffer->GetBufferPointer(), data, size);
        *out = buffer;
    }
    return result;
}

} // namespace

int32_t D3DXCreateBuffer(uint32_t size, ID3DXBuffer** buffer)
{
    if (buffer == nullptr) {
        return D3DX_E_INVALIDARG;
    }
    *buffer = nullptr;
    Buffer* created = new (std::nothrow) Buffer(size);
    if (created == nullptr || !created->Valid()) {
        if (created != nullptr) {
            created->Release();
        }
        return D3DX_E_OUTOFMEMORY;
    }
    *buffer = created;
    return D3DX_OK;
}

int32_t D3DXAssembleShader(const char* text, uint32_t length, const D3DXMACRO* defines, ID3DXInclude* include,
                           uint32_t, ID3DXBuffer** shader, ID3DXBuffer** errors)
{
    if (shader != nullptr) {
        *shader = nullptr;
    }
    if (errors != nullptr) {
        *errors = nullptr;
    }
    if (text == nullptr || defines != nullptr || include != nullptr) {
        return D3DX_E_INVALIDARG;
    }
    ShaderAssembly assembly;
    if (!ShaderAssemble(std::string_view(text, length), &assembly)) {
        if (errors != nullptr) {
            std::string message = "line " + std::to_string(assembly.errorLine) + ": " + assembly.error + "\n";
            MakeBuffer(message.c_str(), message.size() + 1, errors);
        }
        return D3DXERR_INVALIDDATA;
    }
    if (shader != nullptr) {
        return MakeBuffer(assembly.tokens.data(), assembly.tokens.size() * sizeof(uint32_t), shader);
    }
    return D3DX_OK;
}

int32_t D3DXDisassembleShader(const uint32_t* tokens, bool, const char*, ID3DXBuffer** text)
{
    if (tokens == nullptr || text == nullptr) {
        return D3DX_E_INVALIDARG;
    }
    *text = nullptr;
    // The stream carries no size: walk it to its end token, bounded by the largest stream we accept.
    size_t count = ShaderTokensLength(tokens, 1u << 20);
    std::string out;
    if (count == 0 || !ShaderDisassemble(tokens, count, &out, nullptr)) {
        return D3DXERR_INVALIDDATA;
    }
    return MakeBuffer(out.c_str(), out.size() + 1, text);
}
