// Neural nets: small feed-forward nets that behaviours consult. The behaviour
// writes the input values, calls Evaluate and reads the output values.
// CNeuralNetManager keeps the world's nets, loaded from raw-data blocks
// (entry key "NeuralNet"), and finds them by name.
//
// Every layer holds a bias value 1.0 at element 0 and its neurons' values
// after it. The weights are stored, for each pair of consecutive layers, for
// each neuron j = 1..n of the upper layer, the weights of the lower layer's
// elements i = 0..n (i = 0 the bias): W = sum of (n(l) + 1) x n(l + 1).
// A neuron's value is its weighted sum clamped to [0, 1]; the output layer
// keeps the raw sum when the net has linear outputs.
//
// Net file ("Varnoth Neural Net", little-endian): the magic without
// terminator, version 1 (u32), linear-output flag (u8), layer count L (i32,
// at least 1), L neuron counts (i32, input layer first, each at least 1),
// weight count W (i32, must equal the count the layers need), W floats.
#pragma once

#include "ai/navigation/named_data_table.h"
#include "ai/runtime/registries.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CConfigNode;

struct CNeuralNetLayer
{
    // n neurons after the bias element (1.0); values 0.
    explicit CNeuralNetLayer(int32_t neurons);

    int32_t neurons;
    std::vector<float> values; // neurons + 1
};

class CNeuralNet : public CAiObject
{
  public:
    static constexpr char kMagic[] = "Varnoth Neural Net";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;

    // An empty net (no layer, no weights), as a manager creates it before reading.
    CNeuralNet() = default;
    // Layers of the given sizes (each at least 1), linear outputs, no weights yet.
    CNeuralNet(int32_t layerCount, const int32_t* sizes);
    // Three layers of sizes[0], sizes[1], sizes[2].
    explicit CNeuralNet(const int32_t sizes[3]);
    // Frees the weights when it owns them.
    ~CNeuralNet() override;
    CNeuralNet(const CNeuralNet&) = delete;
    CNeuralNet& operator=(const CNeuralNet&) = delete;

    // The file format above; reading replaces the net and refuses wrong magic or version,
    // layer counts or sizes below 1, a weight count other than the layers need, and short data.
    virtual bool ReadFromRawData(CConfigNode* rawData);
    virtual bool ReadFromFile(const char* fileName);
    // False without weights or when the file cannot be written whole.
    virtual bool WriteToFile(const char* fileName) const;
    // 0 below 0 (and for NaN), x in [0, 1], 1 above.
    virtual float Activate(float x) const;

    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool WriteToMemory(std::vector<uint8_t>& out) const;
    // Text form, one value per line: flag, L, each size, W ("%d"), then each weight ("%f");
    // read through the host's line read. Lines are at most 255 characters.
    bool WriteTextFile(const char* fileName) const;
    bool ReadTextFile(const char* fileName);

    // Computes every layer from the one below; nothing without weights or with one layer.
    void Evaluate();
    // The input or output layer's neuron values (bias skipped); null without layers.
    float* GetInputValues();
    float* GetOutputValues();
    int32_t GetInputCount() const { return m_layers.empty() ? 0 : m_layers.front().neurons; }
    int32_t GetOutputCount() const { return m_layers.empty() ? 0 : m_layers.back().neurons; }
    int32_t GetLayerCount() const { return int32_t(m_layers.size()); }
    const CNeuralNetLayer* GetLayer(int32_t i) const
    {
        return i >= 0 && size_t(i) < m_layers.size() ? &m_layers[size_t(i)] : nullptr;
    }
    // The number of weights the layers need (0 with fewer than two layers).
    int32_t GetWeightCount();
    const float* GetWeights() const { return m_weights; }
    // Uses weights (GetWeightCount() floats) as they are, without copying or taking ownership.
    void SetWeights(float* weights);
    bool HasLinearOutput() const { return m_linearOutput; }
    void SetLinearOutput(bool linear) { m_linearOutput = linear; }
    // The three parameters set to 0.5, 0.1 and 1.0 whenever a net is loaded.
    float GetParameter(int i) const { return i >= 0 && i < 3 ? m_parameters[i] : 0.0f; }

  private:
    void FreeWeights();
    std::vector<int32_t> LayerSizes() const;
    // Replaces layers and weights by what a reader checked; takes ownership of weights.
    void Assign(bool linear, const std::vector<int32_t>& sizes, std::vector<float>&& weights);

    std::vector<CNeuralNetLayer> m_layers;
    bool m_linearOutput = false;
    float* m_weights = nullptr;        // the owned weights or the caller's
    std::vector<float> m_ownedWeights; // empty when the weights are the caller's
    int32_t m_weightCount = 0;
    bool m_weightCountValid = false;
    float m_parameters[3] = {0.5f, 0.1f, 1.0f};
};

class CNeuralNetManager : public CNamedDataTable
{
  public:
    static CGlobalServiceClassRecord s_classRecord;

    CNeuralNetManager() : CNamedDataTable("NeuralNet") {}
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    // The net of that name; null when none.
    CNeuralNet* GetNeuralNet(const char* name) const { return static_cast<CNeuralNet*>(Find(name)); }

  protected:
    CAiObject* CreateObject() const override { return new CNeuralNet(); }
    bool ReadObject(CAiObject* object, CConfigNode* rawData) const override
    {
        return static_cast<CNeuralNet*>(object)->ReadFromRawData(rawData);
    }
};

} // namespace Zelk
