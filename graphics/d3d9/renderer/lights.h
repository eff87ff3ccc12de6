#pragma once
// Fixed-function lights: the scene's lights turned into Direct3D 9 device
// lights for each atomic or world sector drawn. A light keeps its device
// index across frames (so the driver's light cache skips unchanged lights);
// exactly the indices of the lights reaching the object are enabled, and
// ambient lights are summed into the ambient colour that the device
// material takes (D3D9GetAmbientLight).
//
// Lifecycle: LightsExtensionAttach at the renderer's open; LightsReset when
// the default atomic pipeline is made, LightsClose when it is destroyed.

#include <cstdint>

#include "graphics/core/matrix.h"

struct Atomic;
struct Light;
struct WorldSector;

/// Plug-in id of the light extension.
constexpr uint32_t kPluginIdD3D9Lights = 0x505;

/// Registers the 16-byte light extension (device index, attenuation); 1, or 0 when refused.
int32_t LightsExtensionAttach();
/// Constant, linear and quadratic attenuation (linear and quadratic per
/// radius and per radius squared); default (1, 0, 5).
void LightSetAttenuation(Light* light, const float attenuation[3]);
float* LightGetAttenuation(const Light* light, float out[3]);
/// The light's device index; -1 while it has none.
int32_t LightGetDeviceIndex(const Light* light);
/// The light's world matrix (its frame's), the identity without a frame.
Matrix LightMatrix(const Light* light);

/// Empties the index allocator and enabled lists and reads MaxActiveLights
/// from the device caps (0: no limit); 1.
int32_t LightsReset();
/// Frees the allocator's and the lists' memory; indices given back later are dropped.
void LightsClose();

/// Loads the current world's global lights sharing a flag bit with
/// `flagMask`: directional lights as device lights, the others into the
/// ambient colour (D3DRS_AMBIENT 0 when none matched); whether any matched.
int32_t LightsLoadGlobal(uint32_t flagMask);
/// Sends a directional light (colour, direction = its frame's "at") and
/// lists it for enabling; 1.
int32_t LightsLoadDirectional(Light* light);
/// Sends a point or spot light and lists it; 0 when skipped (radius 0 or not
/// a local type), else 1.
int32_t LightsLoad(Light* light);
/// `any` 0: D3DRS_LIGHTING off. Else enables the listed lights (at most
/// MaxActiveLights), disables those of the previous object that are not
/// listed, and turns lighting on. `flag` is unused.
void LightsEnable(int32_t any, uint32_t flag);

/// Lighting callbacks of the atomic node (also the skinned-atomic node's)
/// and of the sector node.
void ObjectLighting(void* atomic);
void SectorLightingCallBack(void* sector);
