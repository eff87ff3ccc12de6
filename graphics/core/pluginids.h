#pragma once
// Plug-in ids of the engine core's modules and extensions. Ids name a
// module's data in the engine instance, its memory hints (low 16 bits) and
// its sub-chunks in saved extension chunks.

#include <cstdint>

/// The engine core itself: the plug-in id of its plain error codes.
constexpr uint32_t kPluginIdCore = 1;
constexpr uint32_t kPluginIdVector = 0x401;
constexpr uint32_t kPluginIdMatrix = 0x402;
constexpr uint32_t kPluginIdFrame = 0x403;
constexpr uint32_t kPluginIdStream = 0x404;
constexpr uint32_t kPluginIdCamera = 0x405;
constexpr uint32_t kPluginIdImage = 0x406;
constexpr uint32_t kPluginIdRaster = 0x407;
constexpr uint32_t kPluginIdTexture = 0x408;
constexpr uint32_t kPluginIdPipeline = 0x409;
constexpr uint32_t kPluginIdImmediate3D = 0x40A;
constexpr uint32_t kPluginIdResources = 0x40B;
constexpr uint32_t kPluginIdD3D9Raster = 0x40C;
constexpr uint32_t kPluginIdEmptyModule = 0x40D;
constexpr uint32_t kPluginIdError = 0x40F;
constexpr uint32_t kPluginIdName = 0x412;
