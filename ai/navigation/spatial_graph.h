// The navigation graph: a directed graph whose nodes are points of the world
// and whose arcs are the ways between them. Nodes and arcs live in sparse,
// index-addressed slot arrays: an index once handed out stays valid until its
// slot is emptied or the graph is renumbered/packed.
#pragma once

#include "ai/navigation/graph_block.h"
#include "ai/navigation/packed_graph.h"
#include "ai/runtime/allocator.h"
#include "ai/runtime/vec3.h"

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <vector>

namespace Zelk {

class CConfigNode;
class CGraphArc;
class CGraphNode;
class CPathObject;
class CSpatialGraph;
class CConstraint;
class CHeuristic;

// What a node carries: its position, then the scratch fields of the A* search.
// A search keeps them in its own memory while it runs; once it has found a
// path, each node on the path holds its fields from that search (g: cost
// from the start, h: the estimate to the goal, f = g + h, parent and arrival
// arc: the step back toward the start). Other nodes' fields mean nothing.
struct CGraphNodeData
{
    CVec3 position{0.0f, 0.0f, 0.0f};
    float f = -1.0f;
    float g = -1.0f;
    float h = -1.0f;
    uint8_t startMarker = 0;
    CGraphNode* parent = nullptr;
    CGraphArc* arrivalArc = nullptr;
};

// What an arc carries. The search skips an arc whose blocked flag is 1; the
// linked path object (newest of its chain) prices the arc instead of the constraint.
struct CGraphArcData
{
    float length = 0.0f;
    float cost = 0.0f;
    uint8_t blocked = 0;
    CPathObject* linkedObject = nullptr;
};

// A node's arc list: dense entries (not owned) in memory from the resource
// that its node names, so that the node holds one resource for both lists.
class CArcList
{
  public:
    CArcList() = default;
    CArcList(const CArcList&) = delete;
    CArcList& operator=(const CArcList&) = delete;

    int32_t Count() const { return m_count; }
    CGraphArc* const* Data() const { return m_entries; }
    CGraphArc* operator[](int32_t i) const { return m_entries[i]; }
    // Room for n entries, exactly, when it has less.
    void Reserve(int32_t n, std::pmr::memory_resource* memory);
    // Appends; the room grows to 4 entries first, then doubles.
    void Append(CGraphArc* arc, std::pmr::memory_resource* memory);
    // Removes entry i, moving the later ones down.
    void RemoveAt(int32_t i);
    // The other list's entries, in room of at least the other's capacity.
    void Assign(const CArcList& other, std::pmr::memory_resource* memory);
    void Release(std::pmr::memory_resource* memory);

  private:
    CGraphArc** m_entries = nullptr;
    int32_t m_count = 0;
    int32_t m_capacity = 0;
};

class CGraphNode : public CAiObject
{
  public:
    explicit CGraphNode(const CGraphNodeData& data) : m_data(data) {}
    virtual ~CGraphNode();
    // Copies everything; the copy's lists are fresh, of the same capacities.
    CGraphNode(const CGraphNode& other);
    // Copies everything; the graph holding this node rebuilds its packed copy.
    CGraphNode& operator=(const CGraphNode& other);

    int32_t GetIndex() const { return m_index; }
    const CVec3& GetPosition() const { return m_data.position; }
    // The record, for reading or writing; the graph's packed copy re-reads it
    // before the next search (see packed_graph.h).
    CGraphNodeData& GetData()
    {
        if (m_link.store != nullptr && !m_mark.edited)
            m_link.store->NoteEdited(*this);
        return m_data;
    }
    const CGraphNodeData& GetData() const { return m_data; }
    // The record for the A* search, which writes only the fields that the
    // packed copy does not hold (all but the position): the copy is not told.
    CGraphNodeData& GetSearchData() { return m_data; }

    int32_t GetOutArcCount() const { return m_outArcs.Count(); }
    int32_t GetInArcCount() const { return m_inArcs.Count(); }
    // The i-th out-arc (0-based), null outside 0..count-1.
    CGraphArc* GetOutArc(int32_t i) const;
    /// The out-arcs as one array of GetOutArcCount() entries (for inner loops).
    CGraphArc* const* GetOutArcs() const { return m_outArcs.Data(); }
    CGraphArc* GetInArc(int32_t i) const;

    // Append an arc; false only when the list cannot grow.
    bool AddOutArc(CGraphArc* arc);
    bool AddInArc(CGraphArc* arc);
    // Remove the given arc (later entries move down); false when absent.
    bool RemoveOutArc(const CGraphArc* arc);
    bool RemoveInArc(const CGraphArc* arc);
    // Remove the arc whose own index is given; false when absent.
    bool RemoveOutArcByIndex(int32_t arcIndex);
    bool RemoveInArcByIndex(int32_t arcIndex);
    // Make room for n arcs; false for n = 0.
    bool ReserveOutArcs(int32_t n);
    bool ReserveInArcs(int32_t n);

  private:
    friend class CSpatialGraph;
    friend class CPackedGraph;
    friend class CGraphBlock;
    friend class CGraphArc;
    // A node whose arc lists come from the given memory (a graph's block).
    CGraphNode(const CGraphNodeData& data, std::pmr::memory_resource* lists) : m_lists(lists), m_data(data) {}
    void LayoutChanged()
    {
        if (m_link.store != nullptr)
            m_link.store->Invalidate();
    }

    CPackedLink m_link;
    int32_t m_index = -1;
    CPackedMark m_mark;
    std::pmr::memory_resource* m_lists = std::pmr::get_default_resource(); // the arc lists' memory
    CArcList m_outArcs;
    CArcList m_inArcs;
    CGraphNodeData m_data;
};

class CGraphArc : public CAiObject
{
  public:
    explicit CGraphArc(const CGraphArcData& data) : m_data(data) {}
    virtual ~CGraphArc() = default;
    CGraphArc(const CGraphArc&) = default;
    // Copies everything; the graph holding this arc rebuilds its packed copy.
    CGraphArc& operator=(const CGraphArc& other);

    int32_t GetIndex() const { return m_index; }
    CGraphNode* GetFrom() const { return m_from; }
    CGraphNode* GetTo() const { return m_to; }
    // The record, for reading or writing; the graph's packed copy re-reads it
    // before the next search (see packed_graph.h).
    CGraphArcData& GetData()
    {
        if (m_mark.packed && !m_mark.edited)
            m_from->m_link.store->NoteEdited(*this);
        return m_data;
    }
    const CGraphArcData& GetData() const { return m_data; }
    // The record for the A* search, which writes only the cost and keeps the
    // packed copy of it in step itself.
    CGraphArcData& GetSearchData() { return m_data; }
    float GetLength() const { return m_data.length; }

  private:
    friend class CSpatialGraph;
    friend class CPackedGraph;
    CGraphArcData m_data;
    CGraphNode* m_from = nullptr;
    CGraphNode* m_to = nullptr;
    int32_t m_index = -1;
    CPackedMark m_mark;
};

// Walks the nodes or arcs of a graph; a false answer stops the walk.
class CGraphVisitor
{
  public:
    virtual ~CGraphVisitor() = default;
    virtual void BeginNodes(CSpatialGraph& /*graph*/) {}
    virtual void BeginArcs(CSpatialGraph& /*graph*/) {}
    virtual bool VisitNode(CGraphNode& /*node*/) { return true; }
    virtual bool VisitArc(CGraphArc& /*arc*/) { return true; }
};

class CSpatialGraph : public CAiObject
{
  public:
    // The graph file's magic (no terminator in the file).
    static constexpr char kMagic[] = "Varnoth Spatial graph";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;

    CSpatialGraph() = default;
    virtual ~CSpatialGraph();
    CSpatialGraph(const CSpatialGraph&) = delete;
    CSpatialGraph& operator=(const CSpatialGraph&) = delete;

    // Called whenever a node or arc changes slot (insert, pack, renumber).
    virtual void OnNodeMoved(int32_t /*oldIndex*/, int32_t /*newIndex*/) {}
    virtual void OnArcMoved(int32_t /*oldIndex*/, int32_t /*newIndex*/) {}

    // Creates a node from a copy of the record at the index (-1: behind the
    // highest); the index, or -1 when placing failed.
    virtual int32_t AddNode(const CGraphNodeData& record, int32_t index = -1);
    // Places a node (taking ownership) at the index; a node already there is
    // first removed with its arcs. False for a negative index (node destroyed).
    virtual bool SetNodeAt(CGraphNode* node, int32_t index);
    // Opens a slot at the index (-1: behind the highest), shifting later nodes up.
    virtual bool InsertNodeAt(CGraphNode* node, int32_t index);
    // Removes the node and every arc touching it; other indices do not change.
    virtual bool RemoveNode(int32_t index);
    // Creates an arc from -> to; the existing arc's index when the pair is
    // already joined; -1 on failure.
    virtual int32_t AddArc(const CGraphArcData& record, CGraphNode* from, CGraphNode* to, int32_t index = -1);
    // Places an arc (taking ownership) at the index, replacing one there.
    virtual bool SetArcAt(CGraphArc* arc, CGraphNode* from, CGraphNode* to, int32_t index);
    virtual bool InsertArcAt(CGraphArc* arc, CGraphNode* from, CGraphNode* to, int32_t index);
    virtual bool RemoveArc(int32_t index);
    // Remove the empty slots, moving later objects down (highest = count - 1).
    virtual bool PackNodeSlots();
    virtual bool PackArcSlots();
    // Destroy the object in a slot, if any (no detaching; used by Clear).
    virtual void DeleteNodeObject(int32_t index);
    virtual void DeleteArcObject(int32_t index);

    // Null below 0, above the highest index, or for an empty slot.
    CGraphNode* GetNode(int32_t index) const;
    CGraphArc* GetArc(int32_t index) const;
    // The packed copy that the A* search walks, brought up to date.
    CPackedGraph& GetPacked();
    int32_t GetNodeCount() const { return m_nodeCount; }
    int32_t GetArcCount() const { return m_arcCount; }
    int32_t GetHighestNodeIndex() const { return m_highestNode; }
    int32_t GetHighestArcIndex() const { return m_highestArc; }
    // Number of node indices in use (highest + 1): size of per-node tables.
    int32_t GetNodeArraySize() const { return m_highestNode + 1; }

    bool RemoveArcBetween(CGraphNode* from, CGraphNode* to);
    // The out-arc of node that ends at to; null when none or an argument is null.
    static CGraphArc* FindOutArcTo(const CGraphNode* node, const CGraphNode* to);
    // Deletes every node and arc; the graph is empty afterwards.
    void Clear();
    // Make the index addressable (capacity 64, then doubling); false for index < 0.
    bool ReserveNodes(int32_t index);
    bool ReserveArcs(int32_t index);
    // Exactly n slots (n >= highest + 1); false otherwise.
    bool SetNodeCapacity(int32_t n);
    bool SetArcCapacity(int32_t n);
    // Room in one block for that many nodes, arcs and arc-list entries, which
    // AddNode, AddArc and the nodes' arc lists take before the allocator: for
    // building a large graph at once. Only for a graph without nodes or arcs;
    // false otherwise or when the block cannot be had.
    bool ReserveBlock(size_t nodes, size_t arcs, size_t listEntries);
    bool VisitNodes(CGraphVisitor& visitor);
    bool VisitArcs(CGraphVisitor& visitor);
    // Moves nodes then arcs down to the lowest free slots, keeping their order.
    void Renumber();

    // Search radius, world units: 1.5 x the longest arc without a linked path
    // object, computed once and kept (0 for a graph without such arcs).
    float GetSearchRadius();
    // Stores the radius (negative gives 0, which recomputes on next use).
    void SetSearchRadius(float radius) { m_searchRadius = radius < 0.0f ? 0.0f : radius; }

    // A* settings of the searches on this graph (not owned).
    CConstraint* GetConstraint() const { return m_constraint; }
    void SetConstraint(CConstraint* constraint) { m_constraint = constraint; }
    CHeuristic* GetHeuristic() const { return m_heuristic; }
    void SetHeuristic(CHeuristic* heuristic) { m_heuristic = heuristic; }

    // The graph file: renumbers first when the graph has holes.
    bool WriteToMemory(std::vector<uint8_t>& out);
    // Writes the graph file through the host's file functions ("wb").
    bool Write(const char* fileName);
    // Reads a graph file from memory; the graph is emptied first. A wrong magic,
    // a version other than 1, a short file, counts larger than the data or arc
    // ends outside the nodes fail (the graph keeps what was read).
    bool ReadFromMemory(const uint8_t* data, size_t size);
    // Reads the graph file from a "RawData" node through the world's data source.
    bool ReadFromWorldFiles(CConfigNode* rawDataNode);
    // Reads the graph file through the host's file functions ("rb").
    bool ReadFromFile(const char* fileName);

    // Diagnostic dumps (not used by the rest of the system). Text: a line
    // "Nodes:n", one "(x;y;z)" per node, "Arcs:m", one "(x;y;z)--->(x;y;z)"
    // per arc. Raw: node count, positions, arc count, end positions (u32 and
    // f32, little-endian). Readers match arc ends to nodes within the
    // position-matching tolerance (Manhattan distance) and stop at the first
    // arc an end of which matches no node; they fail on counts larger than
    // the data or malformed lines.
    std::string WriteTextToString();
    bool WriteText(const char* fileName);
    bool ReadTextFromMemory(const char* text, size_t size);
    bool ReadText(const char* fileName);
    bool WriteRawToMemory(std::vector<uint8_t>& out);
    bool WriteRaw(const char* fileName);
    bool ReadRawFromMemory(const uint8_t* data, size_t size);
    bool ReadRaw(const char* fileName);

  private:
    // Adds an arc between the nodes at the two positions; false when one matches no node.
    bool AddArcBetweenPositions(const CVec3& from, const CVec3& to);
    void PlaceNode(CGraphNode* node, int32_t index);
    // Puts the arc into its (empty, addressable) slot and joins it to its ends.
    void PlaceArc(CGraphArc* arc, CGraphNode* from, CGraphNode* to, int32_t index);
    bool OpenNodeSlot(int32_t index);
    bool OpenArcSlot(int32_t index);

    CConstraint* m_constraint = nullptr;
    CHeuristic* m_heuristic = nullptr;
    std::vector<CGraphNode*> m_nodes; // owned; size is the capacity
    std::vector<CGraphArc*> m_arcs;   // owned
    int32_t m_nodeCount = 0;
    int32_t m_arcCount = 0;
    int32_t m_highestNode = -1;
    int32_t m_highestArc = -1;
    float m_searchRadius = 0.0f;
    CPackedGraph m_packed;
    CGraphBlock m_block; // the nodes and arcs of a graph read or built at once
};

// Adds a node at the position (other fields at their defaults) behind the
// highest index; the new node, null on failure.
CGraphNode* AddNodeAtPosition(CSpatialGraph& graph, const CVec3& position);

} // namespace Zelk
