// Colour-tree palette quantiser. Colours are accumulated in a tree of depth D
// whose leaves are the cells of the RGBA space at D bits per channel; the
// reduction cuts that space into boxes, always splitting the box of largest
// squared error at the cut that leaves the smallest total error, and gives each
// box its weighted mean colour.
#include "graphics/core/palquant.h"

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"

struct PalQuantNode
{
    float weight;
    float sum[4];  ///< weighted R, G, B, A
    float error;   ///< weighted squared deviation of the colours inside this leaf
    uint8_t index; ///< palette entry of the leaf after a resolve
    PalQuantNode* children[16];
};

namespace {

constexpr uint32_t kNodeHint = 0x30411;
constexpr uint32_t kScratchHint = 0x10411;
constexpr int32_t kNodesPerBlock = 1024;

int32_t g_depth = 6;

PalQuantNode* NewNode(PalQuant* quantiser)
{
    auto* node = static_cast<PalQuantNode*>(MemoryFreeListAlloc(quantiser->nodes, kNodeHint));
    if (node) {
        std::memset(node, 0, sizeof(*node));
    }
    return node;
}

uint32_t ColourKey(const PalQuant* quantiser, const uint8_t* rgba)
{
    const int32_t shift = 8 - quantiser->depth;
    const uint32_t* t = quantiser->interleave;
    return ((t[rgba[0] >> shift] * 2 | t[rgba[1] >> shift]) * 2 | t[rgba[2] >> shift]) * 2 |
           t[rgba[3] >> shift];
}

// Adds one colour; false when a node cannot be allocated.
bool AddColour(PalQuant* quantiser, const uint8_t* rgba, float weight)
{
    uint32_t key = ColourKey(quantiser, rgba);
    PalQuantNode* node = quantiser->root;
    for (int32_t level = 0; level < quantiser->depth; ++level) {
        PalQuantNode*& child = node->children[key & 15];
        if (!child) {
            child = NewNode(quantiser);
            if (!child) {
                return false;
            }
        }
        node = child;
        key >>= 4;
    }
    // The leaf's error grows by the combination term of its statistics and
    // the new colour, so that it holds the exact weighted squared deviation.
    if (node->weight > 0.0f) {
        float distance = 0.0f;
        for (int32_t c = 0; c < 4; ++c) {
            const float d = node->sum[c] / node->weight - static_cast<float>(rgba[c]);
            distance += d * d;
        }
        node->error += distance * (node->weight * weight / (node->weight + weight));
    }
    node->weight += weight;
    for (int32_t c = 0; c < 4; ++c) {
        node->sum[c] += weight * static_cast<float>(rgba[c]);
    }
    return true;
}

// Finds the leaf of a colour; null when the colour was never added.
PalQuantNode* FindLeaf(const PalQuant* quantiser, const uint8_t* rgba)
{
    uint32_t key = ColourKey(quantiser, rgba);
    PalQuantNode* node = quantiser->root;
    for (int32_t level = 0; node && level < quantiser->depth; ++level) {
        node = node->children[key & 15];
        key >>= 4;
    }
    return node;
}

uint8_t NearestEntry(const PalQuant* quantiser, const uint8_t* rgba)
{
    int32_t best = 0;
    int32_t bestDistance = -1;
    for (int32_t i = 0; i < quantiser->paletteSize; ++i) {
        int32_t distance = 0;
        for (int32_t c = 0; c < 4; ++c) {
            const int32_t d = quantiser->palette[i * 4 + c] - rgba[c];
            distance += d * d;
        }
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

uint8_t MatchColour(const PalQuant* quantiser, const uint8_t* rgba)
{
    const PalQuantNode* leaf = FindLeaf(quantiser, rgba);
    return leaf ? leaf->index : NearestEntry(quantiser, rgba);
}

void FreeTree(PalQuant* quantiser, PalQuantNode* node)
{
    for (PalQuantNode* child : node->children) {
        if (child) {
            FreeTree(quantiser, child);
        }
    }
    MemoryFreeListFree(quantiser->nodes, node);
}

// ---- Reduction --------------------------------------------------------------

// One leaf of the tree with its cell coordinates (D bits per channel).
struct Leaf
{
    PalQuantNode* node;
    uint8_t cell[4];
};

// Statistics of a set of leaves: weight, weighted colour sums and the sum of
// (leaf error + |leaf sum|^2 / leaf weight), from which the squared error of
// the set follows as q - |sum|^2 / weight.
struct Stats
{
    double weight;
    double sum[4];
    double q;
};

void StatsAdd(Stats* stats, const PalQuantNode* node)
{
    double square = 0.0;
    for (int32_t c = 0; c < 4; ++c) {
        stats->sum[c] += node->sum[c];
        square += static_cast<double>(node->sum[c]) * node->sum[c];
    }
    stats->weight += node->weight;
    stats->q += node->error + square / node->weight;
}

double StatsError(const Stats& stats)
{
    if (stats.weight <= 0.0) {
        return 0.0;
    }
    double square = 0.0;
    for (double s : stats.sum) {
        square += s * s;
    }
    const double error = stats.q - square / stats.weight;
    return error > 0.0 ? error : 0.0;
}

uint8_t MeanChannel(double sum, double weight)
{
    const double v = sum / weight + 0.5;
    return static_cast<uint8_t>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v));
}

// A box of the colour space: the leaves [begin, end) of the leaf array, kept
// partitioned so that each box's leaves are contiguous.
struct Box
{
    int32_t begin, end;
    int16_t low[4], high[4]; ///< cell range per channel, high exclusive
    Stats stats;
    double error;
    bool settled; ///< no cut lowers the error
};

void CollectLeaves(PalQuantNode* node, int32_t level, int32_t depth, const uint8_t* cell, Leaf* leaves,
                   int32_t* count)
{
    if (level == depth) {
        Leaf& leaf = leaves[(*count)++];
        leaf.node = node;
        std::memcpy(leaf.cell, cell, 4);
        return;
    }
    for (int32_t i = 0; i < 16; ++i) {
        if (!node->children[i]) {
            continue;
        }
        // Child index bits: 8 red, 4 green, 2 blue, 1 alpha.
        const uint8_t childCell[4] = {static_cast<uint8_t>(cell[0] << 1 | (i >> 3 & 1)),
                                      static_cast<uint8_t>(cell[1] << 1 | (i >> 2 & 1)),
                                      static_cast<uint8_t>(cell[2] << 1 | (i >> 1 & 1)),
                                      static_cast<uint8_t>(cell[3] << 1 | (i & 1))};
        CollectLeaves(node->children[i], level + 1, depth, childCell, leaves, count);
    }
}

int32_t CountLeaves(const PalQuantNode* node, int32_t level, int32_t depth)
{
    if (level == depth) {
        return 1;
    }
    int32_t count = 0;
    for (const PalQuantNode* child : node->children) {
        if (child) {
            count += CountLeaves(child, level + 1, depth);
        }
    }
    return count;
}

void BoxGather(Box* box, const Leaf* leaves)
{
    box->stats = Stats{};
    for (int32_t i = box->begin; i < box->end; ++i) {
        StatsAdd(&box->stats, leaves[i].node);
    }
    box->error = StatsError(box->stats);
}

// Finds the cut of smallest total error; returns false when no cut leaves
// both halves non-empty with a total below the box's error.
bool BoxBestCut(const Box& box, const Leaf* leaves, Stats* histogram, int32_t* channel, int32_t* cut)
{
    double bestTotal = box.error;
    bool found = false;
    for (int32_t c = 0; c < 4; ++c) {
        const int32_t low = box.low[c];
        const int32_t high = box.high[c];
        if (high - low < 2) {
            continue;
        }
        for (int32_t p = low; p < high; ++p) {
            histogram[p] = Stats{};
        }
        for (int32_t i = box.begin; i < box.end; ++i) {
            StatsAdd(&histogram[leaves[i].cell[c]], leaves[i].node);
        }
        Stats below{};
        for (int32_t t = low + 1; t < high; ++t) {
            const Stats& h = histogram[t - 1];
            below.weight += h.weight;
            below.q += h.q;
            for (int32_t k = 0; k < 4; ++k) {
                below.sum[k] += h.sum[k];
            }
            Stats above = box.stats;
            above.weight -= below.weight;
            above.q -= below.q;
            for (int32_t k = 0; k < 4; ++k) {
                above.sum[k] -= below.sum[k];
            }
            if (below.weight <= 0.0 || above.weight <= 0.0) {
                continue;
            }
            const double total = StatsError(below) + StatsError(above);
            if (total < bestTotal) {
                bestTotal = total;
                *channel = c;
                *cut = t;
                found = true;
            }
        }
    }
    return found;
}

// Splits `box` at the cut into itself (lower half) and `upper`.
void BoxSplit(Box* box, Box* upper, Leaf* leaves, int32_t channel, int32_t cut)
{
    int32_t middle = box->begin;
    for (int32_t i = box->begin; i < box->end; ++i) {
        if (leaves[i].cell[channel] < cut) {
            const Leaf swap = leaves[i];
            leaves[i] = leaves[middle];
            leaves[middle++] = swap;
        }
    }
    *upper = *box;
    upper->begin = middle;
    upper->low[channel] = static_cast<int16_t>(cut);
    box->end = middle;
    box->high[channel] = static_cast<int16_t>(cut);
    BoxGather(box, leaves);
    BoxGather(upper, leaves);
}

} // namespace

int32_t PalQuantSetDepth(int32_t depth)
{
    if (depth < 1 || depth > 8) {
        return 0;
    }
    g_depth = depth;
    return 1;
}

int32_t PalQuantGetDepth()
{
    return g_depth;
}

int32_t PalQuantInit(PalQuant* quantiser)
{
    std::memset(quantiser, 0, sizeof(*quantiser));
    quantiser->depth = g_depth;
    const int32_t d = quantiser->depth;
    for (uint32_t v = 0; v < (1u << d); ++v) {
        uint32_t spread = 0;
        for (int32_t i = 0; i < d; ++i) {
            spread |= ((v >> i) & 1u) << (4 * (d - 1 - i));
        }
        quantiser->interleave[v] = spread;
    }
    quantiser->nodes =
        FreeListCreate(sizeof(PalQuantNode), kNodesPerBlock, alignof(PalQuantNode), 0, nullptr, kNodeHint);
    if (!quantiser->nodes) {
        return 0;
    }
    quantiser->root = NewNode(quantiser);
    if (!quantiser->root) {
        FreeListDestroy(quantiser->nodes);
        quantiser->nodes = nullptr;
        return 0;
    }
    return 1;
}

void PalQuantTerm(PalQuant* quantiser)
{
    if (quantiser->root) {
        FreeTree(quantiser, quantiser->root);
        quantiser->root = nullptr;
    }
    if (quantiser->nodes) {
        FreeListDestroy(quantiser->nodes);
        quantiser->nodes = nullptr;
    }
}

PalQuant* PalQuantAddImage(PalQuant* quantiser, const Image* image, float weight)
{
    if (!(weight > 0.0f) || !image->pixels) {
        return quantiser;
    }
    if (image->depth == 32) {
        for (int32_t y = 0; y < image->height; ++y) {
            const uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
            for (int32_t x = 0; x < image->width; ++x) {
                if (!AddColour(quantiser, row + x * 4, weight)) {
                    return nullptr;
                }
            }
        }
    } else if ((image->depth == 4 || image->depth == 8) && image->palette) {
        for (int32_t y = 0; y < image->height; ++y) {
            const uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
            for (int32_t x = 0; x < image->width; ++x) {
                if (!AddColour(quantiser, ImagePaletteColour(image, row[x]), weight)) {
                    return nullptr;
                }
            }
        }
    }
    return quantiser;
}

int32_t PalQuantResolvePalette(uint8_t* palette, int32_t n, PalQuant* quantiser)
{
    if (n < 1 || n > 256 || !quantiser->root) {
        return 0;
    }
    std::memset(palette, 0, static_cast<size_t>(n) * 4);
    const int32_t depth = quantiser->depth;
    const int32_t leafCount = CountLeaves(quantiser->root, 0, depth);
    if (leafCount == 0) {
        quantiser->paletteSize = 0;
        return 0;
    }

    // Working tables: the leaves, the boxes and one histogram per channel cut.
    const size_t leafBytes = sizeof(Leaf) * static_cast<size_t>(leafCount);
    const size_t boxBytes = sizeof(Box) * static_cast<size_t>(n);
    const size_t histogramBytes = sizeof(Stats) * 256;
    auto* block = static_cast<uint8_t*>(MemoryAllocate(leafBytes + boxBytes + histogramBytes, kScratchHint));
    if (!block) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, leafBytes + boxBytes + histogramBytes));
        return 0;
    }
    auto* leaves = reinterpret_cast<Leaf*>(block);
    auto* boxes = reinterpret_cast<Box*>(block + leafBytes);
    auto* histogram = reinterpret_cast<Stats*>(block + leafBytes + boxBytes);
    int32_t count = 0;
    const uint8_t origin[4] = {0, 0, 0, 0};
    CollectLeaves(quantiser->root, 0, depth, origin, leaves, &count);

    int32_t entries = 0;
    if (leafCount <= n) {
        for (int32_t i = 0; i < leafCount; ++i) {
            const PalQuantNode* node = leaves[i].node;
            for (int32_t c = 0; c < 4; ++c) {
                palette[i * 4 + c] = MeanChannel(node->sum[c], node->weight);
            }
            leaves[i].node->index = static_cast<uint8_t>(i);
        }
        entries = leafCount;
    } else {
        Box& first = boxes[0];
        first.begin = 0;
        first.end = leafCount;
        for (int32_t c = 0; c < 4; ++c) {
            first.low[c] = 0;
            first.high[c] = static_cast<int16_t>(1 << depth);
        }
        first.settled = false;
        BoxGather(&first, leaves);
        entries = 1;
        while (entries < n) {
            Box* worst = nullptr;
            for (int32_t i = 0; i < entries; ++i) {
                if (!boxes[i].settled && boxes[i].error > 0.0 && (!worst || boxes[i].error > worst->error)) {
                    worst = &boxes[i];
                }
            }
            if (!worst) {
                break;
            }
            int32_t channel = 0;
            int32_t cut = 0;
            if (BoxBestCut(*worst, leaves, histogram, &channel, &cut)) {
                BoxSplit(worst, &boxes[entries++], leaves, channel, cut);
            } else {
                worst->settled = true;
            }
        }
        for (int32_t i = 0; i < entries; ++i) {
            const Box& box = boxes[i];
            for (int32_t c = 0; c < 4; ++c) {
                palette[i * 4 + c] = MeanChannel(box.stats.sum[c], box.stats.weight);
            }
            for (int32_t k = box.begin; k < box.end; ++k) {
                leaves[k].node->index = static_cast<uint8_t>(i);
            }
        }
    }
    MemoryFree(block);
    quantiser->paletteSize = entries;
    std::memcpy(quantiser->palette, palette, static_cast<size_t>(entries) * 4);
    return entries;
}

PalQuant* PalQuantMatchImage(uint8_t* pixels, int32_t stride, int32_t depth, int32_t pack,
                             PalQuant* quantiser, const Image* source)
{
    const bool packed = depth == 4 && pack;
    if (source->depth != 32 && source->depth != 4 && source->depth != 8) {
        return nullptr;
    }
    for (int32_t y = 0; y < source->height; ++y) {
        const uint8_t* in = source->pixels + static_cast<size_t>(y) * source->stride;
        uint8_t* out = pixels + static_cast<size_t>(y) * stride;
        for (int32_t x = 0; x < source->width; ++x) {
            const uint8_t* rgba = source->depth == 32 ? in + x * 4 : ImagePaletteColour(source, in[x]);
            const uint8_t index = MatchColour(quantiser, rgba);
            if (!packed) {
                out[x] = index;
            } else if ((x & 1) == 0) {
                out[x >> 1] = static_cast<uint8_t>((out[x >> 1] & 0xF0) | (index & 0x0F));
            } else {
                out[x >> 1] = static_cast<uint8_t>((out[x >> 1] & 0x0F) | (index << 4));
            }
        }
    }
    return quantiser;
}
