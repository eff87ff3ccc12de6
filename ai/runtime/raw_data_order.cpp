// The order in which a world's services open their raw-data blocks.
#include "ai/runtime/config_node.h"
#include "ai/runtime/world.h"

#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

bool IsRawData(const CConfigNode* node)
{
    return node->GetRawData() ||
           (node->GetChildCount() == 0 && node->GetKey() && std::strcmp(node->GetKey(), "RawData") == 0);
}

// The block number of target: its position among the raw-data nodes of the tree in
// depth-first, child order (the order of the blocks in the file). -1 when not found.
int BlockNumber(const CConfigNode* node, const CConfigNode* target, int* counter)
{
    if (IsRawData(node)) {
        if (node == target) {
            return *counter;
        }
        ++*counter;
    }
    for (uint32_t i = 0; i < node->GetChildCount(); ++i) {
        int found = BlockNumber(node->GetChild(i), target, counter);
        if (found >= 0) {
            return found;
        }
    }
    return -1;
}

struct OrderState
{
    const CConfigNode* root;
    const char* service;
    int lastBlock;
    const char* lastService;
    int problems;
    void (*report)(const char*, void*);
    void* user;
};

void Visit(const CConfigNode* node, OrderState& state)
{
    if (IsRawData(node)) {
        int counter = 0;
        int block = BlockNumber(state.root, node, &counter);
        if (block <= state.lastBlock) {
            char text[320];
            std::snprintf(text, sizeof text,
                          "world service \"%s\" reads raw-data block %d after \"%s\" read block %d: services "
                          "with raw data must be listed under \"GlobalServices\" in the order of their "
                          "definitions",
                          state.service, block, state.lastService, state.lastBlock);
            ++state.problems;
            if (state.report) {
                state.report(text, state.user);
            }
        } else {
            state.lastBlock = block;
            state.lastService = state.service;
        }
    }
    for (uint32_t i = 0; i < node->GetChildCount(); ++i) {
        Visit(node->GetChild(i), state);
    }
}

} // namespace

int CheckRawDataOrder(const CConfigNode* root, void (*report)(const char* text, void* user), void* user)
{
    const CConfigNode* wanted = root ? root->FindChild("GlobalServices") : nullptr;
    const CConfigNode* library = root ? root->FindChild("Services") : nullptr;
    if (!wanted || !library) {
        return 0;
    }
    OrderState state{root, nullptr, -1, nullptr, 0, report, user};
    for (uint32_t i = 0; i < wanted->GetChildCount(); ++i) {
        const CConfigNode* entry = wanted->GetChild(i);
        if (!entry->GetKey() || std::strcmp(entry->GetKey(), "Service") != 0 || !entry->GetValue()) {
            continue;
        }
        const CConfigNode* definition = library->FindNamedChild("Service", entry->GetValue());
        if (definition) {
            state.service = entry->GetValue();
            Visit(definition, state);
        }
    }
    return state.problems;
}

} // namespace Zelk
