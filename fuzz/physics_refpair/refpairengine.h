#pragma once
// The engine for the edge-data fuzz target and its corpus maker: the scene
// library and the collision plug-in attached, the edge data registered on
// sectors and geometries.

/// Starts the engine on the device double; false on failure.
bool RefPairEngineStart();
