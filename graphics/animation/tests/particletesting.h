#pragma once
// Fixture of the particle tests: the engine on the software device (with a
// caps profile chosen by the test), the scene library and the particle
// plug-in attached, and a 160 x 120 camera on an identity frame looking
// down +z, cleared to black and begun.

#include <cstring>
#include <vector>

#include "graphics/animation/particle.h"
#include "graphics/animation/particleinternal.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/scene/scenelibrary.h"
#include "platform/d3d9/testing/backbuffer.h"
#include "platform/d3d9/testing/capsprofiles.h"

class ParticleTest : public EngineFixture
{
  protected:
    /// The caps profile the engine starts on.
    virtual const char* Profile() const { return "full"; }

    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(D3D9UseCapsProfile(Profile()));
        ASSERT_TRUE(Init() && WorldLibraryAttach() && ParticlePluginAttach() && Open() && EngineStart());
        camera_ = CameraCreate();
        frame_ = FrameCreate();
        ASSERT_TRUE(camera_ && frame_);
        CameraSetFrame(camera_, frame_);
        const V2d window = {0.5f * float(kWidth) / float(kHeight), 0.5f};
        CameraSetViewWindow(camera_, &window);
        camera_->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera_->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        const uint8_t black[4] = {0, 0, 0, 255};
        ASSERT_NE(CameraClear(camera_, black, 3), nullptr);
        ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
        ErrorRecord discard;
        ErrorGet(&discard);
    }

    void TearDown() override
    {
        if (camera_) {
            CameraEndUpdate(camera_);
            CameraSetFrame(camera_, nullptr);
            RasterDestroy(camera_->frameBuffer);
            RasterDestroy(camera_->zBuffer);
            CameraDestroy(camera_);
        }
        if (frame_) {
            FrameDestroy(frame_);
        }
        EngineFixture::TearDown();
    }

    /// Writes `count` positions through a lock.
    static void SetPositions(Atomic* atomic, const std::vector<V3d>& positions)
    {
        ParticleArray array;
        ASSERT_EQ(ParticleEmitterLock(atomic, &array, kParticlePosition, kParticleLockWrite), 1);
        for (size_t i = 0; i < positions.size(); ++i) {
            std::memcpy(static_cast<uint8_t*>(array.data) + i * size_t(array.stride), &positions[i], 12);
        }
        ParticleEmitterUnlock(atomic);
        ParticleAtomicGetEmitter(atomic)->liveParticles = int32_t(positions.size());
    }

    /// The vertices of the batch the update wrote last, as floats.
    static std::vector<float> BatchVertices(const ParticleEmitter* emitter)
    {
        auto* buffer = static_cast<IDirect3DVertexBuffer9*>(emitter->batchBuffer);
        const uint32_t corners = emitter->pointSprites ? 1 : 4;
        const uint32_t bytes = uint32_t(emitter->batchCount) * corners * emitter->vertexStride;
        void* data = nullptr;
        if (!buffer ||
            FAILED(buffer->Lock(emitter->batchFirstVertex * emitter->vertexStride, bytes, &data, 0))) {
            return {};
        }
        std::vector<float> floats(bytes / 4);
        std::memcpy(floats.data(), data, bytes);
        buffer->Unlock();
        return floats;
    }

    /// The back buffer pixel (0xRRGGBB).
    uint32_t Pixel(int x, int y) { return d3d9test::BackBufferPixel(Device(), x, y); }

    Camera* camera_ = nullptr;
    Frame* frame_ = nullptr;
};
