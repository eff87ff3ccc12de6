#pragma once

#include <cstdint>

/// `count` box bodies in a context, a few awake and moving: each step the
/// manager's far-field stage must activate exactly what the awake bodies
/// reach over overlaps and list each overlapping pair with an active side
/// once, as a brute force finds them. Prints the awake and active sets;
/// 0 when every step matches.
int RunActivation(uint32_t count);
