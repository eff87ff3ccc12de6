#pragma once
// Matrices: a 3x3 rotation-and-scale part and a position (row vectors: a
// point p maps to p.x*right + p.y*up + p.z*at + pos), with flag bits that let
// products and inverses take short cuts. The stream form is chunk 0xD.

#include <cstdint>

#include "graphics/core/vector.h"

struct Stream;

/// Matrix flag bits.
constexpr uint32_t kMatrixFlagNormal = 0x1;     ///< every axis has unit length
constexpr uint32_t kMatrixFlagOrthogonal = 0x2; ///< axes mutually perpendicular
constexpr uint32_t kMatrixFlagIdentity =
    0x20000; ///< the identity (trusted when the optimisation mask holds it)
constexpr uint32_t kMatrixFlagsAll = 0x20003;
constexpr uint32_t kMatrixFlagsOrthonormal = 0x3;

/// Combination ops of MatrixTransform/Rotate/Scale/Translate.
enum : int32_t
{
    kCombineReplace = 0,    ///< replace with the transformation
    kCombinePreConcat = 1,  ///< apply the transformation first (in local space)
    kCombinePostConcat = 2, ///< apply the transformation after the matrix
};

struct Matrix
{
    V3d right;
    uint32_t flags;
    V3d up;
    uint32_t pad1;
    V3d at;
    uint32_t pad2;
    V3d pos;
    uint32_t pad3;
};
static_assert(sizeof(Matrix) == 64, "Matrix is 64 bytes");

/// out = a x b (a applied first). Must handle out aliasing neither a nor b.
using MatrixMultiplyFunc = void (*)(Matrix* out, const Matrix* a, const Matrix* b);

/// New identity matrix (flags 0x20003) from the matrix free list; null when
/// out of memory.
Matrix* MatrixCreate();
/// Returns the matrix to the free list; 1.
int32_t MatrixDestroy(Matrix* matrix);
/// Free-list entries per block and blocks to preallocate; call before EngineInit.
void MatrixSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Installs the multiply routine (null restores MatrixMultiplyDefault); 1.
int32_t MatrixSetMultiplyFunction(MatrixMultiplyFunc routine);
/// The multiply routine now installed.
MatrixMultiplyFunc MatrixGetMultiplyFunction();
/// The portable product used when no routine is installed.
void MatrixMultiplyDefault(Matrix* out, const Matrix* a, const Matrix* b);
/// Optimisation mask: when it holds 0x20000 the identity flag is trusted. 1.
int32_t MatrixSetOptimizations(uint32_t mask);
/// Tolerances: normal, orthogonal, identity (0.01 each by default).
int32_t MatrixQueryTolerances(float tolerances[3]);
int32_t MatrixSetTolerances(const float tolerances[3]);

/// out = a x b with the identity short cuts; out's flags = a.flags & b.flags.
/// out may alias a or b.
Matrix* MatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b);
/// op 0 copy, 1 matrix = other x matrix, 2 matrix = matrix x other; any
/// other op records kErrorBadArgument "Invalid combination type" and answers null.
Matrix* MatrixTransform(Matrix* matrix, const Matrix* other, int32_t op);
/// Rotation by `angle` degrees about `axis` (need not be unit); ops as above.
Matrix* MatrixRotate(Matrix* matrix, const V3d* axis, float angle, int32_t op);
Matrix* MatrixScale(Matrix* matrix, const V3d* scale, int32_t op);
Matrix* MatrixTranslate(Matrix* matrix, const V3d* translation, int32_t op);

/// Inverse: copy for a trusted identity, transpose for an orthonormal
/// matrix, otherwise MatrixInvertGeneral. out must not alias in.
Matrix* MatrixInvert(Matrix* out, const Matrix* in);
/// Adjugate / determinant (a determinant of exactly 0 is taken as 1, so a
/// singular matrix inverts without error); flags 0.
Matrix* MatrixInvertGeneral(Matrix* out, const Matrix* in);
/// Unit, mutually perpendicular axes keeping the best-conditioned pair;
/// flags 3. out may alias in.
Matrix* MatrixOrthoNormalize(Matrix* out, const Matrix* in);

/// Recomputes the flag bits 0, 1 and 0x20000 from the errors below, with the
/// given three tolerances or the module's when null.
Matrix* MatrixOptimize(Matrix* matrix, const float* tolerances);
/// Clears the flag bits 0x20003; every editing caller calls it.
Matrix* MatrixUpdate(Matrix* matrix);

float MatrixDeterminant(const Matrix* matrix);
/// Sum over the axes of (squared length - 1)^2.
float MatrixNormalError(const Matrix* matrix);
/// Sum of the squared pairwise dot products of the axes.
float MatrixOrthogonalError(const Matrix* matrix);
/// Sum of the squared differences of the 12 elements from the identity.
float MatrixIdentityError(const Matrix* matrix);

/// Axis (unit, or 0 for no rotation), angle in degrees (0..180) and the
/// point the matrix leaves fixed.
const Matrix* MatrixQueryRotate(const Matrix* matrix, V3d* axis, float* angle, V3d* centre);

/// Stream form: chunk 0xD of 64 bytes (a 52-byte struct chunk).
uint32_t MatrixStreamGetSize();
const Matrix* MatrixStreamWrite(const Matrix* matrix, Stream* stream);
/// Reads the body of a chunk 0xD the caller has found; into `matrix` or a new
/// matrix when null. Null on a short read (kErrorRead) or a bad version.
Matrix* MatrixStreamRead(Stream* stream, Matrix* matrix);

/// The stored matrix record: 12 floats and the flags word AND 3.
struct MatrixChunkData
{
    V3d right, up, at, pos;
    uint32_t flags;
};
/// Finds the struct chunk and reads at most 52 bytes of it into a zeroed
/// record (the rest skipped); `size` receives the stored size. Null on failure.
MatrixChunkData* MatrixStreamReadStruct(Stream* stream, MatrixChunkData* data, uint32_t* size);

/// Registers the matrix module (core module 0x402) with the engine at
/// EngineInit; its open creates the matrix free list.
int32_t MatrixModuleAttach();
