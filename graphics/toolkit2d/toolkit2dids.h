#pragma once
// Module ids of the 2-D toolkit and its image formats: the plug-in id of
// their error records and the low 16 bits of their memory hints.

#include <cstdint>

constexpr uint32_t kPluginIdBmp = 0x19D;
constexpr uint32_t kPluginIdPng = 0x10D;
/// The vector toolkit (device state, brushes, paths, fonts, 2-D objects).
constexpr uint32_t kPluginIdToolkit2D = 0x190;
