#include "physics/core/context/volumetype.h"

namespace {

struct TypeNode
{
    uint32_t typeId;
    const OlpVolumeDescriptor* descriptor;
    const TypeNode* next;
};

/// The registry: nodes from a fixed pool, newest at the head.
struct Registry
{
    TypeNode nodes[kOlpVolumeTypeCapacity];
    uint32_t used = 0;
    const TypeNode* head = nullptr;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

int32_t OlpVolumeTypeRegister(void*, uint32_t typeId, const OlpVolumeDescriptor* descriptor)
{
    Registry& registry = TheRegistry();
    if (descriptor == nullptr) {
        for (const TypeNode* node = registry.head; node != nullptr; node = node->next) {
            if (node->typeId == typeId && node->descriptor != nullptr) {
                return 1;
            }
        }
        return 0;
    }
    if (registry.used == kOlpVolumeTypeCapacity) {
        return 0;
    }
    TypeNode& node = registry.nodes[registry.used++];
    node = {typeId, descriptor, registry.head};
    registry.head = &node;
    return 1;
}

const OlpVolumeDescriptor* OlpVolumeTypeFind(void*, uint32_t typeId)
{
    for (const TypeNode* node = TheRegistry().head; node != nullptr; node = node->next) {
        if (node->typeId == typeId) {
            return node->descriptor;
        }
    }
    return nullptr;
}
