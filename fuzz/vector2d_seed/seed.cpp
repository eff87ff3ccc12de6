// Writes the seed corpus of a 2-D toolkit fuzz target with the toolkit's
// own writers.
// Usage: vector2d_seed path2d|brush2d|font_met|font_chunk|object2d|shape2d <corpus directory>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/fontinternal.h"
#include "graphics/toolkit2d/object2d.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/shape.h"
#include "graphics/toolkit2d/tess.h"
#include "tools/common/toolfiles.h"
#include "tools/scenebuild/sceneengine.h"

namespace {

using Writer = std::function<bool(Stream*)>;

bool WriteSeed(const std::string& path, const Writer& write)
{
    const std::vector<uint8_t> bytes = StreamWrittenBytes(write);
    return !bytes.empty() && ToolWriteFile(path, bytes.data(), bytes.size());
}

bool WritePath(Stream* stream, const std::function<void(Path*)>& build)
{
    Path* path = PathCreate();
    build(path);
    const bool written = PathStreamWrite(path, stream) != nullptr;
    PathDestroy(path);
    return written;
}

bool WriteBrush(Stream* stream, Texture* texture)
{
    Brush* brush = BrushCreate();
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 128};
    BrushSetColours(brush, red, blue, blue, red);
    const float a[2] = {0, 1}, b[2] = {4, 1}, c[2] = {4, 0}, d[2] = {0, 0};
    BrushSetUVs(brush, a, b, c, d);
    BrushSetTexture(brush, texture);
    const bool written = BrushStreamWrite(brush, stream) != nullptr;
    BrushDestroy(brush);
    return written;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool saved = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) {
        std::fclose(file);
    }
    return saved;
}

/// ".met" seeds for the in-memory file system of font_met, whose one page is "page".
bool WriteMetSeeds(const std::string& dir)
{
    const std::pair<const char*, const char*> seeds[] = {
        {"metrics1.met", "METRICS1\npage\n4\n65 0 0 8 7\n66 8 0 12 7\n300 12 0 20 7\n"},
        {"metrics1_mask.met", "METRICS1\npage page\n4\n65 0 0 8 7\n"},
        {"metrics2.met", "METRICS2\npage\n1\nA\xC3\xA9\nZ\n"},
        {"metrics2_two_pages.met", "METRICS2\npage\n1\nAB\nC\npage\n2\nDE\nF\n"},
        {"metrics2_cut_utf8.met", "METRICS2\npage\n1\nA\xC3\n"},
        {"metrics2_missing_page.met", "METRICS2\nnone\n1\nAB\n"},
        {"metrics2_flat_cells.met", "METRICS2\nflat\n1\nAB\n"},
        {"metrics2_no_second_marker.met", "METRICS2\nlonely\n1\nAB\n"},
        {"metrics2_sample_text.met",
         "METRICS2\npage\n4\n !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
         "abcdefghijklmnopqrstuvwxyz{|}~\n"},
        {"metrics3.met", "METRICS3\nseed\n#A\nbegin\nmoveto 0 0\nlineto 0.5 1\ncurveto 0.6 1 0.9 0.5 1 0\n"
                         "closepath\nmoveto 1.2 0\nend\n# \nbegin\nmoveto 0.3 0\nend\n"},
        {"metrics3_lineto_first.met", "METRICS3\nseed\n#A\nbegin\nlineto 1 1\nend\n"},
        {"metrics3_wide.met",
         "METRICS3\nseed\n#\xE2\x82\xAC\nbegin\nmoveto 0 0\nlineto 1 1\nmoveto 1 0\nend\n"},
    };
    for (const auto& [name, text] : seeds) {
        if (!WriteFile(dir + "/" + name, text)) {
            return false;
        }
    }
    return true;
}

/// A bitmap font of three glyphs on the page "page", and an outline font.
bool WriteFontSeeds(const std::string& dir)
{
    Texture* page = TextureCreate(nullptr);
    if (!page || !TextureSetName(page, "page") || !TexDictionaryAddTexture(FontGetTexDictionary(), page)) {
        return false;
    }
    Font* bitmap = FontCreate();
    bitmap->kind = kFontBitmap;
    bitmap->textures[0] = TextureAddRef(page);
    for (uint32_t code : {uint32_t('A'), uint32_t('B'), uint32_t(0x20AC)}) {
        FontGlyph* glyph = FontAddGlyph(bitmap, code);
        *glyph = {0.5f, page, 0.1f, 0.1f, 0.4f, 0.9f, nullptr, 0};
    }
    FontBuildExtendedMap(bitmap);
    FontResetCodeTable();
    Font* outline = FontCreate();
    FontGlyph* a = FontAddGlyph(outline, 'A');
    a->advance = 1.2f;
    a->path = PathCreate();
    PathMoveTo(a->path, 0, 0);
    PathLineTo(a->path, 0.5f, 1);
    PathCurveTo(a->path, 0.6f, 1, 0.9f, 0.5f, 1, 0);
    PathClose(a->path);
    FontAddGlyph(outline, ' ')->advance = 0.3f;
    bool ok =
        WriteSeed(dir + "/bitmap.font", [&](Stream* s) { return FontStreamWrite(bitmap, s) != nullptr; }) &&
        WriteSeed(dir + "/outline.font", [&](Stream* s) { return FontStreamWrite(outline, s) != nullptr; });
    // The same bitmap font lying: a glyph count beyond the chunk, a texture
    // index of 5, five textures. Offsets count the chunk header, the 36-byte
    // header, the extended map and the 128-entry basic map.
    const uint32_t glyphs = 12 + 36 + 2 * uint32_t(bitmap->extendedCount) + 256;
    const uint32_t textures = glyphs + 21 * uint32_t(bitmap->glyphCount);
    struct Lie
    {
        const char* name;
        uint32_t at, value, width;
    };
    for (const Lie lie : {Lie{"/lying_glyph_count.font", 12 + 28, 5000, 4},
                          Lie{"/lying_texture_index.font", glyphs + 20, 5, 1},
                          Lie{"/lying_texture_count.font", textures, 5, 4}}) {
        ok = ok && WriteSeed(dir + lie.name, [&](Stream* s) {
                 std::vector<uint8_t> bytes =
                     StreamWrittenBytes([&](Stream* m) { return FontStreamWrite(bitmap, m) != nullptr; });
                 if (lie.at + lie.width <= bytes.size()) {
                     for (uint32_t i = 0; i < lie.width; ++i) {
                         bytes[lie.at + i] = uint8_t(lie.value >> (8 * i));
                     }
                 }
                 return !bytes.empty() && StreamWrite(s, bytes.data(), bytes.size());
             });
    }
    FontDestroy(bitmap);
    FontDestroy(outline);
    return ok;
}

bool WriteObjectSeeds(const std::string& dir)
{
    Font* font = FontCreate();
    FontAddGlyph(font, 'A')->advance = 1;
    FontListAdd(font, "seedfont");
    Object2D* text = TextCreate("AB", "seedfont");
    Object2D* lost = TextCreate("Score", "absent");
    Object2D* region = HitRegionCreate();
    if (!text || !lost || !region) {
        return false;
    }
    ObjectTranslate(text, 0.5f, 0.25f);
    const float offset[4] = {0.5f, 0, 0, 1};
    ObjectSetColourOffset(text, offset);
    PathRect(HitRegionGetPath(region), 0, 0, 1, 1);
    const bool ok =
        WriteSeed(dir + "/text.obj", [&](Stream* s) { return TextStreamWrite(text, s) != nullptr; }) &&
        WriteSeed(dir + "/text_no_font.obj",
                  [&](Stream* s) { return TextStreamWrite(lost, s) != nullptr; }) &&
        WriteSeed(dir + "/hitregion.obj",
                  [&](Stream* s) { return HitRegionStreamWrite(region, s) != nullptr; });
    TextDestroy(text);
    TextDestroy(lost);
    HitRegionDestroy(region);
    return ok;
}

Brush* ColourBrush(uint8_t r, uint8_t g, uint8_t b)
{
    Brush* brush = BrushCreate();
    const uint8_t colour[4] = {r, g, b, 255};
    BrushSetColours(brush, colour, colour, colour, colour);
    return brush;
}

/// A shape filling a square with a gradient, stroking a curve with a flat
/// brush, and one entry without a brush.
Object2D* SeedShape()
{
    Object2D* shape = ShapeCreate();
    Brush* gradient = BrushCreate();
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 128};
    BrushSetColours(gradient, red, blue, blue, red);
    Path* square = PathCreate();
    PathRect(square, 0, 0, 2, 2);
    ShapeAddEntry(shape, kShapeFill, square, gradient);
    Brush* flat = ColourBrush(10, 200, 30);
    flat->halfWidth = 0.125f;
    Path* curve = PathCreate();
    PathMoveTo(curve, 0, 0);
    PathCurveTo(curve, 1, 2, 2, 2, 3, 0);
    ShapeAddEntry(shape, 0, curve, flat);
    Path* oval = PathCreate();
    PathOval(oval, 1, 1, 0.5f, 0.5f);
    ShapeAddEntry(shape, kShapeFill, oval, nullptr);
    BrushDestroy(gradient);
    BrushDestroy(flat);
    return shape;
}

/// A shape alone, and containers: two shapes sharing a list (one inside a
/// nested container), a tinted and reordered child, a hit region.
bool WriteShapeSeeds(const std::string& dir)
{
    Object2D* shape = SeedShape();
    Object2D* container = ContainerCreate();
    Object2D* nested = ContainerCreate();
    if (!shape || !container || !nested) {
        return false;
    }
    Object2D* first = ContainerAddShape(container);
    Brush* brush = ColourBrush(9, 8, 7);
    Path* triangle = PathCreate();
    PathMoveTo(triangle, 0, 0);
    PathLineTo(triangle, 1, 0);
    PathLineTo(triangle, 0.5f, 1);
    PathClose(triangle);
    ShapeAddEntry(first, kShapeFill, triangle, brush);
    BrushDestroy(brush);
    ObjectSetDrawOrder(first, 5);
    Object2D* inner = ContainerAddContainer(container);
    Object2D* sharing = ObjectAlloc();
    ShapeInit(sharing, 0, ShapeGetList(first));
    ContainerAddChild(inner, sharing);
    const float half[4] = {0.5f, 0.5f, 0.5f, 1};
    ObjectSetColourScale(inner, half);
    ObjectSetDrawOrder(inner, 1);
    ObjectTranslate(inner, 0.5f, 0.25f);
    ContainerAddChild(container, SeedShape());
    PathRect(HitRegionGetPath(ContainerAddHitRegion(container)), 0, 0, 1, 1);
    ContainerMakeInline(container);
    ContainerAddChild(nested, SeedShape());
    Object2D* at = nested;
    for (int32_t i = 0; i < 8; ++i) {
        at = ContainerAddContainer(at);
    }
    ContainerAddShape(at);
    const bool ok =
        WriteSeed(dir + "/shape.shp", [&](Stream* s) { return ShapeStreamWrite(shape, s) != nullptr; }) &&
        WriteSeed(dir + "/shared_lists.ctr",
                  [&](Stream* s) { return ContainerStreamWrite(container, s) != nullptr; }) &&
        WriteSeed(dir + "/nested.ctr", [&](Stream* s) { return ContainerStreamWrite(nested, s) != nullptr; });
    ShapeDestroy(shape);
    ContainerDestroy(container);
    ContainerDestroy(nested);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string target = argc == 3 ? argv[1] : "";
    const bool known = target == "path2d" || target == "brush2d" || target == "font_met" ||
                       target == "font_chunk" || target == "object2d" || target == "shape2d";
    // Shapes build geometries and atomics: they need the scene library.
    const bool started = target == "shape2d" ? SceneEngineStart() && TessModuleOpen() : FuzzEngineStart();
    if (!known || !started || !PathModuleOpen() || !BrushModuleOpen() || !FontModuleOpen() ||
        !ObjectModuleOpen()) {
        std::fprintf(
            stderr,
            "usage: vector2d_seed path2d|brush2d|font_met|font_chunk|object2d|shape2d <corpus directory>\n");
        return 1;
    }
    const std::string dir = argv[2];
    bool ok = true;
    if (target == "path2d") {
        ok = ok && WriteSeed(dir + "/rect_curve_move.path", [](Stream* s) {
                 return WritePath(s, [](Path* p) {
                     PathRect(p, 0, 0, 2, 1);
                     PathMoveTo(p, 3, 3);
                     PathCurveTo(p, 4, 4, 5, 4, 6, 3);
                     PathMoveTo(p, 9, 9);
                 });
             });
        ok = ok && WriteSeed(dir + "/oval.path", [](Stream* s) {
                 return WritePath(s, [](Path* p) { PathOval(p, 0, 0, 1, 2); });
             });
        ok = ok && WriteSeed(dir + "/star_finished.path", [](Stream* s) {
                 return WritePath(s, [](Path* p) {
                     const float star[][2] = {{0, 1},        {0.2f, 0.3f}, {1, 0.3f},      {0.35f, -0.1f},
                                              {0.6f, -0.9f}, {0, -0.4f},   {-0.6f, -0.9f}, {-0.35f, -0.1f},
                                              {-1, 0.3f},    {-0.2f, 0.3f}};
                     PathMoveTo(p, star[0][0], star[0][1]);
                     for (const auto& point : star) {
                         PathLineTo(p, point[0], point[1]);
                     }
                     PathClose(p);
                     PathSetStrokeOffset(p, 0.1f);
                     PathFinish(p);
                 });
             });
        ok = ok && WriteSeed(dir + "/empty.path", [](Stream* s) { return WritePath(s, [](Path*) {}); });
    } else if (target == "font_met") {
        ok = WriteMetSeeds(dir);
    } else if (target == "font_chunk") {
        ok = WriteFontSeeds(dir);
    } else if (target == "object2d") {
        ok = WriteObjectSeeds(dir);
    } else if (target == "shape2d") {
        ok = WriteShapeSeeds(dir);
    } else {
        Texture* band = TextureCreate(nullptr);
        ok = band && TextureSetName(band, "band") && TexDictionaryAddTexture(TexDictionaryGetCurrent(), band);
        ok = ok && WriteSeed(dir + "/gradient.brush", [](Stream* s) { return WriteBrush(s, nullptr); });
        ok = ok && WriteSeed(dir + "/textured.brush", [&](Stream* s) { return WriteBrush(s, band); });
    }
    if (!ok) {
        std::fprintf(stderr, "vector2d_seed: cannot write the %s corpus\n", target.c_str());
        return 1;
    }
    return 0;
}
