#pragma once
// The engine for the material-effects fuzz target and its seed writer: the
// device double with the scene library and the effects plug-in attached, and
// the textures the seeds name in the current dictionary, so that reads find
// them.

/// The textures in the dictionary: the material seeds' and the sample
/// model's (whose cube environment is not among them: its reads find nothing).
inline constexpr const char* kEffectsSeedTextures[] = {"base",     "height",   "other",   "fxbase",
                                                       "fxsecond", "fxheight", "fxsphere"};

/// Starts it once; false when it did not start.
bool EffectsEngineStart();
