#pragma once
// The engine for the material-effects fuzz target and its seed writer: the
// device double with the scene library and the effects plug-in attached, and
// the textures the seeds name ("base", "height", "other") in the current
// dictionary, so that reads find them.

/// Starts it once; false when it did not start.
bool EffectsEngineStart();
