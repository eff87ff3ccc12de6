#pragma once
// Growable arrays of fixed-size elements, for modules that collect an unknown
// number of records. Elements are contiguous; appending returns the address
// of the new slot for the caller to fill. Element addresses change when the
// array grows.

#include <cstddef>
#include <cstdint>

struct GrowArray
{
    void* data;
    int32_t count;
    int32_t capacity;
    size_t elementSize;
};

/// A new array of capacity 20; null when out of memory (kErrorOutOfMemory).
/// `hint` is the caller's memory hint for the data block.
GrowArray* GrowArrayCreate(size_t elementSize, uint32_t hint);
/// Frees the data and the array. Returns true.
bool GrowArrayDestroy(GrowArray* array);
/// Appends one element; its address, or null when growth fails
/// (kErrorOutOfMemory; the array is unchanged). Grows to capacity * 5 / 4.
void* GrowArrayIncSize(GrowArray* array, uint32_t hint);
/// Appends n >= 0 elements; the address of the first, or null as above.
/// Grows when count + n reaches the capacity, to capacity + capacity / 4 + n.
void* GrowArrayIncSizeBy(GrowArray* array, int32_t n, uint32_t hint);
/// Removes element `index`; later elements move down. False when index is
/// outside 0..count-1.
bool GrowArrayRemoveAt(GrowArray* array, int32_t index);
/// count = 0; the storage is kept.
void GrowArrayEmpty(GrowArray* array);
int32_t GrowArrayGetCount(const GrowArray* array);
/// Address of element `index`; no bound check.
void* GrowArrayGetElement(const GrowArray* array, int32_t index);
/// The elements, or null when the count is 0.
void* GrowArrayGetData(const GrowArray* array);
/// The elements whatever the count.
void* GrowArrayGetRawData(const GrowArray* array);
/// One past the last element.
void* GrowArrayGetEnd(const GrowArray* array);
/// Frees the array and hands its elements to the caller (free them with
/// GrowArrayFreeBlock); when the count is 0 they are freed too and null returned.
void* GrowArrayDetach(GrowArray* array);
/// Frees elements handed out by GrowArrayDetach. Returns true.
bool GrowArrayFreeBlock(void* data);
