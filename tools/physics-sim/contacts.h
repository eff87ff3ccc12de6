#pragma once
// physics-sim contacts: the narrow phase on small scenes made in code,
// printing every contact record and drawing a side view.

#include <string>

/// Runs scene `name` (box-on-plane, box-on-box, sphere-on-mesh,
/// hulls-on-terrain); writes the side view to `svgPath` when not empty.
/// 0, or 1 for an unknown scene or an SVG that cannot be written.
int RunContacts(const std::string& name, const std::string& svgPath);
