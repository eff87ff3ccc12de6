#pragma once
// Collision volumes. Every shape is an OlpVolume: a local frame, three
// type-data words, a margin (the rounding radius every shape is swept by,
// the radius of spheres and capsules), two surface coefficients and a
// pointer to its type's static OlpVolumeDescriptor, whose ten slots hold
// all that differs between shapes. The dispatchers (dispatch.h) move
// arguments into and out of the volume's frame around the slots.
//
// Records are 16-byte aligned. Volumes made by a create function are freed
// with OlpVolumeDestroy; volumes initialised in place (parts, aggregate
// children, stack temporaries) release their shared type data with
// OlpVolumeDestroyContents.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"
#include "physics/core/utils/bbox.h"
#include "physics/core/utils/boundingsphere.h"
#include "physics/core/utils/inertia.h"

struct OlpVolume;
struct Stream;

/// Built-in type ids.
enum OlpVolumeTypeId : uint32_t
{
    kOlpTypeNull = 0,
    kOlpTypePlane = 1,
    kOlpTypeSphere = 2,
    kOlpTypeCapsule = 3,
    kOlpTypeTriangle = 4,
    kOlpTypeBox = 5,
    kOlpTypeCylinder = 6,
    kOlpTypeConvex = 7,
    kOlpTypeAggregate = 8,
    kOlpTypeTrilist = 9,
    kOlpTypeGrid = 10,
    kOlpBuiltinTypeCount = 11,
};

/// Descriptor flags.
constexpr uint8_t kOlpVolumeCompound = 0x01;   ///< the narrow phase enumerates sub-volumes
constexpr uint8_t kOlpVolumeWorldSpace = 0x02; ///< no frame of its own (never written or applied)
constexpr uint8_t kOlpVolumeWorldQuery = 0x04; ///< the compound query takes a world box
constexpr uint8_t kOlpVolumeMeasureGjk = 0x10; ///< pairs measured by GJK, not separating axes
/// edgeAxisCount/faceAxisCount/maxFeaturePoints value: not bounded / not tested by axes.
constexpr uint16_t kOlpAxisCountNone = 99;

/// Inertia per unit mass: the diagonal about the principal axes (moments)
/// and their rotation.
using OlpMassProperties = OlpInertia;

/// One point of a support feature (the fourth float is carried along).
struct OlpFeaturePoint
{
    V3d p;
    float pad;
};

/// Inline room of a support feature.
constexpr uint16_t kOlpFeatureInlinePoints = 4;

/// The farthest feature of a volume in a direction: a point, a segment or a
/// face. Before a call the caller either leaves `capacity` at 0 (the slot
/// writes into the inline room of four points) or points `points` at a
/// buffer and sets `capacity` to its room; no slot writes more points than
/// that room, thinning a larger face evenly. After the call `points` is
/// where the points are.
struct OlpSupportFeature
{
    V3d normal;
    float offset; ///< normal . first point
    OlpFeaturePoint inlinePoints[kOlpFeatureInlinePoints];
    OlpFeaturePoint* points = nullptr;
    uint16_t count = 0;
    uint16_t id = 0;       ///< feature id (triangles); 0 for other types
    uint16_t capacity = 0; ///< room at `points` set by the caller; 0 = inline room
};

/// Where a slot writes the points of a feature and how many fit; sets
/// feature->points to that room.
OlpFeaturePoint* OlpSupportFeatureRoom(OlpSupportFeature* feature, uint16_t* room);

/// One face of a volume for the separating-axis test: unit normal and the
/// core's interval along it.
struct OlpFaceAxis
{
    V3d normal;
    float lower;
    float upper;
};

/// First hit of a segment.
struct OlpLineResult
{
    const OlpVolume* volume;
    V3d point;
    V3d normal;
    float fraction; ///< of the whole segment, 0 to 1
};

using OlpDestroySlot = int32_t (*)(OlpVolume* volume);
using OlpBoundingSphereSlot = OlpSphere* (*)(const OlpVolume* volume, OlpSphere* out);
using OlpMassPropertiesSlot = float (*)(const OlpVolume* volume, OlpMassProperties* out, V3d* centre);
using OlpBoundingBoxSlot = OlpBBox* (*)(const OlpVolume* volume, const Matrix* matrix, int32_t tight,
                                        OlpBBox* out);
using OlpSupportPointSlot = V3d* (*)(const OlpVolume* volume, const V3d* direction, V3d* out);
using OlpSupportFeatureSlot = OlpSupportFeature* (*)(const OlpVolume* volume, int32_t winding,
                                                     const V3d* direction, OlpSupportFeature* out);
using OlpSeparatingAxesSlot = int32_t (*)(const OlpVolume* volume, const Matrix* matrix, OlpFaceAxis* faces,
                                          V3d* edges);
using OlpProjectionSlot = int32_t (*)(const OlpVolume* volume, const V3d* axis, float* min, float* max);
using OlpCoreThicknessSlot = float (*)(const OlpVolume* volume);
using OlpLineIntersectSlot = int32_t (*)(const OlpVolume* volume, const V3d* start, const V3d* end,
                                         OlpLineResult* out);
using OlpVolumeStreamWriteFunc = int32_t (*)(const OlpVolume* volume, Stream* stream);
using OlpVolumeStreamReadFunc = OlpVolume* (*)(OlpVolume* volume, Stream* stream);

/// The static, read-only table of one volume type.
struct OlpVolumeDescriptor
{
    uint32_t typeId;
    OlpDestroySlot destroy;                  ///< 1: release what the type data owns
    OlpBoundingSphereSlot getBoundingSphere; ///< 2: local bounding sphere
    OlpMassPropertiesSlot getMassProperties; ///< 3: volume, centre, inertia per unit mass
    OlpBoundingBoxSlot getBoundingBox;       ///< 4: box under an optional matrix, margin included
    OlpSupportPointSlot getSupportPoint;     ///< 5: farthest core point (no margin)
    OlpSupportFeatureSlot getSupportFeature; ///< 6: farthest feature
    OlpSeparatingAxesSlot getSeparatingAxes; ///< 7: faces and edge directions
    OlpProjectionSlot getProjection;         ///< 8: core interval on an axis
    OlpCoreThicknessSlot getCoreThickness;   ///< 9: smallest width
    OlpLineIntersectSlot lineIntersect;      ///< 10: first hit of a segment
    OlpVolumeStreamWriteFunc
        streamWrite; ///< custom types only: bytes written (counted with a null stream), 0 on failure
    OlpVolumeStreamReadFunc streamRead; ///< custom types only: reads every byte its writer wrote
    const char* name;
    uint8_t minFeatureDim; ///< 0 point, 1 segment, 2 face
    uint8_t maxFeatureDim;
    uint16_t edgeAxisCount;
    uint16_t faceAxisCount;
    uint16_t maxFeaturePoints;
    uint8_t flags;
};

/// A type-data word: a float, an integer or a pointer, as the type says.
union OlpTypeWord {
    float f;
    uint32_t u;
    void* p;
};

/// A collision volume. The frame's flags word carries 0x20000 when it is
/// the identity, which lets every dispatcher skip the transform.
struct alignas(16) OlpVolume
{
    Matrix frame;
    OlpTypeWord data[3];
    float margin; ///< >= 0
    float bounce; ///< restitution
    float slide;  ///< friction
    uint16_t id;
    uint16_t tag;
    const OlpVolumeDescriptor* descriptor;
};
static_assert(sizeof(OlpVolume) % 16 == 0, "volumes are handled as 16-byte aligned records");

/// Default bounce and slide of a new volume.
constexpr float kOlpDefaultBounce = 0.2f;
constexpr float kOlpDefaultSlide = 0.2f;

/// Identity frame (flags 0x20003), margin 0, bounce and slide 0.2, id and tag
/// 0, descriptor stored; the type data is the type init's business.
OlpVolume* OlpVolumeInit(OlpVolume* volume, const OlpVolumeDescriptor* descriptor);
/// A new 16-byte aligned record from the engine memory (hint 0x30900), not
/// initialised; null when the memory refuses.
OlpVolume* OlpVolumeAllocate();
/// Releases the type data (slot 1) and frees a record made by a create
/// function; 1.
int32_t OlpVolumeDestroy(OlpVolume* volume);
/// Slot 1: releases what the type data owns; its result.
int32_t OlpVolumeDestroyContents(OlpVolume* volume);
/// True for a non-null, 16-byte aligned volume with a margin >= 0 (not NaN)
/// and a descriptor.
bool OlpVolumeIsValid(const OlpVolume* volume);
/// Sets the margin; a negative or NaN value is taken as 0.
OlpVolume* OlpVolumeSetMargin(OlpVolume* volume, float margin);
OlpVolume* OlpVolumeSetTag(OlpVolume* volume, uint16_t tag);
/// The three type-data words.
OlpTypeWord* OlpVolumeGetTypeData(OlpVolume* volume);
/// Copies the matrix into the frame unless the type has no frame (flag 0x02).
OlpVolume* OlpVolumeSetFrame(OlpVolume* volume, const Matrix* matrix);
/// The type's name; "<null-pointer>" for a null volume, "<null-vtable>"
/// without a descriptor.
const char* OlpVolumeGetTypeName(const OlpVolume* volume);

/// Makes a finite value >= 0 of a caller's length (NaN and negatives give 0).
float OlpSanitizeLength(float length);
