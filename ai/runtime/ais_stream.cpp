// The one place where the AI runtime meets the graphics engine: ".AIS" files are
// read through the engine's chunked stream.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "graphics/core/stream.h"

namespace Zelk {

namespace {

class CStreamAisInput : public CAisInput
{
  public:
    explicit CStreamAisInput(Stream* stream) : m_stream(stream) {}
    uint32_t Read(void* buffer, uint32_t n) override
    {
        return static_cast<uint32_t>(StreamRead(m_stream, buffer, n));
    }
    bool Skip(uint32_t n) override { return StreamSkip(m_stream, n) != nullptr; }

  private:
    Stream* m_stream;
};

} // namespace

CAisInput* NewStreamAisInput(Stream* stream)
{
    return stream ? new CStreamAisInput(stream) : nullptr;
}

bool CAisReader::Load(Stream* stream, CConfigNode* root)
{
    m_error[0] = 0;
    delete m_ownedInput;
    m_ownedInput = NewStreamAisInput(stream);
    if (!m_ownedInput) {
        m_input = nullptr;
        return Fail("no stream");
    }
    return Load(m_ownedInput, root);
}

CConfigNode* AiLoadConfigStream(Stream* stream)
{
    CAisReader* reader = AiGetAisReader();
    CConfigNode* root = AiNewConfigNode();
    if (reader && root) {
        reader->Load(stream, root); // a failed load leaves a partial or empty tree
    }
    return root;
}

} // namespace Zelk
