#pragma once
// The seeds of the physics stream fuzz target, made by the physics writers:
// a body definition for every volume kind, and one chunk of every
// definition and object type. The corpus maker writes them and its check
// mode pins the committed corpus to them.

#include <cstdint>
#include <string>
#include <vector>

struct PhysicsStreamSeed
{
    std::string name;
    std::vector<uint8_t> bytes;
};

/// The custom volume type the seeds and the target share (id 77).
void PhysicsStreamRegisterCustomType();
/// Every seed; the engine must be started.
std::vector<PhysicsStreamSeed> PhysicsStreamSeeds();
