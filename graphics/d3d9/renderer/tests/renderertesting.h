#pragma once
// The renderer tests' fixture: the engine on the software device in a
// headless window with the renderer installed in the scene library (so the
// default pipelines open with the engine's start); the atomic pipeline's render callback records its
// calls instead of drawing. Helpers build a quad and read buffers back.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/core/frame.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/rendererhooks.h"
#include "graphics/scene/tests/scenetesting.h"

struct RenderCall
{
    ResourcesEntry* entry;
    void* object;
    int32_t type;
};
inline std::vector<RenderCall> gRenders;

inline void RecordRender(ResourcesEntry* entry, void* object, int32_t type, uint32_t)
{
    gRenders.push_back({entry, object, type});
}

inline int gPreviousCalls = 0;
inline uint16_t gLockFlagsSeenByPrevious = 0;
inline Geometry* gWatched = nullptr;
inline void PreviousDeviceCallback()
{
    ++gPreviousCalls;
    gLockFlagsSeenByPrevious = gWatched ? gWatched->lockFlags : 0;
}

class RendererFixture : public SceneFixture
{
  public:
    void SetUp() override
    {
        SceneFixture::SetUp();
        gRenders.clear();
        D3D9SceneRendererInstall();
        ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000));
        ASSERT_TRUE(WorldLibraryAttach());
        ASSERT_TRUE(AttachPlugins());
        ASSERT_TRUE(Open());
        ASSERT_TRUE(EngineStart());
        Pipeline* pipeline = PipelineGetDefaultSlots()->current[kPipelineKindAtomic];
        ASSERT_NE(pipeline, nullptr);
        AllInOneNodeSetRenderCallBack(PipelineGetNode(pipeline, 0), RecordRender);
    }

    /// Plug-ins a derived fixture attaches after the scene library.
    virtual bool AttachPlugins() { return true; }

    void TearDown() override
    {
        for (Atomic* atomic : atomics_) {
            AtomicDestroy(atomic);
        }
        for (Frame* frame : frames_) {
            FrameDestroy(frame);
        }
        SceneFixture::TearDown();
        VertexDeclTypesReset();
        D3D9SetDeviceEventCallback(nullptr);
        SceneSetRendererHooks(nullptr);
    }

    /// A unit quad (4 vertices, 2 triangles) with normals and one texture set,
    /// `targets` morph targets (target t moved up by t).
    Geometry* Quad(int32_t targets = 1, uint32_t extraFormat = 0)
    {
        Geometry* geometry = GeometryCreate(4, 2, kGeometryNormals | kGeometryTextured | extraFormat);
        EXPECT_NE(geometry, nullptr);
        if (targets > 1) {
            GeometryAddMorphTargets(geometry, targets - 1);
        }
        const float p[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        for (int32_t t = 0; t < targets; ++t) {
            for (int v = 0; v < 4; ++v) {
                geometry->morphTargets[t].vertices[v] = {p[v][0], p[v][1] + float(t), p[v][2]};
                geometry->morphTargets[t].normals[v] = {0.0f, 0.0f, -1.0f};
            }
        }
        for (int v = 0; v < 4; ++v) {
            geometry->texCoords[0][v] = {p[v][0] * 0.5f, p[v][1] * 0.25f};
        }
        if (geometry->preLitColours) {
            for (int v = 0; v < 4; ++v) {
                geometry->preLitColours[v] = {uint8_t(10 * v), 20, 30, 255};
            }
        }
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 2, 1, 0);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[1], 3, 2, 0);
        EXPECT_NE(GeometryUnlock(geometry), nullptr);
        return geometry;
    }

    Atomic* AtomicOf(Geometry* geometry)
    {
        Atomic* atomic = AtomicCreate();
        Frame* frame = FrameCreate();
        AtomicSetGeometry(atomic, geometry, 0);
        AtomicSetFrame(atomic, frame);
        atomics_.push_back(atomic);
        frames_.push_back(frame);
        return atomic;
    }

    static std::vector<D3DVERTEXELEMENT9> Elements(InstancedData* data)
    {
        D3DVERTEXELEMENT9 elements[65];
        UINT count = 65;
        EXPECT_EQ(data->declaration->GetDeclaration(elements, &count), D3D_OK);
        return std::vector<D3DVERTEXELEMENT9>(elements, elements + count);
    }

    static std::vector<uint8_t> StreamBytes(const InstancedStream& stream, uint32_t vertices)
    {
        void* memory = nullptr;
        EXPECT_EQ(stream.buffer->Lock(stream.offset, vertices * stream.stride, &memory, D3DLOCK_READONLY),
                  D3D_OK);
        const auto* bytes = static_cast<const uint8_t*>(memory);
        std::vector<uint8_t> out(bytes, bytes + vertices * stream.stride);
        stream.buffer->Unlock();
        return out;
    }

    static std::vector<uint16_t> Indices(InstancedData* data)
    {
        void* memory = nullptr;
        EXPECT_EQ(data->indexBuffer->Lock(0, 0, &memory, D3DLOCK_READONLY), D3D_OK);
        const auto* indices = static_cast<const uint16_t*>(memory);
        std::vector<uint16_t> out(indices, indices + data->totalIndices);
        data->indexBuffer->Unlock();
        return out;
    }

    std::vector<Atomic*> atomics_;
    std::vector<Frame*> frames_;
};
