#pragma once
// Helpers for pipeline tests: an engine started on the device double, node
// definitions whose callbacks write a trace, and bodies that pass the packet
// down the first connected output.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/pipepacket.h"
#include "graphics/core/tests/enginetesting.h"

/// Everything the recording callbacks saw, as "what:node name".
inline std::vector<std::string>& PipelineTrace()
{
    static std::vector<std::string> trace;
    return trace;
}

/// Node names whose node-init, set-up or body answers 0.
struct PipelineFailures
{
    std::string nodeInit, setup, body, definitionInit;
};
inline PipelineFailures& PipelineFail()
{
    static PipelineFailures failures;
    return failures;
}

inline void TraceAdd(const char* what, const char* name)
{
    PipelineTrace().push_back(std::string(what) + ":" + name);
}

inline int32_t RecordingDefinitionInit(PipelineNodeDefinition* definition)
{
    TraceAdd("defInit", definition->name);
    return PipelineFail().definitionInit != definition->name;
}
inline void RecordingDefinitionTerm(PipelineNodeDefinition* definition)
{
    TraceAdd("defTerm", definition->name);
}
inline int32_t RecordingNodeInit(PipelineNode* node)
{
    TraceAdd("nodeInit", node->definition->name);
    return PipelineFail().nodeInit != node->definition->name;
}
inline void RecordingNodeTerm(PipelineNode* node)
{
    TraceAdd("nodeTerm", node->definition->name);
}
inline int32_t RecordingSetup(PipelineNode* node, Pipeline*)
{
    TraceAdd("setup", node->definition->name);
    return PipelineFail().setup != node->definition->name;
}

/// Records itself, then runs the node on each connected output in turn.
inline int32_t PassingBody(PipelineNode* node, const PipelineExecution* execution)
{
    TraceAdd("body", node->definition->name);
    if (PipelineFail().body == node->definition->name)
        return 0;
    for (uint32_t o = 0; o < node->outputCount; ++o) {
        PipelineNode* next = PipelineNodeFollowOutput(execution->pipeline, node, o);
        if (next && !next->definition->body(next, execution))
            return 0;
    }
    return 1;
}

/// A definition with every callback recording, `outputs` outputs that pass
/// every cluster unchanged, and no clusters.
inline PipelineNodeDefinition RecordingDefinition(const char* name, uint32_t outputs = 1,
                                                  uint32_t privateDataSize = 0)
{
    static const PipelineOutputDescriptor kPassAll[kPipelineMaxOutputs] = {};
    PipelineNodeDefinition definition = {};
    definition.name = name;
    definition.body = PassingBody;
    definition.definitionInit = RecordingDefinitionInit;
    definition.definitionTerm = RecordingDefinitionTerm;
    definition.nodeInit = RecordingNodeInit;
    definition.nodeTerm = RecordingNodeTerm;
    definition.nodeSetup = RecordingSetup;
    definition.outputCount = outputs;
    definition.outputs = kPassAll;
    definition.privateDataSize = privateDataSize;
    return definition;
}

/// Pipelines need the engine started; the trace and failures start empty.
class PipelineTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        PipelineTrace().clear();
        PipelineFail() = {};
        ASSERT_TRUE(EngineTestStart());
    }
    void TearDown() override { EngineTestShutdown(); }

    static uint32_t PendingError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record.code;
    }

    /// The definitions' names in the pipeline's entry order.
    static std::vector<std::string> Order(const Pipeline* pipeline)
    {
        std::vector<std::string> names;
        for (uint32_t i = 0; i < pipeline->nodeCount; ++i)
            names.push_back(pipeline->nodes[i].definition->name);
        return names;
    }
};
