#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>

#include "graphics/core/pipepacket.h"
#include "graphics/core/tests/pipelinetesting.h"

namespace {

/// A node definition built in code: cluster references with their input
/// requirements and one treatment per output.
class TestNode
{
  public:
    TestNode(const char* name, uint32_t outputs, uint32_t otherTreatment = kPipelineClusterPassed)
        : name_(name), treatments_(outputs), otherTreatment_(otherTreatment)
    {
    }

    /// References `cluster`; `perOutput` holds its treatment on each output.
    TestNode& Uses(PipelineClusterDefinition* cluster, uint32_t requirement,
                   std::vector<uint32_t> perOutput = {}, bool keepSlot = false)
    {
        refs_.push_back({cluster, keepSlot ? 1u : 0u, 0});
        requirements_.push_back(requirement);
        perOutput.resize(treatments_.size(), kPipelineClusterPassed);
        for (size_t o = 0; o < treatments_.size(); ++o)
            treatments_[o].push_back(perOutput[o]);
        return *this;
    }
    TestNode& Body(PipelineNodeBody body)
    {
        body_ = body;
        return *this;
    }

    PipelineNodeDefinition* Definition()
    {
        outputs_.clear();
        for (auto& treatments : treatments_)
            outputs_.push_back({"out", treatments.data(), otherTreatment_});
        definition_ = {};
        definition_.name = name_.c_str();
        definition_.body = body_;
        definition_.clusterCount = uint32_t(refs_.size());
        definition_.clusters = refs_.data();
        definition_.inputRequirements = requirements_.data();
        definition_.outputCount = uint32_t(outputs_.size());
        definition_.outputs = outputs_.data();
        return &definition_;
    }

  private:
    std::string name_;
    std::vector<PipelineClusterRef> refs_;
    std::vector<uint32_t> requirements_;
    std::vector<std::vector<uint32_t>> treatments_;
    uint32_t otherTreatment_;
    std::vector<PipelineOutputDescriptor> outputs_;
    PipelineNodeBody body_ = PassingBody;
    PipelineNodeDefinition definition_ = {};
};

class PipelineCompileTest : public PipelineTest
{
  protected:
    void TearDown() override
    {
        for (Pipeline* pipeline : pipelines_)
            PipelineDestroy(pipeline);
        PipelineTest::TearDown();
    }

    TestNode& Node(const char* name, uint32_t outputs, uint32_t other = kPipelineClusterPassed)
    {
        return nodes_.emplace_back(name, outputs, other);
    }
    PipelineClusterDefinition* Cluster(const char* name, uint32_t attributes = 0)
    {
        return &clusters_.emplace_back(PipelineClusterDefinition{name, 0, attributes});
    }

    /// A locked pipeline of the nodes as one chain (each on the first output of the one before).
    Pipeline* Chain(std::vector<TestNode*> nodes)
    {
        Pipeline* pipeline = PipelineLock(PipelineCreate());
        pipelines_.push_back(pipeline);
        for (size_t i = 0; i < nodes.size(); ++i) {
            EXPECT_NE(PipelineAddNodes(pipeline, nullptr, nodes[i]->Definition(), nullptr), nullptr);
            if (i > 0)
                PipelineNodeConnect(pipeline, &pipeline->nodes[i - 1], 0, &pipeline->nodes[i]);
        }
        return pipeline;
    }

    /// The slot of `cluster` at node i, -1 when it is not live there.
    static int32_t SlotAt(const Pipeline* pipeline, uint32_t i, const PipelineClusterDefinition* cluster)
    {
        for (uint32_t s = 0; s < pipeline->slotCount; ++s) {
            const PipelineClusterType* type = pipeline->nodes[i].slotTypes[s];
            if (type && type->cluster == cluster)
                return int32_t(s);
        }
        return -1;
    }

    std::deque<TestNode> nodes_;
    std::deque<PipelineClusterDefinition> clusters_;
    std::vector<Pipeline*> pipelines_;
};

TEST_F(PipelineCompileTest, NodesWithoutClustersGetAnEmptyLayout)
{
    TestNode& a = Node("A.csl", 1);
    PipelineNodeDefinition* b = Node("B.csl", 0).Definition();
    b->privateDataSize = 16;
    Pipeline* pipeline = Chain({&a});
    ASSERT_NE(PipelineAddNodes(pipeline, nullptr, b, nullptr), nullptr);
    PipelineNodeConnect(pipeline, &pipeline->nodes[0], 0, &pipeline->nodes[1]);
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->slotCount, 0u);
    ASSERT_NE(pipeline->packet, nullptr);
    EXPECT_EQ(pipeline->packet->slotCount, 0u);
    EXPECT_EQ(pipeline->packet->pipeline, pipeline);
    EXPECT_EQ(pipeline->persistentCount, 0u);
    EXPECT_EQ(pipeline->persistent, nullptr);
    for (uint32_t i = 0; i < 2; ++i) {
        const PipelineNode& node = pipeline->nodes[i];
        EXPECT_EQ(node.slotTypes, nullptr);
        EXPECT_EQ(node.clusterIndices, nullptr);
        ASSERT_NE(node.passMasks, nullptr);
        EXPECT_EQ(node.passMasks[0], 0xFFFFFFFFu);
        EXPECT_EQ(node.compile, nullptr);
    }
    EXPECT_EQ(pipeline->nodes[0].privateData, nullptr);
    ASSERT_NE(pipeline->nodes[1].privateData, nullptr);
    const uint8_t zeros[16] = {};
    EXPECT_EQ(std::memcmp(pipeline->nodes[1].privateData, zeros, 16), 0);
    EXPECT_EQ(PipelineExecute(pipeline, nullptr, true), pipeline);
}

TEST_F(PipelineCompileTest, ClusterPassedUnchangedSharesOneSlotAlongTheChain)
{
    PipelineClusterDefinition* c = Cluster("c", 0x55);
    TestNode& a = Node("A.csl", 1);
    TestNode& b = Node("B.csl", 0).Uses(c, kPipelineClusterRequired);
    Pipeline* pipeline = Chain({&a, &b});
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline) << PendingError();
    EXPECT_EQ(pipeline->slotCount, 1u);
    EXPECT_EQ(SlotAt(pipeline, 0, c), 0);
    EXPECT_EQ(SlotAt(pipeline, 1, c), 0);
    EXPECT_EQ(pipeline->nodes[0].slotTypes[0], pipeline->nodes[1].slotTypes[0])
        << "one type record per cluster";
    EXPECT_EQ(pipeline->nodes[0].slotTypes[0]->attributes, 0x55u);
    EXPECT_EQ(pipeline->nodes[0].passMasks[0], 1u);
    EXPECT_EQ(pipeline->nodes[0].passMasks[1], 1u);
    EXPECT_EQ(pipeline->nodes[1].passMasks[0], 0u);
    EXPECT_EQ(pipeline->nodes[1].passMasks[1], 0u);
    EXPECT_EQ(pipeline->nodes[1].clusterIndices[0], 0);
    ASSERT_EQ(pipeline->persistentCount, 1u);
    EXPECT_EQ(pipeline->persistent[0].cluster, c);
    EXPECT_EQ(pipeline->persistent[0].usage, kPipelineClusterRequired);
    EXPECT_EQ(pipeline->persistent[0].slot, 0);
}

TEST_F(PipelineCompileTest, BadClusterDeclarationsFailTheCompile)
{
    PipelineClusterDefinition* c = Cluster("c");
    struct Case
    {
        const char* what;
        uint32_t error;
    };
    // A required cluster made invalid by the output that reaches it.
    TestNode& invalidating =
        Node("Kills.csl", 1).Uses(c, kPipelineClusterNotNeeded, {kPipelineClusterMadeInvalid});
    TestNode& requiring = Node("Needs.csl", 0).Uses(c, kPipelineClusterRequired);
    TestNode& nullRef = Node("Null.csl", 0).Uses(nullptr, kPipelineClusterRequired);
    TestNode& twice =
        Node("Twice.csl", 0).Uses(c, kPipelineClusterOptional).Uses(c, kPipelineClusterOptional);
    TestNode& start = Node("Start.csl", 1);
    const std::pair<std::vector<TestNode*>, Case> cases[] = {
        {{&invalidating, &requiring}, {"required cluster made invalid", kErrorPipelineClusterConflict}},
        {{&start, &nullRef}, {"null cluster", kErrorPipelineNullCluster}},
        {{&start, &twice}, {"cluster listed twice", kErrorPipelineClusterTwice}},
    };
    for (const auto& [chain, test] : cases) {
        Pipeline* pipeline = Chain(chain);
        PendingError();
        EXPECT_EQ(PipelineUnlock(pipeline), nullptr) << test.what;
        EXPECT_EQ(PendingError(), test.error) << test.what;
        EXPECT_EQ(pipeline->state, kPipelineLocked) << test.what;
        EXPECT_EQ(pipeline->packet, nullptr) << test.what;
    }
    // Making the required cluster valid instead compiles.
    TestNode& making = Node("Makes.csl", 1).Uses(c, kPipelineClusterNotNeeded, {kPipelineClusterMadeValid});
    Pipeline* pipeline = Chain({&making, &requiring});
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->persistentCount, 0u) << "produced inside: nothing expected from outside";
    EXPECT_EQ(SlotAt(pipeline, 0, c), 0);
    EXPECT_EQ(pipeline->nodes[0].passMasks[1], 1u);
}

TEST_F(PipelineCompileTest, OptionalClusterDiesWhereNoInputDeliversIt)
{
    PipelineClusterDefinition* c = Cluster("c");
    // A -> B -> C: A's output makes c invalid, so neither B nor C sees it.
    TestNode& a = Node("A.csl", 1).Uses(c, kPipelineClusterNotNeeded, {kPipelineClusterMadeInvalid});
    TestNode& b = Node("B.csl", 1);
    TestNode& optional = Node("C.csl", 0).Uses(c, kPipelineClusterOptional);
    Pipeline* chain = Chain({&a, &b, &optional});
    ASSERT_EQ(PipelineUnlock(chain), chain);
    EXPECT_EQ(chain->slotCount, 0u);
    EXPECT_EQ(chain->nodes[2].clusterIndices[0], -1);

    // Diamond A -> B (invalid), A -> C (unchanged), B -> D, C -> D: D keeps c through C.
    TestNode& split =
        Node("Split.csl", 2)
            .Uses(c, kPipelineClusterNotNeeded, {kPipelineClusterMadeInvalid, kPipelineClusterPassed});
    TestNode& left = Node("Left.csl", 1);
    TestNode& right = Node("Right.csl", 1);
    TestNode& join = Node("Join.csl", 0).Uses(c, kPipelineClusterOptional);
    Pipeline* diamond = PipelineLock(PipelineCreate());
    pipelines_.push_back(diamond);
    for (TestNode* node : {&split, &left, &right, &join})
        ASSERT_NE(PipelineAddNodes(diamond, nullptr, node->Definition(), nullptr), nullptr);
    PipelineNode* n = diamond->nodes;
    PipelineNodeConnect(diamond, &n[0], 0, &n[1]);
    PipelineNodeConnect(diamond, &n[0], 1, &n[2]);
    PipelineNodeConnect(diamond, &n[1], 0, &n[3]);
    PipelineNodeConnect(diamond, &n[2], 0, &n[3]);
    ASSERT_EQ(PipelineUnlock(diamond), diamond) << PendingError();
    EXPECT_EQ(Order(diamond), (std::vector<std::string>{"Split.csl", "Left.csl", "Right.csl", "Join.csl"}));
    EXPECT_EQ(SlotAt(diamond, 0, c), 0);
    EXPECT_EQ(SlotAt(diamond, 1, c), -1) << "the invalidating edge kills it on the left";
    EXPECT_EQ(SlotAt(diamond, 2, c), 0);
    EXPECT_EQ(SlotAt(diamond, 3, c), 0);
    EXPECT_EQ(diamond->nodes[3].clusterIndices[0], 0);
    EXPECT_EQ(diamond->nodes[0].passMasks[1], 2u) << "it leaves the split on output 1 only";
    ASSERT_EQ(diamond->persistentCount, 1u);
    EXPECT_EQ(diamond->persistent[0].usage, kPipelineClusterOptional);
}

TEST_F(PipelineCompileTest, ClustersNeverLiveTogetherShareASlot)
{
    // a lives at A only (kept there), b is made valid by B for C: both can take slot 0.
    PipelineClusterDefinition* a = Cluster("a");
    PipelineClusterDefinition* b = Cluster("b");
    TestNode& first =
        Node("First.csl", 1).Uses(a, kPipelineClusterNotNeeded, {kPipelineClusterMadeInvalid}, true);
    TestNode& second = Node("Second.csl", 1).Uses(b, kPipelineClusterNotNeeded, {kPipelineClusterMadeValid});
    TestNode& third = Node("Third.csl", 0).Uses(b, kPipelineClusterRequired);
    Pipeline* pipeline = Chain({&first, &second, &third});
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->slotCount, 1u);
    EXPECT_EQ(SlotAt(pipeline, 0, a), 0);
    EXPECT_EQ(SlotAt(pipeline, 1, b), 0);
    EXPECT_EQ(SlotAt(pipeline, 2, b), 0);
    EXPECT_EQ(pipeline->nodes[0].passMasks[1], 0u) << "a does not leave the first node";
    EXPECT_EQ(pipeline->nodes[0].passMasks[0], 0u);
}

TEST_F(PipelineCompileTest, MoreThanThirtyTwoLiveClustersAtANodeFailTheCompile)
{
    // Entry -> Middle -> Last. Last requires `width` clusters; Middle requires
    // one more; Entry passes everything, so Middle and Entry hold width + 1.
    for (uint32_t width : {31u, 32u}) {
        TestNode& last = Node("Last.csl", 0);
        for (uint32_t i = 0; i < width; ++i)
            last.Uses(Cluster("wide"), kPipelineClusterRequired);
        TestNode& middle = Node("Middle.csl", 1).Uses(Cluster("extra"), kPipelineClusterRequired);
        TestNode& entry = Node("Entry.csl", 1);
        Pipeline* pipeline = Chain({&entry, &middle, &last});
        PendingError();
        if (width + 1 <= kPipelineMaxClusters) {
            ASSERT_EQ(PipelineUnlock(pipeline), pipeline) << PendingError();
            EXPECT_EQ(pipeline->slotCount, 32u);
            EXPECT_EQ(pipeline->persistentCount, 32u);
            for (uint32_t p = 1; p < pipeline->persistentCount; ++p)
                EXPECT_LT(uintptr_t(pipeline->persistent[p - 1].cluster),
                          uintptr_t(pipeline->persistent[p].cluster));
        } else {
            EXPECT_EQ(PipelineUnlock(pipeline), nullptr);
            EXPECT_EQ(PendingError(), kErrorPipelineTooManyClusters);
            EXPECT_EQ(pipeline->state, kPipelineLocked);
        }
    }
}

// ---- packets at execution time --------------------------------------------------------

/// Producer: opens the packet, fills its two clusters (reference 0 travels,
/// reference 1 is its own scratch) and passes the packet on.
int32_t ProducerBody(PipelineNode* node, const PipelineExecution* execution)
{
    PipelinePacket* packet = PipelinePacketOpen(node);
    if (!packet)
        return 0;
    for (uint32_t ref = 0; ref < 2; ++ref) {
        PipelineCluster* cluster = PipelineClusterLock(packet, ref, true);
        auto* values = static_cast<int32_t*>(PipelineClusterInitData(cluster, sizeof(int32_t), 8));
        if (!values)
            return 0;
        for (int32_t i = 0; i < 8; ++i)
            values[i] = i * (ref == 0 ? 1 : 100);
        cluster->used = 8;
    }
    PipelineCluster* scratch = &PipelinePacketGetClusters(packet)[packet->clusterIndices[1]];
    PipelineNode* next = PipelineNodeFollowOutput(execution->pipeline, node, 0);
    if (scratch->data || scratch->type)
        return 0; // the scratch cluster does not travel: dropped on the way
    return next && next->definition->body(next, execution);
}

int32_t gConsumed = -1;
int32_t ConsumerBody(PipelineNode*, const PipelineExecution* execution)
{
    PipelinePacket* packet = execution->pipeline->packet;
    PipelineCluster* cluster = PipelineClusterLock(packet, 0, false);
    if (!cluster || cluster->used != 8)
        return 0;
    gConsumed = 0;
    for (uint32_t i = 0; i < cluster->used; ++i)
        gConsumed += static_cast<int32_t*>(cluster->data)[i];
    return 1;
}

TEST_F(PipelineCompileTest, ClustersTravelAlongOutputsAndAreReleasedAfterTheRun)
{
    PipelineClusterDefinition* values = Cluster("values", 7);
    PipelineClusterDefinition* scratch = Cluster("scratch");
    TestNode& producer = Node("Producer.csl", 1)
                             .Uses(values, kPipelineClusterNotNeeded, {kPipelineClusterMadeValid})
                             .Uses(scratch, kPipelineClusterNotNeeded, {kPipelineClusterMadeInvalid}, true)
                             .Body(ProducerBody);
    TestNode& consumer = Node("Consumer.csl", 0).Uses(values, kPipelineClusterRequired).Body(ConsumerBody);
    Pipeline* pipeline = Chain({&producer, &consumer});
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline) << PendingError();
    EXPECT_EQ(pipeline->slotCount, 2u);

    PipelineHeap* heap = PipelineGetHeap();
    for (int run = 0; run < 3; ++run) {
        gConsumed = -1;
        ASSERT_EQ(PipelineExecute(pipeline, nullptr, false), pipeline) << run;
        EXPECT_EQ(gConsumed, 28);
        EXPECT_EQ(pipeline->packetState, kPipelinePacketReleased);
        PipelineCluster* clusters = PipelinePacketGetClusters(pipeline->packet);
        for (uint32_t s = 0; s < pipeline->slotCount; ++s) {
            EXPECT_EQ(clusters[s].data, nullptr);
            EXPECT_EQ(clusters[s].type, nullptr);
        }
        EXPECT_EQ(clusters[SlotAt(pipeline, 0, values)].attributes, 7u) << "kept from the first lock";
        // Every allocation went back: the heap is one free span again.
        EXPECT_EQ(heap->freeCount, 1u);
    }
}

Pipeline* gHandOverTarget = nullptr;
void* gHandedData = nullptr;
int32_t HandingBody(PipelineNode* node, const PipelineExecution* execution)
{
    PipelinePacket* packet = PipelinePacketOpen(node);
    PipelineCluster* cluster = PipelineClusterLock(packet, 0, true);
    void* data = PipelineClusterInitData(cluster, 16, 4);
    if (!data)
        return 0;
    PipelinePacket* target = PipelinePacketHandOver(execution->pipeline, gHandOverTarget);
    if (!target || cluster->data)
        return 0;
    const PipelinePersistentCluster& expected = gHandOverTarget->persistent[0];
    PipelineCluster* moved = &PipelinePacketGetClusters(target)[expected.slot];
    if (moved->data != data || moved->type != gHandOverTarget->nodes[0].slotTypes[expected.slot])
        return 0;
    gHandedData = data;
    PipelinePacketRelease(target);
    return 1;
}

TEST_F(PipelineCompileTest, HandOverMovesTheClustersTheTargetExpects)
{
    PipelineClusterDefinition* other = Cluster("other");
    PipelineClusterDefinition* c = Cluster("c");
    TestNode& source = Node("Source.csl", 0).Uses(c, kPipelineClusterNotNeeded, {}, true).Body(HandingBody);
    // The target keeps "other" in slot 0 so that c sits in a different slot than in the source.
    TestNode& target = Node("Target.csl", 0)
                           .Uses(other, kPipelineClusterNotNeeded, {}, true)
                           .Uses(c, kPipelineClusterRequired);
    Pipeline* from = Chain({&source});
    Pipeline* to = Chain({&target});
    ASSERT_NE(PipelineUnlock(from), nullptr);
    ASSERT_NE(PipelineUnlock(to), nullptr);
    ASSERT_EQ(to->persistentCount, 1u);
    EXPECT_NE(to->persistent[0].slot, SlotAt(from, 0, c));
    gHandOverTarget = to;
    gHandedData = nullptr;
    ASSERT_EQ(PipelineExecute(from, nullptr, true), from);
    EXPECT_NE(gHandedData, nullptr);
    EXPECT_EQ(from->packetState, kPipelinePacketReleased);
    EXPECT_EQ(PipelineGetHeap()->freeCount, 1u) << "the moved data was released with the target's packet";
    EXPECT_EQ(PipelinePacketHandOver(from, to), nullptr) << "no packet held: nothing moves";
}

/// A memory table whose reallocate always moves the block, so that the
/// shrink after compiling always relocates the compiled layout.
struct MovingMemory
{
    static void* Allocate(size_t size, uint32_t) { return std::malloc(size); }
    static void Free(void* block) { std::free(block); }
    static void* Reallocate(void* block, size_t size, uint32_t)
    {
        void* moved = std::malloc(size);
        if (!moved)
            return nullptr;
        if (block)
            std::memcpy(moved, block, std::min(size, malloc_usable_size(block)));
        std::free(block);
        return moved;
    }
    static void* AllocateZeroed(size_t count, size_t size, uint32_t) { return std::calloc(count, size); }
};

TEST_F(PipelineCompileTest, CompiledLayoutSurvivesBeingMovedByTheShrink)
{
    EngineTestShutdown();
    static const MemoryTable table = {MovingMemory::Allocate, MovingMemory::Free, MovingMemory::Reallocate,
                                      MovingMemory::AllocateZeroed};
    ASSERT_TRUE(EngineTestStart(&table));
    PipelineClusterDefinition* values = Cluster("values");
    PipelineClusterDefinition* scratch = Cluster("scratch");
    TestNode& producer = Node("Producer.csl", 1)
                             .Uses(values, kPipelineClusterNotNeeded, {kPipelineClusterMadeValid})
                             .Uses(scratch, kPipelineClusterNotNeeded, {kPipelineClusterMadeInvalid}, true)
                             .Body(ProducerBody);
    TestNode& consumer = Node("Consumer.csl", 0).Uses(values, kPipelineClusterRequired).Body(ConsumerBody);
    Pipeline* pipeline = Chain({&producer, &consumer});
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
    auto* begin = static_cast<uint8_t*>(pipeline->nodeArea);
    auto inside = [&](const void* p) {
        return p >= begin && static_cast<const uint8_t*>(p) < begin + pipeline->nodeAreaSize;
    };
    EXPECT_TRUE(inside(pipeline->packet));
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        const PipelineNode& node = pipeline->nodes[i];
        EXPECT_TRUE(inside(node.slotTypes) && inside(node.passMasks) && inside(node.clusterIndices));
        for (uint32_t s = 0; s < pipeline->slotCount; ++s)
            EXPECT_TRUE(!node.slotTypes[s] || inside(node.slotTypes[s]));
    }
    gConsumed = -1;
    ASSERT_EQ(PipelineExecute(pipeline, nullptr, true), pipeline);
    EXPECT_EQ(gConsumed, 28);
}

// ---- record sort ------------------------------------------------------------------------

struct Record
{
    uint32_t tag;
    uint32_t key;
};

TEST(PipelineSort, SortsByTheKeyAtTheOffset)
{
    uint32_t seed = 99;
    auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 4; };
    for (uint32_t count : {0u, 1u, 2u, 5u, 6u, 7u, 40u, 500u}) {
        std::vector<Record> records(count);
        uint32_t smallest = UINT32_MAX, largest = 0;
        for (uint32_t i = 0; i < count; ++i) {
            records[i] = {i, next() % (count * 3 + 1)};
            smallest = std::min(smallest, records[i].key);
            largest = std::max(largest, records[i].key);
        }
        std::vector<Record> sorted = records;
        PipelineSortRecords(sorted.data(), count, sizeof(Record), offsetof(Record, key), 4, smallest,
                            largest);
        for (uint32_t i = 1; i < count; ++i)
            ASSERT_LE(sorted[i - 1].key, sorted[i].key) << count;
        // Same records, only reordered.
        auto byTag = [](const Record& x, const Record& y) { return x.tag < y.tag; };
        std::sort(sorted.begin(), sorted.end(), byTag);
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(sorted[i].key, records[i].key);
    }
    // 64-bit keys, as pointer-keyed records use.
    std::vector<uint64_t> wide = {0x7F0000001000ull, 5, 0x100000000ull, 0xFFFFFFFFull, 7,
                                  0x7F0000000FF0ull, 1};
    PipelineSortRecords(wide.data(), uint32_t(wide.size()), 8, 0, 8, 1, 0x7F0000001000ull);
    EXPECT_TRUE(std::is_sorted(wide.begin(), wide.end()));
}

TEST(PipelineSort, RefusesWhatItCannotSort)
{
    Record records[3] = {{0, 3}, {1, 2}, {2, 1}};
    PipelineSortRecords(records, 3, sizeof(Record), 4, 4, 5, 5); // smallest not below largest
    EXPECT_EQ(records[0].key, 3u);
    PipelineSortRecords(records, 3, sizeof(Record), 6, 4, 1, 3); // key beyond the stride
    EXPECT_EQ(records[0].key, 3u);
    PipelineSortRecords(nullptr, 3, sizeof(Record), 4, 4, 1, 3);
    PipelineSortRecords(records, 3, sizeof(Record), 4, 4, 1, 3);
    EXPECT_EQ(records[0].key, 1u);
    EXPECT_EQ(records[2].key, 3u);
}

} // namespace
