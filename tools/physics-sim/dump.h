#pragma once
// physics-sim dump <file>: the physics definitions and objects of a stream
// file (chunks 0x907 to 0x90C) read back and printed: per definition its
// parts (volume type, margin, mass, centre of mass), joints (their parts and
// flags) and bone mapping. Other chunks are named and passed over.

#include <string>

/// 0 when every physics chunk read back, 1 otherwise (or when the file
/// cannot be opened).
int RunDump(const std::string& path);
