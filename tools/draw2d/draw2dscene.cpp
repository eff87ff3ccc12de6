// The 2-D toolkit's picture, drawn through paths, brushes and the tessellator.

#include "tools/draw2d/draw2dscene.h"

#include <cmath>
#include <string>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tess.h"
#include "graphics/toolkit2d/toolkit2d.h"
#include "graphics/toolkit2d/twoddevice.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

void* StateValue(uintptr_t value)
{
    return reinterpret_cast<void*>(value);
}

Texture* MakeChecker()
{
    Raster* raster = RasterCreate(8, 8, 32, kRasterTypeTexture | kRasterFormat888);
    if (!raster) {
        return nullptr;
    }
    uint8_t* pixels = RasterLock(raster, 0, kRasterLockWrite);
    if (!pixels) {
        RasterDestroy(raster);
        return nullptr;
    }
    for (int32_t y = 0; y < 8; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + y * raster->stride);
        for (int32_t x = 0; x < 8; ++x) {
            row[x] = ((x / 4 + y / 4) & 1) ? 0xFFF0F0F0 : 0xFF3070E0;
        }
    }
    RasterUnlock(raster);
    Texture* texture = TextureCreate(raster);
    if (!texture) {
        RasterDestroy(raster);
    }
    return texture;
}

int32_t CountNodes(Path* path)
{
    int32_t nodes = 0;
    PathFlatten(path);
    for (const Path* sub = path; sub; sub = sub->next) {
        nodes += PathGetNodeCount(sub);
    }
    return nodes;
}

bool Stroke(Path* path, const Brush* brush, Draw2DCounts* counts)
{
    counts->strokedNodes += CountNodes(path);
    return PathRender(path, brush);
}

/// A five-pointed star about (cx, cy), counter-clockwise.
void Star(Path* path, float cx, float cy, float outer, float inner)
{
    for (int32_t i = 0; i < 10; ++i) {
        const float angle = 1.5707963f + 0.62831853f * float(i);
        const float r = (i % 2) ? inner : outer;
        const float x = cx + r * std::cos(angle);
        const float y = cy + r * std::sin(angle);
        if (i == 0) {
            PathMoveTo(path, x, y);
        } else {
            PathLineTo(path, x, y);
        }
    }
    PathClose(path);
}

/// A spiral of quarter-turn curves about (cx, cy), growing outwards.
void Spiral(Path* path, float cx, float cy)
{
    float radius = 0.02f;
    PathMoveTo(path, cx + radius, cy);
    for (int32_t quarter = 0; quarter < 14; ++quarter) {
        const float a0 = 1.5707963f * float(quarter);
        const float a1 = a0 + 1.5707963f;
        const float r1 = radius * 1.18f;
        const float k = 0.5522847f; // control distance of a quarter circle
        const float x0 = cx + radius * std::cos(a0), y0 = cy + radius * std::sin(a0);
        const float x3 = cx + r1 * std::cos(a1), y3 = cy + r1 * std::sin(a1);
        PathCurveTo(path, x0 - k * radius * std::sin(a0), y0 + k * radius * std::cos(a0),
                    x3 + k * r1 * std::sin(a1), y3 - k * r1 * std::cos(a1), x3, y3);
        radius = r1;
    }
}

Texture* SetLinear(Texture* texture, void*)
{
    TextureSetFilterMode(texture, kTextureFilterLinear);
    return texture;
}

} // namespace

Font* Draw2DReadSampleFont(const char* data, const char* name)
{
    if (!FileSystemManagerOpen(0)) {
        return nullptr;
    }
    FileSystem* files = Win32FileSystemCreate(8, (std::string(data) + "/").c_str(), "unc");
    if (!files || !FileSystemManagerRegister(files) || !Toolkit2dImageFormatsRegister()) {
        return nullptr;
    }
    FileSystemManagerSetDefault(files);
    FontSetPath("FONTS\\");
    FontListNode* node = FontFindOrRead(name);
    TexDictionaryForAllTextures(FontGetTexDictionary(), SetLinear, nullptr);
    return node ? node->font : nullptr;
}

int32_t Draw2DFillPath(Path* path, uint32_t colour)
{
    const Matrix* matrix = TwoDDeviceUpdateMatrix();
    if (!matrix || !PathFlatten(path)) {
        return -1;
    }
    const Matrix world = *matrix;
    const float z = TwoDDeviceGetLayerDepth();
    int32_t total = 0;
    for (const Path* sub = path; sub; sub = sub->next) {
        const int32_t nodes = PathGetNodeCount(sub);
        if (!sub->closed || nodes < 4) {
            continue;
        }
        std::vector<uint32_t> indices(size_t(3 * (nodes - 3)));
        int32_t triangles = 0;
        if (!TessTriangulateSubPath(sub, &triangles, indices.data())) {
            return -1;
        }
        std::vector<Im3DVertex> vertices;
        for (int32_t i = 0; i < nodes; ++i) {
            const PathNode& node = PathGetNodes(sub)[i];
            vertices.push_back({node.x, node.y, z, 0.0f, 0.0f, 0.0f, colour, 0.0f, 0.0f});
        }
        const std::vector<uint16_t> shortIndices(indices.begin(), indices.begin() + 3 * triangles);
        TwoDDeviceSetRenderState(kRenderStateTextureRaster, nullptr);
        if (triangles > 0) {
            const bool drawn =
                Im3DTransform(vertices.data(), uint32_t(nodes), &world, TwoDDeviceGetIm3DFlags()) &&
                Im3DRenderIndexedPrimitive(kIm3DTriList, shortIndices.data(), uint32_t(shortIndices.size()));
            Im3DEnd();
            if (!drawn) {
                return -1;
            }
        }
        total += triangles;
    }
    return total;
}

bool Draw2DSceneCreate(Draw2DScene* scene, int32_t width, int32_t height)
{
    *scene = {};
    scene->camera = SmokeCameraCreate(width, height);
    scene->checker = MakeChecker();
    if (!scene->camera || !scene->checker || !TwoDToolkitOpen(scene->camera)) {
        Draw2DSceneDestroy(scene);
        return false;
    }
    // The application's settings: one pixel of flatness, the plane just beyond the near clip.
    TwoDDeviceSetFlatness(1.0f);
    TwoDDeviceSetLayerDepth(1.1f * scene->camera->nearPlane);
    EngineGetInstance()->device.renderStateSet(kRenderStateCullMode, StateValue(1));
    return true;
}

void Draw2DSceneDestroy(Draw2DScene* scene)
{
    if (TwoDDeviceGetCamera() == scene->camera && scene->camera) {
        TwoDToolkitClose();
    }
    if (scene->checker) {
        TextureDestroy(scene->checker);
    }
    SmokeCameraDestroy(scene->camera);
    *scene = {};
}

bool Draw2DSceneRender(Draw2DScene* scene)
{
    const uint8_t background[4] = {uint8_t(kDraw2DBackground >> 16), uint8_t(kDraw2DBackground >> 8),
                                   uint8_t(kDraw2DBackground), 0xFF};
    if (!CameraClear(scene->camera, background, 3) || !CameraBeginUpdate(scene->camera)) {
        return false;
    }
    scene->counts = {};
    Draw2DCounts& counts = scene->counts;
    Brush* brush = BrushCreate();
    Path* path = PathCreate();
    bool ok = brush && path;
    if (ok) {
        // The oval ring: red on the left turning to yellow, darker inside than out.
        const uint8_t red[4] = {230, 40, 40, 255}, yellow[4] = {250, 220, 40, 255};
        const uint8_t darkRed[4] = {140, 20, 20, 255}, darkYellow[4] = {150, 130, 20, 255};
        BrushSetColours(brush, darkRed, darkYellow, yellow, red);
        brush->halfWidth = 0.035f;
        PathOval(path, 0.08f, 0.42f, 0.46f, 0.46f);
        ok = Stroke(path, brush, &counts);

        // The star: filled, then outlined in white.
        PathReset(path);
        Star(path, 1.02f, 0.66f, 0.26f, 0.11f);
        const int32_t star = Draw2DFillPath(path, 0xFF30B060);
        const uint8_t white[4] = {255, 255, 255, 255};
        BrushSetColours(brush, white, white, white, white);
        brush->halfWidth = 0.008f;
        ok = ok && star >= 0 && Stroke(path, brush, &counts);
        counts.fillTriangles += star;
        counts.filledOutlines += 1;

        // The spiral: thin, blue to cyan along its length.
        PathReset(path);
        Spiral(path, 0.31f, 0.2f);
        const uint8_t blue[4] = {60, 90, 255, 255}, cyan[4] = {60, 240, 240, 255};
        BrushSetColours(brush, blue, cyan, cyan, blue);
        brush->halfWidth = 0.006f;
        ok = ok && Stroke(path, brush, &counts);

        // The L shape, filled.
        PathReset(path);
        PathMoveTo(path, 0.70f, 0.06f);
        PathLineTo(path, 0.86f, 0.06f);
        PathLineTo(path, 0.86f, 0.12f);
        PathLineTo(path, 0.76f, 0.12f);
        PathLineTo(path, 0.76f, 0.30f);
        PathLineTo(path, 0.70f, 0.30f);
        PathClose(path);
        const int32_t shape = Draw2DFillPath(path, 0xFFD08030);
        ok = ok && shape >= 0;
        counts.fillTriangles += shape;
        counts.filledOutlines += 1;

        // The textured band: eight checker repeats along it.
        Brush* band = BrushCreate();
        ok = ok && band;
        if (band) {
            BrushSetTexture(band, scene->checker);
            const float uv1[2] = {0, 1}, uv2[2] = {8, 1}, uv3[2] = {8, 0}, uv4[2] = {0, 0};
            BrushSetUVs(band, uv1, uv2, uv3, uv4);
            band->halfWidth = 0.05f;
            PathReset(path);
            PathMoveTo(path, 0.92f, 0.12f);
            PathLineTo(path, 1.28f, 0.12f);
            PathLineTo(path, 1.28f, 0.34f);
            ok = ok && Stroke(path, band, &counts);
            BrushDestroy(band);
        }
    }
    PathDestroy(path);
    BrushDestroy(brush);
    return CameraEndUpdate(scene->camera) != nullptr && ok;
}

bool Draw2DSceneRenderText(Draw2DScene* scene, Font* font, const char* text, bool paragraph)
{
    const uint8_t background[4] = {uint8_t(kDraw2DBackground >> 16), uint8_t(kDraw2DBackground >> 8),
                                   uint8_t(kDraw2DBackground), 0xFF};
    if (!CameraClear(scene->camera, background, 3) || !CameraBeginUpdate(scene->camera)) {
        return false;
    }
    Brush* brush = BrushCreate();
    bool ok = brush != nullptr;
    if (ok) {
        const uint8_t white[4] = {255, 255, 255, 255}, blue[4] = {150, 200, 255, 255};
        BrushSetColours(brush, white, blue, blue, white);
        const float native = FontGetNativeSize(font);
        if (paragraph) {
            float x, y, w, h;
            TwoDDeviceGetViewport(&x, &y, &w, &h);
            const float rect[4] = {kDraw2DTextX, 0.05f, w - 2 * kDraw2DTextX, h - 0.1f};
            ok = FontRenderParagraph(font, text, 2 * native, rect, 0, brush) != nullptr;
        } else {
            float position[2] = {kDraw2DTextX, kDraw2DTextY};
            ok = FontRenderString(font, text, native, position, brush) != nullptr;
        }
        BrushDestroy(brush);
    }
    return CameraEndUpdate(scene->camera) != nullptr && ok;
}
