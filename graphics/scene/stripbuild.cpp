// Triangle-strip builders: adjacency over oppositely wound shared edges,
// degree buckets, strips grown forward and backward from the triangle of
// fewest unused neighbours, and the joining of a material's strips into one.
//
// All working memory is one block per build, sized from the triangle count
// and the highest vertex index, and reused for every material group. A
// triangle's record (32 bytes) holds its adjacency itself: side j (from
// corner j to corner j + 1) of triangle t is half-edge 4t + j, and each side
// keeps the half-edge it shares an edge with.
#include <cstdint>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/meshsort.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"

namespace {

constexpr int32_t kNone = -1;
constexpr int kBuckets = 4;

enum class StartChoice
{
    Single,     // one pass in the direction chosen from the start's edges
    Exhaustive, // three trial passes, the best committed
    Search,     // every unused triangle and direction tried
};

constexpr int kNextCorner[3] = {1, 2, 0};
constexpr int kPreviousCorner[3] = {2, 0, 1};

struct Node
{
    uint16_t v[3];
    uint8_t used;
    uint8_t degree;
    /// Per side: the half-edge on the other side of its edge (>= 0), or, while
    /// the side is unmatched, -2 - the next older unmatched half-edge that
    /// starts at the same vertex (-1: none). Negative: no neighbour.
    int32_t twin[3];
    int32_t bucketNext, bucketPrev;
    uint32_t trial; ///< marked in the pass whose stamp this equals
};
static_assert(sizeof(Node) == 32);

/// The triangle across side j of a triangle (itself for a side matched
/// with one of its own), kNone when the side has no neighbour.
inline int32_t Across(const Node& node, int j)
{
    return node.twin[j] < 0 ? kNone : node.twin[j] >> 2;
}

// A strip under construction: indices in a fixed buffer.
struct Strip
{
    uint16_t* index;
    uint32_t count;
    void Push(uint16_t v) { index[count++] = v; }
};

// One stored strip of a group, in the pool.
struct StoredStrip
{
    uint32_t offset;
    uint32_t count;
    int32_t nextSameFirst; ///< later strip in list order with the same first index
    int32_t listNext, listPrev;
    bool taken;
};

struct Builder
{
    bool parity;
    StartChoice choice;
    // Per build, sized from the triangle count n and the vertex count V
    // (highest index + 1), in one block.
    void* block;
    Node* nodes; // n
    // V: newest unmatched half-edge starting at each vertex while the
    // adjacency is built; then, while strips are joined, the chain head of
    // the strips by first index. Both leave it all kNone.
    int32_t* vertexEdges;
    int32_t* firstByIndex;
    int32_t* lastByIndex; // V chain tails
    StoredStrip* strips;  // n
    uint32_t* offsets;    // groups + 1
    uint16_t* forward;    // 2n + 2
    uint16_t* backward;   // 2n + 3
    uint16_t* pool;       // stored strips: 4n + 3
    uint16_t* joined;     // all groups' joined strips: 10n + 6
    // Per group.
    int32_t bucket[kBuckets];
    uint32_t nodeCount, stripCount, poolUsed, usedCount;
    uint32_t stamp;
    bool committing;

    bool Unused(int32_t t) const
    {
        return t != kNone && !nodes[t].used && (committing || nodes[t].trial != stamp);
    }
    /// An unused triangle across side j of t, which is marked.
    bool LeadsOn(int32_t t, int j) const { return Unused(Across(nodes[t], j)); }

    void BucketRemove(int32_t t)
    {
        Node& node = nodes[t];
        if (node.bucketPrev != kNone) {
            nodes[node.bucketPrev].bucketNext = node.bucketNext;
        } else {
            bucket[node.degree] = node.bucketNext;
        }
        if (node.bucketNext != kNone) {
            nodes[node.bucketNext].bucketPrev = node.bucketPrev;
        }
    }
    void BucketInsert(int32_t t)
    {
        Node& node = nodes[t];
        node.bucketPrev = kNone;
        node.bucketNext = bucket[node.degree];
        if (node.bucketNext != kNone) {
            nodes[node.bucketNext].bucketPrev = t;
        }
        bucket[node.degree] = t;
    }

    // Marks a triangle for the current pass; committing, it leaves its
    // bucket and each unused neighbour moves one bucket down.
    void Mark(int32_t t)
    {
        if (!committing) {
            nodes[t].trial = stamp;
            return;
        }
        nodes[t].used = 1;
        ++usedCount;
        BucketRemove(t);
        for (int j = 0; j < 3; ++j) {
            const int32_t other = Across(nodes[t], j);
            if (other != t && other != kNone && !nodes[other].used && nodes[other].degree > 0) {
                BucketRemove(other);
                --nodes[other].degree;
                BucketInsert(other);
            }
        }
    }

    int32_t& TwinOf(int32_t halfEdge) { return nodes[halfEdge >> 2].twin[halfEdge & 3]; }

    // Adjacency of the group's triangles. Each vertex keeps its unmatched
    // half-edges, newest first, so the newest unmatched half-edge (b, a) is
    // the first one found from b: the edge a search from the most recent
    // edge backwards would find, with the lookups staying near the vertex.
    // A half-edge leaves its list when it is matched.
    void BuildAdjacency(const MeshBuildTriangle* const* triangles, uint32_t count)
    {
        nodeCount = count;
        for (int b = 0; b < kBuckets; ++b) {
            bucket[b] = kNone;
        }
        for (uint32_t t = 0; t < count; ++t) {
            Node& node = nodes[t];
            std::memcpy(node.v, triangles[t]->vertex, sizeof(node.v));
            node.used = 0;
            node.trial = 0;
            node.degree = 0;
            for (int j = 0; j < 3; ++j) {
                const uint16_t a = node.v[j];
                const uint16_t b = node.v[kNextCorner[j]];
                int32_t previous = kNone;
                int32_t match = vertexEdges[b];
                while (match != kNone && nodes[match >> 2].v[kNextCorner[match & 3]] != a) {
                    previous = match;
                    match = -2 - TwinOf(match);
                }
                const int32_t self = int32_t(4 * t) + j;
                if (match != kNone) {
                    // Unlinked: the list's head is a plain index, a link
                    // the encoded one that the matched half-edge holds.
                    if (previous == kNone) {
                        vertexEdges[b] = -2 - TwinOf(match);
                    } else {
                        TwinOf(previous) = TwinOf(match);
                    }
                    TwinOf(match) = self;
                    node.twin[j] = match;
                    ++node.degree;
                    ++nodes[match >> 2].degree;
                    continue;
                }
                node.twin[j] = -2 - vertexEdges[a];
                vertexEdges[a] = self;
            }
        }
        for (uint32_t t = 0; t < count; ++t) {
            nodes[t].degree = nodes[t].degree < kBuckets ? nodes[t].degree : kBuckets - 1;
            BucketInsert(int32_t(t));
        }
    }

    /// Empties the per-vertex edge lists of the group's vertices.
    void ClearVertexEdges()
    {
        for (uint32_t t = 0; t < nodeCount; ++t) {
            for (uint16_t v : nodes[t].v) {
                vertexEdges[v] = kNone;
            }
        }
    }

    // Walks a strip on across side `side` of the marked triangle t; the
    // number of triangles walked.
    uint32_t Walk(Strip& strip, int32_t t, int side)
    {
        uint32_t walked = 0;
        for (;;) {
            const int32_t twin = nodes[t].twin[side];
            const int32_t next = twin < 0 ? kNone : twin >> 2;
            if (!Unused(next)) {
                return walked;
            }
            Mark(next);
            ++walked;
            const Node& node = nodes[next];
            const int entering = twin & 3;
            const uint16_t added = node.v[kPreviousCorner[entering]];
            const int natural = strip.index[strip.count - 1] == node.v[kNextCorner[entering]]
                                    ? kNextCorner[entering]
                                    : kPreviousCorner[entering];
            const int other = 3 - entering - natural;
            t = next;
            if (LeadsOn(t, natural)) {
                strip.Push(added);
                side = natural;
                continue;
            }
            if (LeadsOn(t, other) && strip.count % 2 == 0) {
                strip.Push(strip.index[strip.count - 2]);
                strip.Push(added);
                side = other;
                continue;
            }
            strip.Push(added);
            return walked;
        }
    }

    // One pass from triangle t in direction k; its score (triangles covered).
    uint32_t Pass(int32_t t, int k, bool commit, Strip& fwd, Strip& bwd)
    {
        committing = commit;
        ++stamp;
        const Node& start = nodes[t];
        fwd.count = 0;
        bwd.count = 0;
        fwd.Push(start.v[k]);
        fwd.Push(start.v[kNextCorner[k]]);
        fwd.Push(start.v[kPreviousCorner[k]]);
        Mark(t);
        uint32_t score = 1 + Walk(fwd, t, kNextCorner[k]);
        if (LeadsOn(t, k)) {
            bwd.Push(start.v[kNextCorner[k]]);
            bwd.Push(start.v[k]);
            score += Walk(bwd, t, k);
            if (bwd.count % 2 == 1) {
                bwd.Push(bwd.index[bwd.count - 2]);
            }
        }
        return score;
    }

    void Store(const Strip& fwd, const Strip& bwd)
    {
        StoredStrip& stored = strips[stripCount++];
        stored.offset = poolUsed;
        uint16_t* out = pool + poolUsed;
        uint32_t n = 0;
        if (bwd.count > 0) {
            for (uint32_t i = bwd.count; i-- > 2;) {
                out[n++] = bwd.index[i];
            }
        }
        std::memcpy(out + n, fwd.index, sizeof(uint16_t) * fwd.count);
        n += fwd.count;
        stored.count = n;
        poolUsed += n;
    }

    int StartDirection(int32_t t)
    {
        const Node& node = nodes[t];
        int n[3];
        for (int j = 0; j < 3; ++j) {
            n[j] = Unused(t) + Unused(Across(node, j));
        }
        if (n[2] > 1 && n[1] > 1) {
            return 1;
        }
        if (n[0] > 1 && n[2] > 1) {
            return 2;
        }
        if (n[1] > 1 && n[0] > 1) {
            return 0;
        }
        if (n[1] < n[0]) {
            return n[2] < n[0] ? 2 : 1;
        }
        return n[1] <= n[2] ? 1 : 0;
    }

    // The search start: every unused triangle of buckets 1-3 in each
    // direction whose forward edge leads on, scored by its forward strip.
    void SearchStart(int32_t* bestTriangle, int* bestDirection, Strip& fwd)
    {
        int64_t best = INT64_MIN;
        committing = false;
        for (int b = 1; b < kBuckets; ++b) {
            for (int32_t t = bucket[b]; t != kNone; t = nodes[t].bucketNext) {
                for (int k = 0; k < 3; ++k) {
                    const int32_t across = Across(nodes[t], kNextCorner[k]);
                    if (across == t || !Unused(across)) {
                        continue;
                    }
                    ++stamp;
                    const Node& start = nodes[t];
                    fwd.count = 0;
                    fwd.Push(start.v[k]);
                    fwd.Push(start.v[kNextCorner[k]]);
                    fwd.Push(start.v[kPreviousCorner[k]]);
                    Mark(t);
                    uint32_t walked = Walk(fwd, t, kNextCorner[k]);
                    int64_t score = 2 * (int64_t(walked) + 1) - int64_t(fwd.count);
                    if (score > best) {
                        best = score;
                        *bestTriangle = t;
                        *bestDirection = k;
                    }
                }
            }
        }
    }

    void BuildStrips()
    {
        stripCount = 0;
        poolUsed = 0;
        usedCount = 0;
        Strip fwd{forward, 0};
        Strip bwd{backward, 0};
        while (usedCount < nodeCount) {
            if (bucket[0] != kNone) {
                int32_t t = bucket[0];
                committing = true;
                Mark(t);
                fwd.count = 0;
                bwd.count = 0;
                for (uint16_t v : nodes[t].v) {
                    fwd.Push(v);
                }
                Store(fwd, bwd);
                continue;
            }
            int32_t t = kNone;
            int direction = 0;
            if (choice == StartChoice::Search) {
                SearchStart(&t, &direction, fwd);
            }
            if (t == kNone) {
                for (int b = 1; b < kBuckets && t == kNone; ++b) {
                    t = bucket[b];
                }
                committing = true;
                direction = StartDirection(t);
                if (choice == StartChoice::Exhaustive) {
                    uint32_t best = 0;
                    const int first = direction;
                    for (int i = 0; i < 3; ++i) {
                        uint32_t score = Pass(t, (first + i) % 3, false, fwd, bwd);
                        if (score > best) {
                            best = score;
                            direction = (first + i) % 3;
                        }
                    }
                }
            }
            Pass(t, direction, true, fwd, bwd);
            Store(fwd, bwd);
        }
    }

    // Joins the group's strips (list order: newest first) into one at
    // joined + out; the new end.
    uint32_t Join(uint32_t out)
    {
        // The list in list order, and chains by first index in list order.
        int32_t listHead = kNone;
        for (uint32_t s = stripCount; s-- > 0;) {
            StoredStrip& strip = strips[s];
            strip.taken = false;
            strip.nextSameFirst = kNone;
            strip.listPrev = s + 1 < stripCount ? int32_t(s + 1) : kNone;
            strip.listNext = s > 0 ? int32_t(s - 1) : kNone;
            uint16_t first = pool[strip.offset];
            if (firstByIndex[first] == kNone) {
                firstByIndex[first] = int32_t(s);
            } else {
                strips[lastByIndex[first]].nextSameFirst = int32_t(s);
            }
            lastByIndex[first] = int32_t(s);
        }
        listHead = stripCount > 0 ? int32_t(stripCount - 1) : kNone;
        auto take = [&](int32_t s) {
            StoredStrip& strip = strips[s];
            strip.taken = true;
            if (strip.listPrev != kNone) {
                strips[strip.listPrev].listNext = strip.listNext;
            } else {
                listHead = strip.listNext;
            }
            if (strip.listNext != kNone) {
                strips[strip.listNext].listPrev = strip.listPrev;
            }
        };
        auto firstWith = [&](uint16_t index) {
            int32_t s = firstByIndex[index];
            while (s != kNone && strips[s].taken) {
                s = strips[s].nextSameFirst;
            }
            firstByIndex[index] = s;
            return s;
        };
        const uint32_t start = out;
        auto copy = [&](int32_t s) {
            std::memcpy(joined + out, pool + strips[s].offset, sizeof(uint16_t) * strips[s].count);
            out += strips[s].count;
        };
        int32_t s = listHead;
        take(s);
        copy(s);
        while (listHead != kNone) {
            const uint32_t count = out - start;
            const uint16_t last = joined[out - 1];
            const uint16_t beforeLast = joined[out - 2];
            if ((s = firstWith(last)) != kNone) {
                if (parity && count % 2 == 1) {
                    joined[out++] = last;
                }
            } else if ((s = firstWith(beforeLast)) != kNone) {
                joined[out++] = beforeLast;
                if (parity && count % 2 == 0) {
                    joined[out++] = beforeLast;
                }
            } else {
                s = listHead;
                const uint16_t first = pool[strips[s].offset];
                joined[out++] = last;
                joined[out++] = first;
                if (parity && count % 2 == 1) {
                    joined[out++] = first;
                }
            }
            take(s);
            copy(s);
        }
        // Leave the chains empty for the next group.
        for (uint32_t i = 0; i < stripCount; ++i) {
            firstByIndex[pool[strips[i].offset]] = kNone;
        }
        return out;
    }

    // One block for n triangles, the given vertex count and groups: the
    // 4-byte arrays first, then the 2-byte ones.
    bool Allocate(uint32_t n, uint32_t vertices, uint32_t groups)
    {
        // Half-edge numbers (4t + j) stay within int32_t; so many triangles
        // would not fit in memory either.
        constexpr uint32_t kMaxTriangles = (uint32_t(INT32_MAX) - 3) / 4;
        if (n > kMaxTriangles) {
            SceneError(ErrorCode(kErrorOutOfMemory, sizeof(Node) * size_t(n)));
            return false;
        }
        struct Part
        {
            void** pointer;
            size_t bytes;
        } parts[] = {
            {reinterpret_cast<void**>(&nodes), sizeof(Node) * n},
            {reinterpret_cast<void**>(&vertexEdges), sizeof(int32_t) * vertices},
            {reinterpret_cast<void**>(&lastByIndex), sizeof(int32_t) * vertices},
            {reinterpret_cast<void**>(&strips), sizeof(StoredStrip) * n},
            {reinterpret_cast<void**>(&offsets), sizeof(uint32_t) * (size_t(groups) + 1)},
            {reinterpret_cast<void**>(&forward), sizeof(uint16_t) * (2 * size_t(n) + 2)},
            {reinterpret_cast<void**>(&backward), sizeof(uint16_t) * (2 * size_t(n) + 3)},
            {reinterpret_cast<void**>(&pool), sizeof(uint16_t) * (4 * size_t(n) + 3)},
            {reinterpret_cast<void**>(&joined), sizeof(uint16_t) * (10 * size_t(n) + 6)},
        };
        static_assert(alignof(Node) == 4 && alignof(StoredStrip) == 4);
        size_t total = 0;
        for (const Part& part : parts) {
            total += part.bytes;
        }
        block = MemoryAllocate(total, kHintMeshBuildScratch);
        if (!block) {
            SceneError(ErrorCode(kErrorOutOfMemory, total));
            return false;
        }
        auto* at = static_cast<unsigned char*>(block);
        for (const Part& part : parts) {
            *part.pointer = at;
            at += part.bytes;
        }
        firstByIndex = vertexEdges;
        std::memset(vertexEdges, 0xFF, sizeof(int32_t) * vertices);
        return true;
    }

    void Free() { MemoryFree(block); }
};

/// Highest vertex index of the triangles + 1.
uint32_t VertexCount(const MeshSortedTriangles& sorted, uint32_t count)
{
    uint32_t highest = 0;
    for (uint32_t t = 0; t < count; ++t) {
        for (uint16_t v : sorted.triangles[t]->vertex) {
            highest = v > highest ? v : highest;
        }
    }
    return count > 0 ? highest + 1 : 0;
}

MeshHeader* BuildStripHeader(MeshBuildList* list, StartChoice choice, bool parity)
{
    MeshSortedTriangles sorted;
    if (!MeshSortTriangles(list, &sorted)) {
        return nullptr;
    }
    Builder builder{};
    builder.parity = parity;
    builder.choice = choice;
    MeshHeader* header = nullptr;
    if (builder.Allocate(list->count, VertexCount(sorted, list->count), sorted.groupCount)) {
        uint32_t out = 0;
        for (uint32_t g = 0; g < sorted.groupCount; ++g) {
            builder.offsets[g] = out;
            builder.BuildAdjacency(sorted.triangles + sorted.groups[g].first, sorted.groups[g].count);
            builder.BuildStrips();
            builder.ClearVertexEdges();
            out = builder.Join(out);
        }
        builder.offsets[sorted.groupCount] = out;
        header = MeshHeaderAssemble(kMeshTriangleStrip, sorted.groups, sorted.groupCount, builder.joined,
                                    builder.offsets);
    }
    builder.Free();
    MeshSortedTrianglesFree(&sorted);
    return header;
}

} // namespace

MeshHeader* StripBuild(MeshBuildList* list, void*)
{
    return BuildStripHeader(list, StartChoice::Single, true);
}

MeshHeader* StripBuildNoWinding(MeshBuildList* list, void*)
{
    return BuildStripHeader(list, StartChoice::Single, false);
}

MeshHeader* StripBuildExhaustive(MeshBuildList* list, void*)
{
    return BuildStripHeader(list, StartChoice::Exhaustive, true);
}

MeshHeader* StripBuildExhaustiveNoWinding(MeshBuildList* list, void*)
{
    return BuildStripHeader(list, StartChoice::Exhaustive, false);
}

MeshHeader* StripBuildSearch(MeshBuildList* list, void*)
{
    return BuildStripHeader(list, StartChoice::Search, true);
}

MeshHeader* StripBuildSearchNoWinding(MeshBuildList* list, void*)
{
    return BuildStripHeader(list, StartChoice::Search, false);
}
