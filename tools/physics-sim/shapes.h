#pragma once
// physics-sim shapes: the table of the volume types and the SVG of a fan of
// line tests.

#include <string>

/// Prints the table; writes the SVG when `svgPath` is not empty. 0 on
/// success, 1 when the SVG cannot be written.
int RunShapes(const std::string& svgPath);
