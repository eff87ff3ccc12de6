#include "platform/d3d9/testing/capsprofiles.h"

#include <cstring>

bool D3D9CapsProfile(const char* name, D3D9AdapterConfig* config)
{
    D3D9AdapterConfig adapter = D3D9DefaultAdapter();
    D3DCAPS9& caps = adapter.caps;
    if (std::strcmp(name, "minimal") == 0) {
        caps.MaxPointSize = 1.0f;
        caps.MaxTextureBlendStages = 2;
        caps.MaxSimultaneousTextures = 2;
        caps.PixelShaderVersion = 0;
    } else if (std::strcmp(name, "ff3") == 0) {
        caps.MaxTextureBlendStages = 3;
        caps.MaxSimultaneousTextures = 3;
        caps.VertexShaderVersion = 0;
        caps.PixelShaderVersion = 0;
    } else if (std::strcmp(name, "nohwtl") == 0) {
        caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    } else if (std::strcmp(name, "vs96") == 0) {
        caps.MaxVertexShaderConst = 96;
    } else if (std::strcmp(name, "full") != 0) {
        return false;
    }
    *config = adapter;
    return true;
}

bool D3D9UseCapsProfile(const char* name)
{
    D3D9AdapterConfig adapter;
    if (!D3D9CapsProfile(name, &adapter)) {
        return false;
    }
    D3D9SetAdapters(&adapter, 1);
    return true;
}
