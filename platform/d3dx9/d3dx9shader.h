// D3DX-style shader assembly entry points over ShaderAssemble: results come
// back in reference-counted byte buffers, as the renderer expects.
#pragma once

#include <cstddef>
#include <cstdint>

/// A reference-counted block of bytes (created with a count of 1).
struct ID3DXBuffer
{
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0; ///< frees the buffer when the count reaches 0; returns the new count
    virtual void* GetBufferPointer() = 0;
    virtual uint32_t GetBufferSize() = 0; ///< bytes

  protected:
    virtual ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;

/// Preprocessor definitions and include handlers are not supported: pass null.
struct D3DXMACRO
{
    const char* Name;
    const char* Definition;
};
struct ID3DXInclude;

inline constexpr uint32_t D3DXSHADER_DEBUG = 1u << 0;
inline constexpr uint32_t D3DXSHADER_SKIPVALIDATION = 1u << 1;
inline constexpr uint32_t D3DXSHADER_SKIPOPTIMIZATION = 1u << 2;

inline constexpr int32_t D3DX_OK = 0;
inline constexpr int32_t D3DXERR_INVALIDDATA = static_cast<int32_t>(0x88760B59u);
inline constexpr int32_t D3DX_E_INVALIDARG = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t D3DX_E_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);

/// Creates an empty buffer of `size` bytes (zeroed) in *buffer; D3DX_OK or an error code.
int32_t D3DXCreateBuffer(uint32_t size, ID3DXBuffer** buffer);

/// Assembles `length` bytes of shader text (see ShaderAssemble). On success
/// *shader (when not null) gets a buffer of the tokens and D3DX_OK is
/// returned. On failure returns D3DXERR_INVALIDDATA and *errors (when not
/// null) gets a zero-terminated text "line N: message\n". Defines and
/// include handlers must be null (D3DX_E_INVALIDARG otherwise); flags are
/// accepted and ignored (the text is assembled as written).
int32_t D3DXAssembleShader(const char* text, uint32_t length, const D3DXMACRO* defines, ID3DXInclude* include,
                           uint32_t flags, ID3DXBuffer** shader, ID3DXBuffer** errors);

/// Disassembles a token stream that ends with the end token into a
/// zero-terminated text buffer; `comments` is ignored.
int32_t D3DXDisassembleShader(const uint32_t* tokens, bool comments, const char* unused, ID3DXBuffer** text);
