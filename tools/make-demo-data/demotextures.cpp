#include "tools/make-demo-data/demotextures.h"
#include "graphics/core/image.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/png.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

struct Rgba
{
    uint8_t r, g, b, a;
};

// A 32-bit image being drawn (every painter sets every pixel); owns the image.
class Canvas
{
  public:
    Canvas(int width, int height)
    {
        m_image = ImageCreate(width, height, 32);
        if (m_image != nullptr && ImageAllocatePixels(m_image) == nullptr) {
            ImageDestroy(m_image);
            m_image = nullptr;
        }
    }
    ~Canvas()
    {
        if (m_image != nullptr)
            ImageDestroy(m_image);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Valid() const { return m_image != nullptr; }
    int Width() const { return m_image->width; }
    int Height() const { return m_image->height; }
    Image* Get() const { return m_image; }

    void Set(int x, int y, Rgba c)
    {
        if (x < 0 || y < 0 || x >= Width() || y >= Height())
            return;
        uint8_t* p = m_image->pixels + size_t(y) * size_t(m_image->stride) + size_t(x) * 4;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = c.a;
    }

  private:
    Image* m_image = nullptr;
};

// The particle: a white disc whose alpha falls off smoothly to the rim.
void DrawParticle(Canvas& c)
{
    const float m = float(c.Width()) / 2.0f;
    for (int y = 0; y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x) {
            const float r = std::hypot(float(x) + 0.5f - m, float(y) + 0.5f - m) / m;
            const float k = std::clamp(1.0f - r, 0.0f, 1.0f);
            const uint8_t v = uint8_t(std::lround(255.0f * k * k));
            c.Set(x, y, Rgba{255, 255, 255, v});
        }
}

// The sky dome: deep blue at the top to a pale haze at the horizon (the bottom
// row), with soft bands of cloud from a fixed pattern.
void DrawSky(Canvas& c)
{
    for (int y = 0; y < c.Height(); ++y) {
        const float t = float(y) / float(c.Height() - 1);
        for (int x = 0; x < c.Width(); ++x) {
            const float u = float(x) / float(c.Width()) * 6.2831853f;
            const float cloud =
                std::max(0.0f, std::sin(u * 3.0f + t * 9.0f) * std::sin(u * 5.0f - t * 4.0f)) * 0.35f *
                std::sin(t * 3.1415926f);
            const auto mix = [&](float top, float horizon) {
                const float v = top + (horizon - top) * t;
                return uint8_t(std::lround(std::clamp(v + (255.0f - v) * cloud, 0.0f, 255.0f)));
            };
            c.Set(x, y, Rgba{mix(30, 200), mix(70, 220), mix(160, 240), 255});
        }
    }
}

struct TextureRecipe
{
    const char* name;
    int width, height;
    void (*paint)(Canvas&);
};

std::vector<TextureRecipe> Recipes()
{
    return {{"particle.png", 32, 32, DrawParticle}, {"skydome.bmp", 256, 128, DrawSky}};
}

bool EndsWith(const std::string& s, const char* tail)
{
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

} // namespace

const std::vector<std::string>& DemoTextureNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const TextureRecipe& recipe : Recipes())
            n.push_back(recipe.name);
        return n;
    }();
    return names;
}

bool DemoTexturesWrite(std::string& error)
{
    for (const TextureRecipe& recipe : Recipes()) {
        Canvas canvas(recipe.width, recipe.height);
        const std::string file = std::string("models/textures/") + recipe.name;
        if (!canvas.Valid()) {
            error = file + ": no image of " + std::to_string(recipe.width) + " x " +
                    std::to_string(recipe.height);
            return false;
        }
        recipe.paint(canvas);
        const bool written = EndsWith(file, ".png") ? PngWrite(canvas.Get(), file.c_str()) != nullptr
                                                    : BmpWrite(canvas.Get(), file.c_str()) != nullptr;
        if (!written) {
            error = file + ": cannot write";
            return false;
        }
    }
    return true;
}
