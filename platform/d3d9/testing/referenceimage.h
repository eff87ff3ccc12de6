// Comparison of rendered frames with reference PNGs, shared by the
// rendering tests of every folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace d3d9test {

/// Reads a PNG as 0xAARRGGBB words, row by row; false when it cannot be read.
bool ReadPng(const std::string& path, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height);

/// Compares a frame (0xAARRGGBB words, row by row) with
/// <referenceDir>/<name>.png: every channel of at least 99.5 % of the pixels
/// within 3 levels. With the environment variable OLAI_UPDATE_REFERENCES=1
/// the reference is (re)written instead. On a mismatch the actual frame and a
/// difference image are written to <outputDir>/<name>.actual.png and
/// .diff.png. Returns an empty string on success, else why not.
std::string CompareWithReferenceIn(const std::string& referenceDir, const std::string& outputDir,
                                   const std::string& name, const std::vector<uint32_t>& pixels,
                                   uint32_t width, uint32_t height);

/// Runs `command` (through the shell), a program that writes its last frame
/// to `shot` (OLAI_SCREENSHOT), and compares that frame as
/// CompareWithReferenceIn does. Empty on success, else why not (the program
/// failed, wrote no frame, or the frame differs).
std::string CompareProgramFrameWithReference(const std::string& command, const std::string& shot,
                                             const std::string& referenceDir, const std::string& outputDir,
                                             const std::string& name);

} // namespace d3d9test
