// bench_device_compare [--peer-threads N] [rounds]: the scenes of
// bench_device drawn by the software device and by Mesa's OSMesa (llvmpipe)
// in one process, in interleaved rounds, as rows of figure, ours, peer and
// ratio, both under the allocator settings of bench/peer_tunables.h. llvmpipe runs with LP_NUM_THREADS=N (0,
// the default: on the calling thread alone), the device on N threads (0: one). Both draw the same vertices,
// texture, matrices, material and light; after the rounds the two pictures are compared and the share of
// pixels that differ by more than 8 in a channel is printed.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/compare_row.h"
#include "bench/device/device_draw.h"
#include "bench/peer_tunables.h"
#include "bench/picture_compare.h"
#include "platform/d3d9/d3d9control.h"

namespace {

using namespace devbench;

/// The same scenes through OpenGL 1.5 fixed function on OSMesa.
class PeerScene
{
  public:
    PeerScene() : m_pixels(size_t(kWidth) * kHeight)
    {
        m_context = OSMesaCreateContextExt(OSMESA_BGRA, 24, 8, 0, nullptr);
        if (m_context && !OSMesaMakeCurrent(m_context, m_pixels.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
            OSMesaDestroyContext(m_context);
            m_context = nullptr;
        }
        if (m_context)
            glViewport(0, 0, kWidth, kHeight);
    }
    ~PeerScene()
    {
        if (m_context)
            OSMesaDestroyContext(m_context);
    }
    PeerScene(const PeerScene&) = delete;
    PeerScene& operator=(const PeerScene&) = delete;

    bool Ok() const { return m_context != nullptr; }

    void SetupFill(bool textured)
    {
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        // Screen coordinates with pixel centres on integers, y down; depth = z.
        glOrtho(-0.5, kWidth - 0.5, kHeight - 0.5, -0.5, 0.0, -1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glShadeModel(GL_SMOOTH);
        m_quads.resize(size_t(kQuads) * 4);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        if (textured) {
            if (!m_texture) {
                const std::vector<uint32_t> texels = TextureTexels();
                glGenTextures(1, &m_texture);
                glBindTexture(GL_TEXTURE_2D, m_texture);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSide, kTextureSide, 0, GL_BGRA,
                             GL_UNSIGNED_BYTE, texels.data());
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
                glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            }
            glBindTexture(GL_TEXTURE_2D, m_texture);
            glEnable(GL_TEXTURE_2D);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        } else {
            glDisable(GL_TEXTURE_2D);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
    }

    void DrawFillFrame(bool frontToBack)
    {
        for (int q = 0; q < kQuads; ++q)
            QuadVertices(q, frontToBack, &m_quads[size_t(q) * 4]);
        const GLsizei stride = sizeof(QuadVertex);
        glVertexPointer(3, GL_FLOAT, stride, &m_quads[0].x);
        // ARGB words are B, G, R, A bytes in memory.
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride, &m_quads[0].colour);
        glTexCoordPointer(2, GL_FLOAT, stride, &m_quads[0].u);
        glClearColor(0, 0, 0, 0);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int q = 0; q < kQuads; ++q)
            glDrawArrays(GL_TRIANGLE_STRIP, q * 4, 4);
        glFinish();
    }

    void SetupSphere(int segments)
    {
        const SphereMesh mesh = MakeSphere(segments);
        const SphereView view = MakeSphereView();
        glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(view.projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(view.view);
        // A directional light: the direction toward it, in world space.
        const float toLight[4] = {-kLightDirection[0], -kLightDirection[1], -kLightDirection[2], 0.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, toLight);
        glMultMatrixf(view.world);
        const float white[4] = {1, 1, 1, 1};
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        const float ambient[4] = {float((kAmbientArgb >> 16) & 255) / 255.0f,
                                  float((kAmbientArgb >> 8) & 255) / 255.0f,
                                  float(kAmbientArgb & 255) / 255.0f, 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kMaterialDiffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kMaterialAmbient);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        // The matrices keep the device's left-handed view space, where front
        // faces wind clockwise; the device culls the others.
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glShadeModel(GL_SMOOTH);
        if (!m_buffers[0])
            glGenBuffers(2, m_buffers);
        glBindBuffer(GL_ARRAY_BUFFER, m_buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.vertices.size() * sizeof(SphereVertex)),
                     mesh.vertices.data(), GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_buffers[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.indices.size() * 4), mesh.indices.data(),
                     GL_STATIC_DRAW);
        glVertexPointer(3, GL_FLOAT, sizeof(SphereVertex), nullptr);
        glNormalPointer(GL_FLOAT, sizeof(SphereVertex), reinterpret_cast<const void*>(3 * sizeof(float)));
        m_indexCount = GLsizei(mesh.indices.size());
    }

    void DrawSphereFrame()
    {
        glClearColor(0, 0, 0, 0);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawElements(GL_TRIANGLES, m_indexCount, GL_UNSIGNED_INT, nullptr);
        glFinish();
    }

    /// The picture, top row first, as XRGB words.
    std::vector<uint32_t> ReadBack() const
    {
        std::vector<uint32_t> out(m_pixels.size());
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(out.data() + size_t(y) * kWidth, m_pixels.data() + size_t(kHeight - 1 - y) * kWidth,
                        kWidth * 4);
        return out;
    }

  private:
    OSMesaContext m_context = nullptr;
    std::vector<uint32_t> m_pixels; // bottom row first
    std::vector<QuadVertex> m_quads;
    GLuint m_texture = 0;
    GLuint m_buffers[2] = {0, 0};
    GLsizei m_indexCount = 0;
};

/// Runs `rounds` rounds of `frames` frames each, ours then the peer's, and
/// prints the row (`work` units per frame, in millions per second: the
/// median of the rounds).
template <class Ours, class Peer>
void Race(const std::string& figure, const std::string& peerName, double work, int frames, int rounds,
          Ours ours, Peer peer)
{
    ours();
    peer();
    std::vector<double> oursRates, peerRates;
    const double total = work * frames / 1e6;
    for (int r = 0; r < rounds; ++r) {
        oursRates.push_back(total / Seconds(frames, ours));
        peerRates.push_back(total / Seconds(frames, peer));
    }
    PrintCompareRow(figure.c_str(), MedianOf(oursRates), peerName.c_str(), MedianOf(peerRates), rounds);
}

} // namespace

int main(int argc, char** argv)
{
    const char* allocator = KeepAllocatorMemory(argv);
    int threads = 0, rounds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--peer-threads") == 0 && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }
    // llvmpipe reads its thread count when the first context is made; the
    // device draws on as many threads (one for llvmpipe's 0).
    setenv("LP_NUM_THREADS", std::to_string(threads).c_str(), 1);
    D3D9SetDeviceThreads(std::max(threads, 1), false);
    DeviceScene ours;
    PeerScene peer;
    if (!ours.Ok() || !peer.Ok()) {
        std::fprintf(stderr, "bench_device_compare: %s could not be created\n",
                     ours.Ok() ? "OSMesa" : "the device");
        return 1;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string peerName =
        std::string(renderer && std::strstr(renderer, "llvmpipe") ? "llvmpipe" : "OSMesa") + ", " +
        (threads == 0 ? std::string("1 thread") : std::to_string(threads) + " threads");
    std::printf("device against %s (%s), 640 x 480, %d interleaved rounds, allocator: %s\n", peerName.c_str(),
                renderer ? renderer : "?", rounds, allocator);
    PrintCompareHeader();
    const std::string threadNote = threads > 1 ? ", " + std::to_string(threads) + " threads" : std::string();
    const double fillPixels = double(kWidth) * kHeight * kQuads;
    struct Fill
    {
        std::string figure;
        bool textured, frontToBack;
    };
    const Fill fills[] = {{"flat fill, back to front", false, false},
                          {"bilinear textured fill", true, false},
                          {"front to back, 9 of 10 rejected", false, true}};
    std::vector<std::string> remarks;
    for (const Fill& fill : fills) {
        ours.SetupFill(fill.textured);
        peer.SetupFill(fill.textured);
        Race(
            fill.figure + threadNote + " (Mpix/s)", peerName, fillPixels, 10, rounds,
            [&] { ours.DrawFillFrame(fill.frontToBack); }, [&] { peer.DrawFillFrame(fill.frontToBack); });
        char remark[160];
        std::snprintf(remark, sizeof remark, "%s: %.2f %% of the pixels differ by more than 8",
                      fill.figure.c_str(), DifferingPercent(ours.ReadBack(), peer.ReadBack()));
        remarks.push_back(remark);
    }
    const uint32_t triangles = ours.SetupSphere(448);
    peer.SetupSphere(448);
    Race(
        "lit sphere, 200k triangles" + threadNote + " (Mtri/s)", peerName, double(triangles), 5, rounds,
        [&] { ours.DrawSphereFrame(); }, [&] { peer.DrawSphereFrame(); });
    char remark[160];
    std::snprintf(remark, sizeof remark, "lit sphere: %.2f %% of the pixels differ by more than 8",
                  DifferingPercent(ours.ReadBack(), peer.ReadBack()));
    remarks.push_back(remark);
    for (const std::string& r : remarks)
        std::printf("  %s\n", r.c_str());
    return 0;
}
