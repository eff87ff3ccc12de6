// Diagnostic dumps of a graph: a text listing and a raw binary listing of
// positions, both read back by matching arc ends to node positions.
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/spatial_graph.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

// Lines of the text dump are at most this long.
constexpr size_t kMaxTextLine = 2056;

std::string FormatPoint(const CVec3& p)
{
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "(%f;%f;%f)", double(p.x), double(p.y), double(p.z));
    return buffer;
}

// Reads "(x;y;z)" at the front of text; the rest after it.
bool ParsePoint(std::string_view& text, CVec3& p)
{
    float* fields[3] = {&p.x, &p.y, &p.z};
    const char separators[3] = {';', ';', ')'};
    if (text.empty() || text.front() != '(')
        return false;
    text.remove_prefix(1);
    for (int i = 0; i < 3; ++i) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *fields[i]);
        if (error != std::errc() || end == text.data() + text.size() || *end != separators[i])
            return false;
        text.remove_prefix(size_t(end - text.data()) + 1);
    }
    return true;
}

bool ParseCount(std::string_view line, const char* prefix, uint32_t& count)
{
    const size_t n = std::strlen(prefix);
    if (line.substr(0, n) != prefix)
        return false;
    const auto [end, error] = std::from_chars(line.data() + n, line.data() + line.size(), count);
    return error == std::errc() && end == line.data() + line.size();
}

float Manhattan(const CVec3& a, const CVec3& b)
{
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z);
}

// Splits text into lines (without '\n' or '\r'); false for a line that is too long.
class CLineReader
{
  public:
    CLineReader(const char* text, size_t size) : m_text(text, size) {}
    bool Next(std::string_view& line)
    {
        if (m_text.empty())
            return false;
        const size_t end = m_text.find('\n');
        line = m_text.substr(0, end);
        m_text.remove_prefix(end == std::string_view::npos ? m_text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }
    size_t Remaining() const { return m_text.size(); }

  private:
    std::string_view m_text;
};

} // namespace

bool CSpatialGraph::AddArcBetweenPositions(const CVec3& from, const CVec3& to)
{
    const float tolerance = NavGetPositionTolerance();
    CGraphNode* ends[2] = {nullptr, nullptr};
    const CVec3* points[2] = {&from, &to};
    for (int e = 0; e < 2; ++e)
        for (int32_t i = 0; i <= m_highestNode && ends[e] == nullptr; ++i)
            if (CGraphNode* node = GetNode(i);
                node != nullptr && Manhattan(node->GetPosition(), *points[e]) < tolerance)
                ends[e] = node;
    if (ends[0] == nullptr || ends[1] == nullptr)
        return false;
    CGraphArcData arc;
    arc.length = arc.cost = std::sqrt(CVec3::SquaredDistance(ends[0]->GetPosition(), ends[1]->GetPosition()));
    AddArc(arc, ends[0], ends[1]);
    return true;
}

std::string CSpatialGraph::WriteTextToString()
{
    std::string text = "Nodes:" + std::to_string(m_nodeCount) + "\n";
    for (int32_t i = 0; i <= m_highestNode; ++i)
        if (const CGraphNode* node = GetNode(i))
            text += FormatPoint(node->GetPosition()) + "\n";
    text += "Arcs:" + std::to_string(m_arcCount) + "\n";
    for (int32_t i = 0; i <= m_highestArc; ++i)
        if (const CGraphArc* arc = GetArc(i))
            text += FormatPoint(arc->GetFrom()->GetPosition()) + "--->" +
                    FormatPoint(arc->GetTo()->GetPosition()) + "\n";
    return text;
}

bool CSpatialGraph::WriteText(const char* fileName)
{
    const std::string text = WriteTextToString();
    return NavWriteHostFile(fileName, std::vector<uint8_t>(text.begin(), text.end()));
}

bool CSpatialGraph::ReadTextFromMemory(const char* text, size_t size)
{
    Clear();
    CLineReader lines(text, size);
    std::string_view line;
    uint32_t nodeCount = 0;
    if (!lines.Next(line) || !ParseCount(line, "Nodes:", nodeCount)) {
        NavSetError(ENavError::WrongMagic, "text graph does not start with Nodes:");
        return false;
    }
    // Each node line holds at least "(0;0;0)" and its line end.
    if (nodeCount > lines.Remaining() / 8) {
        NavSetError(ENavError::BadCount, "node count larger than the text");
        return false;
    }
    for (uint32_t i = 0; i < nodeCount; ++i) {
        CGraphNodeData record;
        if (!lines.Next(line) || line.size() > kMaxTextLine || !ParsePoint(line, record.position) ||
            !line.empty()) {
            NavSetError(ENavError::Truncated, "malformed or missing node line");
            return false;
        }
        AddNode(record);
    }
    if (!lines.Next(line)) // the arc count line: the arcs run to the end of the text
        return true;
    while (lines.Next(line)) {
        CVec3 from;
        CVec3 to;
        if (line.empty())
            continue;
        if (line.size() > kMaxTextLine || !ParsePoint(line, from) || line.substr(0, 4) != "--->") {
            NavSetError(ENavError::Truncated, "malformed arc line");
            return false;
        }
        line.remove_prefix(4);
        if (!ParsePoint(line, to) || !line.empty()) {
            NavSetError(ENavError::Truncated, "malformed arc line");
            return false;
        }
        if (!AddArcBetweenPositions(from, to))
            break;
    }
    return true;
}

bool CSpatialGraph::ReadText(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) &&
           ReadTextFromMemory(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool CSpatialGraph::WriteRawToMemory(std::vector<uint8_t>& out)
{
    CNavByteWriter writer;
    const auto point = [&writer](const CVec3& p) {
        writer.WriteF32(p.x);
        writer.WriteF32(p.y);
        writer.WriteF32(p.z);
    };
    writer.WriteU32(uint32_t(m_nodeCount));
    for (int32_t i = 0; i <= m_highestNode; ++i)
        if (const CGraphNode* node = GetNode(i))
            point(node->GetPosition());
    writer.WriteU32(uint32_t(m_arcCount));
    for (int32_t i = 0; i <= m_highestArc; ++i)
        if (const CGraphArc* arc = GetArc(i)) {
            point(arc->GetFrom()->GetPosition());
            point(arc->GetTo()->GetPosition());
        }
    out = writer.Bytes();
    return true;
}

bool CSpatialGraph::WriteRaw(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return WriteRawToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

bool CSpatialGraph::ReadRawFromMemory(const uint8_t* data, size_t size)
{
    Clear();
    CNavByteReader reader(data, size);
    const auto point = [&reader](CVec3& p) {
        return reader.ReadF32(p.x) && reader.ReadF32(p.y) && reader.ReadF32(p.z);
    };
    uint32_t nodeCount = 0;
    if (!reader.ReadU32(nodeCount))
        return false;
    if (!reader.HasRecords(nodeCount, 12))
        return reader.Fail(ENavError::BadCount, "node count larger than the raw graph");
    for (uint32_t i = 0; i < nodeCount; ++i) {
        CGraphNodeData record;
        if (!point(record.position))
            return false;
        AddNode(record);
    }
    uint32_t arcCount = 0;
    if (!reader.ReadU32(arcCount))
        return false;
    if (!reader.HasRecords(arcCount, 24))
        return reader.Fail(ENavError::BadCount, "arc count larger than the raw graph");
    for (uint32_t i = 0; i < arcCount; ++i) {
        CVec3 from;
        CVec3 to;
        if (!point(from) || !point(to))
            return false;
        if (!AddArcBetweenPositions(from, to))
            break;
    }
    return true;
}

bool CSpatialGraph::ReadRaw(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) && ReadRawFromMemory(bytes.data(), bytes.size());
}

} // namespace Zelk
