#pragma once
// Private to the driver: the tables that map engine render-state values onto
// Direct3D 9 values, shared by the render-state code and the restore after
// a device reset.

#include <cstdint>

#include "platform/d3d9/d3d9.h"

struct D3D9FilterEntry
{
    uint32_t minMag;
    uint32_t mip;
};
/// Engine filter modes 0..6, then their anisotropic variants (mode + 7).
constexpr D3D9FilterEntry kD3D9FilterTable[] = {
    {D3DTEXF_NONE, D3DTEXF_NONE},          {D3DTEXF_POINT, D3DTEXF_NONE},
    {D3DTEXF_LINEAR, D3DTEXF_NONE},        {D3DTEXF_POINT, D3DTEXF_POINT},
    {D3DTEXF_LINEAR, D3DTEXF_POINT},       {D3DTEXF_POINT, D3DTEXF_LINEAR},
    {D3DTEXF_LINEAR, D3DTEXF_LINEAR},      {D3DTEXF_ANISOTROPIC, D3DTEXF_NONE},
    {D3DTEXF_ANISOTROPIC, D3DTEXF_NONE},   {D3DTEXF_ANISOTROPIC, D3DTEXF_NONE},
    {D3DTEXF_ANISOTROPIC, D3DTEXF_POINT},  {D3DTEXF_ANISOTROPIC, D3DTEXF_POINT},
    {D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR}, {D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR},
};
constexpr uint32_t kD3D9FilterEntries = sizeof(kD3D9FilterTable) / sizeof(kD3D9FilterTable[0]);
static_assert(kD3D9FilterEntries == 14, "seven filter modes and their anisotropic variants");

/// Engine fog types 0 none, 1 linear, 2 exponential, 3 exponential squared.
constexpr uint32_t kD3D9FogModes[] = {D3DFOG_NONE, D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2};

/// FOGTABLEMODE / FOGVERTEXMODE for an engine fog type, by the device's fog caps.
void D3D9SendFogMode(uint32_t fogType);
/// MIN/MAG/MIP filters of a filter-table index for a stage (sampler cache).
void D3D9SendStageFilter(uint32_t stage, uint32_t index);
/// Forgets every render, stage and sampler state and the material.
void D3D9StateCachesForget();
