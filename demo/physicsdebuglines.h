#pragma once
// The physics viewer's line drawing: the edges of collision volumes of every
// type, contact points with their normals and joint anchors, gathered as
// coloured segments and drawn as immediate-mode line lists in batches that
// the immediate mode takes at once.
#include <cstdint>
#include <vector>

#include "graphics/core/vector.h"
#include "graphics/d3d9/im3d.h"
#include "physics/core/volume/triangle.h"

struct Matrix;
struct OlpContext;
struct OlpVolume;

class CPhysicsDebugLines
{
  public:
    /// Most vertices in one draw: whole segments, under the immediate
    /// mode's limit of 65535.
    static constexpr uint32_t kBatchVertices = 65532;
    /// Triangles listed per triangle-list volume.
    static constexpr uint32_t kTrilistTriangles = 4096;
    /// Segments of a circle.
    static constexpr int32_t kRingSegments = 16;

    /// What AddContext gathers.
    struct Content
    {
        bool objects = true;  ///< every part of every object of the manager
        bool statics = true;  ///< the context's own volumes
        bool contacts = true; ///< the last step's contact points
        bool joints = true;   ///< the manager's joints
    };

    /// One segment from `a` to `b` in 0xAARRGGBB `colour`.
    void AddSegment(const V3d& a, const V3d& b, uint32_t colour);
    /// The edges of `volume` placed by its own frame and then `matrix`
    /// (null: its frame alone): box edges, rings of spheres, capsules and
    /// cylinders, a patch of a plane, triangles, the hull edges of a convex
    /// volume, the children of aggregates and grids, the triangles of a
    /// triangle list near it, a small cross for a null volume and the box
    /// of any other type.
    void AddVolume(const OlpVolume* volume, const Matrix* matrix, uint32_t colour);
    /// The context's contents, as `content` says.
    void AddContext(OlpContext* context, const Content& content);

    uint32_t VertexCount() const { return uint32_t(m_vertices.size()); }
    const Im3DVertex* Vertices() const { return m_vertices.data(); }
    /// Draws every segment as line lists of at most kBatchVertices vertices
    /// (no texture, identity matrix) and empties the list; the batches drawn.
    int32_t Draw();
    void Clear() { m_vertices.clear(); }

  private:
    void AddRing(const V3d& centre, const V3d& u, const V3d& v, float radius, const Matrix* frame,
                 uint32_t colour);
    void AddLocalSegment(const V3d& a, const V3d& b, const Matrix* frame, uint32_t colour);
    void AddBox(const V3d& centre, const V3d& half, const Matrix* frame, uint32_t colour);
    void AddTriangleList(const OlpVolume* volume, const Matrix* matrix, uint32_t colour);

    std::vector<Im3DVertex> m_vertices;
    std::vector<OlpTriangleData> m_triangles; ///< a triangle list's query buffer
};
