#pragma once
// "config.xml" elements of the level furniture for tests and benchmarks:
// lifts and doors (their unused "pw" points at the origin), the sample's
// ball and crate kinds of dynamic model, and instances of them.
#include <cstdio>
#include <string>

#include "framework/testing/configbuilder.h"
#include "graphics/core/vector.h"

/// `value` as the shortest decimal text ("%g").
inline std::string ConfigNumber(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

/// The six "pw" attributes, unused by the framework.
inline const ConfigBuilder::Attributes& UnusedWaypoints()
{
    static const ConfigBuilder::Attributes kZero = {{"pw1x", "0"}, {"pw1y", "0"}, {"pw1z", "0"},
                                                    {"pw2x", "0"}, {"pw2y", "0"}, {"pw2z", "0"}};
    return kZero;
}

/// A "Lift" from `bottom` to `top`; gated by the switch named `gate` unless empty.
inline void AddLift(ConfigBuilder& config, const V3d& bottom, const V3d& top, const std::string& gate = "")
{
    ConfigBuilder::Attributes attributes = {{"p1x", ConfigNumber(bottom.x)}, {"p1y", ConfigNumber(bottom.y)},
                                            {"p1z", ConfigNumber(bottom.z)}, {"p2x", ConfigNumber(top.x)},
                                            {"p2y", ConfigNumber(top.y)},    {"p2z", ConfigNumber(top.z)}};
    attributes.insert(attributes.end(), UnusedWaypoints().begin(), UnusedWaypoints().end());
    if (!gate.empty())
        attributes.emplace_back("switch", gate);
    config.Element("Lift", attributes);
}

/// A "Door" at `position`: two leaves side by side along x (axis 1) or z
/// (axis 0), each of half sizes `width` along that line, `height` and `depth`.
inline void AddDoor(ConfigBuilder& config, const V3d& position, float width, float height, float depth,
                    int axis)
{
    ConfigBuilder::Attributes attributes = {
        {"px", ConfigNumber(position.x)}, {"py", ConfigNumber(position.y)}, {"pz", ConfigNumber(position.z)},
        {"width", ConfigNumber(width)},   {"height", ConfigNumber(height)}, {"depth", ConfigNumber(depth)},
        {"axis", std::to_string(axis)}};
    attributes.insert(attributes.end(), UnusedWaypoints().begin(), UnusedWaypoints().end());
    config.Element("Door", attributes);
}

/// Inside "Physics": the "Models" "Ball" (models/sphere.dff) and "Crate"
/// (models/box.dff, half size 0.5, 20 kg, slide 1, bounce 0.2).
inline void AddBallAndCrateModels(ConfigBuilder& config)
{
    config.Open("Models");
    config.Element("Sphere", {{"name", "Ball"}, {"clumpFilename", "models/sphere.dff"}});
    config.Element("Box", {{"name", "Crate"},
                           {"clumpFilename", "models/box.dff"},
                           {"dx", "0.5"},
                           {"dy", "0.5"},
                           {"dz", "0.5"},
                           {"mass", "20"},
                           {"slide", "1"},
                           {"bounce", "0.2"}});
    config.Close();
}

/// Inside "Instances": `model` at `position`, turned `angle` degrees about y.
inline void AddInstance(ConfigBuilder& config, const std::string& model, const V3d& position, float angle)
{
    config.Element("Instance", {{"model", model},
                                {"px", ConfigNumber(position.x)},
                                {"py", ConfigNumber(position.y)},
                                {"pz", ConfigNumber(position.z)},
                                {"ox", "0"},
                                {"oy", "1"},
                                {"oz", "0"},
                                {"angle", ConfigNumber(angle)}});
}
