// A linked list of pointers with a capacity fixed at creation, and small holders.
//
// The list allocates its nodes once; a node's index in the node array is stable
// while it is in use (the world uses it as the identifier of an entity or team).
// Freed nodes go to the head of the free list, so the last one freed is reused first.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

template <class T> class CFixedList : public CAiObject
{
  public:
    struct Node
    {
        T* item;
        Node* prev;
        Node* next;
        bool inUse;
    };

    class Iterator
    {
      public:
        explicit Iterator(Node* node = nullptr) : m_node(node) {}
        T* Item() const { return m_node ? m_node->item : nullptr; }
        Node* GetNode() const { return m_node; }
        bool IsValid() const { return m_node != nullptr; }
        Iterator& operator++()
        {
            m_node = m_node ? m_node->next : nullptr;
            return *this;
        }
        bool operator==(const Iterator& o) const { return m_node == o.m_node; }
        bool operator!=(const Iterator& o) const { return m_node != o.m_node; }

      private:
        Node* m_node;
    };

    /// All capacity nodes start free, in array order. Out of memory leaves capacity 0.
    explicit CFixedList(uint32_t capacity)
    {
        if (capacity == 0) {
            return;
        }
        m_nodes = static_cast<Node*>(AiAlloc(sizeof(Node) * capacity));
        if (!m_nodes) {
            return;
        }
        m_capacity = capacity;
        for (uint32_t i = 0; i < capacity; ++i) {
            m_nodes[i] = Node{nullptr, nullptr, i + 1 < capacity ? &m_nodes[i + 1] : nullptr, false};
        }
        m_freeHead = &m_nodes[0];
    }
    ~CFixedList() override { AiFree(m_nodes); }
    CFixedList(const CFixedList&) = delete;
    CFixedList& operator=(const CFixedList&) = delete;

    uint32_t GetCount() const { return m_count; }
    uint32_t GetCapacity() const { return m_capacity; }
    bool IsFull() const { return m_freeHead == nullptr; }

    Iterator Begin() const { return Iterator(m_head); }
    Iterator End() const { return Iterator(); }
    Node* GetHead() const { return m_head; }
    Node* GetTail() const { return m_tail; }

    /// Inserts item before position (at the end when null). Full list: End(), nothing changes.
    Iterator Insert(T* item, Node* position = nullptr)
    {
        Node* node = m_freeHead;
        if (!node) {
            return End();
        }
        m_freeHead = node->next;
        node->inUse = true;
        node->item = item;
        if (position) {
            node->prev = position->prev;
            node->next = position;
            if (position->prev) {
                position->prev->next = node;
            } else {
                m_head = node;
            }
            position->prev = node;
        } else {
            node->prev = m_tail;
            node->next = nullptr;
            if (m_tail) {
                m_tail->next = node;
            } else {
                m_head = node;
            }
            m_tail = node;
        }
        ++m_count;
        return Iterator(node);
    }

    /// Unlinks a used node; it goes to the head of the free list.
    void Unlink(Node* node)
    {
        if (!node || !node->inUse) {
            return;
        }
        (node->prev ? node->prev->next : m_head) = node->next;
        (node->next ? node->next->prev : m_tail) = node->prev;
        node->inUse = false;
        node->item = nullptr;
        node->prev = nullptr;
        node->next = m_freeHead;
        m_freeHead = node;
        --m_count;
    }

    /// Unlinks the first node holding item; false when absent.
    bool Remove(const T* item)
    {
        for (Node* n = m_head; n; n = n->next) {
            if (n->item == item) {
                Unlink(n);
                return true;
            }
        }
        return false;
    }

    /// The node at index (used or not); null at or beyond the capacity.
    Node* NodeAt(uint32_t index) const { return index < m_capacity ? &m_nodes[index] : nullptr; }
    /// The index of node in the node array, -1 for null or a foreign node.
    int32_t IndexOf(const Node* node) const
    {
        if (!node || node < m_nodes || node >= m_nodes + m_capacity) {
            return -1;
        }
        return static_cast<int32_t>(node - m_nodes);
    }
    /// The item of the used node at index, null when unused or out of range.
    T* ItemAt(uint32_t index) const
    {
        Node* n = NodeAt(index);
        return n && n->inUse ? n->item : nullptr;
    }

  private:
    Node* m_nodes = nullptr;
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    Node* m_freeHead = nullptr;
    uint32_t m_count = 0;
    uint32_t m_capacity = 0;
};

/// Owns one block (from AiAlloc) and frees it on destruction.
class CDynamicBuffer
{
  public:
    explicit CDynamicBuffer(std::size_t size = 0) : m_data(size ? AiAlloc(size) : nullptr) {}
    ~CDynamicBuffer() { AiFree(m_data); }
    CDynamicBuffer(const CDynamicBuffer&) = delete;
    CDynamicBuffer& operator=(const CDynamicBuffer&) = delete;
    void* Get() const { return m_data; }

  private:
    void* m_data;
};

/// Owns count polymorphic elements created with new and deletes each on destruction.
template <class T> class COwnedArray
{
  public:
    explicit COwnedArray(uint32_t count)
    {
        m_items = count ? static_cast<T**>(AiAlloc(sizeof(T*) * count)) : nullptr;
        m_count = m_items ? count : 0;
        for (uint32_t i = 0; i < m_count; ++i) {
            m_items[i] = nullptr;
        }
    }
    ~COwnedArray()
    {
        for (uint32_t i = 0; i < m_count; ++i) {
            delete m_items[i];
        }
        AiFree(m_items);
    }
    COwnedArray(const COwnedArray&) = delete;
    COwnedArray& operator=(const COwnedArray&) = delete;
    uint32_t GetCount() const { return m_count; }
    T*& operator[](uint32_t i) { return m_items[i]; }
    T* operator[](uint32_t i) const { return m_items[i]; }

  private:
    T** m_items;
    uint32_t m_count;
};

/// Two points: a segment.
struct CVec3Pair
{
    CVec3 first;
    CVec3 second;
};

} // namespace Zelk
