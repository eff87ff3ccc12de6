#pragma once
// The process-wide registry of custom collision-volume types, which the
// volume stream reader consults. A type registered twice is found under its
// most recent descriptor. The registry holds at most 64 registrations and
// lives for the process.

#include <cstdint>

#include "physics/core/volume/volume.h"

/// Registrations the registry holds.
constexpr uint32_t kOlpVolumeTypeCapacity = 64;

/// With a descriptor: registers it under `typeId` (the newest first); 1, or
/// 0 when the registry is full. With a null descriptor: 1 when `typeId` is
/// registered, else 0. The first argument is ignored.
int32_t OlpVolumeTypeRegister(void* ignored, uint32_t typeId, const OlpVolumeDescriptor* descriptor);
/// The most recent descriptor registered under `typeId`; null when none.
const OlpVolumeDescriptor* OlpVolumeTypeFind(void* ignored, uint32_t typeId);
