// Writing ".AIS" files (see ais_reader.h for the layout) and configuration text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Zelk {

class CConfigNode;

/// Supplies the bytes of a "RawData" node's block; false when they cannot be had.
using AisRawDataProvider = bool (*)(const CConfigNode* node, std::vector<uint8_t>* bytes, void* user);

/// Writes root as an ".AIS" file into out: the tree, then one block per "RawData" leaf in
/// depth-first, child order (bytes from provider). False, with error set, when a key, name
/// or value is longer than 127 characters or a block cannot be had. warnings receives what
/// the format cannot keep (a leaf's name, an inner node's value).
bool AisWriteTree(const CConfigNode& root, AisRawDataProvider provider, void* user, std::vector<uint8_t>* out,
                  std::string* error, std::vector<std::string>* warnings = nullptr);

/// Writes a tree in the text configuration language (two-space indentation). False, with
/// error set, when a key is empty or holds a blank, '<', '>' or '"', a name holds '"' or
/// '>', or a value holds '<' (the language has no escapes).
bool WriteConfigText(const CConfigNode& root, std::string* out, std::string* error);

/// "RawData" leaves in depth-first, child order (the order of their blocks in a file).
void CollectRawDataNodes(const CConfigNode& root, std::vector<const CConfigNode*>* nodes);

} // namespace Zelk
