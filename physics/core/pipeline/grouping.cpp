#include "physics/core/pipeline/grouping.h"

#include "physics/core/contact/contact.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/partition.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/pipeline/unionfind.h"
#include "physics/core/solver/rows.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

uint32_t JointGroups(const OlpJoint* joint)
{
    return (OlpConstraintJointRowCount(joint) + 3) / 4;
}

/// The index in the island of an end's object; kNone when the end is not an
/// active object of this island.
uint32_t Slot(const OlpGroupScratch& s, const OlpIsland& island, const void* object, uint32_t part)
{
    if (!OlpPartitionActiveEnd(object, part)) {
        return kNone;
    }
    const auto* obj = static_cast<const OlpObj*>(object);
    if (obj->id >= s.idCapacity) {
        return kNone;
    }
    uint32_t slot = s.slots[obj->id];
    return slot < island.objectCount && island.objects[slot] == obj ? slot : kNone;
}

/// Turns a contact into a one-sided one that keeps end A (`dropB`) or end B.
/// The dropped end's motion moves into the points' target velocity, so the
/// relative velocity the rows see stays the same, and each side takes half
/// of the overlap.
void DropEnd(OlpContact* c, bool dropB)
{
    void*& object = dropB ? c->objectB : c->objectA;
    uint32_t& part = dropB ? c->partB : c->partA;
    const OlpDyn* dyn = OlpContactSideDyn(object, part);
    // vrel = target + vA - vB
    float sign = dropB ? -1.0f : 1.0f;
    for (uint32_t k = 0; k < c->count && k < kOlpContactMaxPoints; ++k) {
        OlpContactPoint& point = c->points[k];
        if (dyn != nullptr) {
            const OlpDynMotion& m = dyn->arrays->velocity[dyn->index];
            V3d lever = point.position - dyn->arrays->pose[dyn->index].pos;
            point.targetVelocity = point.targetVelocity + (m.linear + Cross(m.angular, lever)) * sign;
        }
        point.separation *= 0.5f;
    }
    object = nullptr;
    part = kOlpBarePart;
}

/// Cuts contact `c` in two: `c` keeps end A, the copy (when the contact list
/// has room) end B and the touch record of B's object. Returns the copy or
/// null.
OlpContact* Cut(OlpPipeline* p, OlpContact* c)
{
    OlpContact* copy = nullptr;
    if (p->contactCount < p->contactCapacity) {
        copy = &p->contacts[p->contactCount++];
        *copy = *c;
        for (uint32_t i = 0; i < p->batch.touchCount; ++i) {
            OlpTouch& touch = p->batch.touches[i];
            if (touch.contact == c && touch.object == c->objectB) {
                touch.contact = copy;
            }
        }
        DropEnd(copy, false);
    }
    DropEnd(c, true);
    return copy;
}

/// Appends a contact to the chain of its group's island.
void Chain(OlpGroup& group, OlpIsland* islands, OlpContact* c)
{
    c->listLink = nullptr;
    if (group.lastContact != nullptr) {
        group.lastContact->listLink = c;
    } else {
        islands[group.island].firstContact = c;
    }
    group.lastContact = c;
}

} // namespace

uint32_t OlpContactRowGroups(const OlpContact* contact)
{
    return ((contact->count + 1) * 3) / 4;
}

size_t OlpGroupScratchSize(uint32_t activeObjects, uint32_t objects, uint32_t joints)
{
    return Round16(sizeof(OlpGroup) * activeObjects) + Round16(sizeof(uint32_t) * objects) +
           Round16(sizeof(OlpObj*) * activeObjects) + Round16(sizeof(OlpJoint*) * joints) +
           Round16(sizeof(uint32_t) * joints) + 16;
}

OlpGroupScratch* OlpGroupScratchLayout(OlpGroupScratch* scratch, uint8_t** cursor, uint32_t activeObjects,
                                       uint32_t objects, uint32_t joints)
{
    scratch->groups = Take<OlpGroup>(cursor, activeObjects);
    scratch->slots = Take<uint32_t>(cursor, objects);
    scratch->objects = Take<OlpObj*>(cursor, activeObjects);
    scratch->joints = Take<OlpJoint*>(cursor, joints);
    scratch->jointRoot = Take<uint32_t>(cursor, joints);
    scratch->idCapacity = objects;
    return scratch;
}

uint32_t OlpGroupFindRoot(OlpGroup* groups, uint32_t g)
{
    return FindRoot(groups, g);
}

uint32_t OlpGroupMerge(OlpGroup* groups, uint32_t a, uint32_t b)
{
    if (a == b) {
        return a;
    }
    uint32_t root = a < b ? a : b, child = a < b ? b : a;
    groups[child].parent = root;
    groups[root].rows += groups[child].rows;
    groups[root].objectCount += groups[child].objectCount;
    return root;
}

bool OlpGroupFitsBlock(const OlpGroup* groups, uint32_t g, uint32_t extra, uint32_t limit)
{
    return static_cast<uint64_t>(groups[g].rows) + extra <= limit;
}

bool OlpGroupCanJoin(const OlpGroup* groups, uint32_t a, uint32_t b, uint32_t extra, uint32_t limit)
{
    return static_cast<uint64_t>(groups[a].rows) + groups[b].rows + extra <= limit;
}

void OlpGroupResetBlocks(OlpGroup* groups, uint32_t count, const uint32_t* rows)
{
    for (uint32_t i = 0; i < count; ++i) {
        groups[i] = {i, rows != nullptr ? rows[i] : 0u, 1, 0, 0, 0, nullptr};
    }
}

uint32_t OlpIslandSplit(OlpPipeline* p, uint32_t index)
{
    OlpIslandList& list = p->islands;
    const OlpIsland whole = list.islands[index];
    OlpGroupScratch& s = p->grouping;
    const uint32_t n = whole.objectCount;
    if (n < 2 || list.count + n - 1 > list.capacity) {
        return 1;
    }
    for (uint32_t o = 0; o < n; ++o) {
        if (whole.objects[o]->id >= s.idCapacity) {
            return 1;
        }
        s.slots[whole.objects[o]->id] = o;
    }
    // Every object its own group with the joints inside it.
    OlpGroup* g = s.groups;
    OlpGroupResetBlocks(g, n, nullptr);
    for (uint32_t o = 0; o < n; ++o) {
        const OlpObj* object = whole.objects[o];
        for (uint32_t j = 0; j < object->jointCount; ++j) {
            g[o].rows += 2 * JointGroups(object->joints[j]);
        }
    }
    // Joints join their ends whatever the size.
    for (uint32_t j = 0; j < whole.jointCount; ++j) {
        const OlpJoint* joint = whole.joints[j];
        uint32_t a = Slot(s, whole, joint->ends[0].pointer, joint->ends[0].part);
        uint32_t b = Slot(s, whole, joint->ends[1].pointer, joint->ends[1].part);
        uint32_t rows = JointGroups(joint);
        uint32_t ra = a != kNone ? OlpGroupFindRoot(g, a) : kNone;
        uint32_t rb = b != kNone ? OlpGroupFindRoot(g, b) : kNone;
        uint32_t root = ra != kNone && rb != kNone ? OlpGroupMerge(g, ra, rb) : (ra != kNone ? ra : rb);
        if (root != kNone) {
            g[root].rows += rows * ((a != kNone ? 1u : 0u) + (b != kNone ? 1u : 0u));
        }
    }
    // Contacts join their ends while the group fits; the others are cut.
    const uint32_t limit = p->islandBlockRows;
    const uint32_t firstCopy = p->contactCount;
    for (OlpContact* c = whole.firstContact; c != nullptr; c = c->listLink) {
        if (c->count == 0) {
            continue;
        }
        uint32_t a = Slot(s, whole, c->objectA, c->partA);
        uint32_t b = Slot(s, whole, c->objectB, c->partB);
        uint32_t rows = OlpContactRowGroups(c);
        if (a == kNone || b == kNone) {
            if (a != kNone || b != kNone) {
                g[OlpGroupFindRoot(g, a != kNone ? a : b)].rows += rows;
            }
            continue;
        }
        uint32_t ra = OlpGroupFindRoot(g, a), rb = OlpGroupFindRoot(g, b);
        if (ra == rb || OlpGroupCanJoin(g, ra, rb, 2 * rows, limit)) {
            g[OlpGroupMerge(g, ra, rb)].rows += 2 * rows;
            continue;
        }
        g[ra].rows += rows;
        if (Cut(p, c) != nullptr) {
            g[rb].rows += rows;
        }
    }
    // Each group an island: the first keeps the record, the others are
    // appended; objects and joints are regrouped within their runs.
    uint32_t count = 0, start = 0;
    for (uint32_t o = 0; o < n; ++o) {
        if (OlpGroupFindRoot(g, o) == o) {
            g[o].island = count == 0 ? index : list.count + count - 1;
            g[o].placed = start;
            g[o].lastContact = nullptr;
            OlpIsland& island = list.islands[g[o].island];
            island = {};
            island.objects = whole.objects + start;
            island.objectCount = g[o].objectCount;
            island.joints = whole.joints;
            start += g[o].objectCount;
            ++count;
        }
    }
    // Joints by the group of their first end in the island.
    for (uint32_t j = 0; j < whole.jointCount; ++j) {
        const OlpJoint* joint = whole.joints[j];
        uint32_t a = Slot(s, whole, joint->ends[0].pointer, joint->ends[0].part);
        uint32_t b = Slot(s, whole, joint->ends[1].pointer, joint->ends[1].part);
        uint32_t at = a != kNone ? a : (b != kNone ? b : 0);
        s.jointRoot[j] = OlpGroupFindRoot(g, at);
        ++list.islands[g[s.jointRoot[j]].island].jointCount;
    }
    for (uint32_t o = 0, next = 0; o < n; ++o) {
        if (OlpGroupFindRoot(g, o) == o) {
            OlpIsland& island = list.islands[g[o].island];
            island.joints = whole.joints + next;
            g[o].jointPlaced = next;
            next += island.jointCount;
        }
    }
    for (uint32_t j = 0; j < whole.jointCount; ++j) {
        s.joints[g[s.jointRoot[j]].jointPlaced++] = whole.joints[j];
    }
    for (uint32_t j = 0; j < whole.jointCount; ++j) {
        whole.joints[j] = s.joints[j];
    }
    // Contacts, then the copies, by their (remaining) active end; empty
    // contacts are left out of every chain.
    auto chainContact = [&](OlpContact* c) {
        uint32_t a = Slot(s, whole, c->objectA, c->partA);
        uint32_t at = a != kNone ? a : Slot(s, whole, c->objectB, c->partB);
        if (c->count > 0 && at != kNone) {
            Chain(g[OlpGroupFindRoot(g, at)], list.islands, c);
        }
    };
    for (OlpContact* c = whole.firstContact; c != nullptr;) {
        OlpContact* next = c->listLink;
        chainContact(c);
        c = next;
    }
    for (uint32_t i = firstCopy; i < p->contactCount; ++i) {
        chainContact(&p->contacts[i]);
    }
    // Objects last: the slots above index the run as it was.
    for (uint32_t o = 0; o < n; ++o) {
        OlpGroup& root = g[OlpGroupFindRoot(g, o)];
        s.objects[root.placed++] = whole.objects[o];
        list.islands[root.island].partCount += whole.objects[o]->partCount;
    }
    for (uint32_t o = 0; o < n; ++o) {
        whole.objects[o] = s.objects[o];
    }
    list.count += count - 1;
    return count;
}
