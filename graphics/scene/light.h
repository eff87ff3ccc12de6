#pragma once
// Lights: a light source placed by a Frame, with a type, radius, colour and
// cone. Types below 0x80 are global (they light everything in their world);
// types 0x80 and above are local and lit only within their radius. Lights
// belong to clumps and worlds; saved as chunk 0x12 inside a clump. Every
// function needs the engine started with the scene library attached.

#include <cstdint>

#include "graphics/core/linklist.h"
#include "graphics/core/object.h"
#include "graphics/scene/scenetypes.h"

struct Frame;
struct Stream;

/// Light types.
constexpr uint8_t kLightDirectional = 0x01;
constexpr uint8_t kLightAmbient = 0x02;
constexpr uint8_t kLightPoint = 0x80;
constexpr uint8_t kLightSpot = 0x81;
constexpr uint8_t kLightSpotSoft = 0x82;
/// The first local type.
constexpr uint8_t kLightFirstLocal = 0x80;

/// Light flags (ObjectHeader::flags): the kinds of object it lights.
constexpr uint8_t kLightLightsAtomics = 0x01;
constexpr uint8_t kLightLightsWorld = 0x02;
/// Private flag: red, green and blue are equal.
constexpr uint8_t kLightPrivateGrey = 0x01;

/// ObjectHeader::type of lights.
constexpr uint8_t kObjectTypeLight = 3;

/// Largest cone angle accepted, radians (pi / 2 as a float).
constexpr float kLightMaxConeAngle = 1.5707964f;

struct Light
{
    ObjectHasFrame object; ///< type 3, subType = light type, flags 3 at creation
    float radius;
    RGBAReal colour;
    float minusCosAngle; ///< -cos(cone angle)
    LinkList sectorTies; ///< the world sectors it is tied to
    LinkList worldLink;  ///< in its world's light list; zero while in none
    uint16_t stamp;      ///< the renderer's light-walk stamp
    // Light plug-in data follows (LightRegisterPlugin).
};

/// The 24-byte struct of a saved light, as the chunk-info reader gives it.
struct LightChunkInfo
{
    float radius;
    float red;
    float green;
    float blue;
    float minusCosAngle;
    uint32_t typeAndFlags; ///< type << 16 | flags byte
};

/// New light of `type`: no frame, radius 0, white, cone 0, flags 3; null on failure.
Light* LightCreate(uint8_t type);
/// Plug-in destructors (which take it out of its clump and world), off its
/// frame, record freed. 1.
int32_t LightDestroy(Light* light);
/// Stores the radius (world units) and marks its frame changed; the light.
Light* LightSetRadius(Light* light, float radius);
/// Copies the colour and sets the grey flag; the light.
Light* LightSetColor(Light* light, const RGBAReal* colour);
/// Cone angle in radians, 0 to kLightMaxConeAngle; null (unchanged) for a
/// negative angle, NaN or one above.
Light* LightSetConeAngle(Light* light, float angle);
/// The cone angle in radians (0 .. pi).
float LightGetConeAngle(const Light* light);
inline Frame* LightGetFrame(const Light* light)
{
    return ObjectHasFrameGetFrame(&light->object);
}
inline uint8_t LightGetType(const Light* light)
{
    return light->object.object.subType;
}

/// Bytes of the chunk 0x12 body: 36 + the extension body + 12.
uint32_t LightStreamGetSize(const Light* light);
/// Writes chunk 0x12 (header included); alpha is not saved. The light or null.
const Light* LightStreamWrite(const Light* light, Stream* stream);
/// Reads a chunk 0x12 body (the caller found the chunk): a new light with
/// alpha 1, or null with the first error recorded; a light whose extensions
/// fail to read is destroyed.
Light* LightStreamRead(Stream* stream);
/// Reads the next struct chunk into `info` (zeroed first) and skips the
/// rest; `size` gets the struct size + 12. The info, or null.
LightChunkInfo* LightStreamReadChunkInfo(Stream* stream, LightChunkInfo* info, int32_t* size);
