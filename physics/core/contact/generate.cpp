// The contacts of one group of feature pairs, and the touch lists.
#include "physics/core/contact/batch.h"
#include "physics/core/object/object.h"

namespace {

OlpObj* ObjectOf(const OlpFeatureHalf& half)
{
    return half.part == kOlpBarePart ? nullptr : static_cast<OlpObj*>(half.object);
}

void PushTouch(OlpBatchArea* area, OlpObj* object, const OlpFeatureHalf& other, OlpContact* contact)
{
    if (area->touchCount >= area->touchCapacity) {
        return;
    }
    OlpTouch* touch = &area->touches[area->touchCount++];
    *touch = {object, ObjectOf(other), other.part, contact, object->touches};
    object->touches = touch;
}

} // namespace

uint32_t OlpContactGenerate(OlpBatchArea* area, OlpFeaturePair* records, uint32_t count, OlpContact* output,
                            uint32_t room)
{
    if (count == 0) {
        return 0;
    }
    OlpObj* a = ObjectOf(records[0].a);
    OlpObj* b = ObjectOf(records[0].b);
    uint32_t flagsA = a != nullptr ? a->flags : 0;
    uint32_t flagsB = b != nullptr ? b->flags : 0;
    if (((flagsA | flagsB) & kOlpObjFlagNoContacts) != 0) {
        if ((flagsA & kOlpObjFlagTouchList) != 0) {
            PushTouch(area, a, records[0].b, nullptr);
        }
        if ((flagsB & kOlpObjFlagTouchList) != 0) {
            PushTouch(area, b, records[0].a, nullptr);
        }
        return 0;
    }
    uint32_t made = 0;
    for (uint32_t i = 0; i < count && made < area->scratchCapacity; ++i) {
        made += static_cast<uint32_t>(
            OlpContactFromFeatures(&records[i], area->contactDistance, &area->scratch[made]));
    }
    uint32_t merged = OlpContactMerge(area->scratch, made, area->removeShadowed, output, room, area->scale);
    for (uint32_t k = 0; k < merged; ++k) {
        if ((flagsA & kOlpObjFlagTouchList) != 0) {
            PushTouch(area, a, records[0].b, &output[k]);
        }
        if ((flagsB & kOlpObjFlagTouchList) != 0) {
            PushTouch(area, b, records[0].a, &output[k]);
        }
    }
    return merged;
}
