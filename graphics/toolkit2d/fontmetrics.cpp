// Fonts from ".met" files: the three versions of the metrics text and the
// glyph textures they name. Every number, name and character is checked
// against what the line holds; a malformed file fails the read cleanly.

#include <cmath>
#include <cstring>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stringfunctions.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/fontinternal.h"
#include "graphics/toolkit2d/path.h"

namespace {

constexpr int32_t kLineBytes = 256;

bool ReadLine(FileSlot* file, char* line)
{
    return FileSystemManagerFGets(line, kLineBytes, file) != nullptr;
}

/// The line without its line end.
size_t Trimmed(char* line)
{
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        line[--length] = 0;
    }
    return length;
}

const StringFunctions* Text()
{
    return StringFunctionsGet();
}

/// One or two names of a texture line; 0 when there are none, -1 when a
/// name is too long to be a texture's.
int32_t ScanNames(const char* line, char* name, char* mask)
{
    name[0] = mask[0] = 0;
    const int32_t found = Text()->scan(line, "%255s %255s", name, mask);
    if (std::strlen(name) >= kTextureNameSize || std::strlen(mask) >= kTextureNameSize) {
        return -1;
    }
    return found < 0 ? 0 : found;
}

/// Reads a glyph texture into the font dictionary; null when it cannot be read.
Texture* ReadTexture(const char* name, const char* mask)
{
    TexDictionary* previous = FontBeginTextureReads();
    Texture* texture = TextureRead(name, mask && mask[0] ? mask : nullptr);
    FontEndTextureReads(previous);
    return texture && TextureGetRaster(texture) ? texture : nullptr;
}

/// The characters of a METRICS2 page, decoded from the lines after its
/// baseline. A line longer than the buffer is continued where it was cut.
struct CharacterText
{
    FileSlot* file;
    char buffer[kLineBytes + 1];
    size_t position;
    size_t length;
    bool partial; ///< the buffer holds the start of a longer line
    bool failed;

    void Reset()
    {
        position = length = 0;
        partial = false;
    }

    bool Fill(size_t keep)
    {
        if (!FileSystemManagerFGets(buffer + keep, int32_t(kLineBytes - keep), file)) {
            return false;
        }
        const size_t read = std::strlen(buffer + keep);
        partial = read == 0 || buffer[keep + read - 1] != '\n';
        length = keep + read;
        length = Trimmed(buffer);
        position = 0;
        return true;
    }

    /// The next character; false at the end of the text or when it cannot
    /// be decoded (failed set).
    bool Next(uint32_t* code)
    {
        for (;;) {
            if (position >= length) {
                if (!Fill(0)) {
                    return false;
                }
                continue;
            }
            const auto* bytes = reinterpret_cast<const uint8_t*>(buffer + position);
            size_t used = 0;
            if (FontDecodeUtf8(bytes, length - position, code, &used)) {
                position += used;
                return true;
            }
            // A character cut by the buffer's end continues on the rest of the line.
            const size_t rest = length - position;
            if (partial && rest < 6 && position > 0) {
                std::memmove(buffer, buffer + position, rest);
                if (Fill(rest)) {
                    continue;
                }
            }
            failed = true;
            return false;
        }
    }
};

/// Reads a "%d" line.
bool ReadInteger(FileSlot* file, char* line, int32_t* value)
{
    return ReadLine(file, line) && Text()->scan(line, "%d", value) == 1;
}

bool ParseFloats(const char* text, const char* format, float* values, int32_t count)
{
    int32_t found = 0;
    if (count == 2) {
        found = Text()->scan(text, format, &values[0], &values[1]);
    } else {
        found = Text()->scan(text, format, &values[0], &values[1], &values[2], &values[3], &values[4],
                             &values[5]);
    }
    if (found != count) {
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

bool SamePixel(const Image* image, int32_t x, int32_t y, const uint8_t* colour)
{
    return std::memcmp(image->pixels + y * image->stride + x * 4, colour, 4) == 0;
}

} // namespace

Font* FontReadMetrics1(Font* font, FileSlot* file, char* line)
{
    font->kind = kFontBitmap;
    font->draw = FontRenderStringBitmap;
    char name[kLineBytes], mask[kLineBytes];
    const int32_t names = ReadLine(file, line) ? ScanNames(line, name, mask) : 0;
    if (names == 0) {
        return font; // no texture named: an empty font
    }
    if (names < 0) {
        return nullptr;
    }
    ImageSetPath(FontGetPath());
    if (names == 1) {
        // The mask "m" + name is used when such an image exists along the font path.
        char probe[kTextureNameSize + 1] = "m";
        std::strcat(probe, name);
        std::strcpy(mask, ImageFindFileExtension(probe) ? probe : "");
    }
    Texture* texture = ReadTexture(name, mask);
    if (!texture) {
        return nullptr;
    }
    font->textures[0] = texture;
    const Raster* raster = TextureGetRaster(texture);
    const float width = float(raster->width);
    const float height = float(raster->height);
    int32_t baseline = 0;
    if (!ReadInteger(file, line, &baseline)) {
        return nullptr;
    }
    int32_t lastHeight = 0;
    while (ReadLine(file, line)) {
        int32_t code, x0, y0, x1, y1;
        if (Text()->scan(line, "%i %i %i %i %i", &code, &x0, &y0, &x1, &y1) != 5) {
            continue;
        }
        if (code < 0 || code >= 0x10000) {
            return nullptr;
        }
        if (y1 == y0) {
            continue; // no height to measure the advance by
        }
        FontGlyph* glyph = FontAddGlyph(font, uint32_t(code));
        if (!glyph) {
            return nullptr;
        }
        glyph->texture = texture;
        glyph->textureIndex = 0;
        glyph->u0 = (float(x0) + 0.5f) / width;
        glyph->v0 = (float(y0) + 0.5f) / height;
        glyph->u1 = (float(x1) + 0.5f) / width;
        glyph->v1 = (float(y1) + 0.5f) / height;
        glyph->advance = float(x1 - x0) / float(y1 - y0);
        lastHeight = y1 - y0;
    }
    if (lastHeight == 0) {
        return nullptr;
    }
    font->pixelHeight = float(lastHeight);
    font->baseline = float(baseline) / float(lastHeight);
    font->spacing = 0.0f;
    return FontBuildExtendedMap(font) ? font : nullptr;
}

Font* FontReadMetrics2(Font* font, FileSlot* file, char* line)
{
    font->kind = kFontBitmap;
    font->draw = FontRenderStringBitmap;
    ImageSetPath(FontGetPath());
    Image* image = nullptr;
    bool ok = true;
    auto* text = static_cast<CharacterText*>(MemoryAllocate(sizeof(CharacterText), kFontHint));
    ok = text != nullptr;
    for (int32_t slot = 0; ok && slot < kFontTextures; ++slot) {
        char name[kLineBytes], mask[kLineBytes];
        const int32_t names = ReadLine(file, line) ? ScanNames(line, name, mask) : 0;
        if (names == 0) {
            break; // no further page
        }
        if (names < 0) {
            ok = false;
            break;
        }
        Texture* texture = ReadTexture(name, mask);
        int32_t baseline = 0;
        if (!texture) {
            ok = false;
            break;
        }
        font->textures[slot] = texture;
        Raster* raster = TextureGetRaster(texture);
        if (image && (image->width != raster->width || image->height != raster->height)) {
            ImageDestroy(image);
            image = nullptr;
        }
        if (!image) {
            image = ImageCreate(raster->width, raster->height, 32);
            if (!image || !ImageAllocatePixels(image)) {
                ok = false;
                break;
            }
        }
        if (!ImageSetFromRaster(image, raster) || !ReadInteger(file, line, &baseline)) {
            ok = false;
            break;
        }
        // The cell height: the next marker down column 0.
        uint8_t marker[4];
        std::memcpy(marker, image->pixels, 4);
        int32_t h = 0;
        for (int32_t y = 1; y < image->height && h == 0; ++y) {
            h = SamePixel(image, 0, y, marker) ? y : 0;
        }
        if (h <= 3) {
            ok = false; // no second marker, or cells too small to hold a glyph
            break;
        }
        *text = {};
        text->file = file;
        bool more = true;
        for (int32_t y = 0; more && y < image->height; y += h) {
            int32_t p = 0;
            for (int32_t x = 1; more && x < image->width; ++x) {
                if (!SamePixel(image, x, y, marker)) {
                    continue;
                }
                if (x - p == 1) {
                    break; // two adjacent markers end the band
                }
                uint32_t code = 0;
                if (!text->Next(&code)) {
                    ok = !text->failed;
                    more = false; // no characters left for this page's cells
                    break;
                }
                FontGlyph* glyph = FontAddGlyph(font, code);
                if (!glyph) {
                    ok = more = false;
                    break;
                }
                glyph->texture = texture;
                glyph->textureIndex = uint8_t(slot);
                glyph->u0 = (float(p) + 2.5f) / float(image->width);
                glyph->v0 = (float(y) + 2.5f) / float(image->height);
                glyph->u1 = (float(x) - 0.5f) / float(image->width);
                glyph->v1 = (float(y + h) - 0.5f) / float(image->height);
                glyph->advance = float(x - p - 3) / float(h - 3);
                p = x;
            }
        }
        font->pixelHeight = float(h - 3);
        font->baseline = float(baseline) / float(h - 3);
        font->spacing = 0.0f;
    }
    MemoryFree(text);
    if (image) {
        ImageDestroy(image);
    }
    return ok && FontBuildExtendedMap(font) ? font : nullptr;
}

Font* FontReadMetrics3(Font* font, FileSlot* file, char* line)
{
    font->kind = kFontOutline;
    font->draw = FontRenderStringOutline;
    font->pixelHeight = 1.0f;
    font->baseline = 0.0f;
    font->spacing = 0.0f;
    char description[kLineBytes];
    if (!ReadLine(file, line) || Text()->scan(line, "%255[^\n]", description) != 1) {
        return font; // no description: a font without glyphs
    }
    bool pending = false;
    uint32_t code = 0;
    Path* path = nullptr;
    float advance = 0.0f;
    bool ok = true;
    while (ok && ReadLine(file, line)) {
        const size_t length = Trimmed(line);
        if (!pending) {
            // One leading byte, then the character.
            size_t used = 0;
            if (length == 0) {
                continue;
            }
            ok = length >= 2 &&
                 FontDecodeUtf8(reinterpret_cast<const uint8_t*>(line + 1), length - 1, &code, &used);
            pending = ok;
            continue;
        }
        float values[6] = {};
        const bool started = path && PathGetNodeCount(path->current) > 0;
        if (std::strcmp(line, "begin") == 0) {
            PathDestroy(path);
            ok = (path = PathCreate()) != nullptr;
        } else if (std::strncmp(line, "moveto", 6) == 0) {
            ok = path && ParseFloats(line + 6, "%f %f", values, 2) && PathMoveTo(path, values[0], values[1]);
            advance = values[0];
        } else if (std::strncmp(line, "lineto", 6) == 0) {
            ok = started && ParseFloats(line + 6, "%f %f", values, 2) &&
                 PathLineTo(path, values[0], values[1]);
            advance = values[0];
        } else if (std::strncmp(line, "curveto", 7) == 0) {
            ok = started && ParseFloats(line + 7, "%f %f %f %f %f %f", values, 6) &&
                 PathCurveTo(path, values[0], values[1], values[2], values[3], values[4], values[5]);
            advance = values[0];
        } else if (std::strcmp(line, "closepath") == 0) {
            ok = started && PathClose(path);
        } else if (std::strcmp(line, "end") == 0) {
            Path* glyphPath = path ? PathTrimEnd(path) : nullptr;
            path = nullptr;
            FontGlyph* glyph = FontAddGlyph(font, code);
            if (!glyph) {
                PathDestroy(glyphPath);
                ok = false;
                break;
            }
            glyph->path = glyphPath ? PathFinish(glyphPath) : nullptr;
            glyph->advance = advance;
            pending = false;
        }
    }
    PathDestroy(path);
    return ok && FontBuildExtendedMap(font) ? font : nullptr;
}

Font* FontReadMetrics(const char* name)
{
    Font* font = FontCreate();
    if (!font) {
        return nullptr;
    }
    char fileName[2 * kLineBytes];
    FileSlot* file = nullptr;
    const char* path = FontGetPath();
    // Each directory of the ';' list in turn; the first file that opens is read.
    for (const char* dir = path ? path : ""; !file;) {
        const char* end = std::strchr(dir, ';');
        const size_t dirLength = end ? size_t(end - dir) : std::strlen(dir);
        const size_t nameLength = std::strlen(name);
        if (dirLength + nameLength + 5 <= sizeof(fileName)) {
            std::memcpy(fileName, dir, dirLength);
            std::memcpy(fileName + dirLength, name, nameLength);
            std::memcpy(fileName + dirLength + nameLength, ".met", 5);
            file = FileSystemManagerFOpen(fileName, "rb");
        }
        if (!end) {
            break;
        }
        dir = end + 1;
    }
    if (!file) {
        FontDestroy(font);
        return nullptr;
    }
    char line[kLineBytes];
    Font* read = nullptr;
    if (ReadLine(file, line)) {
        Trimmed(line);
        if (std::strcmp(line, "METRICS1") == 0) {
            read = FontReadMetrics1(font, file, line);
        } else if (std::strcmp(line, "METRICS2") == 0) {
            read = FontReadMetrics2(font, file, line);
        } else if (std::strcmp(line, "METRICS3") == 0) {
            read = FontReadMetrics3(font, file, line);
        }
    }
    FileSystemManagerFClose(file);
    FontResetCodeTable();
    if (!read) {
        FontDestroy(font);
    }
    return read;
}
