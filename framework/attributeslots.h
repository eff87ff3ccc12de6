#pragma once
// Reading an element's attributes by place, each to a float or an int, with
// the framework's message for the first one missing.
#include <cstdint>

#include "graphics/core/vector.h"

/// One attribute of an element: the name it must carry at its place, the
/// name its message shows, and the float or the int it is read into.
struct AttributeSlot
{
    const char* name;
    const char* shown;
    float* real;
    int32_t* integer;
};

/// Reads slots[k] from attribute place k, in order. The first missing or
/// misnamed one shows "'<shown>' attribute not found in '<section>'
/// section.\nPlease update your XML file" in the error box and answers
/// false; the slots read before it keep their values.
bool ReadAttributeSlots(const char** attributes, const char* section, const AttributeSlot* slots,
                        int32_t count);
/// "x", "y" and "z" at places 0 to 2 into `point`, as ReadAttributeSlots.
bool ReadPointAttributes(const char** attributes, const char* section, V3d* point);
