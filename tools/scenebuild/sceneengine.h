#pragma once
// The engine for the scene tools, benchmarks and fuzz targets: started on
// the device double (no window) with the scene library and the collision
// plug-in attached.

/// Initialises, attaches the scene library, the collision plug-in and what
/// `attach` registers (when given), opens and starts; false on failure.
bool SceneEngineStart(bool (*attach)() = nullptr);
/// Stops and closes the engine from any state.
void SceneEngineStop();
