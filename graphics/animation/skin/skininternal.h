#pragma once
// Private to the skin plug-in: the extensions' slots, the shared parts of
// the readers and of SkinCreate, and the pipeline table.

#include <cstdint>

#include "graphics/animation/skin/skin.h"
#include "graphics/core/matrix.h"

struct Stream;
struct Pipeline;

/// The geometry's skin slot and the atomic's hierarchy slot.
Skin** SkinGeometrySlot(const Geometry* geometry);
Hierarchy** SkinAtomicSlot(const Atomic* atomic);

/// A zeroed record from the free list; null (recorded) when closed or out of memory.
Skin* SkinAllocateRecord();
/// Gives the record back without touching its arrays.
void SkinFreeRecord(Skin* skin);
/// Allocates the zeroed data block for the counts and points the arrays
/// into it; false (recorded) when out of memory.
bool SkinAllocateData(Skin* skin, int32_t numVertices, uint32_t usedRoom);
/// Most leading non-zero weights of any vertex (1 to 4).
uint32_t SkinComputeMaxWeights(const Skin* skin);
/// The used-bone list in first-appearance order from the indices and weights.
void SkinComputeUsedBones(Skin* skin);
/// Sorts each vertex's weights descending (with their indices) and the used bones ascending.
void SkinPrepare(Skin* skin);

/// Geometry extension stream (sub-chunk 0x116) and the older atomic form.
Stream* SkinGeometryStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
Stream* SkinGeometryStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset,
                                int32_t size);
int32_t SkinGeometryStreamGetSize(const void* object, int32_t offset, int32_t size);
Stream* SkinAtomicStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);

/// Records, once per open, that a hierarchy has more nodes than the workspace holds.
void SkinReportTooManyNodes();

/// One bone's matrix: its bind-pose inverse times the node's pose (the
/// node's frame, or the hierarchy's matrix in local or world space), taken
/// into the atomic's frame unless the hierarchy is in local space.
void SkinPoseBone(Matrix* out, const Matrix& bind, const Hierarchy* hierarchy, int32_t node,
                  const Matrix& inverseAtomic);
/// The inverse of the atomic's world matrix (the identity without a frame).
Matrix SkinInverseAtomicMatrix(const Atomic* atomic);

/// The skin pipelines (only the first is used); created at the first open.
constexpr int32_t kSkinPipelineSlots = 4;
Pipeline** SkinPipelineTable();
