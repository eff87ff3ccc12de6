// Compiling the device state for drawing: the input layout, the vertex
// side (transforms, lighting, vertex fog, viewport) and the pixel side
// (targets and tests, blending, fog, texture stages, clip rectangle, pixel
// shader), one state group at a time. Draws recompile when the state changed.
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

// A light in camera space, its direction pointing towards the light.
LightCompiled CompileLight(const D3DLIGHT9& l, const D3DMATRIX& v)
{
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
    return c;
}

} // namespace

bool Device::CompileDraw()
{
    if (!CompileInputLayout())
        return false;
    CompileVertexSide();
    pixel_ = PixelState();
    CompilePixelTests();
    CompileFog();
    CompileStages();
    CompileClipRect();
    CompilePixelShader();
    PixelStateFinish(&pixel_);
    dirty_ = false;
    return true;
}

bool Device::CompileInputLayout()
{
    if (declaration_) {
        if (layoutDeclaration_ != declaration_ || layoutFvf_ != 0) {
            layout_ = LayoutFromElements(declaration_->elements.data(), declaration_->elements.size());
            layoutDeclaration_ = declaration_;
            layoutFvf_ = 0;
        }
        return true;
    }
    if (fvf_ == 0)
        return false;
    if (layoutFvf_ != fvf_ || layoutDeclaration_) {
        if (!ElementsFromFvf(fvf_, &fvfElements_))
            return false;
        layout_ = LayoutFromElements(fvfElements_.data(), fvfElements_.size());
        layoutFvf_ = fvf_;
        layoutDeclaration_ = nullptr;
    }
    return true;
}

void Device::CompileVertexSide()
{
    const DWORD* rs = state_.renderStates;
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
        if (slot.enabled && vc.lights.size() < caps_.MaxActiveLights)
            vc.lights.push_back(CompileLight(slot.light, state_.view));
    }
    vc.fogVertex = rs[D3DRS_FOGENABLE] && rs[D3DRS_FOGTABLEMODE] == D3DFOG_NONE &&
                   rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE && !layout_.positionT;
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
    vc.vertexShader = vertexShader_ ? vertexShader_->program : nullptr;
    vc.vsConstants = state_.vsConstants;
    // A vertex shader replaces transform, lighting and vertex fog.
    if (vertexShader_)
        vc.lighting = vc.fogVertex = false;
}

void Device::CompilePixelTests()
{
    const DWORD* rs = state_.renderStates;
    PixelState& ps = pixel_;
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
}

void Device::CompileFog()
{
    const DWORD* rs = state_.renderStates;
    PixelState& ps = pixel_;
    const VertexConfig& vc = vertex_;
    const DWORD tableMode = rs[D3DRS_FOGTABLEMODE];
    ps.fog = rs[D3DRS_FOGENABLE] &&
             (tableMode != D3DFOG_NONE || vc.fogVertex || layout_.positionT || vertexShader_);
    ps.fogTableMode = tableMode;
    ps.fogStart = vc.fogStart;
    ps.fogEnd = vc.fogEnd;
    ps.fogDensity = vc.fogDensity;
    ps.fogUseW = layout_.positionT || state_.projection.m[2][3] != 0.0f;
    float fogColour[4];
    ColourFloats(rs[D3DRS_FOGCOLOR], fogColour);
    std::memcpy(ps.fogColor, fogColour, sizeof(ps.fogColor));
}

void Device::CompileStages()
{
    PixelState& ps = pixel_;
    VertexConfig& vc = vertex_;
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
        CompileSampler(stages, &st);
    }
    ps.stageCount = stages;
    vc.stageCount = stages;
    ps.attrCount = kAttrTex + 4 * stages;
}

void Device::CompileSampler(int stage, StageConfig* st)
{
    SamplerConfig& smp = st->sampler;
    smp = SamplerConfig();
    bool cube = false;
    smp.chain = TextureChain(textures_[stage], &cube);
    smp.cube = cube;
    if (!smp.chain)
        return;
    const DWORD* sm = state_.samplerStates[stage];
    smp.addressU = sm[D3DSAMP_ADDRESSU];
    smp.addressV = sm[D3DSAMP_ADDRESSV];
    smp.addressW = sm[D3DSAMP_ADDRESSW];
    smp.border = sm[D3DSAMP_BORDERCOLOR];
    smp.magFilter = sm[D3DSAMP_MAGFILTER];
    smp.minFilter = sm[D3DSAMP_MINFILTER];
    smp.mipFilter = sm[D3DSAMP_MIPFILTER];
    smp.lodBias = AsFloat(sm[D3DSAMP_MIPMAPLODBIAS]);
    smp.firstLevel = std::max<UINT>(sm[D3DSAMP_MAXMIPLEVEL], textures_[stage]->GetLOD());
    Surface* top = smp.chain->Level(0, 0);
    st->bumpSigned = top->info.signedBump;
    if (top->format == D3DFMT_P8 || top->format == D3DFMT_A8P8)
        smp.palette = PaletteWords(state_.currentPalette, &smp.paletteStamp);
}

void Device::CompileClipRect()
{
    // Viewport, targets and scissor.
    PixelState& ps = pixel_;
    const D3DVIEWPORT9& vp = state_.viewport;
    int x0 = int(vp.X), y0 = int(vp.Y), x1 = int(vp.X + vp.Width), y1 = int(vp.Y + vp.Height);
    if (ps.target.color) {
        x1 = std::min(x1, int(ps.target.color->width));
        y1 = std::min(y1, int(ps.target.color->height));
    }
    if (ps.target.depth) {
        x1 = std::min(x1, int(ps.target.depth->width));
        y1 = std::min(y1, int(ps.target.depth->height));
    }
    if (state_.renderStates[D3DRS_SCISSORTESTENABLE]) {
        x0 = std::max(x0, int(state_.scissor.left));
        y0 = std::max(y0, int(state_.scissor.top));
        x1 = std::min(x1, int(state_.scissor.right));
        y1 = std::min(y1, int(state_.scissor.bottom));
    }
    ps.clipX0 = x0;
    ps.clipY0 = y0;
    ps.clipX1 = x1;
    ps.clipY1 = y1;
}

void Device::CompilePixelShader()
{
    if (!pixelShader_)
        return;
    PixelState& ps = pixel_;
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

} // namespace d3d9sw
