#pragma once
// Named caps profiles of the software device, for tests and headless tools
// that must see the engine take the paths of smaller hardware:
//   "minimal"  MaxPointSize 1, 2 blend stages, no pixel shaders
//   "ff3"      3 blend stages, no vertex or pixel shaders
//   "full"     the defaults
//   "nohwtl"   no hardware transform and lighting
//   "vs96"     96 vertex-shader constants

#include "platform/d3d9/d3d9control.h"

/// The default adapter with the caps of `name` into `config`; false (config
/// untouched) for an unknown name.
bool D3D9CapsProfile(const char* name, D3D9AdapterConfig* config);
/// Makes later Direct3DCreate9 calls see one adapter of that profile; false
/// for an unknown name (the adapters unchanged). D3D9ResetAdapters undoes it.
bool D3D9UseCapsProfile(const char* name);
