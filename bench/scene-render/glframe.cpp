#define GL_GLEXT_PROTOTYPES 1
#include "bench/scene-render/glframe.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

namespace scenebench {

namespace {

void Colour(uint32_t argb, float* out)
{
    out[0] = float(argb >> 16 & 255) / 255.0f;
    out[1] = float(argb >> 8 & 255) / 255.0f;
    out[2] = float(argb & 255) / 255.0f;
    out[3] = float(argb >> 24) / 255.0f;
}

void Matrix(const D3DMATRIX& m, float* out)
{
    // Row vectors stored row by row read as GL's column-major matrices for column vectors.
    std::memcpy(out, m.m, sizeof m.m);
}

// Direct3D's clip z runs from 0 to w, GL's from -w to w: z' = 2z - w.
void Projection(const D3DMATRIX& m, float* out)
{
    Matrix(m, out);
    for (int row = 0; row < 4; ++row)
        out[row * 4 + 2] = 2.0f * m.m[row][2] - m.m[row][3];
}

GLenum Compare(DWORD cmp)
{
    return cmp >= D3DCMP_NEVER && cmp <= D3DCMP_ALWAYS ? GLenum(GL_NEVER + cmp - D3DCMP_NEVER) : GL_ALWAYS;
}

GLenum BlendFactor(DWORD blend)
{
    static const GLenum factors[] = {GL_ZERO,
                                     GL_ZERO,
                                     GL_ONE,
                                     GL_SRC_COLOR,
                                     GL_ONE_MINUS_SRC_COLOR,
                                     GL_SRC_ALPHA,
                                     GL_ONE_MINUS_SRC_ALPHA,
                                     GL_DST_ALPHA,
                                     GL_ONE_MINUS_DST_ALPHA,
                                     GL_DST_COLOR,
                                     GL_ONE_MINUS_DST_COLOR,
                                     GL_SRC_ALPHA_SATURATE};
    return blend < std::size(factors) ? factors[blend] : GL_ONE;
}

GLenum Wrap(DWORD address)
{
    return address == D3DTADDRESS_MIRROR  ? GL_MIRRORED_REPEAT
           : address == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE
                                          : GL_REPEAT;
}

GLenum Source(DWORD argument, int stage)
{
    switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_CURRENT:
        return stage == 0 ? GL_PRIMARY_COLOR : GL_PREVIOUS;
    case D3DTA_TEXTURE:
        return GL_TEXTURE;
    case D3DTA_TFACTOR:
        return GL_CONSTANT;
    default:
        return GL_PRIMARY_COLOR;
    }
}

GLenum PrimitiveMode(uint32_t type, uint32_t primitives, GLsizei* count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        *count = GLsizei(primitives);
        return GL_POINTS;
    case D3DPT_LINELIST:
        *count = GLsizei(primitives * 2);
        return GL_LINES;
    case D3DPT_LINESTRIP:
        *count = GLsizei(primitives + 1);
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        *count = GLsizei(primitives + 2);
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        *count = GLsizei(primitives + 2);
        return GL_TRIANGLE_FAN;
    default:
        *count = GLsizei(primitives * 3);
        return GL_TRIANGLES;
    }
}

void SendStage(int unit, const GLuint texture, const float* factor, DWORD op, const DWORD* args,
               DWORD alphaOp, const DWORD* alphaArgs)
{
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    if (op == D3DTOP_DISABLE) {
        glDisable(GL_TEXTURE_2D);
        return;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, factor);
    const auto combine = [unit](GLenum mode, GLenum source0, GLenum source1, DWORD operation,
                                const DWORD* a) {
        glTexEnvi(GL_TEXTURE_ENV, mode, operation == D3DTOP_MODULATE ? GL_MODULATE : GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, source0, GLint(Source(operation == D3DTOP_SELECTARG2 ? a[1] : a[0], unit)));
        glTexEnvi(GL_TEXTURE_ENV, source1, GLint(Source(a[1], unit)));
    };
    combine(GL_COMBINE_RGB, GL_SRC0_RGB, GL_SRC1_RGB, op, args);
    combine(GL_COMBINE_ALPHA, GL_SRC0_ALPHA, GL_SRC1_ALPHA, alphaOp == D3DTOP_DISABLE ? op : alphaOp,
            alphaOp == D3DTOP_DISABLE ? args : alphaArgs);
}

void SendArray(const GLenum client, const auto& array, auto pointer)
{
    if (array.size == 0) {
        glDisableClientState(client);
        return;
    }
    glEnableClientState(client);
    glBindBuffer(GL_ARRAY_BUFFER, array.buffer);
    pointer(array);
}

} // namespace

GlFrame::~GlFrame()
{
    for (const auto& [device, buffer] : m_buffers)
        glDeleteBuffers(1, &buffer);
    for (const auto& [key, buffer] : m_normals)
        glDeleteBuffers(1, &buffer);
    for (const auto& [device, texture] : m_textures)
        if (texture != m_white)
            glDeleteTextures(1, &texture);
    if (m_white)
        glDeleteTextures(1, &m_white);
}

void GlFrame::Approximate(const std::string& what)
{
    if (std::find(m_approximations.begin(), m_approximations.end(), what) == m_approximations.end())
        m_approximations.push_back(what);
}

uint32_t GlFrame::Buffer(uint64_t deviceBuffer, bool index)
{
    const auto found = m_buffers.find(deviceBuffer);
    if (found != m_buffers.end())
        return found->second;
    void* data = nullptr;
    UINT size = 0;
    if (index) {
        auto* buffer = reinterpret_cast<IDirect3DIndexBuffer9*>(deviceBuffer);
        D3DINDEXBUFFER_DESC desc{};
        if (FAILED(buffer->GetDesc(&desc)) || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
            return 0;
        size = desc.Size;
    } else {
        auto* buffer = reinterpret_cast<IDirect3DVertexBuffer9*>(deviceBuffer);
        D3DVERTEXBUFFER_DESC desc{};
        if (FAILED(buffer->GetDesc(&desc)) || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
            return 0;
        size = desc.Size;
    }
    GLuint name = 0;
    glGenBuffers(1, &name);
    const GLenum target = index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    glBindBuffer(target, name);
    glBufferData(target, GLsizeiptr(size), data, GL_STATIC_DRAW);
    if (index)
        reinterpret_cast<IDirect3DIndexBuffer9*>(deviceBuffer)->Unlock();
    else
        reinterpret_cast<IDirect3DVertexBuffer9*>(deviceBuffer)->Unlock();
    m_buffers[deviceBuffer] = name;
    return name;
}

uint32_t GlFrame::UnpackedNormals(uint64_t deviceBuffer, uint32_t stride, uint32_t offset)
{
    const std::array<uint64_t, 3> key = {deviceBuffer, stride, offset};
    const auto found = m_normals.find(key);
    if (found != m_normals.end())
        return found->second;
    auto* buffer = reinterpret_cast<IDirect3DVertexBuffer9*>(deviceBuffer);
    D3DVERTEXBUFFER_DESC desc{};
    void* data = nullptr;
    if (stride < 4 || FAILED(buffer->GetDesc(&desc)) || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
        return 0;
    // Three signed 10-bit fields, x in the low bits, each over 511.
    std::vector<float> normals;
    for (size_t at = offset; at + 4 <= desc.Size; at += stride) {
        uint32_t packed = 0;
        std::memcpy(&packed, static_cast<const uint8_t*>(data) + at, 4);
        for (int field = 0; field < 3; ++field) {
            const int32_t value = int32_t(packed << (22 - 10 * field)) >> 22;
            normals.push_back(std::max(float(value) / 511.0f, -1.0f));
        }
    }
    buffer->Unlock();
    GLuint name = 0;
    glGenBuffers(1, &name);
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(normals.size() * sizeof(float)), normals.data(), GL_STATIC_DRAW);
    m_normals[key] = name;
    return name;
}

// The texture's levels as BGRA texels (alpha 255 for X8R8G8B8); the white
// texture for none or a format the comparison does not carry.
uint32_t GlFrame::Texture(uint64_t deviceTexture)
{
    if (!m_white) {
        const uint32_t white = 0xFFFFFFFF;
        glGenTextures(1, &m_white);
        glBindTexture(GL_TEXTURE_2D, m_white);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
    }
    if (deviceTexture == 0)
        return m_white;
    const auto found = m_textures.find(deviceTexture);
    if (found != m_textures.end())
        return found->second;
    auto* base = reinterpret_cast<IDirect3DBaseTexture9*>(deviceTexture);
    if (base->GetType() != D3DRTYPE_TEXTURE) {
        Approximate("a cube or volume texture drawn white");
        return m_textures[deviceTexture] = m_white;
    }
    auto* texture = static_cast<IDirect3DTexture9*>(base);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const DWORD levels = texture->GetLevelCount();
    std::vector<uint32_t> texels;
    for (DWORD level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (FAILED(texture->GetLevelDesc(level, &desc)) ||
            (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8)) {
            Approximate("a texture format other than 32-bit ARGB drawn white");
            glDeleteTextures(1, &name);
            return m_textures[deviceTexture] = m_white;
        }
        if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY)))
            break;
        texels.resize(size_t(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&texels[size_t(y) * desc.Width],
                        static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch, desc.Width * 4);
        texture->UnlockRect(level);
        if (desc.Format == D3DFMT_X8R8G8B8)
            for (uint32_t& texel : texels)
                texel |= 0xFF000000;
        glTexImage2D(GL_TEXTURE_2D, GLint(level), GL_RGBA8, GLsizei(desc.Width), GLsizei(desc.Height), 0,
                     GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(std::max<DWORD>(levels, 1) - 1));
    return m_textures[deviceTexture] = name;
}

bool GlFrame::Translate(const DeviceDrawState& state, uint32_t type, uint32_t baseVertex, uint32_t primitives,
                        uint32_t startIndex, std::string* why)
{
    DrawItem draw{};
    Matrix(state.world, draw.world);
    draw.material = state.material;
    const DWORD* rs = state.renderStates;

    // The lights the draw sees; a block shared with the draw before when the same.
    std::vector<D3DLIGHT9> lights;
    for (size_t i = 0; i < state.lightOn.size(); ++i)
        if (state.lightOn[i] && state.lightSet[i])
            lights.push_back(state.lights[i]);
    if (lights.size() > 8) {
        Approximate("lights past GL's eight left out");
        lights.resize(8);
    }
    for (const D3DLIGHT9& light : lights)
        if (light.Type == D3DLIGHT_SPOT)
            Approximate("spot lights as point lights");
    const auto same = [&lights](const std::vector<D3DLIGHT9>& block) {
        return block.size() == lights.size() &&
               std::memcmp(block.data(), lights.data(), lights.size() * sizeof(D3DLIGHT9)) == 0;
    };
    if (m_lightBlocks.empty() || !same(m_lightBlocks.back()))
        m_lightBlocks.push_back(lights);
    draw.lightsBlock = int(m_lightBlocks.size() - 1);

    Render& r = draw.render;
    r.lighting = rs[D3DRS_LIGHTING] != 0;
    r.depthTest = rs[D3DRS_ZENABLE] != 0;
    r.depthWrite = rs[D3DRS_ZWRITEENABLE] != 0;
    r.depthFunc = Compare(rs[D3DRS_ZFUNC]);
    r.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    r.blendSource = BlendFactor(rs[D3DRS_SRCBLEND]);
    r.blendDestination = BlendFactor(rs[D3DRS_DESTBLEND]);
    r.alphaTest = rs[D3DRS_ALPHATESTENABLE] != 0;
    r.alphaFunc = Compare(rs[D3DRS_ALPHAFUNC]);
    r.alphaRef = float(rs[D3DRS_ALPHAREF] & 255) / 255.0f;
    r.cull = rs[D3DRS_CULLMODE];
    r.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    r.normalise = rs[D3DRS_NORMALIZENORMALS] != 0;
    Colour(rs[D3DRS_AMBIENT], r.ambient);
    Colour(rs[D3DRS_TEXTUREFACTOR], r.textureFactor);
    if (rs[D3DRS_FOGENABLE])
        Approximate("fog left out");
    for (int stage = 0; stage < 2; ++stage) {
        const DWORD* ss = state.stageStates[stage];
        Stage& s = r.stages[stage];
        s.colourOp = ss[D3DTSS_COLOROP];
        s.alphaOp = ss[D3DTSS_ALPHAOP];
        s.colourArgs[0] = ss[D3DTSS_COLORARG1];
        s.colourArgs[1] = ss[D3DTSS_COLORARG2];
        s.alphaArgs[0] = ss[D3DTSS_ALPHAARG1];
        s.alphaArgs[1] = ss[D3DTSS_ALPHAARG2];
        for (DWORD op : {s.colourOp, s.alphaOp})
            if (op != D3DTOP_DISABLE && op != D3DTOP_SELECTARG1 && op != D3DTOP_SELECTARG2 &&
                op != D3DTOP_MODULATE)
                Approximate("texture operation " + std::to_string(op) + " as a modulation");
        if (stage == 1 && s.colourOp == D3DTOP_DISABLE)
            break;
    }
    r.texture = Texture(state.texture);
    const DWORD* sampler = state.samplerStates;
    const bool linear = sampler[D3DSAMP_MINFILTER] == D3DTEXF_LINEAR;
    r.magFilter = sampler[D3DSAMP_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
    switch (sampler[D3DSAMP_MIPFILTER]) {
    case D3DTEXF_POINT:
        r.minFilter = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        break;
    case D3DTEXF_LINEAR:
        r.minFilter = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        break;
    default:
        r.minFilter = linear ? GL_LINEAR : GL_NEAREST;
    }
    r.wrapS = Wrap(sampler[D3DSAMP_ADDRESSU]);
    r.wrapT = Wrap(sampler[D3DSAMP_ADDRESSV]);

    // The vertex arrays from the declaration and the streams.
    auto* declaration = reinterpret_cast<IDirect3DVertexDeclaration9*>(state.declaration);
    D3DVERTEXELEMENT9 elements[65];
    UINT count = 0;
    if (!declaration || FAILED(declaration->GetDeclaration(nullptr, &count)) || count > std::size(elements) ||
        FAILED(declaration->GetDeclaration(elements, &count))) {
        *why = "a draw without a vertex declaration";
        return false;
    }
    bool colours = false;
    for (UINT e = 0; e < count && elements[e].Stream != 0xFF; ++e) {
        const D3DVERTEXELEMENT9& element = elements[e];
        if (element.Stream >= 2 || state.streamBuffer[element.Stream] == 0) {
            *why = "an element on a stream without a buffer";
            return false;
        }
        Array array;
        array.buffer = Buffer(state.streamBuffer[element.Stream], false);
        array.stride = GLsizei(state.streamStride[element.Stream]);
        array.offset = uintptr_t(state.streamOffset[element.Stream] + element.Offset +
                                 uint64_t(baseVertex) * state.streamStride[element.Stream]);
        switch (element.Type) {
        case D3DDECLTYPE_DEC3N:
            if (element.Usage != D3DDECLUSAGE_NORMAL) {
                Approximate("a packed element other than the normal left out");
                continue;
            }
            array.buffer = UnpackedNormals(state.streamBuffer[element.Stream], uint32_t(array.stride),
                                           uint32_t(state.streamOffset[element.Stream] + element.Offset));
            array.size = 3;
            array.type = GL_FLOAT;
            array.stride = 12;
            array.offset = uintptr_t(baseVertex) * 12;
            break;
        case D3DDECLTYPE_FLOAT2:
            array.size = 2;
            array.type = GL_FLOAT;
            break;
        case D3DDECLTYPE_FLOAT3:
            array.size = 3;
            array.type = GL_FLOAT;
            break;
        case D3DDECLTYPE_D3DCOLOR:
            array.size = GL_BGRA;
            array.type = GL_UNSIGNED_BYTE;
            break;
        default:
            Approximate("a vertex element of type " + std::to_string(element.Type) + " left out");
            continue;
        }
        if (element.Usage == D3DDECLUSAGE_POSITION && element.UsageIndex == 0)
            draw.position = array;
        else if (element.Usage == D3DDECLUSAGE_NORMAL && element.UsageIndex == 0)
            draw.normal = array;
        else if (element.Usage == D3DDECLUSAGE_COLOR && element.UsageIndex == 0)
            draw.colour = array, colours = true;
        else if (element.Usage == D3DDECLUSAGE_TEXCOORD && element.UsageIndex == 0)
            draw.texCoord = array;
    }
    if (draw.position.size == 0) {
        *why = "a draw without positions";
        return false;
    }
    // Vertex colours stand for one of the material's colours when lit (pre-lit
    // colours as the emissive one); GL takes one colour from the vertices.
    const bool emissive = rs[D3DRS_EMISSIVEMATERIALSOURCE] == D3DMCS_COLOR1;
    const bool diffuse = rs[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
    const bool ambient = rs[D3DRS_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1;
    r.colourMaterial =
        r.lighting && colours && rs[D3DRS_COLORVERTEX] != 0 && (emissive || diffuse || ambient);
    r.colourMaterialMode = emissive             ? GL_EMISSION
                           : diffuse && ambient ? GL_AMBIENT_AND_DIFFUSE
                           : diffuse            ? GL_DIFFUSE
                                                : GL_AMBIENT;
    if (r.colourMaterial && emissive && (diffuse || ambient))
        Approximate("vertex colours as the emissive colour only");
    // Without specular lighting the material's specular colour counts for nothing.
    if (!rs[D3DRS_SPECULARENABLE])
        draw.material.Specular = {0, 0, 0, 0};

    auto* indices = reinterpret_cast<IDirect3DIndexBuffer9*>(state.indices);
    D3DINDEXBUFFER_DESC desc{};
    if (!indices || FAILED(indices->GetDesc(&desc))) {
        *why = "an indexed draw without indices";
        return false;
    }
    draw.indexBuffer = Buffer(state.indices, true);
    const uint32_t indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
    draw.indexType = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    draw.indexOffset = uintptr_t(startIndex) * indexSize;
    GLsizei indexCount = 0;
    draw.mode = PrimitiveMode(type, primitives, &indexCount);
    draw.count = indexCount;
    if (draw.indexBuffer == 0 || draw.position.buffer == 0) {
        *why = "a buffer that cannot be read";
        return false;
    }
    m_draws.push_back(draw);
    return true;
}

bool GlFrame::Load(const DeviceDrawState& start, const std::vector<D3D9CallRecord>& log, std::string* why)
{
    DeviceDrawState state = start;
    for (const D3D9CallRecord& call : log) {
        switch (call.call) {
        case D3D9Call::SetRenderState:
            if (call.a < 256)
                state.renderStates[call.a] = DWORD(call.b);
            break;
        case D3D9Call::SetTextureStageState:
            if (call.a < 2 && call.b < 33)
                state.stageStates[call.a][call.b] = DWORD(call.c);
            break;
        case D3D9Call::SetSamplerState:
            if (call.a == 0 && call.b < 14)
                state.samplerStates[call.b] = DWORD(call.c);
            break;
        case D3D9Call::SetTexture:
            if (call.a == 0)
                state.texture = call.b;
            break;
        case D3D9Call::SetLight:
            if (call.a < 4096) {
                state.lights.resize(std::max<size_t>(state.lights.size(), call.a + 1));
                state.lightSet.resize(state.lights.size());
                state.lightOn.resize(state.lights.size());
                std::memcpy(&state.lights[call.a], call.data.data(), sizeof(D3DLIGHT9));
                state.lightSet[call.a] = true;
            }
            break;
        case D3D9Call::LightEnable:
            if (call.a < state.lightOn.size())
                state.lightOn[call.a] = call.b != 0;
            break;
        case D3D9Call::SetMaterial:
            std::memcpy(&state.material, call.data.data(), sizeof(D3DMATERIAL9));
            break;
        case D3D9Call::SetTransform: {
            D3DMATRIX* target = call.a == D3DTS_VIEW         ? &state.view
                                : call.a == D3DTS_PROJECTION ? &state.projection
                                : call.a == D3DTS_WORLD      ? &state.world
                                                             : nullptr;
            if (target)
                std::memcpy(target, call.data.data(), sizeof(D3DMATRIX));
            break;
        }
        case D3D9Call::SetIndices:
            state.indices = call.a;
            break;
        case D3D9Call::SetStreamSource:
            if (call.a < 2) {
                state.streamBuffer[call.a] = call.b;
                state.streamOffset[call.a] = call.c;
                state.streamStride[call.a] = call.data[0];
            }
            break;
        case D3D9Call::SetVertexDeclaration:
            state.declaration = call.a;
            break;
        case D3D9Call::SetVertexShader:
        case D3D9Call::SetPixelShader:
            if (call.a != 0) {
                *why = "a frame with shaders";
                return false;
            }
            break;
        case D3D9Call::DrawIndexedPrimitive:
            if (!Translate(state, uint32_t(call.a), uint32_t(call.b), uint32_t(call.c), call.data[2], why))
                return false;
            break;
        case D3D9Call::SetFVF:
            break;
        default:
            *why = "a draw other than an indexed one";
            return false;
        }
    }
    Matrix(state.view, m_view);
    Projection(state.projection, m_projection);
    return true;
}

void GlFrame::Draw(uint32_t clearArgb) const
{
    float clear[4];
    Colour(clearArgb, clear);
    glClearColor(clear[0], clear[1], clear[2], 1.0f);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m_projection);
    glMatrixMode(GL_MODELVIEW);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    const DrawItem* previous = nullptr;
    for (const DrawItem& draw : m_draws) {
        // Lights are placed in world space: the view alone on the stack.
        if (!previous || draw.lightsBlock != previous->lightsBlock) {
            glLoadMatrixf(m_view);
            const std::vector<D3DLIGHT9>& lights = m_lightBlocks[size_t(draw.lightsBlock)];
            for (GLenum i = 0; i < 8; ++i) {
                const GLenum light = GL_LIGHT0 + i;
                if (i >= lights.size()) {
                    glDisable(light);
                    continue;
                }
                const D3DLIGHT9& l = lights[i];
                glEnable(light);
                glLightfv(light, GL_DIFFUSE, &l.Diffuse.r);
                glLightfv(light, GL_SPECULAR, &l.Specular.r);
                glLightfv(light, GL_AMBIENT, &l.Ambient.r);
                const bool directional = l.Type == D3DLIGHT_DIRECTIONAL;
                const float position[4] = {
                    directional ? -l.Direction.x : l.Position.x, directional ? -l.Direction.y : l.Position.y,
                    directional ? -l.Direction.z : l.Position.z, directional ? 0.0f : 1.0f};
                glLightfv(light, GL_POSITION, position);
                glLightf(light, GL_CONSTANT_ATTENUATION, directional ? 1.0f : l.Attenuation0);
                glLightf(light, GL_LINEAR_ATTENUATION, directional ? 0.0f : l.Attenuation1);
                glLightf(light, GL_QUADRATIC_ATTENUATION, directional ? 0.0f : l.Attenuation2);
            }
        }
        glLoadMatrixf(m_view);
        glMultMatrixf(draw.world);
        const Render& r = draw.render;
        if (!previous || !(r == previous->render)) {
            const auto enable = [](GLenum what, bool on) { on ? glEnable(what) : glDisable(what); };
            enable(GL_LIGHTING, r.lighting);
            enable(GL_DEPTH_TEST, r.depthTest);
            glDepthMask(r.depthWrite ? GL_TRUE : GL_FALSE);
            glDepthFunc(r.depthFunc);
            enable(GL_BLEND, r.blend);
            glBlendFunc(r.blendSource, r.blendDestination);
            enable(GL_ALPHA_TEST, r.alphaTest);
            glAlphaFunc(r.alphaFunc, r.alphaRef);
            // The device culls counter-clockwise triangles on screen (y down) by default.
            enable(GL_CULL_FACE, r.cull != D3DCULL_NONE);
            glFrontFace(r.cull == D3DCULL_CW ? GL_CCW : GL_CW);
            glShadeModel(r.flat ? GL_FLAT : GL_SMOOTH);
            enable(GL_NORMALIZE, r.normalise);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, r.ambient);
            enable(GL_COLOR_MATERIAL, r.colourMaterial);
            if (r.colourMaterial)
                glColorMaterial(GL_FRONT_AND_BACK, r.colourMaterialMode);
            const Stage& s0 = r.stages[0];
            const Stage& s1 = r.stages[1];
            SendStage(0, r.texture, r.textureFactor, s0.colourOp, s0.colourArgs, s0.alphaOp, s0.alphaArgs);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(r.minFilter));
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(r.magFilter));
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(r.wrapS));
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(r.wrapT));
            SendStage(1, m_white, r.textureFactor,
                      s0.colourOp == D3DTOP_DISABLE ? D3DTOP_DISABLE : s1.colourOp, s1.colourArgs, s1.alphaOp,
                      s1.alphaArgs);
            glActiveTexture(GL_TEXTURE0);
        }
        // Colour material writes the vertex colours into the material: send it again after such a draw.
        if (!previous || previous->render.colourMaterial ||
            std::memcmp(&draw.material, &previous->material, sizeof draw.material) != 0) {
            const D3DMATERIAL9& m = draw.material;
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &m.Diffuse.r);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &m.Ambient.r);
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &m.Specular.r);
            glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &m.Emissive.r);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.Power, 0.0f, 128.0f));
        }
        SendArray(GL_VERTEX_ARRAY, draw.position, [](const Array& a) {
            glVertexPointer(a.size, a.type, a.stride, reinterpret_cast<void*>(a.offset));
        });
        SendArray(GL_NORMAL_ARRAY, draw.normal, [](const Array& a) {
            glNormalPointer(a.type, a.stride, reinterpret_cast<void*>(a.offset));
        });
        SendArray(GL_COLOR_ARRAY, draw.colour, [](const Array& a) {
            glColorPointer(a.size, a.type, a.stride, reinterpret_cast<void*>(a.offset));
        });
        glClientActiveTexture(GL_TEXTURE0);
        SendArray(GL_TEXTURE_COORD_ARRAY, draw.texCoord, [](const Array& a) {
            glTexCoordPointer(a.size, a.type, a.stride, reinterpret_cast<void*>(a.offset));
        });
        if (draw.colour.size == 0)
            glColor4f(1, 1, 1, 1);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, draw.indexBuffer);
        glDrawElements(draw.mode, draw.count, draw.indexType, reinterpret_cast<void*>(draw.indexOffset));
        previous = &draw;
    }
    glFinish();
}

} // namespace scenebench
