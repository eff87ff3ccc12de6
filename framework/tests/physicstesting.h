#pragma once
// The physics world tests' fixtures: the framework started with a "Worlds"
// section written by the test, and the sample level loaded.
#include <functional>

#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"

class PhysicsWorld : public SoftwareFrameworkTest
{
  protected:
    /// Starts with a "Worlds" section filled by `worlds` and a camera.
    void StartWith(const std::function<void(ConfigBuilder&)>& worlds)
    {
        ConfigBuilder config;
        // The window's mouse, so that tests place the pointer with mouse events.
        config.Open("Config").Open("Input").Element("MouseMode", {{"Value", "1"}}).Close().Open("Worlds");
        worlds(config);
        config.Close().Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}}).Close();
        ASSERT_TRUE(Start(config.Text()));
        ASSERT_NE(Worlds(), nullptr);
    }
    static CPhysicsWorld* Worlds() { return Framework().physicsWorld; }
};

/// The level loaded (30 x 30, outer walls at x, z = +-14 or 15, 3 high).
class PhysicsQueries : public PhysicsWorld
{
  protected:
    void SetUp() override
    {
        PhysicsWorld::SetUp();
        StartWith([](ConfigBuilder& c) {
            c.Element("World", {{"filename", "world/level.bsp"}, {"name", "l"}, {"flags", "0"}});
        });
        ASSERT_EQ(Worlds()->GetWorldCount(), 1);
    }
};
