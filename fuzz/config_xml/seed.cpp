// Writes the config_xml seed corpus with the configuration builder the tests
// use: config_xml_seed <corpus directory>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/testing/characterconfig.h"
#include "framework/testing/configbuilder.h"
#include "tools/common/toolfiles.h"

namespace {

/// Every element the framework reads, nested sections included.
std::string Everything()
{
    ConfigBuilder config;
    config.Open("Config")
        .Open("GraphicsGlobalSettings")
        .Element("RessourceArena", {{"size", "8388608"}})
        .Close()
        .Element("Debug", {{"level", "2"}})
        .Element("Scale", {{"value", "0.5"}})
        .Open("Worlds")
        .Element("World", {{"file", "models\\level"}})
        .Close()
        .Open("Light", {{"type", "Directional"}})
        .Element("Color", {{"r", "0.5"}, {"g", "0.5"}, {"b", "0.5"}})
        .Element("Position", {{"x", "1"}, {"y", "2"}, {"z", "3"}})
        .Element("Target", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
        .Close()
        .Open("Camera")
        .Open("Light", {{"type", "Ambient"}})
        .Close()
        .Close()
        .Open("Input")
        .Element("MouseMode", {{"Value", "1"}})
        .Element("MouseMode", {{"value", "0"}})
        .Close()
        .Open("Audio")
        .Element("Debug", {{"level", "1"}})
        .Close()
        .Element("Door")
        .Open("Application")
        .Element("Player", {{"name", "VIP"}})
        .Open("Light")
        .Close()
        .Close()
        .Element("Scale", {{"value", "2"}});
    return config.Text();
}

/// The "Camera" section with every child: the sequence one "Mode" too long
/// (the ninth refused), every mode word and a wrong one, seventeen fixed
/// cameras (the last refused), the follow limits and the free camera's start.
std::string Camera()
{
    ConfigBuilder config;
    config.Open("Config").Element("Scale", {{"value", "2"}}).Open("Worlds").Close();
    config.Open("Camera", {{"nearClip", "0.1"}, {"farClip", "3000"}, {"fov", "45"}});
    config.Open("SwitchSequence");
    for (const char* mode : {"Free", "Follow", "FPS", "Path", "Fixed", "Free", "Follow", "FPS", "Path"})
        config.Element("Mode", {{"value", mode}});
    config.Element("Mode", {{"value", "Orbit"}}).Element("Mode", {{"name", "Free"}}).Close();
    config.Element("CameraMode", {{"mode", "Follow"}}).Element("CameraMode", {{"mode", "Sideways"}});
    config.Element("Follow",
                   {{"minVAngle", "-10"}, {"maxVAngle", "70"}, {"minDistance", "2"}, {"maxDistance", "25"}});
    config.Open("Free")
        .Element("InitialPosition", {{"x", "0"}, {"y", "12"}, {"z", "-30"}})
        .Element("InitialTarget", {{"x", "0"}, {"y", "12"}, {"z", "-30"}})
        .Element("InitialTarget", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
        .Close();
    for (int i = 0; i < 17; ++i) {
        config.Open("Fixed");
        if (i % 2 == 0)
            config.Element("Name", {{"value", "Gate " + std::to_string(i) + std::string(80, 'x')}});
        config.Element("Position", {{"x", std::to_string(i)}, {"y", "5"}, {"z", "0"}})
            .Element("Target", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
            .Close();
    }
    config.Open("SwitchSequence").Close(); // empty: reported at its end
    config.Element("Follow", {{"minVAngle", "0"}});
    return config.Text();
}

/// The start screen (its section reads nothing), a second one, a "Camera"
/// before "Worlds" and a second "Camera".
std::string Hud()
{
    ConfigBuilder config;
    config.Open("Config").Open("Camera", {{"nearClip", "1"}, {"farClip", "9"}, {"fov", "1"}}).Close();
    config.Open("Hud").Element("Page", {{"value", "1"}}).Close().Open("Hud").Close();
    config.Open("Input").Element("MouseMode", {{"Value", "0"}}).Close().Open("Worlds").Close();
    config.Open("Camera", {{"nearClip", "0.5"}, {"farClip", "100"}, {"fov", "60"}})
        .Element("CameraMode", {{"mode", "Fixed"}})
        .Close()
        .Open("Camera", {{"farClip", "9"}})
        .Close();
    return config.Text();
}

/// A file of exactly `size` bytes around a Scale element.
std::string Sized(size_t size)
{
    ConfigBuilder config;
    config.Open("Config").Element("Scale", {{"value", "0.25"}});
    config.PadTo(size - std::string("</Config>\n").size()).Close();
    return config.Text();
}

std::string Faulty()
{
    ConfigBuilder config;
    config.Open("Config")
        .Element("Debug", {{"mode", "1"}, {"level", "2"}})
        .Open("GraphicsGlobalSettings")
        .Element("RessourceArena", {{"bytes", "1"}})
        .Close()
        .Open("Worlds")
        .Close()
        .Open("Worlds")
        .Close()
        .Raw("<Broken =>");
    return config.Text();
}

/// Two "Character" profiles: one complete (every animation key, in mixed
/// letter case, two keys sharing a file), one broken element by element
/// (attributes out of order, "Speeds" outside "Actions", an animation that
/// cannot be read, an unknown key, a missing file, names past their fields).
std::string Characters()
{
    ConfigBuilder config;
    config.Open("Config").Element("Scale", {{"value", "0.5"}}).Open("Worlds").Close();
    config.Open("Character", {{"name", "BlueSoldier"}})
        .Element("Geometry", {{"clump", "models/bluesoldier.dff"}, {"heigth", "1.8"}, {"width", "0.6"}})
        .Element("GlobalAnimator", {{"transitionSpeed", "4"}})
        .Element("GlobalDynamics", {{"slideIntensity", "1"},
                                    {"slideCreaseYComponent", "0.7"},
                                    {"accuracy", "4"},
                                    {"sphereRadius", "0.3"},
                                    {"sphereModel", "models/sphere.dff"},
                                    {"gravity", "10"}})
        .Open("Actions")
        .Element("Speeds", {{"forwardRun", "3"}, {"forwardWalk", "1.5"}, {"lateralWalk", "1"}})
        .Open("Animations");
    for (const char* key : kCharacterAnimationKeys) {
        std::string file = std::string("anims/") + key + ".anm";
        for (char& c : file)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        config.Element("Animation", {{"key", key}, {"file", file}});
    }
    config.Element("Animation", {{"key", "walk"}, {"file", "ANIMS/RUN.ANM"}}).Close().Close().Close();
    config.Open("Character", {{"name", std::string(200, 'R')}})
        .Element("Speeds", {{"forwardRun", "3"}})
        .Element("Geometry", {{"clump", std::string(600, 'c')}, {"width", "1"}, {"heigth", "2"}})
        .Element("GlobalDynamics", {{"slideIntensity", "1"}, {"accuracy", "x"}})
        .Element("GlobalAnimator", {{"speed", "4"}})
        .Open("Actions")
        .Element("Speeds", {{"forwardWalk", "3"}})
        .Open("Animations")
        .Element("Animation", {{"key", "Idle"}, {"file", "anims/none.anm"}})
        .Element("Animation", {{"key", "Dance"}, {"file", "anims/idle.anm"}})
        .Element("Animation", {{"key", "Run"}})
        .Element("Animation", {{"key", "Run"}, {"file", std::string(700, 'a')}})
        .Close()
        .Close()
        .Close();
    config.Open("Character", {{"title", "Nameless"}}).Close();
    return config.Text();
}

/// The "Worlds" section: every physics setting, the same elements with
/// attributes missing or misplaced, and worlds that load, are missing and
/// hold no world (paths from the data root, where the fuzzer runs).
std::string Worlds()
{
    ConfigBuilder config;
    config.Open("Config").Open("Worlds").Open("PhysicsGlobalSettings");
    config.Element("Bodies", {{"maxRegistered", "50"}, {"maxActive", "25"}})
        .Element("Joints", {{"max", "7"}})
        .Element("Stick", {{"inAir", "3"}, {"onGround", "0.5"}})
        .Element("BBox", {{"x1", "9"}, {"y1", "9"}, {"z1", "9"}, {"x2", "-9"}, {"y2", "-9"}, {"z2", "-9"}})
        .Element("Gravity", {{"x", "0"}, {"y", "-9.8"}, {"z", "0"}})
        .Element("MobileBounce", {{"value", "0.5"}})
        .Element("MobileSlide", {{"value", "2"}})
        .Element("SolidSlide", {{"value", "4"}})
        .Element("Bodies", {{"maxRegistered", "50"}})
        .Element("BBox", {{"x1", "9"}, {"y1", "9"}, {"x2", "-9"}})
        .Element("Gravity", {{"y", "1"}})
        .Close();
    config.Element("World", {{"filename", "world/level.bsp"}, {"name", "level"}, {"flags", "2"}})
        .Element("World", {{"filename", "world\\level.bsp"}, {"name", "again"}, {"flags", "1"}})
        .Element("World", {{"filename", "world/none.bsp"}, {"name", "missing"}, {"flags", "0"}})
        .Element("World", {{"filename", "fonts/did16.met"}, {"name", "no world"}, {"flags", "0"}})
        .Element("World", {{"filename", "world/level.bsp"}, {"flags", "0"}})
        .Element("World", {{"name", "level"}});
    config.Close().Open("Camera").Close();
    return config.Text();
}

/// The dynamic collision geometry, inside the physics settings and outside,
/// whole and with attributes missing, and lights of every type.
std::string Dynamic()
{
    ConfigBuilder config;
    config.Open("Config").Open("Worlds").Open("PhysicsGlobalSettings");
    config.Open("CollisionTriangle")
        .Element("flags", {{"value", "1"}})
        .Element("v1", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
        .Element("v2", {{"x", "1"}, {"y", "0"}, {"z", "0"}})
        .Element("v3", {{"x", "0"}, {"y", "1"}, {"z", "0"}})
        .Close()
        .Open("CollisionPlane")
        .Element("Position", {{"x", "0"}, {"y", "1"}, {"z", "0"}})
        .Element("Normal", {{"x", "0"}, {"y", "1"}, {"z", "0"}})
        .Element("Right", {{"x", "1"}, {"y", "1"}, {"z", "0"}})
        .Element("Length", {{"value", "1"}})
        .Element("Width", {{"value", "2"}})
        .Close()
        .Close();
    config.Element("World", {{"filename", "world/level.bsp"}, {"name", "level"}, {"flags", "2"}});
    config.Open("CollisionPlane").Close();
    config.Open("CollisionTriangle").Element("v2", {{"x", "1"}, {"z", "1"}}).Close();
    config.Open("CollisionPlane").Element("Width").Close();
    config.Close();
    config.Open("Light", {{"type", "Ambient"}})
        .Element("Color", {{"r", "0.2"}, {"g", "0.3"}, {"b", "0.4"}})
        .Close();
    config.Open("Light", {{"type", "Directional"}})
        .Element("Color", {{"r", "0.5"}, {"g", "0.5"}, {"b", "0.5"}})
        .Element("Position", {{"x", "1"}, {"y", "2"}, {"z", "3"}})
        .Element("Target", {{"x", "0"}, {"y", "0"}, {"z", "0"}})
        .Close();
    config.Open("Light", {{"type", "Spot"}}).Close();
    config.Open("Light").Close();
    return config.Text();
}

/// Every piece of level furniture and the dynamic models, each element once
/// whole and once with an attribute missing, misnamed or out of place, a
/// lift naming a switch that is not there, and instances of kinds that do
/// not exist or are malformed.
std::string Furniture()
{
    using A = ConfigBuilder::Attributes;
    const A points = {{"p1x", "0"}, {"p1y", "0"}, {"p1z", "0"}, {"p2x", "1"}, {"p2y", "2"}, {"p2z", "3"}};
    const A pw = {{"pw1x", "0"}, {"pw1y", "0"}, {"pw1z", "0"}, {"pw2x", "1"}, {"pw2y", "1"}, {"pw2z", "1"}};
    const auto join = [](A a, const A& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const auto cut = [](A a, size_t keep) {
        a.resize(keep);
        return a;
    };
    const A beam = join(join(points, pw), {{"timeOn", "2"}, {"timeOff", "1"}, {"startTime", "0"}});
    const A lift = join(join(points, pw), {{"switch", "Gate"}});
    const A door = join({{"px", "0"},
                         {"py", "0"},
                         {"pz", "5"},
                         {"width", "0.75"},
                         {"height", "2"},
                         {"depth", "0.2"},
                         {"axis", "1"}},
                        pw);
    const A button = {{"name", "Gate"}, {"px", "3"}, {"py", "1"},        {"pz", "0"},         {"nx", "0"},
                      {"ny", "0"},      {"nz", "1"}, {"stringOn", "on"}, {"stringOff", "off"}};
    ConfigBuilder config;
    config.Open("Config").Element("Switch", button).Open("Worlds");
    config.Element("World", {{"filename", "world/level.bsp"}, {"name", "level"}, {"flags", "0"}}).Close();
    const struct
    {
        const char* element;
        const A& attributes;
    } kinds[] = {{"LaserBeam", beam}, {"Teleporter", points}, {"Switch", button},    {"Lift", lift},
                 {"Bumper", points},  {"Door", door},         {"JumpHelper", points}};
    for (const auto& kind : kinds) {
        config.Element(kind.element, kind.attributes);
        config.Element(kind.element, cut(kind.attributes, kind.attributes.size() / 2));
        A misnamed = kind.attributes;
        misnamed[1].first = "wrong";
        config.Element(kind.element, misnamed);
    }
    config.Element("Lift", join(join(points, pw), {{"switch", "Nobody"}}));
    for (int i = 0; i < 17; ++i)
        config.Element("Bumper", points);
    config.Open("Physics").Open("Models");
    config.Element("Sphere", {{"name", "Ball"}, {"clumpFilename", "models/sphere.dff"}})
        .Element("Sphere", {{"clumpFilename", "models/sphere.dff"}})
        .Element("Box", {{"name", "Crate"},
                         {"clumpFilename", "models/box.dff"},
                         {"dx", "0.5"},
                         {"dy", "0.5"},
                         {"dz", "0.5"},
                         {"mass", "20"},
                         {"slide", "1"},
                         {"bounce", "0.2"}})
        .Element("Box", {{"name", "Flat"}, {"clumpFilename", "models/box.dff"}, {"dx", "0.5"}})
        .Close()
        .Open("Instances");
    const A instance = {{"model", "Crate"}, {"px", "0"}, {"py", "1"}, {"pz", "0"},
                        {"ox", "0"},        {"oy", "1"}, {"oz", "0"}, {"angle", "30"}};
    config.Element("Instance", instance)
        .Element("Instance", cut(instance, 5))
        .Element("Instance", join({{"model", "Nope"}}, {instance.begin() + 1, instance.end()}))
        .Element("Instance", join({{"model", "Ball"}}, {instance.begin() + 1, instance.end()}))
        .Close()
        .Close();
    return config.Text();
}

} // namespace

/// The demo's "Application" section as the sample has it, then one broken
/// element by element: coordinates out of order and missing, "Bots" without
/// its number, a position outside "Player" and "Bots", an "AiPathData" of 300
/// characters and one without "value", an "AiMode" other than "InGame", an
/// unknown element, a "Bots" inside "Player".
std::string Application()
{
    ConfigBuilder config;
    config.Open("Config").Element("Scale", {{"value", "1.0"}}).Open("Worlds").Close();
    config.Open("Application")
        .Open("Player")
        .Element("InitialPosition", {{"x", "-11.0"}, {"y", "0.0"}, {"z", "-6.0"}})
        .Close()
        .Open("Bots", {{"number", "4"}})
        .Element("InitialPosition", {{"x", "-11.0"}, {"y", "0.0"}, {"z", "-8.0"}})
        .Close()
        .Element("AiPathData", {{"value", "data/wardels.ais"}})
        .Element("AiMode", {{"value", "InGame"}})
        .Close();
    config.Open("Application")
        .Element("InitialPosition", {{"x", "1"}, {"y", "2"}, {"z", "3"}})
        .Open("Player")
        .Element("InitialPosition", {{"y", "1"}, {"x", "2"}, {"z", "3"}})
        .Element("InitialPosition", {{"x", "1"}, {"y", "2"}})
        .Open("Bots", {{"count", "2"}})
        .Element("InitialPosition", {{"x", "1e40"}, {"y", "-0"}, {"z", "nan"}})
        .Close()
        .Close()
        .Open("Bots", {{"number", "-3"}})
        .Close()
        .Open("Bots", {{"number", "2147483648"}})
        .Close()
        .Element("AiPathData", {{"value", std::string(300, 'a')}})
        .Element("AiPathData", {{"file", "x.ais"}})
        .Element("AiPathData")
        .Element("AiMode", {{"value", "Foo"}})
        .Element("AiMode")
        .Element("Unknown", {{"value", "1"}})
        .Open("Player");
    return config.Text();
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: config_xml_seed <corpus directory>\n");
        return 2;
    }
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"everything.xml", Everything()},
        {"size1023.xml", Sized(1023)},
        {"size1024.xml", Sized(1024)},
        {"size1025.xml", Sized(1025)},
        {"faulty.xml", Faulty()},
        {"camera.xml", Camera()},
        {"hud.xml", Hud()},
        {"characters.xml", Characters()},
        {"worlds.xml", Worlds()},
        {"dynamic.xml", Dynamic()},
        {"furniture.xml", Furniture()},
        {"application.xml", Application()},
    };
    for (const auto& [name, text] : seeds) {
        const std::string path = std::string(argv[1]) + "/" + name;
        if (!ToolWriteFile(path, text.data(), text.size())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
