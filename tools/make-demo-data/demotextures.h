#pragma once
// The demo's textures that no other tool makes, drawn in code: the particle
// and the sky dome. (The pointer, the target and the start screen's pictures
// come from framework-data.) Deterministic.
#include <string>
#include <vector>

/// The textures' file names under "models/textures/", lower case, in writing order.
const std::vector<std::string>& DemoTextureNames();

/// Writes every texture into "models/textures/" of the file-system manager's
/// default file system (the folder must exist); false with a message naming the
/// file that could not be made or written. Needs the engine started.
bool DemoTexturesWrite(std::string& error);
