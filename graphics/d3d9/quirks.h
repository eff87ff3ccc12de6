#pragma once
// Private to the driver: corrections of the caps for adapters known to
// report features they do not deliver.

#include "platform/d3d9/d3d9.h"

/// Clears the caps bits that the identified adapter cannot honour. True when
/// a correction applied.
bool D3D9ApplyAdapterQuirks(D3DCAPS9* caps, const D3DADAPTER_IDENTIFIER9* identifier);
