#pragma once
// Contact records: the closest features of one part pair clipped into at
// most four points on a plane, with what the constraint builder needs of
// the two volumes (slide, bounce, feature kinds) and the touch records
// through which objects learn whom they touch.
//
// Normals point from object B towards object A. A point's separation is the
// gap between the two surfaces (cores less both margins) along the normal
// at that point: negative when they overlap.

#include <cstdint>

#include "graphics/core/vector.h"

struct OlpObj;
struct OlpContactProperties;

/// Object flags read by the contact generator.
constexpr uint32_t kOlpObjFlagNoContacts = 0x20; ///< the object only reports touches
constexpr uint32_t kOlpObjFlagTouchList = 0x40;  ///< the object keeps a touch list

/// The part index of a side that is a bare volume, not a part of an object.
constexpr uint32_t kOlpBarePart = 0xFFFF;

/// Feature kinds of a contact's sides.
enum OlpFeatureKind : uint8_t
{
    kOlpFeatureVertex = 0,
    kOlpFeatureEdge = 1,
    kOlpFeatureFace = 2,
};

/// Most points a contact keeps.
constexpr uint32_t kOlpContactMaxPoints = 4;

struct OlpContactPoint
{
    V3d position;                     ///< world space
    float separation;                 ///< surface gap; negative when overlapping
    OlpContactProperties* properties; ///< optional per-point block; null by default
    V3d targetVelocity;               ///< relative velocity to reach; zero by default
    uint32_t featureA;
    uint32_t featureB;
};

struct OlpContact
{
    V3d normal; ///< unit, from B towards A
    OlpContactPoint points[kOlpContactMaxPoints];
    uint32_t count; ///< 0: an empty record, skipped by every later stage
    void* objectA;  ///< the OlpObj, or the volume of a bare volume
    uint32_t partA; ///< kOlpBarePart for a bare volume
    void* objectB;
    uint32_t partB;
    float slide;  ///< the smaller of the two
    float bounce; ///< the smaller of the two
    uint8_t kindA;
    uint8_t kindB;
    uint16_t flags; ///< bit 0: no friction rows
    float load;     ///< normal impulse carried over by the warm start
    OlpContact* groupLink;
    OlpContact* listLink;
};

/// One entry of an object's touch list: whom it touches and the contact
/// record made for it (null when the pair makes no contacts).
struct OlpTouch
{
    OlpObj* object;
    OlpObj* other;
    uint32_t otherPart;
    OlpContact* contact;
    OlpTouch* next;
};

/// The removal score of polygon point b between a and c:
/// |(b - a) x (c - a)|^2 / (|c - a|^4 + 1), a triangle's squared area damped
/// for long spans.
float OlpContactPointScore(const V3d* a, const V3d* b, const V3d* c);
/// Appends a point (null properties, zero target velocity, feature ids 0)
/// unless a spacing >= 0 is given and the point lies within that Manhattan
/// distance of the first point or, with two or more points, of the last;
/// also refused when the record is full. 1 when appended.
int32_t OlpContactAddPoint(const V3d* position, float separation, OlpContact* contact, float spacing);
/// True when `other` is empty or lies, at its first point, within
/// 0.5 max(|s(r)|, |s(o)|) + 0.1 scale of `record`'s plane.
bool OlpContactShadowed(const OlpContact* record, const OlpContact* other, float scale);
/// Merges the records of one part pair: shadowed records emptied (when
/// `removeShadowed`), records of one plane joined into one record of at
/// most four points, empty records dropped. `records` and `output` must
/// not overlap. Returns the number written (at most `room`).
uint32_t OlpContactMerge(OlpContact* records, uint32_t count, int32_t removeShadowed, OlpContact* output,
                         uint32_t room, float scale);
