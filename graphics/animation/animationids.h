#pragma once
// Module ids of the animation library: the plug-in id of their error records,
// engine modules and extensions, and the low 16 bits of their memory hints.

#include <cstdint>

constexpr uint32_t kPluginIdSpline = 0x102;
constexpr uint32_t kPluginIdAnimToolkit = 0x1B7;
constexpr uint32_t kPluginIdHierarchy = 0x11E;
constexpr uint32_t kPluginIdSkin = 0x116;
