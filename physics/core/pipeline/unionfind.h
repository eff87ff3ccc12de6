#pragma once
// The find of the union-find sets of the island partition and the block
// grouping: records that name their set's parent by index, a root being its
// own parent.

#include <cstdint>

namespace olp {

/// The root of `node`'s set; points every record on the way straight at it.
template <typename Node> uint32_t FindRoot(Node* nodes, uint32_t node)
{
    uint32_t root = node;
    while (nodes[root].parent != root) {
        root = nodes[root].parent;
    }
    while (nodes[node].parent != root) {
        uint32_t up = nodes[node].parent;
        nodes[node].parent = root;
        node = up;
    }
    return root;
}

} // namespace olp
