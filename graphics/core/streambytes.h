#pragma once

// The bytes a writer puts into a memory stream, copied out into a vector:
// the one way tests, tools and seed makers capture what a stream writer makes.

#include <cstdint>
#include <functional>
#include <vector>

struct Stream;

/// Runs `write` on a fresh memory stream and returns what it wrote; empty when
/// the stream cannot be opened, `write` answers false or the close fails.
std::vector<uint8_t> StreamWrittenBytes(const std::function<bool(Stream*)>& write);
