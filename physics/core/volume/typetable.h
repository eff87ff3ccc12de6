#pragma once
// The table of the built-in volume types.

#include "physics/core/volume/volume.h"

/// The descriptor of built-in type `typeId`, null for an unknown id or a
/// type not built into this library.
const OlpVolumeDescriptor* OlpVolumeGetBuiltinDescriptor(uint32_t typeId);
