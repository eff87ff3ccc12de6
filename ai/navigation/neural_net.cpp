#include "ai/navigation/neural_net.h"

#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/nav_text.h"
#include "ai/runtime/host.h"

#include <cstring>
#include <string>

namespace Zelk {

namespace {

CGlobalService* CreateNeuralNetManager()
{
    return new CNeuralNetManager();
}

// Weights that layers of these sizes need; -1 when it does not fit in 32 bits.
int64_t RequiredWeights(const std::vector<int32_t>& sizes)
{
    int64_t total = 0;
    for (size_t l = 0; l + 1 < sizes.size(); ++l) {
        total += (int64_t(sizes[l]) + 1) * sizes[l + 1];
        if (total > INT32_MAX)
            return -1;
    }
    return total;
}

// Checks a net's shape as read: at least one layer, every size at least 1, and exactly the
// weights that the sizes need.
bool CheckShape(const std::vector<int32_t>& sizes, int32_t weightCount)
{
    for (int32_t n : sizes)
        if (n < 1) {
            NavSetError(ENavError::BadCount, "neural-net layer with fewer than one neuron");
            return false;
        }
    if (RequiredWeights(sizes) != weightCount) {
        NavSetError(ENavError::BadCount, "neural-net weight count does not match its layers");
        return false;
    }
    return true;
}

// One line of a text net through the host's line read; false at the end of the file or for
// a line longer than the buffer allows.
bool ReadLine(void* file, char* line, int size)
{
    const AiRuntimeSettings& settings = AiGetSettings();
    if (settings.fileReadLine(line, size, file) == nullptr)
        return false;
    const size_t length = std::strlen(line);
    if (length + 1 == size_t(size) && line[length - 1] != '\n' && settings.fileEof(file) == 0) {
        NavSetError(ENavError::BadCount, "neural-net text line too long");
        return false;
    }
    return true;
}

bool ReadIntLine(void* file, int32_t& value)
{
    char line[258];
    if (!ReadLine(file, line, int(sizeof(line))))
        return false;
    if (!NavParseInt(line, value)) {
        NavSetError(ENavError::BadCount, "neural-net text line is not an integer");
        return false;
    }
    return true;
}

} // namespace

CGlobalServiceClassRecord CNeuralNetManager::s_classRecord("CNeuralNetManager", &CreateNeuralNetManager);

CNeuralNetLayer::CNeuralNetLayer(int32_t n) : neurons(n), values(size_t(n) + 1, 0.0f)
{
    values[0] = 1.0f;
}

CNeuralNet::CNeuralNet(int32_t layerCount, const int32_t* sizes) : m_linearOutput(true)
{
    for (int32_t l = 0; l < layerCount; ++l)
        m_layers.emplace_back(sizes[l] > 0 ? sizes[l] : 1);
}

CNeuralNet::CNeuralNet(const int32_t sizes[3]) : CNeuralNet(3, sizes)
{
}

CNeuralNet::~CNeuralNet() = default;

std::vector<int32_t> CNeuralNet::LayerSizes() const
{
    std::vector<int32_t> sizes;
    for (const CNeuralNetLayer& layer : m_layers)
        sizes.push_back(layer.neurons);
    return sizes;
}

void CNeuralNet::FreeWeights()
{
    m_ownedWeights.clear();
    m_ownedWeights.shrink_to_fit();
    m_weights = nullptr;
}

void CNeuralNet::SetWeights(float* weights)
{
    FreeWeights();
    m_weights = weights;
}

int32_t CNeuralNet::GetWeightCount()
{
    if (!m_weightCountValid) {
        const int64_t required = RequiredWeights(LayerSizes());
        m_weightCount = required >= 0 ? int32_t(required) : 0;
        m_weightCountValid = true;
    }
    return m_weightCount;
}

float* CNeuralNet::GetInputValues()
{
    return m_layers.empty() ? nullptr : &m_layers.front().values[1];
}

float* CNeuralNet::GetOutputValues()
{
    return m_layers.empty() ? nullptr : &m_layers.back().values[1];
}

float CNeuralNet::Activate(float x) const
{
    if (!(x >= 0.0f))
        return 0.0f;
    return x > 1.0f ? 1.0f : x;
}

void CNeuralNet::Evaluate()
{
    if (m_weights == nullptr)
        return;
    const float* weight = m_weights;
    for (size_t l = 0; l + 1 < m_layers.size(); ++l) {
        const std::vector<float>& below = m_layers[l].values;
        std::vector<float>& above = m_layers[l + 1].values;
        const bool raw = m_linearOutput && l + 2 == m_layers.size();
        for (size_t j = 1; j < above.size(); ++j) {
            float sum = 0.0f;
            for (float value : below)
                sum += *weight++ * value;
            above[j] = raw ? sum : Activate(sum);
        }
    }
}

void CNeuralNet::Assign(bool linear, const std::vector<int32_t>& sizes, std::vector<float>&& weights)
{
    m_layers.clear();
    for (int32_t n : sizes)
        m_layers.emplace_back(n);
    m_linearOutput = linear;
    m_ownedWeights = std::move(weights);
    m_weights = m_ownedWeights.data();
    m_weightCount = int32_t(m_ownedWeights.size());
    m_weightCountValid = true;
    m_parameters[0] = 0.5f;
    m_parameters[1] = 0.1f;
    m_parameters[2] = 1.0f;
}

// ---- Binary form ---------------------------------------------------------------------------

bool CNeuralNet::ReadFromMemory(const uint8_t* data, size_t size)
{
    CNavByteReader reader(data, size);
    uint8_t linear = 0;
    uint32_t layerCount = 0;
    if (!reader.ReadHeader(kMagic, kMagicLength) || !reader.ReadBytes(&linear, 1) ||
        !reader.ReadU32(layerCount))
        return false;
    if (int32_t(layerCount) < 1)
        return reader.Fail(ENavError::BadCount, "neural net with fewer than one layer");
    if (!reader.HasRecords(layerCount, 4))
        return reader.Fail(ENavError::Truncated, "neural-net layer sizes beyond the data");
    std::vector<int32_t> sizes(layerCount);
    for (int32_t& n : sizes) {
        uint32_t value = 0;
        reader.ReadU32(value);
        n = int32_t(value);
    }
    uint32_t weightCount = 0;
    if (!reader.ReadU32(weightCount))
        return false;
    if (int32_t(weightCount) < 1)
        return reader.Fail(ENavError::BadCount, "neural net with fewer than one weight");
    if (!CheckShape(sizes, int32_t(weightCount)))
        return reader.Fail(ENavError::BadCount, "neural-net shape refused");
    if (!reader.HasRecords(weightCount, 4))
        return reader.Fail(ENavError::Truncated, "neural-net weights beyond the data");
    std::vector<float> weights(weightCount);
    for (float& w : weights)
        reader.ReadF32(w);
    if (reader.Failed())
        return false;
    Assign(linear != 0, sizes, std::move(weights));
    return true;
}

bool CNeuralNet::ReadFromRawData(CConfigNode* rawData)
{
    std::vector<uint8_t> bytes;
    return NavReadRawData(rawData, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CNeuralNet::ReadFromFile(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CNeuralNet::WriteToMemory(std::vector<uint8_t>& out) const
{
    out.clear();
    if (m_weights == nullptr || m_layers.empty()) {
        NavSetError(ENavError::BadArgument, "neural net without layers or weights");
        return false;
    }
    const std::vector<int32_t> sizes = LayerSizes();
    const int64_t weightCount = RequiredWeights(sizes);
    if (weightCount < 1) {
        NavSetError(ENavError::BadCount, "neural net needs no weights");
        return false;
    }
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    const uint8_t linear = m_linearOutput ? 1 : 0;
    writer.WriteBytes(&linear, 1);
    writer.WriteU32(uint32_t(sizes.size()));
    for (int32_t n : sizes)
        writer.WriteU32(uint32_t(n));
    writer.WriteU32(uint32_t(weightCount));
    for (int64_t i = 0; i < weightCount; ++i)
        writer.WriteF32(m_weights[i]);
    out = writer.Bytes();
    return true;
}

bool CNeuralNet::WriteToFile(const char* fileName) const
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

// ---- Text form -----------------------------------------------------------------------------

bool CNeuralNet::WriteTextFile(const char* fileName) const
{
    std::vector<uint8_t> binary;
    if (!WriteToMemory(binary))
        return false;
    const std::vector<int32_t> sizes = LayerSizes();
    const size_t weightCount = size_t(RequiredWeights(sizes));
    std::string text = std::to_string(m_linearOutput ? 1 : 0) + "\n" + std::to_string(sizes.size()) + "\n";
    for (int32_t n : sizes)
        text += std::to_string(n) + "\n";
    text += std::to_string(weightCount) + "\n";
    char number[64];
    for (size_t i = 0; i < weightCount; ++i) {
        NavFormatFixed(m_weights[i], number, sizeof(number));
        text += number;
        text += '\n';
    }
    const AiRuntimeSettings& settings = AiGetSettings();
    if (fileName == nullptr || settings.fileOpen == nullptr || settings.fileWrite == nullptr ||
        settings.fileClose == nullptr) {
        NavSetError(ENavError::CannotOpen, "no file name or no host file functions");
        return false;
    }
    void* file = settings.fileOpen(fileName, "w");
    if (file == nullptr) {
        NavSetError(ENavError::CannotOpen, "file cannot be opened for writing");
        return false;
    }
    const size_t written = settings.fileWrite(text.data(), 1, text.size(), file);
    settings.fileClose(file);
    if (written != text.size()) {
        NavSetError(ENavError::WriteFailed, "file not written whole");
        return false;
    }
    return true;
}

bool CNeuralNet::ReadTextFile(const char* fileName)
{
    const AiRuntimeSettings& settings = AiGetSettings();
    if (fileName == nullptr || settings.fileOpen == nullptr || settings.fileReadLine == nullptr ||
        settings.fileEof == nullptr || settings.fileClose == nullptr) {
        NavSetError(ENavError::CannotOpen, "no file name or no host file functions");
        return false;
    }
    NavClearError();
    void* file = settings.fileOpen(fileName, "r");
    if (file == nullptr) {
        NavSetError(ENavError::CannotOpen, "file cannot be opened");
        return false;
    }
    // Sizes and weights are collected line by line, so that nothing is allocated for values
    // the file does not really hold; the layers are made once the shape is known to be right.
    int32_t linear = 0;
    int32_t layerCount = 0;
    bool ok = ReadIntLine(file, linear) && ReadIntLine(file, layerCount);
    if (ok && layerCount < 1) {
        NavSetError(ENavError::BadCount, "neural net with fewer than one layer");
        ok = false;
    }
    std::vector<int32_t> sizes;
    for (int32_t l = 0; ok && l < layerCount; ++l) {
        int32_t n = 0;
        ok = ReadIntLine(file, n);
        sizes.push_back(n);
    }
    int32_t weightCount = 0;
    ok = ok && ReadIntLine(file, weightCount) && weightCount >= 1 && CheckShape(sizes, weightCount);
    std::vector<float> weights;
    for (int32_t i = 0; ok && i < weightCount; ++i) {
        char line[258];
        float value = 0.0f;
        ok = ReadLine(file, line, int(sizeof(line))) && NavParseFloat(line, value);
        weights.push_back(value);
    }
    settings.fileClose(file);
    if (!ok) {
        if (NavGetLastError() == ENavError::None)
            NavSetError(ENavError::Truncated, "neural-net text ends early or holds a malformed line");
        return false;
    }
    Assign(linear != 0, sizes, std::move(weights));
    return true;
}

} // namespace Zelk
