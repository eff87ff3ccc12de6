#pragma once
// Whole-file reading and writing for the command-line tools.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Reads the whole file into `bytes` (replacing them); false when it cannot
/// be opened or read.
bool ToolReadFile(const std::string& path, std::vector<uint8_t>* bytes);
/// The same into a string (the bytes unchanged, no newline conversion).
bool ToolReadText(const std::string& path, std::string* text);
/// Writes `size` bytes as the whole file (replacing it); false when it cannot
/// be created or written completely.
bool ToolWriteFile(const std::string& path, const void* data, size_t size);
