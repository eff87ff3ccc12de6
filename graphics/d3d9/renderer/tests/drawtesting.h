#pragma once
// The drawing tests' fixture: the renderer fixture with the default render
// callback, a camera at the origin looking along +z into the 160 x 120 back
// buffer, culling off, and helpers that build a textured quad and read the
// frame back.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/renderer/tests/renderertesting.h"
#include "graphics/scene/material.h"
#include "platform/d3d9/testing/backbuffer.h"

class DrawFixture : public RendererFixture
{
  public:
    static constexpr uint8_t kBackground[4] = {64, 64, 64, 255};

    void SetUp() override
    {
        RendererFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        Pipeline* pipeline = PipelineGetDefaultSlots()->current[kPipelineKindAtomic];
        AllInOneNodeSetRenderCallBack(PipelineGetNode(pipeline, 0), DefaultRender);
        camera_ = CameraCreate();
        ASSERT_NE(camera_, nullptr);
        cameraFrame_ = FrameCreate();
        CameraSetFrame(camera_, cameraFrame_);
        camera_->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera_->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        ASSERT_NE(CameraClear(camera_, kBackground, 3), nullptr);
        ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
        D3D9RenderStateSet(kRenderStateCullMode, reinterpret_cast<void*>(uintptr_t(1)));
        D3D9SetRenderState(D3DRS_LIGHTING, 0);
    }

    void TearDown() override
    {
        if (camera_) {
            CameraEndUpdate(camera_);
            CameraSetFrame(camera_, nullptr);
            RasterDestroy(camera_->frameBuffer);
            RasterDestroy(camera_->zBuffer);
            CameraDestroy(camera_);
            FrameDestroy(cameraFrame_);
        }
        for (Material* material : materials_) {
            MaterialRelease(material);
        }
        RendererFixture::TearDown();
    }

    /// A quad of side 1 centred on (x, y, z) facing the camera, texture
    /// coordinates 0..1 across it, every vertex coloured `preLit` when the
    /// format has kGeometryPreLit, every triangle of `material`.
    Geometry* FacingQuad(uint32_t format, Material* material, RGBA preLit = {255, 255, 255, 255})
    {
        Geometry* geometry = GeometryCreate(4, 2, format);
        EXPECT_NE(geometry, nullptr);
        const float p[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
        for (int v = 0; v < 4; ++v) {
            geometry->morphTargets[0].vertices[v] = {p[v][0], p[v][1], 0.0f};
            if (geometry->morphTargets[0].normals) {
                geometry->morphTargets[0].normals[v] = {0.0f, 0.0f, -1.0f};
            }
            if (geometry->numTexCoordSets > 0) {
                geometry->texCoords[0][v] = {p[v][0] + 0.5f, p[v][1] + 0.5f};
            }
            if (geometry->preLitColours) {
                geometry->preLitColours[v] = preLit;
            }
        }
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 2, 1, 0);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[1], 3, 2, 0);
        MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
        if (material) {
            for (int t = 0; t < 2; ++t) {
                GeometryTriangleSetMaterial(geometry, &geometry->triangles[t], material);
            }
        }
        EXPECT_NE(GeometryUnlock(geometry), nullptr);
        return geometry;
    }

    /// An atomic of `geometry` (reference taken over) at (x, y, z).
    Atomic* Place(Geometry* geometry, float x, float y, float z)
    {
        Atomic* atomic = AtomicOf(geometry);
        GeometryRelease(geometry);
        const V3d at = {x, y, z};
        FrameTranslate(AtomicGetFrame(atomic), &at, kCombineReplace);
        return atomic;
    }

    /// A material with `colour`, textured with `texture` when not null (the
    /// fixture keeps the reference).
    Material* MaterialOf(RGBA colour, Texture* texture = nullptr)
    {
        Material* material = MaterialCreate();
        material->colour = colour;
        if (texture) {
            MaterialSetTexture(material, texture);
            TextureDestroy(texture);
        }
        materials_.push_back(material);
        return material;
    }

    /// A point-sampled, clamped texture of w x h texels given as 0xAARRGGBB;
    /// kRasterFormat888 gives a raster without alpha (blending stays off).
    static Texture* TextureOf(int32_t w, int32_t h, const std::vector<uint32_t>& texels,
                              uint32_t format = kRasterFormat8888)
    {
        Raster* raster = RasterCreate(w, h, 32, kRasterTypeTexture | format);
        EXPECT_NE(raster, nullptr);
        auto* pixels = reinterpret_cast<uint32_t*>(RasterLock(raster, 0, kRasterLockWrite));
        EXPECT_NE(pixels, nullptr);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                pixels[y * (raster->stride / 4) + x] = texels[size_t(y * w + x)];
            }
        }
        RasterUnlock(raster);
        Texture* texture = TextureCreate(raster);
        texture->filterAddressing = kTextureFilterNearest | 0x3300;
        return texture;
    }

    /// The back buffer as 0xAARRGGBB words with alpha forced to 0xFF.
    std::vector<uint32_t> Pixels() { return d3d9test::BackBufferPixels(Device(), kWidth, kHeight); }

    static size_t CountColour(const std::vector<uint32_t>& frame, uint32_t colour)
    {
        size_t n = 0;
        for (uint32_t pixel : frame) {
            n += (pixel & 0xFFFFFF) == (colour & 0xFFFFFF);
        }
        return n;
    }

    DWORD DeviceStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type)
    {
        DWORD value = 0;
        Device()->GetTextureStageState(stage, type, &value);
        return value;
    }

    Camera* camera_ = nullptr;
    Frame* cameraFrame_ = nullptr;
    std::vector<Material*> materials_;
};
