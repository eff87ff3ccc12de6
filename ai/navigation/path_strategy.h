// Named strategies of the path finder: plain functions entered by name into one
// of four small registries (checks, vertex finders, go tests, moves), so that a
// configuration chooses them by name. A static record enters itself before
// main runs; a record whose name is present takes that entry's place; a full
// registry (16 records) refuses the record (index -1) and raises its overflow flag.
#pragma once

#include "ai/runtime/class_record.h"
#include "ai/runtime/vec3.h"

#include <cstdint>
#include <cstring>

namespace Zelk {

class CGraphNode;
class CPathFinder;
struct CPathMove;

/// Arrival tests and sub-goal advances.
using PathCheckFn = bool (*)(CPathFinder& finder);
/// Start and end node choice: (point, node must have out-arcs, node must have in-arcs).
using PathVertexFn = CGraphNode* (*)(CPathFinder& finder, const CVec3& point, bool needsOut, bool needsIn);
/// May the entity go straight to the point.
using PathGoFn = bool (*)(CPathFinder& finder, const CVec3& point);
/// Turns the target point into a move.
using PathMoveFn = bool (*)(CPathFinder& finder, CPathMove& move, const CVec3& point);

template <class Fn> class TPathStrategyRecord;

template <class Fn> class TPathStrategyRegistry
{
  public:
    static constexpr int kCapacity = 16;

    /// Enters the record; its index, -1 when full (the overflow flag is raised).
    int Register(TPathStrategyRecord<Fn>* record)
    {
        for (int i = 0; i < m_count; ++i)
            if (std::strcmp(m_records[i]->GetName(), record->GetName()) == 0) {
                m_records[i] = record;
                return i;
            }
        if (m_count == kCapacity) {
            m_overflow = true;
            return -1;
        }
        m_records[m_count] = record;
        return m_count++;
    }
    /// The function of the strategy of that name (exact match); null when none.
    Fn Find(const char* name) const
    {
        if (name == nullptr)
            return nullptr;
        for (int i = 0; i < m_count; ++i)
            if (std::strcmp(m_records[i]->GetName(), name) == 0)
                return m_records[i]->GetFunction();
        return nullptr;
    }
    /// The name of the strategy with that function; null when none.
    const char* NameOf(Fn fn) const
    {
        for (int i = 0; i < m_count; ++i)
            if (m_records[i]->GetFunction() == fn)
                return m_records[i]->GetName();
        return nullptr;
    }
    int GetCount() const { return m_count; }
    bool HasOverflowed() const { return m_overflow; }

  private:
    TPathStrategyRecord<Fn>* m_records[kCapacity] = {};
    int m_count = 0;
    bool m_overflow = false;
};

template <class Fn> class TPathStrategyRecord
{
  public:
    /// Names longer than 255 characters are cut.
    TPathStrategyRecord(TPathStrategyRegistry<Fn>& registry, const char* name, Fn fn) : m_function(fn)
    {
        std::strncpy(m_name, name, CClassRecord::kMaxNameLength);
        m_index = registry.Register(this);
    }
    TPathStrategyRecord(const TPathStrategyRecord&) = delete;
    TPathStrategyRecord& operator=(const TPathStrategyRecord&) = delete;
    const char* GetName() const { return m_name; }
    Fn GetFunction() const { return m_function; }
    int GetIndex() const { return m_index; }

  private:
    char m_name[CClassRecord::kMaxNameLength + 1] = {};
    Fn m_function;
    int m_index = -1;
};

using CPathCheckRegistry = TPathStrategyRegistry<PathCheckFn>;
using CPathVertexRegistry = TPathStrategyRegistry<PathVertexFn>;
using CPathGoRegistry = TPathStrategyRegistry<PathGoFn>;
using CPathMoveRegistry = TPathStrategyRegistry<PathMoveFn>;

} // namespace Zelk
