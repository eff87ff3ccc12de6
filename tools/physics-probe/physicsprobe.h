#pragma once
// Runs the framework's physics world on one configuration without a game or
// a window and writes a report: each world with its sectors, triangles and
// clumps, the registered objects, a table of segment, corridor and sphere
// queries around the first world's centre, and a box dropped onto the floor
// there, its height every 0.1 s (steps of 0.02 s) until it rests.
#include <string>

/// Reads `config`; the report goes to `out`. 0 when the box came to rest
/// within 5 s, 1 when it did not, 2 when no world was loaded.
int PhysicsProbe(const char* config, std::string* out);
