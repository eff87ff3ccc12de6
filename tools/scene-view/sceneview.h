#pragma once
// The scene viewer: the engine with the scene library and the Direct3D 9
// scene renderer on the software device, a world and models read from files,
// copies of the models spread over the world's floor, an ambient, a
// directional and a few point and spot lights, and a camera that sees the
// whole world (or one placed by the caller).

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/core/vector.h"
#include "platform/win32/win32.h"

struct Animation;
struct Camera;
struct Clump;
struct Frame;
struct Light;
struct Pipeline;
struct TexDictionary;
struct World;

struct SceneViewOptions
{
    std::string world; ///< a world file (chunk 0x0B); its folder is the texture path
    std::vector<std::string>
        models;               ///< model files (chunk 0x10); "<model>.txd" beside one holds its textures
    float modelScale = 1.0f;  ///< scale of each model's frame (0.002 for 500 units a metre); > 0
    int32_t instances = 0;    ///< copies of the models, in turn, on a grid over the floor
    bool cameraGiven = false; ///< use eye and target instead of the overview
    V3d eye = {0, 0, 0};      ///< camera position, world units
    V3d target = {0, 0, 0};   ///< the point the camera looks at
    int32_t width = 320;      ///< pixels of the camera's rasters
    int32_t height = 240;
    std::string anim;        ///< a keyframe animation (.anm) posing the skinned models; empty: none
    float time = 0.0f;       ///< seconds into the animation
    bool shaders = false;    ///< atomics and the world drawn through generated vertex shaders
    uint32_t arenaBytes = 0; ///< resources arena size for the view; 0 keeps the engine's
};

struct SceneView
{
    World* world = nullptr;
    TexDictionary* textures = nullptr; ///< the world file's own dictionary, current while the view lives
    std::vector<TexDictionary*> modelTextures; ///< the models' own dictionaries
    Camera* camera = nullptr;
    Frame* cameraFrame = nullptr;
    std::vector<Clump*> clumps;        ///< models and their copies, all in the world
    std::vector<Light*> lights;        ///< in the world, each on a frame of its own
    Animation* animation = nullptr;    ///< played by the skinned models' hierarchies
    float poseTime = 0.0f;             ///< seconds into it
    Pipeline* shaderPipelines[2] = {}; ///< atomic and sector, the defaults while they live
    uint32_t frames = 0;
};

/// Installs the scene renderer, starts the engine on the Direct3D 9 driver
/// in `window` with the scene library, hierarchical animation, skinning and
/// material effects, and registers the image formats; false on failure.
bool SceneViewEngineStart(HWND window);
void SceneViewEngineStop();
/// Reads the files and builds the scene (a texture dictionary stored
/// before the world gives the world's and the models' textures, a model's
/// own dictionary and folder come first for that model's; skinned
/// models posed by the animation at the time when one is given; with
/// `shaders` the vertex-shader pipelines become the defaults; with
/// `arenaBytes` the resources arena is emptied and resized first); false with
/// `*error` naming the file and the engine's first error, or saying that the
/// device runs no vertex shaders (nothing left behind).
bool SceneViewCreate(SceneView* view, const SceneViewOptions& options, std::string* error);
/// Clears, draws the world with everything in it and shows the frame; false
/// when the camera could not be updated.
bool SceneViewRender(SceneView* view);
void SceneViewDestroy(SceneView* view);
