#pragma once
// A recording immediate-mode 3-D render pipeline for the toolkit's tests
// and benchmarks: while installed, every Im3D render call of the recorded
// types is captured (its vertices as opened, its indices, flags and matrix)
// instead of being drawn.

#include <cstdint>
#include <vector>

#include "graphics/core/matrix.h"
#include "graphics/d3d9/im3d.h"

struct Im3DBatch
{
    int32_t type;
    uint32_t flags;
    Matrix matrix;
    std::vector<Im3DVertex> vertices; ///< every vertex of the open transform
    std::vector<uint16_t> indices;    ///< empty for an unindexed call
};

class Im3DRecorder
{
  public:
    /// Installs the recorder for triangle lists and strips. With `keep`
    /// false only the counts are kept (for benchmarks).
    explicit Im3DRecorder(bool keep = true);
    /// Restores the default pipelines.
    ~Im3DRecorder();
    Im3DRecorder(const Im3DRecorder&) = delete;
    Im3DRecorder& operator=(const Im3DRecorder&) = delete;

    bool Installed() const { return pipeline_ != nullptr; }
    const std::vector<Im3DBatch>& Batches() const { return batches_; }
    /// Render calls and indices seen since the last Clear.
    int64_t Calls() const { return calls_; }
    int64_t Indices() const { return indices_; }
    void Clear();

  private:
    static int32_t Body(struct PipelineNode* node, const struct PipelineExecution* execution);
    struct Pipeline* pipeline_ = nullptr;
    bool keep_;
    std::vector<Im3DBatch> batches_;
    int64_t calls_ = 0;
    int64_t indices_ = 0;
};
