#pragma once
// The engine for the skin fuzz target and its seed writer: the device double
// with the scene library, hierarchical animation and skinning attached.

/// Starts it once; false when it did not start.
bool SkinEngineStart();
