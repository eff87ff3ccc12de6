#include "graphics/core/pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include "graphics/core/tests/pipelinetesting.h"

namespace {

using Trace = std::vector<std::string>;

TEST_F(PipelineTest, CallbacksRunInOrderThroughUnlockExecuteLockAndDestroy)
{
    PipelineNodeDefinition a = RecordingDefinition("A.csl"), b = RecordingDefinition("B.csl"),
                           c = RecordingDefinition("C.csl", 0);
    Pipeline* pipeline = PipelineCreate();
    ASSERT_NE(pipeline, nullptr);
    EXPECT_EQ(pipeline->state, kPipelineCompiled);
    ASSERT_EQ(PipelineLock(pipeline), pipeline);
    uint32_t first = 99;
    ASSERT_EQ(PipelineAddNodes(pipeline, &first, &a, &b, &c, nullptr), pipeline);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 1) << "each new node follows the one before";
    EXPECT_EQ(pipeline->nodes[1].outputs[0], 2);
    EXPECT_TRUE(PipelineTrace().empty());

    ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->state, kPipelineCompiled);
    EXPECT_EQ(PipelineTrace(),
              (Trace{"defInit:C.csl", "nodeInit:C.csl", "defInit:B.csl", "nodeInit:B.csl", "defInit:A.csl",
                     "nodeInit:A.csl", "setup:C.csl", "setup:B.csl", "setup:A.csl"}));
    EXPECT_EQ(a.refCount, 1);

    PipelineTrace().clear();
    int object = 0;
    EXPECT_EQ(PipelineExecute(pipeline, &object, true), pipeline);
    EXPECT_EQ(PipelineTrace(), (Trace{"body:A.csl", "body:B.csl", "body:C.csl"}));

    PipelineTrace().clear();
    ASSERT_EQ(PipelineLock(pipeline), pipeline);
    EXPECT_EQ(pipeline->state, kPipelineLocked);
    EXPECT_EQ(PipelineTrace(), (Trace{"nodeTerm:A.csl", "defTerm:A.csl", "nodeTerm:B.csl", "defTerm:B.csl",
                                      "nodeTerm:C.csl", "defTerm:C.csl"}));
    EXPECT_EQ(PipelineLock(pipeline), pipeline) << "locking a locked pipeline changes nothing";
    EXPECT_EQ(PipelineTrace().size(), 6u);
    EXPECT_EQ(PipelineExecute(pipeline, &object, false), nullptr) << "a locked pipeline does not run";

    ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
    PipelineTrace().clear();
    PipelineDestroy(pipeline);
    EXPECT_EQ(PipelineTrace(), (Trace{"nodeTerm:A.csl", "defTerm:A.csl", "nodeTerm:B.csl", "defTerm:B.csl",
                                      "nodeTerm:C.csl", "defTerm:C.csl"}));
    EXPECT_EQ(a.refCount, 0);
}

TEST_F(PipelineTest, SharedDefinitionIsInitialisedOnceAndTerminatedWithItsLastUse)
{
    PipelineNodeDefinition shared = RecordingDefinition("Shared.csl", 0);
    Pipeline* one = PipelineCreate();
    Pipeline* two = PipelineCreate();
    for (Pipeline* pipeline : {one, two}) {
        ASSERT_NE(PipelineLock(pipeline), nullptr);
        ASSERT_NE(PipelineAddNodes(pipeline, nullptr, &shared, nullptr), nullptr);
        ASSERT_NE(PipelineUnlock(pipeline), nullptr);
    }
    EXPECT_EQ(shared.refCount, 2);
    EXPECT_EQ(PipelineTrace(), (Trace{"defInit:Shared.csl", "nodeInit:Shared.csl", "setup:Shared.csl",
                                      "nodeInit:Shared.csl", "setup:Shared.csl"}));
    PipelineTrace().clear();
    PipelineDestroy(one);
    EXPECT_EQ(PipelineTrace(), (Trace{"nodeTerm:Shared.csl"}));
    PipelineDestroy(two);
    EXPECT_EQ(PipelineTrace(), (Trace{"nodeTerm:Shared.csl", "nodeTerm:Shared.csl", "defTerm:Shared.csl"}));
}

TEST_F(PipelineTest, UnlockOrdersNodesAfterEverythingThatFeedsThem)
{
    // Added as D, C, B, A with A the entry node: A -> B, A -> C, B -> D, C -> D.
    PipelineNodeDefinition a = RecordingDefinition("A.csl", 2), b = RecordingDefinition("B.csl"),
                           c = RecordingDefinition("C.csl"), d = RecordingDefinition("D.csl", 0);
    Pipeline* pipeline = PipelineCreate();
    ASSERT_NE(PipelineLock(pipeline), nullptr);
    for (PipelineNodeDefinition* definition : {&d, &c, &b, &a})
        ASSERT_NE(PipelineAddNodes(pipeline, nullptr, definition, nullptr), nullptr);
    PipelineNode* n = pipeline->nodes;
    ASSERT_NE(PipelineNodeConnect(pipeline, &n[3], 0, &n[2]), nullptr);
    ASSERT_NE(PipelineNodeConnect(pipeline, &n[3], 1, &n[1]), nullptr);
    ASSERT_NE(PipelineNodeConnect(pipeline, &n[2], 0, &n[0]), nullptr);
    ASSERT_NE(PipelineNodeConnect(pipeline, &n[1], 0, &n[0]), nullptr);
    EXPECT_EQ(PipelineNodeConnect(pipeline, &n[1], 0, &n[2]), nullptr) << "a connected output stays as it is";
    pipeline->entryNode = 3;
    ASSERT_EQ(PipelineUnlock(pipeline), pipeline) << PendingError();
    EXPECT_EQ(Order(pipeline), (std::vector<std::string>{"A.csl", "B.csl", "C.csl", "D.csl"}));
    EXPECT_EQ(pipeline->entryNode, 0u);
    n = pipeline->nodes;
    EXPECT_EQ(n[0].outputs[0], 1);
    EXPECT_EQ(n[0].outputs[1], 2);
    EXPECT_EQ(n[1].outputs[0], 3);
    EXPECT_EQ(n[2].outputs[0], 3);
    EXPECT_EQ(n[3].outputs, nullptr) << "a node without outputs keeps no output list";

    PipelineTrace().clear();
    ASSERT_NE(PipelineExecute(pipeline, nullptr, false), nullptr);
    EXPECT_EQ(PipelineTrace(), (Trace{"body:A.csl", "body:B.csl", "body:D.csl", "body:C.csl", "body:D.csl"}));
    PipelineDestroy(pipeline);
}

TEST_F(PipelineTest, UnlockRefusesBadGraphsAndStaysLocked)
{
    PipelineNodeDefinition a = RecordingDefinition("A.csl", 2), b = RecordingDefinition("B.csl"),
                           c = RecordingDefinition("C.csl");
    struct Case
    {
        const char* what;
        void (*wire)(Pipeline*);
        uint32_t error;
    } cases[] = {
        {"a node nobody feeds", [](Pipeline*) {}, kErrorPipelineNoInput},
        {"a cycle",
         [](Pipeline* p) {
             PipelineNodeConnect(p, &p->nodes[0], 0, &p->nodes[1]);
             PipelineNodeConnect(p, &p->nodes[1], 0, &p->nodes[2]);
             PipelineNodeConnect(p, &p->nodes[2], 0, &p->nodes[1]);
         },
         kErrorPipelineUnorderable},
        {"an entry node with an input",
         [](Pipeline* p) {
             PipelineNodeConnect(p, &p->nodes[0], 0, &p->nodes[1]);
             PipelineNodeConnect(p, &p->nodes[1], 0, &p->nodes[2]);
             PipelineNodeConnect(p, &p->nodes[2], 0, &p->nodes[0]);
         },
         kErrorPipelineBadEntryNode},
        {"an entry node out of range",
         [](Pipeline* p) {
             PipelineNodeConnect(p, &p->nodes[0], 0, &p->nodes[1]);
             PipelineNodeConnect(p, &p->nodes[1], 0, &p->nodes[2]);
             p->entryNode = 7;
         },
         kErrorPipelineBadEntryNode},
    };
    for (const Case& test : cases) {
        Pipeline* pipeline = PipelineCreate();
        ASSERT_NE(PipelineLock(pipeline), nullptr);
        for (PipelineNodeDefinition* definition : {&a, &b, &c})
            ASSERT_NE(PipelineAddNodes(pipeline, nullptr, definition, nullptr), nullptr);
        test.wire(pipeline);
        PendingError();
        EXPECT_EQ(PipelineUnlock(pipeline), nullptr) << test.what;
        EXPECT_EQ(PendingError(), test.error) << test.what;
        EXPECT_EQ(pipeline->state, kPipelineLocked) << test.what;
        PipelineDestroy(pipeline);
    }
    EXPECT_TRUE(PipelineTrace().empty()) << "no callback ran for a refused graph";
}

TEST_F(PipelineTest, FailingCallbackUndoesWhatWasInitialised)
{
    PipelineNodeDefinition a = RecordingDefinition("A.csl"), b = RecordingDefinition("B.csl"),
                           c = RecordingDefinition("C.csl", 0);
    struct Case
    {
        PipelineFailures fail;
        Trace trace;
    } cases[] = {
        {{"B.csl", "", "", ""},
         {"defInit:C.csl", "nodeInit:C.csl", "defInit:B.csl", "nodeInit:B.csl", "defTerm:B.csl",
          "nodeTerm:C.csl", "defTerm:C.csl"}},
        {{"", "", "", "B.csl"},
         {"defInit:C.csl", "nodeInit:C.csl", "defInit:B.csl", "nodeTerm:C.csl", "defTerm:C.csl"}},
        {{"", "B.csl", "", ""},
         {"defInit:C.csl", "nodeInit:C.csl", "defInit:B.csl", "nodeInit:B.csl", "defInit:A.csl",
          "nodeInit:A.csl", "setup:C.csl", "setup:B.csl", "nodeTerm:A.csl", "defTerm:A.csl", "nodeTerm:B.csl",
          "defTerm:B.csl", "nodeTerm:C.csl", "defTerm:C.csl"}},
    };
    for (const Case& test : cases) {
        Pipeline* pipeline = PipelineCreate();
        ASSERT_NE(PipelineLock(pipeline), nullptr);
        ASSERT_NE(PipelineAddNodes(pipeline, nullptr, &a, &b, &c, nullptr), nullptr);
        PipelineTrace().clear();
        PipelineFail() = test.fail;
        EXPECT_EQ(PipelineUnlock(pipeline), nullptr);
        EXPECT_EQ(PipelineTrace(), test.trace);
        EXPECT_EQ(pipeline->state, kPipelineLocked);
        EXPECT_EQ(a.refCount + b.refCount + c.refCount, 0);
        // Mended, the same locked pipeline unlocks and runs.
        PipelineFail() = {};
        ASSERT_EQ(PipelineUnlock(pipeline), pipeline);
        PipelineTrace().clear();
        EXPECT_EQ(PipelineExecute(pipeline, nullptr, false), pipeline);
        EXPECT_EQ(PipelineTrace(), (Trace{"body:A.csl", "body:B.csl", "body:C.csl"}));
        PipelineDestroy(pipeline);
    }
}

TEST_F(PipelineTest, EditingNeedsALockedPipelineAndRespectsTheLimits)
{
    PipelineNodeDefinition one = RecordingDefinition("One.csl");
    Pipeline* pipeline = PipelineCreate();
    PendingError();
    EXPECT_EQ(PipelineAddNodes(pipeline, nullptr, &one, nullptr), nullptr);
    EXPECT_EQ(PendingError(), kErrorPipelineNotLocked);
    EXPECT_EQ(PipelineAddNodes(nullptr, nullptr, &one, nullptr), nullptr);
    EXPECT_EQ(PendingError(), kErrorNullArgument);

    ASSERT_NE(PipelineLock(pipeline), nullptr);
    EXPECT_EQ(PipelineAddNodes(pipeline, nullptr, nullptr), nullptr) << "an empty list adds nothing";
    EXPECT_EQ(PendingError(), kErrorNone);

    Pipeline* added = pipeline;
    for (uint32_t i = 0; i < kPipelineNodeLimit && added; ++i)
        added = PipelineAddNodes(pipeline, nullptr, &one, nullptr);
    EXPECT_EQ(added, pipeline);
    EXPECT_EQ(pipeline->nodeCount, kPipelineNodeLimit);
    EXPECT_EQ(PipelineAddNodes(pipeline, nullptr, &one, nullptr), nullptr);
    EXPECT_EQ(PendingError(), kErrorPipelineTooManyNodes);
    EXPECT_EQ(pipeline->nodeCount, kPipelineNodeLimit);
    PipelineDestroy(pipeline);

    PipelineNodeDefinition tooManyOutputs = RecordingDefinition("Wide.csl", kPipelineMaxOutputs + 1);
    PipelineNodeDefinition tooManyClusters = RecordingDefinition("Fat.csl");
    tooManyClusters.clusterCount = kPipelineMaxClusters + 1;
    pipeline = PipelineLock(PipelineCreate());
    EXPECT_EQ(PipelineAddNodes(pipeline, nullptr, &one, &tooManyOutputs, nullptr), nullptr);
    EXPECT_EQ(PendingError(), kErrorPipelineTooManyOutputs);
    EXPECT_EQ(PipelineAddNodes(pipeline, nullptr, &tooManyClusters, nullptr), nullptr);
    EXPECT_EQ(PendingError(), kErrorPipelineTooManyClusters);
    EXPECT_EQ(pipeline->nodeCount, 0u) << "a failed call adds none of its nodes";
    EXPECT_EQ(PipelineUnlock(pipeline), pipeline) << "an empty pipeline unlocks at once";
    EXPECT_EQ(PipelineExecute(pipeline, nullptr, false), pipeline);
    PipelineDestroy(pipeline);
}

TEST_F(PipelineTest, SixtyFiveNodesInOneCallAddNone)
{
    PipelineNodeDefinition d = RecordingDefinition("N.csl");
    PipelineNodeDefinition* n = &d;
    Pipeline* pipeline = PipelineLock(PipelineCreate());
    PendingError();
    // clang-format off
    EXPECT_EQ(PipelineAddNodes(pipeline, nullptr,
        n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n,
        n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n,
        nullptr), nullptr);
    // clang-format on
    EXPECT_EQ(PendingError(), kErrorPipelineTooManyNodes);
    EXPECT_EQ(pipeline->nodeCount, 0u);
    PipelineDestroy(pipeline);
}

TEST_F(PipelineTest, RemovingInsertingAndDisconnectingRenumberOutputs)
{
    PipelineNodeDefinition a = RecordingDefinition("A.csl"), b = RecordingDefinition("B.csl"),
                           c = RecordingDefinition("C.csl"), d = RecordingDefinition("D.csl", 0);
    Pipeline* pipeline = PipelineLock(PipelineCreate());
    ASSERT_NE(PipelineAddNodes(pipeline, nullptr, &a, &b, &c, &d, nullptr), nullptr);
    // Remove B: A's output to it is left unconnected, C and D move down.
    ASSERT_EQ(PipelineNodeDestroyInstance(&pipeline->nodes[1], pipeline), pipeline);
    EXPECT_EQ(Order(pipeline), (std::vector<std::string>{"A.csl", "C.csl", "D.csl"}));
    EXPECT_EQ(pipeline->nodes[0].outputs[0], -1);
    EXPECT_EQ(pipeline->nodes[1].outputs[0], 2);
    // Put B back between A and C: insert after A, then give A's place to B.
    ASSERT_NE(PipelineNodeConnect(pipeline, &pipeline->nodes[0], 0, &pipeline->nodes[1]), nullptr);
    PipelineNode* inserted = PipelineInsertNodeAfter(pipeline, &pipeline->nodes[0], &b);
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 3);
    EXPECT_EQ(inserted->outputs[0], 1);
    EXPECT_EQ(PipelineInsertNodeAfter(pipeline, &pipeline->nodes[2], &b), nullptr) << "D has no output";
    EXPECT_EQ(PendingError(), kErrorPipelineTooManyOutputs);
    ASSERT_NE(PipelineUnlock(pipeline), nullptr);
    EXPECT_EQ(Order(pipeline), (std::vector<std::string>{"A.csl", "B.csl", "C.csl", "D.csl"}));
    EXPECT_EQ(PipelineNodeDisconnect(pipeline, &pipeline->nodes[0], 0), nullptr) << "compiled: not editable";
    EXPECT_EQ(PendingError(), kErrorPipelineNotLocked);

    // Disconnecting the last link leaves D without input.
    ASSERT_NE(PipelineLock(pipeline), nullptr);
    ASSERT_NE(PipelineNodeDisconnect(pipeline, &pipeline->nodes[2], 0), nullptr);
    EXPECT_EQ(PipelineUnlock(pipeline), nullptr);
    EXPECT_EQ(PendingError(), kErrorPipelineNoInput);
    PipelineDestroy(pipeline);
}

TEST_F(PipelineTest, FindDuplicateAndGet)
{
    PipelineNodeDefinition a = RecordingDefinition("A.csl"), b = RecordingDefinition("B.csl"),
                           c = RecordingDefinition("B.csl", 0, 12);
    Pipeline* pipeline = PipelineLock(PipelineCreate());
    ASSERT_NE(PipelineAddNodes(pipeline, nullptr, &a, &b, &c, nullptr), nullptr);
    ASSERT_NE(PipelineUnlock(pipeline), nullptr);
    pipeline->pluginId = 2;
    uint32_t index = 99;
    PipelineNode* found = PipelineFindNodeByName(pipeline, "B.csl", nullptr, &index);
    EXPECT_EQ(found, &pipeline->nodes[1]);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(PipelineFindNodeByName(pipeline, "B.csl", found, &index), &pipeline->nodes[2]);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(PipelineFindNodeByName(pipeline, "B.csl", &pipeline->nodes[2], nullptr), nullptr);
    EXPECT_EQ(PipelineFindNodeByName(pipeline, "b.csl", nullptr, nullptr), nullptr) << "names match exactly";
    EXPECT_EQ(PipelineGetNode(pipeline, 2), &pipeline->nodes[2]);
    EXPECT_EQ(PipelineGetNode(pipeline, 3), nullptr);

    PipelineTrace().clear();
    Pipeline* copy = PipelineDuplicate(pipeline);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, pipeline);
    EXPECT_EQ(copy->pluginId, 2u);
    EXPECT_EQ(Order(copy), Order(pipeline));
    EXPECT_EQ(copy->nodes[1].outputs[0], 2);
    ASSERT_NE(copy->nodes[2].privateData, nullptr);
    EXPECT_EQ(PipelineTrace(), (Trace{"nodeInit:B.csl", "nodeInit:B.csl", "nodeInit:A.csl", "setup:B.csl",
                                      "setup:B.csl", "setup:A.csl"}));
    PipelineTrace().clear();
    EXPECT_EQ(PipelineExecute(copy, nullptr, false), copy);
    EXPECT_EQ(PipelineTrace(), (Trace{"body:A.csl", "body:B.csl", "body:B.csl"}));
    PipelineDestroy(copy);
    PipelineDestroy(pipeline);
}

int32_t FailingBody(PipelineNode*, const PipelineExecution*)
{
    return 0;
}

PipelineHeap* gHeapSeen = nullptr;
void* gDataSeen = nullptr;
int32_t AllocatingBody(PipelineNode*, const PipelineExecution* execution)
{
    gHeapSeen = execution->heap;
    gDataSeen = execution->data;
    return PipelineHeapAlloc(execution->heap, 100) != nullptr;
}

TEST_F(PipelineTest, ExecuteHandsTheBodyItsDataAndResetsTheHeapOnlyWhenAsked)
{
    // The immediate-mode case: one node, a name and a body.
    PipelineNodeDefinition single = {};
    single.name = "ImmInstance.csl";
    single.body = AllocatingBody;
    Pipeline* pipeline = PipelineLock(PipelineCreate());
    ASSERT_NE(PipelineAddNodes(pipeline, nullptr, &single, nullptr), nullptr);
    ASSERT_NE(PipelineUnlock(pipeline), nullptr);
    PipelineHeap* heap = PipelineGetHeap();
    ASSERT_NE(heap, nullptr);

    int object = 0;
    EXPECT_EQ(PipelineExecute(pipeline, &object, true), pipeline);
    EXPECT_EQ(gHeapSeen, heap);
    EXPECT_EQ(gDataSeen, &object);
    uint32_t freeAfterOne = heap->freeTable[0].size;
    EXPECT_EQ(PipelineExecute(pipeline, &object, false), pipeline);
    EXPECT_LT(heap->freeTable[0].size, freeAfterOne) << "without reset the first allocation stays";
    EXPECT_EQ(PipelineExecute(pipeline, &object, true), pipeline);
    EXPECT_EQ(heap->freeTable[0].size, freeAfterOne) << "a reset drops earlier allocations";

    // An untouched heap is not reset: its free table stays exactly as it is.
    ASSERT_EQ(PipelineHeapReset(heap), 1);
    PipelineHeapFreeEntry* table = heap->freeTable;
    uint32_t count = heap->freeCount;
    PipelineNodeDefinition failing = {};
    failing.name = "Fails.csl";
    failing.body = FailingBody;
    Pipeline* failingPipeline = PipelineLock(PipelineCreate());
    ASSERT_NE(PipelineAddNodes(failingPipeline, nullptr, &failing, nullptr), nullptr);
    ASSERT_NE(PipelineUnlock(failingPipeline), nullptr);
    EXPECT_EQ(PipelineExecute(failingPipeline, &object, true), nullptr) << "a body answering 0 fails the run";
    EXPECT_EQ(heap->dirty, 0u);
    EXPECT_EQ(heap->freeTable, table);
    EXPECT_EQ(heap->freeCount, count);
    PipelineDestroy(failingPipeline);
    PipelineDestroy(pipeline);
}

TEST_F(PipelineTest, OperationsNeedTheEngineStarted)
{
    EngineTestShutdown();
    EXPECT_EQ(PipelineCreate(), nullptr);
    EXPECT_EQ(PipelineGetHeap(), nullptr);
    EXPECT_EQ(PipelineGetDefaultSlots(), nullptr);
    PipelineRenderStates states;
    EXPECT_EQ(PipelineRenderStatesGetDefault(&states), nullptr);
    EXPECT_EQ(PipelineRenderStatesCapture(), nullptr);
    ASSERT_TRUE(EngineTestStart());
    PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
    ASSERT_NE(slots, nullptr);
    for (int kind = 0; kind < 3; ++kind) {
        EXPECT_EQ(slots->current[kind], nullptr);
        EXPECT_EQ(slots->defaults[kind], nullptr);
    }
}

// ---- the render-state record ---------------------------------------------------------

struct FakeStates
{
    uint32_t values[31];
    void* raster;
};
FakeStates gDevice;

int32_t FakeRenderStateGet(int32_t state, void* value)
{
    if (state == 5 || state == 18 || state == 19 || state < 1 || state > 30)
        return 0; // as the device: perspective correction can't be read back
    if (state == 1)
        *static_cast<void**>(value) = gDevice.raster;
    else
        *static_cast<uint32_t*>(value) = gDevice.values[state];
    return 1;
}

TEST_F(PipelineTest, RenderStateRecordDefaultsAndCapture)
{
    PipelineRenderStates states;
    ASSERT_EQ(PipelineRenderStatesGetDefault(&states), &states);
    const uint32_t expected[] = {7, 2, 5, 6, 1, 1, 2, 0xFFFFFFFFu, 0, 0xFFFFFFFFu};
    const uint32_t got[] = {states.flags,    states.cullMode, states.srcBlend,   states.destBlend,
                            states.addressU, states.addressV, states.filterMode, states.borderColour,
                            states.fogType,  states.fogColour};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(got[i], expected[i]) << i;
    EXPECT_EQ(states.raster, nullptr);
    EXPECT_EQ(PipelineRenderStatesGetDefault(nullptr), nullptr);

    // Without a device get function a capture is the default record.
    PipelineRenderStates* captured = PipelineRenderStatesCapture();
    ASSERT_NE(captured, nullptr);
    EXPECT_EQ(std::memcmp(captured, &states, sizeof(states)), 0);
    PipelineRenderStatesDestroy(captured);

    int raster = 0;
    gDevice = {};
    gDevice.raster = &raster;
    gDevice.values[6] = 0;  // z test off
    gDevice.values[8] = 1;  // z write on
    gDevice.values[12] = 1; // vertex alpha on
    gDevice.values[20] = 3;
    gDevice.values[10] = 2;
    gDevice.values[11] = 1;
    gDevice.values[3] = 3;
    gDevice.values[4] = 2;
    gDevice.values[9] = 6;
    gDevice.values[13] = 0xFF000000u;
    gDevice.values[14] = 1; // fog on, exponential
    gDevice.values[16] = 2;
    gDevice.values[15] = 0x00808080u;
    EngineGetInstance()->device.renderStateGet = FakeRenderStateGet;
    captured = PipelineRenderStatesCapture();
    ASSERT_NE(captured, nullptr);
    EXPECT_EQ(captured->flags, kRenderStatePerspective | kRenderStateZWrite | kRenderStateVertexAlpha);
    EXPECT_EQ(captured->cullMode, 3u);
    EXPECT_EQ(captured->srcBlend, 2u);
    EXPECT_EQ(captured->destBlend, 1u);
    EXPECT_EQ(captured->raster, &raster);
    EXPECT_EQ(captured->addressU, 3u);
    EXPECT_EQ(captured->addressV, 2u);
    EXPECT_EQ(captured->filterMode, 6u);
    EXPECT_EQ(captured->borderColour, 0xFF000000u);
    EXPECT_EQ(captured->fogType, 2u);
    EXPECT_EQ(captured->fogColour, 0x00808080u);
    PipelineRenderStatesDestroy(captured);

    gDevice.values[14] = 0; // fog off: no fog type, whatever state 16 says
    captured = PipelineRenderStatesCapture();
    EXPECT_EQ(captured->fogType, 0u);
    PipelineRenderStatesDestroy(captured);
    PipelineRenderStatesDestroy(nullptr);
}

} // namespace
