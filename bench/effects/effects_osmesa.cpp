// bench_effects_osmesa [rounds]: the dual-textured grid of bench_effects
// drawn by the software device and by Mesa's OSMesa (llvmpipe, two texture
// units modulated, fixed-function GL) in one process, both on one thread, in
// interleaved rounds (under the allocator settings of bench/peer_tunables.h), as a row of figure, ours, peer
// and ratio; then the share of pixels whose colours differ by more than 8 in a channel.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/compare_row.h"
#include "bench/effects/effects_grid.h"
#include "bench/peer_tunables.h"
#include "bench/picture_compare.h"
#include "platform/d3d9/d3d9control.h"

namespace {

using namespace fxbench;

/// The grid through OpenGL 1.3 multitexture on OSMesa.
class PeerGrid
{
  public:
    PeerGrid() : m_pixels(size_t(kWidth) * kHeight), m_vertices(GridVertices())
    {
        m_context = OSMesaCreateContextExt(OSMESA_BGRA, 0, 0, 0, nullptr);
        if (m_context && !OSMesaMakeCurrent(m_context, m_pixels.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
            OSMesaDestroyContext(m_context);
            m_context = nullptr;
        }
        if (!m_context) {
            return;
        }
        glViewport(0, 0, kWidth, kHeight);
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glShadeModel(GL_SMOOTH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        // Screen coordinates with pixel centres on integers, y down.
        glOrtho(-0.5, kWidth - 0.5, kHeight - 0.5, -0.5, 0.0, -1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glGenTextures(2, m_textures);
        const GLsizei stride = sizeof(GridVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, stride, &m_vertices[0].x);
        // ARGB words are B, G, R, A bytes in memory.
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride, &m_vertices[0].colour);
        for (int t = 0; t < 2; ++t) {
            glActiveTexture(GLenum(GL_TEXTURE0 + t));
            glClientActiveTexture(GLenum(GL_TEXTURE0 + t));
            const std::vector<uint32_t> texels = GridTexels(t);
            glBindTexture(GL_TEXTURE_2D, m_textures[t]);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSide, kTextureSide, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                         texels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            glEnable(GL_TEXTURE_2D);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, stride, t == 0 ? &m_vertices[0].u0 : &m_vertices[0].u1);
        }
    }

    ~PeerGrid()
    {
        if (m_context) {
            glDeleteTextures(2, m_textures);
            OSMesaDestroyContext(m_context);
        }
    }
    PeerGrid(const PeerGrid&) = delete;
    PeerGrid& operator=(const PeerGrid&) = delete;

    bool Ok() const { return m_context != nullptr; }

    void DrawFrame()
    {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(m_vertices.size()));
        glFinish();
    }

    /// The picture, top row first, as XRGB words.
    std::vector<uint32_t> ReadBack() const
    {
        std::vector<uint32_t> out(m_pixels.size());
        for (int y = 0; y < kHeight; ++y) {
            std::memcpy(out.data() + size_t(y) * kWidth, m_pixels.data() + size_t(kHeight - 1 - y) * kWidth,
                        kWidth * 4);
        }
        return out;
    }

  private:
    OSMesaContext m_context = nullptr;
    std::vector<uint32_t> m_pixels; // bottom row first
    std::vector<GridVertex> m_vertices;
    GLuint m_textures[2] = {0, 0};
};

} // namespace

int main(int argc, char** argv)
{
    const char* allocator = KeepAllocatorMemory(argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    // Both on the calling thread: llvmpipe reads its thread count when the
    // first context is made.
    setenv("LP_NUM_THREADS", "0", 1);
    D3D9SetDeviceThreads(1, false);
    DeviceGrid ours;
    PeerGrid peer;
    if (!ours.Ok() || !peer.Ok()) {
        std::fprintf(stderr, "bench_effects_osmesa: %s could not be created\n",
                     ours.Ok() ? "OSMesa" : "the device");
        return 1;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string peerName =
        std::string(renderer && std::strstr(renderer, "llvmpipe") ? "llvmpipe" : "OSMesa") + ", 1 thread";
    std::printf("device against %s (%s), 640 x 480, %d interleaved rounds, allocator: %s\n", peerName.c_str(),
                renderer ? renderer : "?", rounds, allocator);
    PrintCompareHeader();
    constexpr int kFrames = 10;
    ours.DrawFrame();
    peer.DrawFrame();
    std::vector<double> oursRates, peerRates;
    const double total = kGridPixels * kFrames / 1e6;
    for (int r = 0; r < rounds; ++r) {
        oursRates.push_back(total / Seconds(kFrames, [&] { ours.DrawFrame(); }));
        peerRates.push_back(total / Seconds(kFrames, [&] { peer.DrawFrame(); }));
    }
    PrintCompareRow("dual-textured grid, one pass (Mpix/s)", MedianOf(oursRates), peerName.c_str(),
                    MedianOf(peerRates), rounds);
    std::printf("  dual-textured grid: %.2f %% of the pixels differ by more than 8\n",
                DifferingPercent(ours.ReadBack(), peer.ReadBack()));
    return 0;
}
