#pragma once
// A "Character" section for tests and benchmarks: the sample soldier's
// sizes and speeds with the 37 sample animations of "anims/".
#include <cctype>
#include <string>

#include "framework/testing/configbuilder.h"

/// The keys of the 37 animations; each file is "anims/<key in lower case>.anm".
inline constexpr const char* kCharacterAnimationKeys[] = {
    "Run",
    "Walk",
    "Idle",
    "StrafeLeft",
    "StrafeRight",
    "Backward",
    "BackwardLeft",
    "BackwardRight",
    "ForwardLeft",
    "ForwardRight",
    "AlertWalk",
    "AlertIdle",
    "AlertStrafeLeft",
    "AlertStrafeRight",
    "AlertBackward",
    "AlertBackwardLeft",
    "AlertBackwardRight",
    "AlertForwardLeft",
    "AlertForwardRight",
    "CrouchAimUpLeft",
    "CrouchAimUpFront",
    "CrouchAimUpRight",
    "CrouchAimMiddleLeft",
    "CrouchAimMiddleFront",
    "CrouchAimMiddleRight",
    "CrouchAimDownLeft",
    "CrouchAimDownFront",
    "CrouchAimDownRight",
    "IdleAimUpLeft",
    "IdleAimUpFront",
    "IdleAimUpRight",
    "IdleAimMiddleLeft",
    "IdleAimMiddleFront",
    "IdleAimMiddleRight",
    "IdleAimDownLeft",
    "IdleAimDownFront",
    "IdleAimDownRight",
};

/// Appends the profile `name` whose model is `clump`.
inline void AddCharacterProfile(ConfigBuilder& config, const std::string& name, const std::string& clump)
{
    config.Open("Character", {{"name", name}})
        .Element("Geometry", {{"clump", clump}, {"heigth", "1.8"}, {"width", "0.6"}})
        .Element("GlobalAnimator", {{"transitionSpeed", "4.0"}})
        .Element("GlobalDynamics", {{"slideIntensity", "1.0"},
                                    {"slideCreaseYComponent", "0.7"},
                                    {"accuracy", "4"},
                                    {"sphereRadius", "0.3"},
                                    {"sphereModel", "models/sphere.dff"},
                                    {"gravity", "10.0"}})
        .Open("Actions")
        .Element("Speeds", {{"forwardRun", "3.0"}, {"forwardWalk", "1.5"}, {"lateralWalk", "1.0"}})
        .Open("Animations");
    for (const char* key : kCharacterAnimationKeys) {
        std::string file = key;
        for (char& c : file)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        config.Element("Animation", {{"key", key}, {"file", "anims/" + file + ".anm"}});
    }
    config.Close().Close().Close();
}
