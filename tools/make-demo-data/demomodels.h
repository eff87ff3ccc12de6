#pragma once
// The demo's small models that no other tool makes, built in code: the body
// proxy carrier "./Models/World.dff" (on disk "models/world.dff": names are lower
// case and the framework's file system ignores case), the muzzle fire, the four switch buttons,
// the lift platform, the dynamic sphere and box, and the two-atomic sky.
// Scene objects are scaled by 0.002 when placed, so these models are built at
// 500 units a metre; the sky is added to the world unscaled and is in metres.
#include <string>
#include <vector>

/// The models' file names under the data root (lower case), in writing order.
const std::vector<std::string>& DemoModelNames();

/// Writes every model under root (its "models/" folder must exist);
/// false with a message naming the model. Needs the engine started with the scene library.
bool DemoModelsWrite(const std::string& root, std::string& error);
