// Draw calls: compiling the state, vertex processing, primitive assembly,
// culling and clipping.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/device.h"

namespace d3d9sw {
namespace {

void Multiply(const D3DMATRIX& a, const D3DMATRIX& b, float out[4][4])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i][j] =
                a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
}

// Inverse transpose of the upper 3x3 (for normals under row vectors).
void NormalMatrix(const float m[4][4], float out[3][3])
{
    float a = m[0][0], b = m[0][1], c = m[0][2], d = m[1][0], e = m[1][1], f = m[1][2], g = m[2][0],
          h = m[2][1], i = m[2][2];
    float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    float det = a * A + b * B + c * C;
    float inv = det != 0.0f ? 1.0f / det : 0.0f;
    // cofactor matrix / det = (M^-1)^T
    out[0][0] = A * inv;
    out[0][1] = B * inv;
    out[0][2] = C * inv;
    out[1][0] = -(b * i - c * h) * inv;
    out[1][1] = (a * i - c * g) * inv;
    out[1][2] = -(a * h - b * g) * inv;
    out[2][0] = (b * f - c * e) * inv;
    out[2][1] = -(a * f - c * d) * inv;
    out[2][2] = (a * e - b * d) * inv;
}

float AsFloat(DWORD d)
{
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

void ColourFloats(D3DCOLOR c, float out[4])
{
    out[0] = float((c >> 16) & 255) / 255.0f;
    out[1] = float((c >> 8) & 255) / 255.0f;
    out[2] = float(c & 255) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

UINT VerticesFor(D3DPRIMITIVETYPE type, UINT primitives)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return primitives;
    case D3DPT_LINELIST:
        return primitives * 2;
    case D3DPT_LINESTRIP:
        return primitives + 1;
    case D3DPT_TRIANGLELIST:
        return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return primitives + 2;
    default:
        return 0;
    }
}

constexpr int kClipPlanes = 6;
constexpr int kMaxPolygon = 3 + kClipPlanes;

// Signed distance of a clip-space position to clip plane p (inside >= 0).
inline float PlaneDistance(int p, const float* v, float guardX, float guardY)
{
    switch (p) {
    case 0:
        return v[3] * guardX + v[0];
    case 1:
        return v[3] * guardX - v[0];
    case 2:
        return v[3] * guardY + v[1];
    case 3:
        return v[3] * guardY - v[1];
    case 4:
        return v[2];
    default:
        return v[3] - v[2];
    }
}

} // namespace

bool Device::CompileDraw()
{
    const DWORD* rs = state_.renderStates;
    // Input layout.
    if (declaration_) {
        if (layoutDeclaration_ != declaration_ || layoutFvf_ != 0) {
            layout_ = LayoutFromElements(declaration_->elements.data(), declaration_->elements.size());
            layoutDeclaration_ = declaration_;
            layoutFvf_ = 0;
        }
    } else {
        if (fvf_ == 0)
            return false;
        if (layoutFvf_ != fvf_ || layoutDeclaration_) {
            if (!ElementsFromFvf(fvf_, &fvfElements_))
                return false;
            layout_ = LayoutFromElements(fvfElements_.data(), fvfElements_.size());
            layoutFvf_ = fvf_;
            layoutDeclaration_ = nullptr;
        }
    }

    // Vertex side.
    VertexConfig& vc = vertex_;
    D3DMATRIX worldView{};
    Multiply(state_.world, state_.view, worldView.m);
    std::memcpy(vc.worldView, worldView.m, sizeof(vc.worldView));
    Multiply(worldView, state_.projection, vc.worldViewProj);
    NormalMatrix(vc.worldView, vc.normal);
    vc.lighting = rs[D3DRS_LIGHTING] && !layout_.positionT;
    vc.normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
    vc.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
    vc.specular = rs[D3DRS_SPECULARENABLE] != 0;
    ColourFloats(rs[D3DRS_AMBIENT], vc.ambient);
    vc.material = state_.material;
    const bool colourVertex = rs[D3DRS_COLORVERTEX] != 0;
    vc.diffuseSource = colourVertex ? rs[D3DRS_DIFFUSEMATERIALSOURCE] : DWORD(D3DMCS_MATERIAL);
    vc.ambientSource = colourVertex ? rs[D3DRS_AMBIENTMATERIALSOURCE] : DWORD(D3DMCS_MATERIAL);
    vc.specularSource = colourVertex ? rs[D3DRS_SPECULARMATERIALSOURCE] : DWORD(D3DMCS_MATERIAL);
    vc.emissiveSource = colourVertex ? rs[D3DRS_EMISSIVEMATERIALSOURCE] : DWORD(D3DMCS_MATERIAL);
    vc.lights.clear();
    for (size_t i = 0; i < state_.lights.size() && vc.lighting; ++i) {
        const LightSlot& slot = state_.lights[i];
        if (!slot.enabled || vc.lights.size() >= caps_.MaxActiveLights)
            continue;
        const D3DLIGHT9& l = slot.light;
        LightCompiled c{};
        c.type = l.Type;
        ColourFloats(0, c.diffuse);
        c.diffuse[0] = l.Diffuse.r;
        c.diffuse[1] = l.Diffuse.g;
        c.diffuse[2] = l.Diffuse.b;
        c.specular[0] = l.Specular.r;
        c.specular[1] = l.Specular.g;
        c.specular[2] = l.Specular.b;
        c.ambient[0] = l.Ambient.r;
        c.ambient[1] = l.Ambient.g;
        c.ambient[2] = l.Ambient.b;
        const D3DMATRIX& v = state_.view;
        float p[3] = {l.Position.x, l.Position.y, l.Position.z};
        for (int j = 0; j < 3; ++j)
            c.position[j] = p[0] * v.m[0][j] + p[1] * v.m[1][j] + p[2] * v.m[2][j] + v.m[3][j];
        float d[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
        for (int j = 0; j < 3; ++j)
            c.direction[j] = -(d[0] * v.m[0][j] + d[1] * v.m[1][j] + d[2] * v.m[2][j]);
        float len = std::sqrt(c.direction[0] * c.direction[0] + c.direction[1] * c.direction[1] +
                              c.direction[2] * c.direction[2]);
        if (len > 0.0f)
            for (float& x : c.direction)
                x /= len;
        c.range = l.Type == D3DLIGHT_DIRECTIONAL ? 0.0f : l.Range;
        c.att0 = l.Attenuation0;
        c.att1 = l.Attenuation1;
        c.att2 = l.Attenuation2;
        c.falloff = l.Falloff;
        c.cosHalfTheta = std::cos(l.Theta * 0.5f);
        c.cosHalfPhi = std::cos(l.Phi * 0.5f);
        vc.lights.push_back(c);
    }
    const bool fogOn = rs[D3DRS_FOGENABLE] != 0;
    const DWORD tableMode = rs[D3DRS_FOGTABLEMODE];
    vc.fogVertex =
        fogOn && tableMode == D3DFOG_NONE && rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE && !layout_.positionT;
    vc.fogMode = rs[D3DRS_FOGVERTEXMODE];
    vc.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
    vc.fogStart = AsFloat(rs[D3DRS_FOGSTART]);
    vc.fogEnd = AsFloat(rs[D3DRS_FOGEND]);
    vc.fogDensity = AsFloat(rs[D3DRS_FOGDENSITY]);
    vc.pointSize = AsFloat(rs[D3DRS_POINTSIZE]);
    const D3DVIEWPORT9& vp = state_.viewport;
    vc.vpX = float(vp.X);
    vc.vpY = float(vp.Y);
    vc.vpW = float(vp.Width);
    vc.vpH = float(vp.Height);
    vc.vpMinZ = vp.MinZ;
    vc.vpMaxZ = vp.MaxZ;

    // Pixel side.
    PixelState& ps = pixel_;
    ps = PixelState();
    ps.target.color = renderTargets_[0];
    const bool zEnable = rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    const bool stencilEnable = rs[D3DRS_STENCILENABLE] != 0;
    ps.target.depth = (zEnable || stencilEnable) ? depthStencil_ : nullptr;
    ps.depthTest = zEnable && rs[D3DRS_ZFUNC] != D3DCMP_ALWAYS;
    ps.depthWrite = zEnable && rs[D3DRS_ZWRITEENABLE];
    ps.depthFunc = rs[D3DRS_ZFUNC];
    ps.stencil = stencilEnable && depthStencil_ && depthStencil_->info.stencil;
    ps.stencilFunc = rs[D3DRS_STENCILFUNC];
    ps.stencilFail = rs[D3DRS_STENCILFAIL];
    ps.stencilZFail = rs[D3DRS_STENCILZFAIL];
    ps.stencilPass = rs[D3DRS_STENCILPASS];
    ps.stencilRef = rs[D3DRS_STENCILREF] & 0xFF;
    ps.stencilMask = rs[D3DRS_STENCILMASK] & 0xFF;
    ps.stencilWriteMask = rs[D3DRS_STENCILWRITEMASK] & 0xFF;
    ps.alphaTest = rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS;
    ps.alphaFunc = rs[D3DRS_ALPHAFUNC];
    ps.alphaRef = float(rs[D3DRS_ALPHAREF] & 0xFF);
    ps.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    ps.srcBlend = rs[D3DRS_SRCBLEND];
    ps.destBlend = rs[D3DRS_DESTBLEND];
    ps.blendOp = rs[D3DRS_BLENDOP];
    ps.separateAlpha = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
    ps.srcBlendAlpha = rs[D3DRS_SRCBLENDALPHA];
    ps.destBlendAlpha = rs[D3DRS_DESTBLENDALPHA];
    ps.blendOpAlpha = rs[D3DRS_BLENDOPALPHA];
    ColourFloats(rs[D3DRS_BLENDFACTOR], ps.blendFactor);
    ColourFloats(rs[D3DRS_TEXTUREFACTOR], ps.tfactor);
    ps.colorWriteMask = rs[D3DRS_COLORWRITEENABLE] & 0xF;
    ps.specularAdd = rs[D3DRS_SPECULARENABLE] != 0;
    vc.vertexShader = vertexShader_ ? vertexShader_->program : nullptr;
    vc.vsConstants = state_.vsConstants;
    if (vertexShader_)
        vc.lighting = vc.fogVertex = false;
    ps.fog = fogOn && (tableMode != D3DFOG_NONE || vc.fogVertex || layout_.positionT || vertexShader_);
    ps.fogTableMode = tableMode;
    ps.fogStart = vc.fogStart;
    ps.fogEnd = vc.fogEnd;
    ps.fogDensity = vc.fogDensity;
    ps.fogUseW = layout_.positionT || state_.projection.m[2][3] != 0.0f;
    float fogColour[4];
    ColourFloats(rs[D3DRS_FOGCOLOR], fogColour);
    std::memcpy(ps.fogColor, fogColour, sizeof(ps.fogColor));

    int stages = 0;
    vc.needCamera = false;
    for (; stages < kMaxStages; ++stages) {
        const DWORD* t = state_.stageStates[stages];
        // A pixel shader reads stages 0-3 whatever their operations.
        if (pixelShader_ ? stages >= kShaderPixelTextures : t[D3DTSS_COLOROP] == D3DTOP_DISABLE)
            break;
        StageConfig& st = ps.stages[stages];
        st.colorOp = t[D3DTSS_COLOROP];
        st.colorArg0 = t[D3DTSS_COLORARG0];
        st.colorArg1 = t[D3DTSS_COLORARG1];
        st.colorArg2 = t[D3DTSS_COLORARG2];
        st.alphaOp = t[D3DTSS_ALPHAOP];
        st.alphaArg0 = t[D3DTSS_ALPHAARG0];
        st.alphaArg1 = t[D3DTSS_ALPHAARG1];
        st.alphaArg2 = t[D3DTSS_ALPHAARG2];
        st.resultArg = t[D3DTSS_RESULTARG];
        for (int k = 0; k < 4; ++k)
            st.bumpMat[k] = AsFloat(t[D3DTSS_BUMPENVMAT00 + k]);
        st.bumpLScale = AsFloat(t[D3DTSS_BUMPENVLSCALE]);
        st.bumpLOffset = AsFloat(t[D3DTSS_BUMPENVLOFFSET]);
        st.coordSlot = kAttrTex + 4 * stages;
        TexGen& g = vc.tex[stages];
        g.mode = t[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
        g.source = int(t[D3DTSS_TEXCOORDINDEX] & 7);
        DWORD ttff = t[D3DTSS_TEXTURETRANSFORMFLAGS];
        g.transform = layout_.positionT ? 0 : (ttff & 0xFF);
        std::memcpy(g.matrix, state_.texture[stages].m, sizeof(g.matrix));
        if (g.mode != D3DTSS_TCI_PASSTHRU)
            vc.needCamera = true;
        int comps = g.transform                     ? int(g.transform)
                    : g.mode != D3DTSS_TCI_PASSTHRU ? 3
                                                    : std::max<int>(1, layout_.texComponents[g.source]);
        if (vertexShader_) {
            // Components the shader writes to that coordinate output.
            uint32_t written = ShaderProgramOutputComponents(
                vertexShader_->program, ShaderOutput(kShaderOutTexCoord0 + std::min(g.source, 7)));
            comps = written & 8 ? 4 : written & 4 ? 3 : written & 2 ? 2 : 1;
        }
        st.projected = (ttff & D3DTTFF_PROJECTED) != 0 && !layout_.positionT;
        st.coordCount = comps;
        SamplerConfig& smp = st.sampler;
        smp = SamplerConfig();
        bool cube = false;
        smp.chain = TextureChain(textures_[stages], &cube);
        smp.cube = cube;
        if (smp.chain) {
            const DWORD* sm = state_.samplerStates[stages];
            smp.addressU = sm[D3DSAMP_ADDRESSU];
            smp.addressV = sm[D3DSAMP_ADDRESSV];
            smp.addressW = sm[D3DSAMP_ADDRESSW];
            smp.border = sm[D3DSAMP_BORDERCOLOR];
            smp.magFilter = sm[D3DSAMP_MAGFILTER];
            smp.minFilter = sm[D3DSAMP_MINFILTER];
            smp.mipFilter = sm[D3DSAMP_MIPFILTER];
            smp.lodBias = AsFloat(sm[D3DSAMP_MIPMAPLODBIAS]);
            smp.firstLevel = std::max<UINT>(sm[D3DSAMP_MAXMIPLEVEL], textures_[stages]->GetLOD());
            Surface* top = smp.chain->Level(0, 0);
            st.bumpSigned = top->info.signedBump;
            if (top->format == D3DFMT_P8 || top->format == D3DFMT_A8P8)
                smp.palette = PaletteWords(state_.currentPalette, &smp.paletteStamp);
        }
    }
    ps.stageCount = stages;
    vc.stageCount = stages;
    ps.attrCount = kAttrTex + 4 * stages;

    // Clip rectangle: viewport, targets and scissor.
    int x0 = int(vp.X), y0 = int(vp.Y), x1 = int(vp.X + vp.Width), y1 = int(vp.Y + vp.Height);
    if (ps.target.color) {
        x1 = std::min(x1, int(ps.target.color->width));
        y1 = std::min(y1, int(ps.target.color->height));
    }
    if (ps.target.depth) {
        x1 = std::min(x1, int(ps.target.depth->width));
        y1 = std::min(y1, int(ps.target.depth->height));
    }
    if (rs[D3DRS_SCISSORTESTENABLE]) {
        x0 = std::max(x0, int(state_.scissor.left));
        y0 = std::max(y0, int(state_.scissor.top));
        x1 = std::min(x1, int(state_.scissor.right));
        y1 = std::min(y1, int(state_.scissor.bottom));
    }
    ps.clipX0 = x0;
    ps.clipY0 = y0;
    ps.clipX1 = x1;
    ps.clipY1 = y1;
    if (pixelShader_) {
        ps.pixelShader = pixelShader_->program;
        ps.shaderState.constants = state_.psConstants;
        ps.shaderState.maxValue = caps_.PixelShader1xMaxValue;
        for (int s = 0; s < kShaderPixelTextures; ++s) {
            const StageConfig& st = ps.stages[s];
            std::memcpy(ps.shaderState.bumpEnvMat[s], st.bumpMat, sizeof(st.bumpMat));
            ps.shaderState.bumpEnvLScale[s] = st.bumpLScale;
            ps.shaderState.bumpEnvLOffset[s] = st.bumpLOffset;
        }
        ps.specularAdd = false; // the shader decides what specular does
    }
    PixelStateFinish(&ps);
    dirty_ = false;
    return true;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount)
{
    return Draw(type, primitiveCount, 0, startVertex, VerticesFor(type, primitiveCount), nullptr, false,
                nullptr, 0);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount)
{
    if (!indices_)
        return D3DERR_INVALIDCALL;
    const bool index32 = indices_->format == D3DFMT_INDEX32;
    const size_t indexSize = index32 ? 4 : 2;
    const size_t count = VerticesFor(type, primitiveCount);
    if ((size_t(startIndex) + count) * indexSize > indices_->store.bytes.size())
        return D3DERR_INVALIDCALL;
    const uint8_t* data = indices_->store.bytes.data() + size_t(startIndex) * indexSize;
    return Draw(type, primitiveCount, baseVertex, minIndex, numVertices, data, index32, nullptr, 0);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride)
{
    if (!vertices || stride == 0)
        return D3DERR_INVALIDCALL;
    // Direct3D unbinds stream 0 after a user-pointer draw.
    HoldRef(streams_[0].buffer, static_cast<VertexBuffer*>(nullptr));
    streams_[0] = {};
    return Draw(type, primitiveCount, 0, 0, VerticesFor(type, primitiveCount), nullptr, false,
                static_cast<const uint8_t*>(vertices), stride);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                       UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                       const void* vertices, UINT stride)
{
    if (!vertices || !indices || stride == 0)
        return D3DERR_INVALIDCALL;
    if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)
        return D3DERR_INVALIDCALL;
    HoldRef(streams_[0].buffer, static_cast<VertexBuffer*>(nullptr));
    streams_[0] = {};
    HoldRef(indices_, static_cast<IndexBuffer*>(nullptr));
    return Draw(type, primitiveCount, 0, minIndex, numVertices, static_cast<const uint8_t*>(indices),
                indexFormat == D3DFMT_INDEX32, static_cast<const uint8_t*>(vertices), stride);
}

HRESULT Device::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, int baseVertex, UINT minIndex,
                     UINT numVertices, const void* indexData, bool index32, const uint8_t* userVertices,
                     UINT userStride)
{
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    if (primitiveCount > caps_.MaxPrimitiveCount)
        return D3DERR_INVALIDCALL;
    // A lost device accepts draws and draws nothing, as Direct3D does.
    if (condition_ != D3D9Condition::Operational)
        return D3D_OK;
    if (!renderTargets_[0])
        return D3DERR_INVALIDCALL;
    if (dirty_ && !CompileDraw())
        return D3DERR_INVALIDCALL;
    if (numVertices == 0)
        return D3DERR_INVALIDCALL;

    // Stream pointers at the first processed vertex, each range checked.
    const uint8_t* base[kMaxStreams] = {};
    UINT strides[kMaxStreams] = {};
    const int64_t first = int64_t(baseVertex) + minIndex;
    if (first < 0)
        return D3DERR_INVALIDCALL;
    for (const InputElement& e : layout_.elements) {
        const uint8_t* bytes;
        size_t size;
        UINT stride, offset;
        if (userVertices) {
            if (e.stream != 0)
                return D3DERR_INVALIDCALL;
            bytes = userVertices;
            stride = userStride;
            offset = 0;
            size = SIZE_MAX;
        } else {
            const StreamBinding& sb = streams_[e.stream];
            if (!sb.buffer)
                return D3DERR_INVALIDCALL;
            bytes = sb.buffer->store.bytes.data();
            size = sb.buffer->store.bytes.size();
            stride = sb.stride;
            offset = sb.offset;
        }
        uint64_t end =
            uint64_t(offset) + uint64_t(first + numVertices - 1) * stride + e.offset + DeclTypeSize(e.type);
        if (end > size)
            return D3DERR_INVALIDCALL;
        base[e.stream] = bytes + offset + size_t(first) * stride;
        strides[e.stream] = stride;
    }

    // Transform and light the used range once.
    if (vertexCache_.size() < numVertices)
        vertexCache_.resize(numVertices);
    if (vertexShader_)
        ProcessVerticesShader(vertex_, layout_, base, strides, numVertices, pixel_.attrCount,
                              vertexCache_.data());
    else
        ProcessVertices(vertex_, layout_, base, strides, numVertices, pixel_.attrCount, vertexCache_.data());
    VertexOut* verts = vertexCache_.data();
    Surface* rt = pixel_.target.color;
    rt->Touch();
    if (pixel_.target.depth)
        pixel_.target.depth->Touch();

    const PixelState& ps = pixel_;
    const VertexConfig& vc = vertex_;
    const bool flat = state_.renderStates[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    const DWORD cull = state_.renderStates[D3DRS_CULLMODE];
    const DWORD fill = state_.renderStates[D3DRS_FILLMODE];
    const bool pretransformed = layout_.positionT;
    // Guard band: keep screen coordinates within +-8192 pixels of the viewport.
    const float guardX = std::max(1.0f, 16384.0f / vc.vpW), guardY = std::max(1.0f, 16384.0f / vc.vpH);
    const int attrCount = ps.attrCount;

    auto toScreen = [&](const VertexOut& v, ScreenVertex* s) {
        if (pretransformed) {
            *s = {v.pos[0], v.pos[1], v.pos[2], v.pos[3], v.attr};
            return;
        }
        float rhw = 1.0f / v.pos[3];
        s->x = vc.vpX + (v.pos[0] * rhw + 1.0f) * vc.vpW * 0.5f;
        s->y = vc.vpY + (1.0f - v.pos[1] * rhw) * vc.vpH * 0.5f;
        s->z = vc.vpMinZ + v.pos[2] * rhw * (vc.vpMaxZ - vc.vpMinZ);
        s->rhw = rhw;
        s->attr = v.attr;
    };
    auto outcode = [&](const VertexOut& v) {
        int code = 0;
        if (pretransformed) {
            if (!(std::fabs(v.pos[0]) < 16384.0f && std::fabs(v.pos[1]) < 16384.0f && v.pos[3] > 0.0f))
                code = 1;
            return code;
        }
        for (int p = 0; p < kClipPlanes; ++p)
            if (!(PlaneDistance(p, v.pos, guardX, guardY) >= 0.0f))
                code |= 1 << p;
        return code;
    };
    auto cullArea = [&](float area) {
        if (area == 0.0f)
            return true;
        if (cull == D3DCULL_CCW)
            return area < 0.0f;
        if (cull == D3DCULL_CW)
            return area > 0.0f;
        return false;
    };
    auto drawPolygon = [&](ScreenVertex* sv, int n, const float* flatAttr) {
        float area = 0.0f;
        for (int i = 0; i < n; ++i) {
            const ScreenVertex &a = sv[i], &b = sv[(i + 1) % n];
            area += a.x * b.y - b.x * a.y;
        }
        if (cullArea(area))
            return;
        if (fill == D3DFILL_POINT) {
            for (int i = 0; i < n; ++i)
                RasterPoint(ps, sv[i], 1.0f);
        } else if (fill == D3DFILL_WIREFRAME) {
            for (int i = 0; i < n; ++i)
                RasterLine(ps, sv[i], sv[(i + 1) % n], flatAttr);
        } else {
            for (int i = 1; i + 1 < n; ++i)
                RasterTriangle(ps, sv[0], sv[i], sv[i + 1], flatAttr);
        }
    };
    VertexOut clipped[2][kMaxPolygon];
    // Clip codes and screen positions once per vertex, not per triangle.
    if (codes_.size() < numVertices) {
        codes_.resize(numVertices);
        screen_.resize(numVertices);
    }
    for (UINT i = 0; i < numVertices; ++i) {
        codes_[i] = uint8_t(outcode(verts[i]));
        if (codes_[i] == 0)
            toScreen(verts[i], &screen_[i]);
    }
    auto triangle = [&](UINT ia, UINT ib, UINT ic) {
        const VertexOut &a = verts[ia], &b = verts[ib], &c = verts[ic];
        const float* flatAttr = flat ? a.attr : nullptr;
        int ca = codes_[ia], cb = codes_[ib], cc = codes_[ic];
        if (ca & cb & cc)
            return;
        ScreenVertex sv[kMaxPolygon];
        if ((ca | cb | cc) == 0) {
            sv[0] = screen_[ia];
            sv[1] = screen_[ib];
            sv[2] = screen_[ic];
            drawPolygon(sv, 3, flatAttr);
            return;
        }
        if (pretransformed)
            return; // beyond the guard band: dropped
        // Sutherland-Hodgman against the planes the triangle crosses.
        int n = 3, cur = 0;
        const size_t bytes = sizeof(float) * (4 + size_t(attrCount));
        auto copyVertex = [&](VertexOut& d, const VertexOut& s) {
            std::memcpy(d.pos, s.pos, 16);
            std::memcpy(d.attr, s.attr, bytes - 16);
        };
        copyVertex(clipped[0][0], a);
        copyVertex(clipped[0][1], b);
        copyVertex(clipped[0][2], c);
        const int planes = ca | cb | cc;
        for (int p = 0; p < kClipPlanes && n > 0; ++p) {
            if (!(planes & (1 << p)))
                continue;
            VertexOut* in = clipped[cur];
            VertexOut* out = clipped[cur ^ 1];
            int m = 0;
            for (int i = 0; i < n; ++i) {
                const VertexOut& s = in[i];
                const VertexOut& e = in[(i + 1) % n];
                float ds = PlaneDistance(p, s.pos, guardX, guardY),
                      de = PlaneDistance(p, e.pos, guardX, guardY);
                if (ds >= 0.0f)
                    copyVertex(out[m++], s);
                if ((ds >= 0.0f) != (de >= 0.0f) && m < kMaxPolygon) {
                    float t = ds / (ds - de);
                    VertexOut& o = out[m++];
                    for (int k = 0; k < 4; ++k)
                        o.pos[k] = s.pos[k] + (e.pos[k] - s.pos[k]) * t;
                    for (int k = 0; k < attrCount; ++k)
                        o.attr[k] = s.attr[k] + (e.attr[k] - s.attr[k]) * t;
                }
            }
            n = m;
            cur ^= 1;
        }
        if (n < 3)
            return;
        for (int i = 0; i < n; ++i)
            toScreen(clipped[cur][i], &sv[i]);
        drawPolygon(sv, n, flatAttr);
    };
    auto line = [&](const VertexOut& a, const VertexOut& b) {
        int ca = outcode(a), cb = outcode(b);
        if (ca & cb)
            return;
        VertexOut ends[2];
        const VertexOut* pa = &a;
        const VertexOut* pb = &b;
        if ((ca | cb) && !pretransformed) {
            float t0 = 0.0f, t1 = 1.0f;
            for (int p = 0; p < kClipPlanes; ++p) {
                float da = PlaneDistance(p, a.pos, guardX, guardY),
                      db = PlaneDistance(p, b.pos, guardX, guardY);
                if (da < 0 && db < 0)
                    return;
                if (da < 0)
                    t0 = std::max(t0, da / (da - db));
                if (db < 0)
                    t1 = std::min(t1, da / (da - db));
            }
            if (t0 >= t1)
                return;
            for (int e = 0; e < 2; ++e) {
                float t = e ? t1 : t0;
                for (int k = 0; k < 4; ++k)
                    ends[e].pos[k] = a.pos[k] + (b.pos[k] - a.pos[k]) * t;
                for (int k = 0; k < attrCount; ++k)
                    ends[e].attr[k] = a.attr[k] + (b.attr[k] - a.attr[k]) * t;
            }
            pa = &ends[0];
            pb = &ends[1];
        } else if (ca | cb) {
            return;
        }
        ScreenVertex sa, sb;
        toScreen(*pa, &sa);
        toScreen(*pb, &sb);
        RasterLine(ps, sa, sb, flat ? a.attr : nullptr);
    };

    const UINT count = VerticesFor(type, primitiveCount);
    auto fetchIndex = [&](UINT i, UINT* out) {
        if (!indexData) {
            *out = i;
            return true;
        }
        uint32_t idx;
        if (index32) {
            std::memcpy(&idx, static_cast<const uint8_t*>(indexData) + size_t(i) * 4, 4);
        } else {
            uint16_t v;
            std::memcpy(&v, static_cast<const uint8_t*>(indexData) + size_t(i) * 2, 2);
            idx = v;
        }
        // Indices outside the declared range would read unprocessed vertices.
        if (idx < minIndex || idx - minIndex >= numVertices)
            return false;
        *out = idx - minIndex;
        return true;
    };
    if (!indexData && count > numVertices)
        return D3DERR_INVALIDCALL;
    for (UINT p = 0; p < primitiveCount; ++p) {
        UINT i[3];
        switch (type) {
        case D3DPT_POINTLIST:
            if (fetchIndex(p, &i[0])) {
                const VertexOut& v = verts[i[0]];
                if (outcode(v) == 0) {
                    ScreenVertex s;
                    toScreen(v, &s);
                    RasterPoint(ps, s, vc.pointSize);
                }
            }
            break;
        case D3DPT_LINELIST:
        case D3DPT_LINESTRIP: {
            UINT k = type == D3DPT_LINELIST ? 2 * p : p;
            if (fetchIndex(k, &i[0]) && fetchIndex(k + 1, &i[1]))
                line(verts[i[0]], verts[i[1]]);
            break;
        }
        case D3DPT_TRIANGLELIST:
            if (fetchIndex(3 * p, &i[0]) && fetchIndex(3 * p + 1, &i[1]) && fetchIndex(3 * p + 2, &i[2]))
                triangle(i[0], i[1], i[2]);
            break;
        case D3DPT_TRIANGLESTRIP:
            if (fetchIndex(p, &i[0]) && fetchIndex(p + 1, &i[1]) && fetchIndex(p + 2, &i[2])) {
                if (p & 1)
                    triangle(i[0], i[2], i[1]);
                else
                    triangle(i[0], i[1], i[2]);
            }
            break;
        case D3DPT_TRIANGLEFAN:
            // The provoking vertex of a fan triangle is its second vertex.
            if (fetchIndex(0, &i[0]) && fetchIndex(p + 1, &i[1]) && fetchIndex(p + 2, &i[2]))
                triangle(i[1], i[2], i[0]);
            break;
        default:
            break;
        }
    }
    return D3D_OK;
}

} // namespace d3d9sw
