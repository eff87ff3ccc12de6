#include "framework/attributeslots.h"

#include <cstdio>

#include "framework/configsection.h"
#include "framework/standardapplication.h"

bool ReadAttributeSlots(const char** attributes, const char* section, const AttributeSlot* slots,
                        int32_t count)
{
    for (int32_t place = 0; place < count; ++place) {
        const AttributeSlot& slot = slots[place];
        const char** pair = AttributePair(attributes, place);
        const bool found = slot.real ? ReadFloatAttribute(slot.name, pair, slot.real)
                                     : ReadIntAttribute(slot.name, pair, slot.integer);
        if (!found) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "'%s' attribute not found in '%s' section.\nPlease update your XML file",
                          slot.shown, section);
            CStandardApplication::ReportEngineError(text);
            return false;
        }
    }
    return true;
}

bool ReadPointAttributes(const char** attributes, const char* section, V3d* point)
{
    const AttributeSlot slots[] = {
        {"x", "x", &point->x, nullptr},
        {"y", "y", &point->y, nullptr},
        {"z", "z", &point->z, nullptr},
    };
    return ReadAttributeSlots(attributes, section, slots, 3);
}
