// Reads arbitrary bytes as a neural-net file and, when accepted, evaluates the
// net and writes it again.
#include "ai/navigation/neural_net.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CNeuralNet net;
    if (!net.ReadFromMemory(data, size))
        return 0;
    float* inputs = net.GetInputValues();
    for (int32_t i = 0; i < net.GetInputCount(); ++i)
        inputs[i] = 0.5f;
    net.Evaluate();
    std::vector<uint8_t> bytes;
    if (!net.WriteToMemory(bytes) || bytes.size() > size)
        std::abort();
    return 0;
}
