#pragma once
// Constraint rows: contacts and joints turned into the rows the solver
// kernels read. A row says "J v should reach a target", with J the six
// coefficients of each body. Rows are stored as a structure of arrays, one
// constraint's rows padded to a multiple of four so that the four-wide
// kernels take a group of rows as one vector.
//
// Sign convention of every row: J v is the rate of the row's position error
// (word `error`), and a positive solution value pushes J v up. A contact's
// normal row has J v = n . (vA - vB), the separating speed, and bounds
// [0, max]; a joint lock's J v is the rate of its negated offset.

#include <cstdint>

#include "graphics/core/vector.h"

struct OlpContact;
struct OlpDyn;
struct OlpJoint;
struct OlpJointEnd;
struct OlpJointFrame;
struct Matrix;
struct Quaternion;

/// One row as the builders assemble it (27 words).
struct OlpConstraintRow
{
    float linearA[4];  ///< float 3 not read
    float angularA[4]; ///< float 3 not read
    float linearB[4];  ///< float 3 not read
    float angularB[4]; ///< float 3 not read
    float error;       ///< position error: a contact's penetration, a joint's negated offset
    float bias;        ///< velocity bias: a contact's restitution target
    float softness[2]; ///< 0 for rigid rows; a spring's 1 / (hk + c) and hk / (hk + c)
    float bounds[4];   ///< first pair (lower, upper), second pair (lower, upper)
    float reduction;   ///< error-reduction factor, 0.8 by default
    float unused;
    int32_t tag; ///< a per-row word copied to its own array
};
static_assert(sizeof(OlpConstraintRow) == 27 * 4, "a row is 27 words");

/// Flags of a contact point's property block.
constexpr uint32_t kOlpPropFrictionDirection = 0x1; ///< the first friction direction is given
constexpr uint32_t kOlpPropFrictionBounds = 0x2;    ///< the friction bounds and softness are given
constexpr uint32_t kOlpPropNormalValues = 0x4;      ///< the normal row's values are given
constexpr uint32_t kOlpPropNoRows = 0x8;            ///< the point makes no rows

/// The optional per-point property block a contact point may point at.
struct OlpContactProperties
{
    float normalSoftness[2];
    float bounce;
    float reduction;
    V3d frictionDirection;
    uint32_t flags;
    float frictionBound[2];    ///< rows 1 and 2
    float frictionSoftness[2]; ///< rows 1 and 2 (first softness value)
};

/// The largest float, the solver's "unbounded".
constexpr float kOlpRowUnbounded = 3.4028235e38f;
/// The default error-reduction factor.
constexpr float kOlpRowReduction = 0.8f;

/// The padding row: zero Jacobian with body words -1, factor 0.8, words 25
/// and 26 -1.
const OlpConstraintRow* OlpConstraintPadRow();

/// The row store: rows of the constraints of one batch, written in place.
struct OlpRowBuilder
{
    float (*jacobian)[16]; ///< per row: (linear A, body A), (angular A, constraint), (linear B, body B),
                           ///< (angular B, constraint)
    float* error;
    float* bias;
    float* softness[2];
    float* bounds[4];
    float* reduction;
    int32_t* tag;
    int32_t (*bodies)[2];          ///< per constraint: body indices, -1 for a static side
    uint32_t* constraintRows;      ///< per constraint: rows including padding
    const void** constraintSource; ///< per constraint: its contact (null for a joint)
    uint32_t rowCapacity;
    uint32_t constraintCapacity;
    uint32_t constraint; ///< the open constraint
    uint32_t rowBase;    ///< first row of the open constraint
    uint32_t rowCount;   ///< rows of all closed constraints
    uint32_t groupCount;
    uint32_t constraintCount;
    int32_t full; ///< a row or constraint did not fit
};

/// Opens a constraint between body indices a and b (-1: static) from
/// `source` (a contact, or null). Refused (0, `full` set) when no room.
int32_t OlpConstraintOpen(OlpRowBuilder* store, int32_t bodyA, int32_t bodyB, const void* source);
/// Stores one row in the open constraint; 0 (nothing stored) when a word is
/// NaN or the error, bias, softness or Jacobian is infinite, or no room.
int32_t OlpConstraintAddRow(OlpRowBuilder* store, const OlpConstraintRow* row);
/// Pads the open constraint to a multiple of four rows, adds it to the
/// totals and moves on; a constraint without rows is dropped.
void OlpConstraintClose(OlpRowBuilder* store);
/// Fills the Jacobian: A gets (d, rA x d) when it moves, B (-d, d x rB).
void OlpConstraintJacobian(OlpConstraintRow* row, const V3d* direction, const V3d* leverA, const V3d* leverB,
                           const OlpDyn* bodyA, const OlpDyn* bodyB);

/// The dynamics state of one side of a contact (null: static).
OlpDyn* OlpContactSideDyn(void* object, uint32_t part);
/// The body index the solver gave a state (-1 for null).
int32_t OlpConstraintBodyIndex(const OlpDyn* dyn);

/// The tag word of a contact row: its point (0-3) and kind (0 normal, 1 and
/// 2 the friction rows); padding rows carry -1.
constexpr int32_t OlpContactRowTag(uint32_t point, uint32_t kind)
{
    return static_cast<int32_t>(point * 4 + kind);
}
/// Rows of one contact record: per point a normal row and (unless flag 0)
/// two friction rows. `stepArgument` is 1 / h: the resting threshold is
/// 0.001 x it, and a point still apart by s may close at s x it.
void OlpConstraintContactRows(OlpRowBuilder* store, const OlpContact* contact, float stepArgument);

/// The tag word of a joint row: the slot (0-11) of the joint's four
/// vectors its impulse is kept in from step to step, -1 for a drive row
/// (started from 0). The single swing lock takes the second angular slot.
constexpr int32_t kOlpJointTagLinearLock = 0;  ///< + frame axis
constexpr int32_t kOlpJointTagAngularLock = 3; ///< + frame axis
constexpr int32_t kOlpJointTagDistance = 6;
constexpr int32_t kOlpJointTagLimit = 7; ///< + 2 for the soft block, + 1 for the swing
constexpr uint32_t kOlpJointTagSlots = 12;

/// Rows of one joint. `s0` x `h` softens spring rows; h is the time step.
void OlpConstraintJointRows(OlpRowBuilder* store, const OlpJoint* joint, float s0, float h);
/// The world frame `matrix` (axes and origin `anchor`) of joint frame
/// `frame` on `side`; `position` is the side's centre of mass (origin when
/// static). Returns the side's dynamics state, null for a static side.
OlpDyn* OlpConstraintJointAnchor(const OlpJointEnd* side, const OlpJointFrame* frame, V3d* anchor,
                                 V3d* position, Matrix* matrix);
/// The rotation of frame B relative to frame A (w >= 0) and its matrix
/// (rows: B's axes in A's terms).
void OlpConstraintRelativeRotation(const Matrix* frameA, const Matrix* frameB, Quaternion* out,
                                   Matrix* matrix);
/// Rows a joint needs: locks plus drives plus limits.
uint32_t OlpConstraintJointRowCount(const OlpJoint* joint);
/// Drive rows of a joint.
uint32_t OlpConstraintDriveRowCount(const OlpJoint* joint);
/// Limit rows of a joint.
uint32_t OlpConstraintLimitRowCount(const OlpJoint* joint);

/// The spring rule with g = 1 / (hk + c): false when hk + c <= 0 (no row);
/// else softness[0] = g - s when g >= 0.1 s, else -0.9 s, and
/// softness[1] = g h k.
bool OlpConstraintSpring(float k, float c, float h, float s, float softness[2]);
