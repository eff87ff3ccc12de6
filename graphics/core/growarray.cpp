#include "graphics/core/growarray.h"

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/memory.h"

namespace {

constexpr int32_t kInitialCapacity = 20;

// Reallocates the data to `capacity` elements; false (array unchanged, error
// recorded) when the size overflows or memory runs out.
bool GrowTo(GrowArray* array, int64_t capacity, uint32_t hint)
{
    if (capacity > INT32_MAX || size_t(capacity) > SIZE_MAX / array->elementSize) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, capacity));
        return false;
    }
    size_t bytes = size_t(capacity) * array->elementSize;
    void* data = MemoryReallocate(array->data, bytes, hint | kMemoryHintResizable);
    if (!data) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return false;
    }
    array->data = data;
    array->capacity = int32_t(capacity);
    return true;
}

} // namespace

GrowArray* GrowArrayCreate(size_t elementSize, uint32_t hint)
{
    if (elementSize == 0 || elementSize > SIZE_MAX / kInitialCapacity) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    auto* array = static_cast<GrowArray*>(MemoryAllocate(sizeof(GrowArray), kMemoryHintObject));
    if (!array) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(GrowArray)));
        return nullptr;
    }
    size_t bytes = elementSize * kInitialCapacity;
    array->data = MemoryAllocate(bytes, hint | kMemoryHintResizable);
    if (!array->data) {
        MemoryFree(array);
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    array->count = 0;
    array->capacity = kInitialCapacity;
    array->elementSize = elementSize;
    return array;
}

bool GrowArrayDestroy(GrowArray* array)
{
    MemoryFree(array->data);
    MemoryFree(array);
    return true;
}

void* GrowArrayIncSize(GrowArray* array, uint32_t hint)
{
    if (array->count >= array->capacity &&
        !GrowTo(array, int64_t(array->capacity) + array->capacity / 4, hint)) {
        return nullptr;
    }
    return static_cast<char*>(array->data) + size_t(array->count++) * array->elementSize;
}

void* GrowArrayIncSizeBy(GrowArray* array, int32_t n, uint32_t hint)
{
    if (n < 0) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    if (int64_t(array->count) + n >= array->capacity &&
        !GrowTo(array, int64_t(array->capacity) + array->capacity / 4 + n, hint)) {
        return nullptr;
    }
    void* first = static_cast<char*>(array->data) + size_t(array->count) * array->elementSize;
    array->count += n;
    return first;
}

bool GrowArrayRemoveAt(GrowArray* array, int32_t index)
{
    if (index < 0 || index >= array->count) {
        return false;
    }
    char* data = static_cast<char*>(array->data);
    size_t later = size_t(array->count - 1 - index) * array->elementSize;
    if (later) {
        std::memmove(data + size_t(index) * array->elementSize, data + size_t(index + 1) * array->elementSize,
                     later);
    }
    --array->count;
    return true;
}

void GrowArrayEmpty(GrowArray* array)
{
    array->count = 0;
}

int32_t GrowArrayGetCount(const GrowArray* array)
{
    return array->count;
}

void* GrowArrayGetElement(const GrowArray* array, int32_t index)
{
    return static_cast<char*>(array->data) + size_t(index) * array->elementSize;
}

void* GrowArrayGetData(const GrowArray* array)
{
    return array->count ? array->data : nullptr;
}

void* GrowArrayGetRawData(const GrowArray* array)
{
    return array->data;
}

void* GrowArrayGetEnd(const GrowArray* array)
{
    return static_cast<char*>(array->data) + size_t(array->count) * array->elementSize;
}

void* GrowArrayDetach(GrowArray* array)
{
    void* data = array->data;
    if (array->count == 0) {
        MemoryFree(data);
        data = nullptr;
    }
    MemoryFree(array);
    return data;
}

bool GrowArrayFreeBlock(void* data)
{
    MemoryFree(data);
    return true;
}
