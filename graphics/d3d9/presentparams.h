#pragma once
// Private to the driver: the video-mode table and the presentation
// parameters built from a mode.

#include "graphics/d3d9/driverstate.h"

/// Sum of the adapter's modes over the three enumerated formats.
uint32_t D3D9CountAdapterModes();
/// Maximum multisampling levels for the current mode (resets all four values to 1 first).
void D3D9QueryMultiSampling();
/// (Re)builds the table from the adapter; false when out of memory.
bool D3D9BuildModeTable();
bool D3D9EnsureModeTable();
void D3D9FreeModeTable();
/// Presentation parameters for a mode (fields not named are left as they are).
void D3D9BuildPresentParameters(D3DPRESENT_PARAMETERS* params, const D3D9CurrentMode& mode,
                                D3DFORMAT desktopFormat);
/// Requested levels for `levels` (into *requested) and the non-maskable quality.
uint32_t D3D9ComputeMultiSampling(uint32_t levels, uint32_t* requested);
