#pragma once
// physics-sim broadphase: random moving boxes through the far field, with
// the pair count checked against a brute force after every step.

#include <cstdint>

/// N boxes, 50 steps with 5 % moving; 0 when every step matches.
int RunBroadphase(uint32_t count);
