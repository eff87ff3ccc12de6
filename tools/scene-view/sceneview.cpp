// The scene viewer's engine, scene and frame.
#include "tools/scene-view/sceneview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "graphics/animation/animation.h"
#include "graphics/animation/effects/effects.h"
#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/matrix.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/raster.h"
#include "graphics/core/resources.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/ddsread.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vshadernode.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "tools/cli/tool_engine.h"

namespace {

constexpr uint8_t kSky[4] = {96, 128, 160, 255};

std::string EngineError()
{
    ErrorRecord error;
    ErrorGet(&error);
    char text[128];
    int64_t offset = -1;
    if (StreamTakeRefusal(&offset)) {
        std::snprintf(text, sizeof text, "error %u:0x%x, a number that is not finite at offset %lld",
                      error.pluginId, error.code, static_cast<long long>(offset));
    } else {
        std::snprintf(text, sizeof text, "error %u:0x%x", error.pluginId, error.code);
    }
    return text;
}

// The first chunk of `type` in a file, read by `read`; null when the file
// cannot be opened, holds no such chunk or the reader fails.
template <typename T> T* ReadFile(const std::string& path, uint32_t type, T* (*read)(Stream*))
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path.c_str());
    if (!stream) {
        return nullptr;
    }
    T* object = nullptr;
    if (StreamFindChunk(stream, type, nullptr, nullptr)) {
        object = read(stream);
    }
    StreamClose(stream, nullptr);
    return object;
}

TextureReadCallback gImageRead = nullptr;

/// Textures by name: a ".dds" file on the image path (cube environments
/// come as those), else an image file as the engine reads it.
Texture* ReadTexture(const char* name, const char* maskName)
{
    Texture* texture = D3D9TextureReadDDS(name);
    return texture ? texture : gImageRead(name, maskName);
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

V3d Sub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

V3d Cross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

V3d Unit(const V3d& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return length > 0.0f ? V3d{v.x / length, v.y / length, v.z / length} : V3d{0, 0, 1};
}

// A frame at `eye` whose "at" points to `target`, "up" as close to +y as it can be.
void LookAt(Frame* frame, const V3d& eye, const V3d& target)
{
    Matrix matrix = {};
    matrix.at = Unit(Sub(target, eye));
    const V3d worldUp = std::fabs(matrix.at.y) > 0.99f ? V3d{0, 0, 1} : V3d{0, 1, 0};
    matrix.right = Unit(Cross(worldUp, matrix.at));
    matrix.up = Cross(matrix.at, matrix.right);
    matrix.pos = eye;
    FrameTransform(frame, &matrix, kCombineReplace);
}

Light* AddLight(SceneView* view, uint8_t type, RGBAReal colour, float radius, const V3d& at,
                const V3d& target)
{
    Light* light = LightCreate(type);
    Frame* frame = FrameCreate();
    if (!light || !frame) {
        if (light) {
            LightDestroy(light);
        }
        if (frame) {
            FrameDestroy(frame);
        }
        return nullptr;
    }
    LookAt(frame, at, target);
    ObjectHasFrameSetFrame(&light->object, frame);
    LightSetColor(light, &colour);
    LightSetRadius(light, radius);
    WorldAddLight(view->world, light);
    view->lights.push_back(light);
    return light;
}

// An ambient, a directional, three point lights and a spot over the floor.
bool AddLights(SceneView* view, const BBox& box)
{
    const V3d centre = {(box.inf.x + box.sup.x) * 0.5f, box.inf.y, (box.inf.z + box.sup.z) * 0.5f};
    const float extent = std::max(box.sup.x - box.inf.x, box.sup.z - box.inf.z);
    const float radius = std::max(4.0f, extent * 0.25f);
    bool ok =
        AddLight(view, kLightAmbient, {0.1f, 0.1f, 0.12f, 1}, 0, centre, {centre.x, centre.y, centre.z + 1});
    ok = ok && AddLight(view, kLightDirectional, {0.3f, 0.3f, 0.28f, 1}, 0,
                        {centre.x - extent, centre.y + extent, centre.z - extent * 0.5f}, centre);
    const RGBAReal colours[3] = {{0.9f, 0.5f, 0.2f, 1}, {0.2f, 0.6f, 0.9f, 1}, {0.5f, 0.9f, 0.3f, 1}};
    for (int i = 0; i < 3 && ok; ++i) {
        const float angle = float(i) * 2.0944f;
        const V3d at = {centre.x + std::cos(angle) * extent * 0.25f, centre.y + 2.0f,
                        centre.z + std::sin(angle) * extent * 0.25f};
        ok = AddLight(view, kLightPoint, colours[i], radius, at, {at.x, at.y - 1, at.z}) != nullptr;
    }
    Light* spot = ok ? AddLight(view, kLightSpot, {1, 1, 0.8f, 1}, radius * 1.5f,
                                {centre.x, centre.y + 6.0f, centre.z}, centre)
                     : nullptr;
    return spot && LightSetConeAngle(spot, 0.5f);
}

// Models built in other units are scaled before they are placed.
void PlaceModel(Clump* clump, const V3d& at, float scale)
{
    FrameTranslate(ClumpGetFrame(clump), &at, kCombineReplace);
    const V3d factors = {scale, scale, scale};
    FrameScale(ClumpGetFrame(clump), &factors, kCombinePreConcat);
}

// Copies of the models, in turn, on a grid over the floor; the models
// themselves in a row across the middle.
bool PlaceModels(SceneView* view, const std::vector<Clump*>& models, const SceneViewOptions& options,
                 const BBox& box)
{
    const float width = box.sup.x - box.inf.x, depth = box.sup.z - box.inf.z;
    const float middle = (box.inf.z + box.sup.z) * 0.5f;
    for (size_t i = 0; i < models.size(); ++i) {
        const V3d at = {box.inf.x + width * float(i + 1) / float(models.size() + 1), box.inf.y, middle};
        PlaceModel(models[i], at, options.modelScale);
    }
    const int32_t instances = options.instances;
    const int32_t side = int32_t(std::ceil(std::sqrt(double(std::max(instances, 1)))));
    for (int32_t i = 0; i < instances && !models.empty(); ++i) {
        Clump* copy = ClumpClone(models[size_t(i) % models.size()]);
        if (!copy) {
            return false;
        }
        view->clumps.push_back(copy);
        const V3d at = {box.inf.x + width * (float(i % side) + 0.5f) / float(side), box.inf.y,
                        box.inf.z + depth * (float(i / side) + 0.5f) / float(side)};
        PlaceModel(copy, at, options.modelScale);
        WorldAddClump(view->world, copy);
    }
    return true;
}

bool MakeCamera(SceneView* view, const SceneViewOptions& options, const BBox& box)
{
    view->camera = CameraCreate();
    view->cameraFrame = FrameCreate();
    if (!view->camera || !view->cameraFrame) {
        return false;
    }
    CameraSetFrame(view->camera, view->cameraFrame);
    const float extent = std::max({box.sup.x - box.inf.x, box.sup.z - box.inf.z, 1.0f});
    const V3d centre = {(box.inf.x + box.sup.x) * 0.5f, box.inf.y, (box.inf.z + box.sup.z) * 0.5f};
    const V3d eye = options.cameraGiven
                        ? options.eye
                        : V3d{centre.x, box.inf.y + extent * 0.6f, box.inf.z - extent * 0.35f};
    LookAt(view->cameraFrame, eye, options.cameraGiven ? options.target : centre);
    const V2d window = {0.5f * float(options.width) / float(options.height), 0.5f};
    CameraSetViewWindow(view->camera, &window);
    CameraSetNearClipPlane(view->camera, 0.1f);
    CameraSetFarClipPlane(view->camera, extent * 4.0f + 100.0f);
    view->camera->frameBuffer = RasterCreate(options.width, options.height, 0, kRasterTypeCamera);
    view->camera->zBuffer = RasterCreate(options.width, options.height, 0, kRasterTypeZBuffer);
    if (!view->camera->frameBuffer || !view->camera->zBuffer) {
        return false;
    }
    WorldAddCamera(view->world, view->camera);
    return true;
}

Frame* FindHierarchyFrame(Frame* frame, void* data)
{
    if (FrameGetHierarchy(frame)) {
        *static_cast<Hierarchy**>(data) = FrameGetHierarchy(frame);
    }
    return *static_cast<Hierarchy**>(data) ? frame : FrameForAllChildren(frame, FindHierarchyFrame, data);
}

Atomic* PoseSkinnedAtomic(Atomic* atomic, void* data)
{
    auto* view = static_cast<SceneView*>(data);
    Hierarchy* hierarchy = nullptr;
    if (!atomic->geometry || !SkinGeometryGetSkin(atomic->geometry) || !atomic->clump) {
        return atomic;
    }
    FindHierarchyFrame(ClumpGetFrame(atomic->clump), &hierarchy);
    if (hierarchy) {
        HierarchyAttachFrames(hierarchy);
        AnimInterpolatorSetCurrentAnim(hierarchy->interpolator, view->animation);
        AnimInterpolatorSetCurrentTime(hierarchy->interpolator, view->poseTime);
        HierarchyUpdateMatrices(hierarchy);
        SkinAtomicSetHierarchy(atomic, hierarchy);
    }
    return atomic;
}

} // namespace

bool SceneViewEngineStart(HWND window)
{
    static EngineOpenParams params;
    params.displayId = window;
    EngineSetDeviceDriver(D3D9DriverGet());
    D3D9SceneRendererInstall();
    if (!EngineInit(nullptr, 0, 0x4000000)) {
        return false;
    }
    if (!WorldLibraryAttach() || !HierarchyPluginAttach() || !SkinPluginAttach() || !EffectsPluginAttach() ||
        !EngineOpen(&params)) {
        EngineTerm();
        return false;
    }
    if (!EngineStart()) {
        ToolEngineShutdown();
        return false;
    }
    // Files and images through a file system over the current directory.
    if (!Toolkit2dImageFormatsRegister() || !ToolFilesOpen()) {
        SceneViewEngineStop();
        return false;
    }
    gImageRead = TextureGetReadCallback();
    TextureSetReadCallback(ReadTexture);
    return true;
}

void SceneViewEngineStop()
{
    ToolEngineStop();
}

bool SceneViewCreate(SceneView* view, const SceneViewOptions& options, std::string* error)
{
    *view = {};
    if (options.arenaBytes > 0 && !ResourcesSetArenaSize(options.arenaBytes)) {
        *error =
            "no resources arena of " + std::to_string(options.arenaBytes) + " bytes (" + EngineError() + ")";
        return false;
    }
    // Textures are found next to the world, then next to each model.
    std::string imagePath;
    for (const std::string& file : Concat({options.world}, options.models)) {
        const std::string folder = std::filesystem::path(file).parent_path().string();
        imagePath += (folder.empty() ? std::string(".") : folder) + "/;";
    }
    ImageSetPath(imagePath.c_str());
    view->textures = ReadFile<TexDictionary>(options.world, kChunkImageTexDictionary, ImageTexDictionaryRead);
    if (view->textures) {
        TexDictionarySetCurrent(view->textures);
    }
    view->world = ReadFile<World>(options.world, kChunkWorld, WorldStreamRead);
    if (!view->world) {
        *error = options.world + ": no world read (" + EngineError() + ")";
        SceneViewDestroy(view);
        return false;
    }
    std::vector<Clump*> models;
    for (const std::string& path : options.models) {
        // A model's own textures, current while it is read.
        const std::string own = std::filesystem::path(path).replace_extension(".txd").string();
        if (std::filesystem::exists(own)) {
            TexDictionary* textures =
                ReadFile<TexDictionary>(own, kChunkImageTexDictionary, ImageTexDictionaryRead);
            if (!textures) {
                *error = own + ": no textures read (" + EngineError() + ")";
                SceneViewDestroy(view);
                return false;
            }
            view->modelTextures.push_back(textures);
            TexDictionarySetCurrent(textures);
        }
        Clump* clump = ReadFile<Clump>(path, kChunkClump, ClumpStreamRead);
        TexDictionarySetCurrent(view->textures);
        if (!clump) {
            *error = path + ": no model read (" + EngineError() + ")";
            SceneViewDestroy(view);
            return false;
        }
        view->clumps.push_back(clump);
        models.push_back(clump);
        WorldAddClump(view->world, clump);
    }
    const BBox box = view->world->boundingBox;
    if (!PlaceModels(view, models, options, box) || !AddLights(view, box) ||
        !MakeCamera(view, options, box)) {
        *error = "the scene could not be made (" + EngineError() + ")";
        SceneViewDestroy(view);
        return false;
    }
    if (options.shaders) {
        view->shaderPipelines[0] = VertexShaderAtomicPipelineCreate();
        view->shaderPipelines[1] = VertexShaderSectorPipelineCreate();
        if (!view->shaderPipelines[0] || !view->shaderPipelines[1]) {
            *error = "the device runs no vertex shaders";
            SceneViewDestroy(view);
            return false;
        }
        AtomicSetDefaultPipeline(view->shaderPipelines[0]);
        WorldSectorSetDefaultPipeline(view->shaderPipelines[1]);
    }
    if (!options.anim.empty()) {
        view->animation = AnimationReadFile(options.anim.c_str());
        if (!view->animation) {
            *error = options.anim + ": no animation read (" + EngineError() + ")";
            SceneViewDestroy(view);
            return false;
        }
        view->poseTime = options.time;
        for (Clump* clump : view->clumps) {
            ClumpVisitAtomics(clump, PoseSkinnedAtomic, view);
        }
    }
    return true;
}

bool SceneViewRender(SceneView* view)
{
    bool drawn = CameraClear(view->camera, kSky, 3) != nullptr;
    if (drawn && CameraBeginUpdate(view->camera)) {
        WorldRender(view->world);
        CameraEndUpdate(view->camera);
    } else {
        drawn = false;
    }
    RasterShowRaster(view->camera->frameBuffer, nullptr, 0);
    ++view->frames;
    return drawn;
}

void SceneViewDestroy(SceneView* view)
{
    if (view->shaderPipelines[0] || view->shaderPipelines[1]) {
        AtomicSetDefaultPipeline(nullptr);
        WorldSectorSetDefaultPipeline(nullptr);
        PipelineDestroy(view->shaderPipelines[0]);
        PipelineDestroy(view->shaderPipelines[1]);
    }
    if (view->camera) {
        if (view->world) {
            WorldRemoveCamera(view->world, view->camera);
        }
        CameraSetFrame(view->camera, nullptr);
        if (view->camera->frameBuffer) {
            RasterDestroy(view->camera->frameBuffer);
        }
        if (view->camera->zBuffer) {
            RasterDestroy(view->camera->zBuffer);
        }
        CameraDestroy(view->camera);
    }
    if (view->cameraFrame) {
        FrameDestroy(view->cameraFrame);
    }
    for (Light* light : view->lights) {
        if (view->world) {
            WorldRemoveLight(view->world, light);
        }
        Frame* frame = LightGetFrame(light);
        ObjectHasFrameSetFrame(&light->object, nullptr);
        LightDestroy(light);
        FrameDestroy(frame);
    }
    for (Clump* clump : view->clumps) {
        if (view->world) {
            WorldRemoveClump(view->world, clump);
        }
        ClumpDestroy(clump);
    }
    if (view->world) {
        WorldDestroy(view->world);
    }
    if (view->animation) {
        AnimationDestroy(view->animation);
    }
    TexDictionarySetCurrent(nullptr);
    for (TexDictionary* textures : view->modelTextures) {
        TexDictionaryDestroy(textures);
    }
    if (view->textures) {
        TexDictionaryDestroy(view->textures);
    }
    *view = {};
}
