// The chunk-tree printer of scenetool dump. It reads the bytes directly
// (no engine objects), so it also shows files the readers refuse.
#include "tools/scenetool/scenedump.h"

#include <cstring>
#include <string>

namespace {

struct Cursor
{
    const uint8_t* data;
    size_t size;
};

uint32_t U32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

float F32(const uint8_t* p)
{
    uint32_t bits = U32(p);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

const char* ChunkName(uint32_t type)
{
    switch (type) {
    case 0x01:
        return "struct";
    case 0x02:
        return "string";
    case 0x03:
        return "extension";
    case 0x05:
        return "camera";
    case 0x06:
        return "texture";
    case 0x07:
        return "material";
    case 0x08:
        return "material list";
    case 0x09:
        return "atomic sector";
    case 0x0A:
        return "plane sector";
    case 0x0B:
        return "world";
    case 0x0E:
        return "frame list";
    case 0x0F:
        return "geometry";
    case 0x10:
        return "clump";
    case 0x12:
        return "light";
    case 0x14:
        return "atomic";
    case 0x1A:
        return "geometry list";
    default:
        return "chunk";
    }
}

bool IsContainer(uint32_t type)
{
    switch (type) {
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0E:
    case 0x0F:
    case 0x10:
    case 0x12:
    case 0x14:
    case 0x1A:
        return true;
    default:
        return false;
    }
}

void Indent(std::FILE* out, int depth)
{
    std::fprintf(out, "%*s", 2 * depth, "");
}

void DumpGeometryStruct(const uint8_t* p, size_t size, std::FILE* out, int depth)
{
    if (size < 16) {
        return;
    }
    const uint32_t format = U32(p);
    const int32_t triangles = int32_t(U32(p + 4));
    const int32_t vertices = int32_t(U32(p + 8));
    const int32_t targets = int32_t(U32(p + 12));
    uint32_t sets = (format >> 16) & 0xFF;
    if (sets == 0) {
        sets = (format & 0x80) ? 2 : (format & 0x04) ? 1 : 0;
    }
    Indent(out, depth);
    std::fprintf(out,
                 "format 0x%08X (flags 0x%X, %u texture sets%s%s%s%s) triangles %d vertices %d targets %d\n",
                 format, format & 0xFF00FFFF, sets, (format & 0x01) ? ", strips" : "",
                 (format & 0x08) ? ", pre-lit" : "", (format & 0x10) ? ", normals" : "",
                 (format & 0x01000000) ? ", native" : "", triangles, vertices, targets);
    uint64_t at = 16;
    if (!(format & 0x01000000) && vertices > 0 && triangles >= 0) {
        at += ((format & 0x08) ? 4ull : 0ull) * uint64_t(vertices) + 8ull * sets * uint64_t(vertices) +
              8ull * uint64_t(triangles);
    }
    for (int32_t t = 0; t < targets && at + 24 <= size; ++t) {
        const uint8_t* target = p + at;
        const bool hasVertices = U32(target + 16) != 0;
        const bool hasNormals = U32(target + 20) != 0;
        Indent(out, depth);
        std::fprintf(out, "target %d sphere (%g, %g, %g) radius %g%s%s\n", t, F32(target), F32(target + 4),
                     F32(target + 8), F32(target + 12), hasVertices ? " vertices" : "",
                     hasNormals ? " normals" : "");
        at += 24 + (hasVertices ? 12ull * uint64_t(vertices > 0 ? vertices : 0) : 0) +
              (hasNormals ? 12ull * uint64_t(vertices > 0 ? vertices : 0) : 0);
    }
}

const char* AxisName(uint32_t type)
{
    return type == 0 ? "x" : type == 4 ? "y" : type == 8 ? "z" : "?";
}

void DumpWorldStruct(const uint8_t* p, size_t size, std::FILE* out)
{
    if (size < 64) {
        std::fprintf(out, "world struct of %zu bytes\n", size);
        return;
    }
    const uint32_t format = U32(p + 36);
    std::fprintf(
        out,
        "root %s, origin (%g, %g, %g), triangles %u vertices %u, planes %u sectors %u, collision %u, "
        "format 0x%08X (%u texture sets%s%s%s%s%s)\n",
        U32(p) ? "atomic sector" : "plane sector", -F32(p + 4), -F32(p + 8), -F32(p + 12), U32(p + 16),
        U32(p + 20), U32(p + 24), U32(p + 28), U32(p + 32), format, (format >> 16) & 0xFF,
        (format & 0x01) ? ", strips" : "", (format & 0x08) ? ", pre-lit" : "",
        (format & 0x10) ? ", normals" : "", (format & 0x01000000) ? ", native" : "",
        (format & 0x40000000) ? ", left and right values" : "");
}

void DumpStruct(uint32_t parent, const uint8_t* p, size_t size, std::FILE* out, int depth)
{
    Indent(out, depth);
    switch (parent) {
    case 0x0B:
        DumpWorldStruct(p, size, out);
        if (size >= 64) {
            Indent(out, depth);
            std::fprintf(out, "box (%g, %g, %g) to (%g, %g, %g)\n", F32(p + 52), F32(p + 56), F32(p + 60),
                         F32(p + 40), F32(p + 44), F32(p + 48));
        }
        return;
    case 0x0A:
        if (size >= 24) {
            std::fprintf(out, "split %s at %g, left %s up to %g, right %s from %g\n", AxisName(U32(p)),
                         F32(p + 4), U32(p + 8) ? "sector" : "plane", F32(p + 16),
                         U32(p + 12) ? "sector" : "plane", F32(p + 20));
        }
        return;
    case 0x09:
        if (size >= 44) {
            std::fprintf(out,
                         "triangles %u vertices %u, materials from %u, box (%g, %g, %g) to (%g, %g, %g)\n",
                         U32(p + 4), U32(p + 8), U32(p), F32(p + 12), F32(p + 16), F32(p + 20), F32(p + 24),
                         F32(p + 28), F32(p + 32));
        }
        return;
    case 0x10:
        if (size >= 12) {
            std::fprintf(out, "atomics %u lights %u cameras %u\n", U32(p), U32(p + 4), U32(p + 8));
        } else if (size >= 4) {
            std::fprintf(out, "frame index %d\n", int32_t(U32(p)));
        }
        return;
    case 0x0E:
        if (size >= 4) {
            const uint32_t count = U32(p);
            std::fprintf(out, "frames %u\n", count);
            for (uint32_t i = 0; i < count && 4 + 56ull * (i + 1) <= size; ++i) {
                const uint8_t* frame = p + 4 + 56 * i;
                Indent(out, depth);
                std::fprintf(out, "frame %u parent %d position (%g, %g, %g)\n", i, int32_t(U32(frame + 48)),
                             F32(frame + 36), F32(frame + 40), F32(frame + 44));
            }
        }
        return;
    case 0x1A:
        if (size >= 4) {
            std::fprintf(out, "geometries %u\n", U32(p));
        }
        return;
    case 0x0F:
        std::fprintf(out, "geometry struct\n");
        DumpGeometryStruct(p, size, out, depth);
        return;
    case 0x08:
        if (size >= 4) {
            std::fprintf(out, "materials %u:", U32(p));
            for (uint32_t i = 0; i < U32(p) && 8 + 4ull * i <= size; ++i) {
                std::fprintf(out, " %d", int32_t(U32(p + 4 + 4 * i)));
            }
            std::fprintf(out, "\n");
        }
        return;
    case 0x07:
        if (size >= 16) {
            std::fprintf(out, "colour %u %u %u %u textured %u", p[4], p[5], p[6], p[7], U32(p + 12));
            if (size >= 28) {
                std::fprintf(out, " ambient %g specular %g diffuse %g", F32(p + 16), F32(p + 20),
                             F32(p + 24));
            }
            std::fprintf(out, "\n");
        }
        return;
    case 0x06:
        if (size >= 4) {
            std::fprintf(out, "filter and addressing 0x%08X\n", U32(p));
        }
        return;
    case 0x14:
        if (size >= 12) {
            std::fprintf(out, "frame %u geometry %u flags 0x%X\n", U32(p), U32(p + 4), U32(p + 8));
        }
        return;
    case 0x12:
        if (size >= 24) {
            std::fprintf(out, "type 0x%X flags 0x%X radius %g colour (%g, %g, %g) minus cos cone %g\n",
                         (U32(p + 20) >> 16) & 0xFF, U32(p + 20) & 0xFF, F32(p), F32(p + 4), F32(p + 8),
                         F32(p + 12), F32(p + 16));
        }
        return;
    default:
        std::fprintf(out, "%zu bytes\n", size);
        return;
    }
}

void DumpExtension(const uint8_t* p, size_t size, std::FILE* out, int depth)
{
    size_t at = 0;
    while (at + 12 <= size) {
        const uint32_t id = U32(p + at);
        const uint32_t length = U32(p + at + 4);
        Indent(out, depth);
        std::fprintf(out, "plug-in 0x%X, %u bytes", id, length);
        const uint8_t* body = p + at + 12;
        const bool whole = length <= size - at - 12;
        if (id == 0x50E && whole && length >= 12) {
            const uint32_t meshes = U32(body + 4);
            std::fprintf(out, ": meshes flags 0x%X count %u indices %u\n", U32(body), meshes, U32(body + 8));
            size_t m = 12;
            for (uint32_t i = 0; i < meshes && m + 8 <= length; ++i) {
                Indent(out, depth + 1);
                const uint32_t material = U32(body + m + 4);
                std::fprintf(out, "mesh %u: %u indices, material %d\n", i, U32(body + m), int32_t(material));
                m += 8 + 4ull * U32(body + m);
            }
        } else if (id == 0x510 && whole && length >= 12 + 8 + 64) {
            // Native data: a struct chunk holding the platform, the record
            // size, the record, the elements, indices and vertex bytes.
            const uint8_t* n = body + 12;
            const uint32_t recordBytes = U32(n + 4);
            std::fprintf(out,
                         ": native platform %u, meshes %u, primitive type %u, indices %u, vertices %u, "
                         "strides %u/%u",
                         U32(n), U32(n + 12), U32(n + 20), U32(n + 64), U32(n + 68), U32(n + 32),
                         U32(n + 48));
            if (recordBytes <= length - 12 - 8 - 4) {
                std::fprintf(out, ", elements %u", U32(n + 8 + recordBytes));
            }
            std::fprintf(out, "\n");
        } else {
            std::fprintf(out, "\n");
        }
        if (!whole) {
            return;
        }
        at += 12 + length;
    }
}

bool DumpChunks(const uint8_t* p, size_t size, uint32_t parent, std::FILE* out, int depth)
{
    size_t at = 0;
    while (at + 12 <= size) {
        const uint32_t type = U32(p + at);
        const uint32_t length = U32(p + at + 4);
        const uint32_t stamp = U32(p + at + 8);
        Indent(out, depth);
        std::fprintf(out, "%s (0x%X) %u bytes stamp 0x%08X\n", ChunkName(type), type, length, stamp);
        if (length > size - at - 12) {
            Indent(out, depth + 1);
            std::fprintf(out, "runs past its parent\n");
            return false;
        }
        const uint8_t* body = p + at + 12;
        if (type == 0x01) {
            DumpStruct(parent, body, length, out, depth + 1);
        } else if (type == 0x02) {
            Indent(out, depth + 1);
            std::fprintf(out, "\"%s\"\n",
                         std::string(reinterpret_cast<const char*>(body),
                                     strnlen(reinterpret_cast<const char*>(body), length))
                             .c_str());
        } else if (type == 0x03) {
            DumpExtension(body, length, out, depth + 1);
        } else if (IsContainer(type) && !DumpChunks(body, length, type, out, depth + 1)) {
            return false;
        }
        at += 12 + length;
    }
    return true;
}

} // namespace

bool SceneDump(const std::vector<uint8_t>& bytes, std::FILE* out)
{
    return DumpChunks(bytes.data(), bytes.size(), 0, out, 0);
}
