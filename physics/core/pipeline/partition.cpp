#include "physics/core/pipeline/partition.h"

#include <cstdio>

#include "physics/core/contact/contact.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/unionfind.h"
#include "physics/core/utils/memory.h"

using namespace olp;

namespace {

void AppendJoint(OlpPartition* partition, OlpPartitionSet* set, uint32_t joint)
{
    if (joint == kOlpPartitionNone) {
        return;
    }
    partition->jointNext[joint] = kOlpPartitionNone;
    if (set->jointCount == 0) {
        set->firstJoint = joint;
    } else {
        partition->jointNext[set->lastJoint] = joint;
    }
    set->lastJoint = joint;
    ++set->jointCount;
}

void AppendContact(OlpPartitionSet* set, OlpContact* contact)
{
    if (contact == nullptr) {
        return;
    }
    contact->listLink = nullptr;
    if (set->contactCount == 0) {
        set->firstContact = contact;
    } else {
        set->lastContact->listLink = contact;
    }
    set->lastContact = contact;
    ++set->contactCount;
}

void AppendNode(OlpPartition* partition, OlpPartitionSet* set, uint32_t node)
{
    partition->nodes[node].next = kOlpPartitionNone;
    if (set->objectCount == 0) {
        set->firstObject = node;
    } else {
        partition->nodes[set->lastObject].next = node;
    }
    set->lastObject = node;
    ++set->objectCount;
}

/// The node of an active end; kOlpPartitionNone for an end that is absent,
/// inactive or beyond the node table.
uint32_t NodeOf(const OlpPartition* partition, const void* object, uint32_t part)
{
    if (!OlpPartitionActiveEnd(object, part)) {
        return kOlpPartitionNone;
    }
    uint32_t id = static_cast<const OlpObj*>(object)->id;
    return id < partition->nodeCapacity ? id : kOlpPartitionNone;
}

void Link(OlpPartition* partition, const void* objectA, uint32_t partA, const void* objectB, uint32_t partB,
          uint32_t joint, OlpContact* contact)
{
    uint32_t a = NodeOf(partition, objectA, partA);
    uint32_t b = NodeOf(partition, objectB, partB);
    if (a == kOlpPartitionNone && b == kOlpPartitionNone) {
        return; // nothing active: no island takes it
    }
    OlpPartitionNode* nodes = partition->nodes;
    if (a == kOlpPartitionNone || b == kOlpPartitionNone) {
        uint32_t end = a != kOlpPartitionNone ? a : b;
        if (nodes[end].parent == kOlpPartitionNone) {
            nodes[end].object = static_cast<OlpObj*>(const_cast<void*>(end == a ? objectA : objectB));
            OlpPartitionNewSet(partition, end, end, joint, contact);
        } else {
            uint32_t root = OlpPartitionFindRoot(partition, end);
            OlpPartitionAddToSet(partition, nodes[root].set, kOlpPartitionNone, joint, contact);
        }
        return;
    }
    bool newA = nodes[a].parent == kOlpPartitionNone;
    bool newB = nodes[b].parent == kOlpPartitionNone;
    if (newA) {
        nodes[a].object = static_cast<OlpObj*>(const_cast<void*>(objectA));
    }
    if (newB) {
        nodes[b].object = static_cast<OlpObj*>(const_cast<void*>(objectB));
    }
    if (newA && newB) {
        OlpPartitionNewSet(partition, a, b, joint, contact);
    } else if (newA || newB) {
        uint32_t fresh = newA ? a : b;
        uint32_t root = OlpPartitionFindRoot(partition, newA ? b : a);
        OlpPartitionAddToSet(partition, nodes[root].set, fresh, joint, contact);
    } else {
        uint32_t rootA = OlpPartitionFindRoot(partition, a);
        uint32_t rootB = OlpPartitionFindRoot(partition, b);
        if (rootA == rootB) {
            OlpPartitionAddToSet(partition, nodes[rootA].set, kOlpPartitionNone, joint, contact);
        } else {
            OlpPartitionUnion(partition, rootA, rootB, joint, contact);
        }
    }
}

} // namespace

bool OlpPartitionActiveEnd(const void* object, uint32_t part)
{
    if (object == nullptr || part >= 0xFFFF) {
        return false;
    }
    const auto* obj = static_cast<const OlpObj*>(object);
    return obj->manager != nullptr && OlpMgrIsObjectActive(obj->manager, obj);
}

size_t OlpPartitionSize(uint32_t activeObjects, uint32_t objects, uint32_t joints)
{
    return 16 + Round16(sizeof(OlpPartitionSet) * size_t{activeObjects}) +
           Round16(sizeof(OlpPartitionNode) * size_t{objects}) + Round16(sizeof(uint32_t) * size_t{joints});
}

OlpPartition* OlpPartitionLayout(OlpPartition* partition, uint8_t** cursor, uint32_t activeObjects,
                                 uint32_t objects, uint32_t joints)
{
    partition->nodeCapacity = objects;
    partition->setCount = 0;
    partition->sets = Take<OlpPartitionSet>(cursor, activeObjects);
    partition->nodes = Take<OlpPartitionNode>(cursor, objects);
    partition->jointNext = Take<uint32_t>(cursor, joints);
    return partition;
}

uint32_t OlpPartitionFindRoot(OlpPartition* partition, uint32_t node)
{
    return FindRoot(partition->nodes, node);
}

uint32_t OlpPartitionNewSet(OlpPartition* partition, uint32_t a, uint32_t b, uint32_t joint,
                            OlpContact* contact)
{
    uint32_t index = partition->setCount++;
    OlpPartitionSet* set = &partition->sets[index];
    *set = {};
    set->rank = 1;
    partition->nodes[a].parent = a;
    partition->nodes[a].set = index;
    AppendNode(partition, set, a);
    if (b != a) {
        partition->nodes[b].parent = a;
        AppendNode(partition, set, b);
    }
    AppendJoint(partition, set, joint);
    AppendContact(set, contact);
    return index;
}

void OlpPartitionAddToSet(OlpPartition* partition, uint32_t set, uint32_t node, uint32_t joint,
                          OlpContact* contact)
{
    OlpPartitionSet* s = &partition->sets[set];
    if (node != kOlpPartitionNone) {
        partition->nodes[node].parent = OlpPartitionFindRoot(partition, s->firstObject);
        AppendNode(partition, s, node);
    }
    AppendJoint(partition, s, joint);
    AppendContact(s, contact);
}

uint32_t OlpPartitionUnion(OlpPartition* partition, uint32_t a, uint32_t b, uint32_t joint,
                           OlpContact* contact)
{
    OlpPartitionNode* nodes = partition->nodes;
    uint32_t winner = b;
    uint32_t loser = a;
    if (partition->sets[nodes[a].set].rank > partition->sets[nodes[b].set].rank) {
        winner = a;
        loser = b;
    }
    OlpPartitionSet* w = &partition->sets[nodes[winner].set];
    OlpPartitionSet* l = &partition->sets[nodes[loser].set];
    if (w->rank == l->rank) {
        ++w->rank;
    }
    // The loser's chains go after the winner's.
    nodes[w->lastObject].next = l->firstObject;
    w->lastObject = l->lastObject;
    w->objectCount += l->objectCount;
    if (l->jointCount > 0) {
        if (w->jointCount == 0) {
            w->firstJoint = l->firstJoint;
        } else {
            partition->jointNext[w->lastJoint] = l->firstJoint;
        }
        w->lastJoint = l->lastJoint;
        w->jointCount += l->jointCount;
    }
    if (l->contactCount > 0) {
        if (w->contactCount == 0) {
            w->firstContact = l->firstContact;
        } else {
            w->lastContact->listLink = l->firstContact;
        }
        w->lastContact = l->lastContact;
        w->contactCount += l->contactCount;
    }
    nodes[loser].parent = winner;
    // The last set takes the loser's place in the compact array.
    uint32_t gone = nodes[loser].set;
    uint32_t last = --partition->setCount;
    if (gone != last) {
        partition->sets[gone] = partition->sets[last];
        nodes[OlpPartitionFindRoot(partition, partition->sets[gone].firstObject)].set = gone;
    }
    AppendJoint(partition, &partition->sets[nodes[winner].set], joint);
    AppendContact(&partition->sets[nodes[winner].set], contact);
    return winner;
}

void OlpPartitionBuildSets(OlpPartition* partition, OlpJoint* const* joints, uint32_t jointCount,
                           OlpContact* contacts, uint32_t contactCount)
{
    for (uint32_t j = 0; j < jointCount; ++j) {
        const OlpJoint* joint = joints[j];
        Link(partition, joint->ends[0].pointer, joint->ends[0].part, joint->ends[1].pointer,
             joint->ends[1].part, j, nullptr);
    }
    for (uint32_t c = 0; c < contactCount; ++c) {
        OlpContact* contact = &contacts[c];
        if (contact->count > 0) {
            Link(partition, contact->objectA, contact->partA, contact->objectB, contact->partB,
                 kOlpPartitionNone, contact);
        }
    }
}

uint32_t OlpPartitionIslands(OlpIslandList* out, OlpPartition* partition, OlpObj* const* objects,
                             uint32_t objectCount, OlpJoint* const* joints, uint32_t jointCount,
                             OlpContact* contacts, uint32_t contactCount)
{
    for (uint32_t i = 0; i < partition->nodeCapacity; ++i) {
        partition->nodes[i].parent = kOlpPartitionNone;
    }
    partition->setCount = 0;
    OlpPartitionBuildSets(partition, joints, jointCount, contacts, contactCount);

    uint32_t islandCount = 0;
    uint32_t objectAt = 0;
    uint32_t jointAt = 0;
    for (uint32_t s = 0; s < partition->setCount && islandCount < out->capacity; ++s) {
        const OlpPartitionSet& set = partition->sets[s];
        OlpIsland& island = out->islands[islandCount++];
        island = {};
        island.objects = out->objects + objectAt;
        island.joints = out->joints + jointAt;
        island.firstContact = set.contactCount > 0 ? set.firstContact : nullptr;
        for (uint32_t n = set.firstObject; n != kOlpPartitionNone && objectAt < out->capacity;
             n = partition->nodes[n].next) {
            OlpObj* object = partition->nodes[n].object;
            out->objects[objectAt++] = object;
            ++island.objectCount;
            island.partCount += object->partCount;
        }
        for (uint32_t j = set.jointCount > 0 ? set.firstJoint : kOlpPartitionNone;
             j != kOlpPartitionNone && jointAt < out->jointCapacity; j = partition->jointNext[j]) {
            out->joints[jointAt++] = joints[j];
            ++island.jointCount;
        }
    }
    // Listed active objects that nothing joined stand alone.
    for (uint32_t i = 0; i < objectCount && islandCount < out->capacity && objectAt < out->capacity; ++i) {
        OlpObj* object = objects[i];
        if (!OlpPartitionActiveEnd(object, 0) || object->id >= partition->nodeCapacity ||
            partition->nodes[object->id].parent != kOlpPartitionNone) {
            continue;
        }
        OlpIsland& island = out->islands[islandCount++];
        island = {};
        island.objects = out->objects + objectAt;
        island.joints = out->joints + jointAt;
        out->objects[objectAt++] = object;
        island.objectCount = 1;
        island.partCount = object->partCount;
    }
    out->count = islandCount;
    return islandCount;
}

void OlpIslandPrint(const OlpIsland* island)
{
    std::printf("==========================\n");
    std::printf("Objects: ");
    for (uint32_t i = 0; i < island->objectCount; ++i) {
        std::printf("%d, ", static_cast<int>(static_cast<uint16_t>(island->objects[i]->id)));
    }
    std::printf("\n");
    for (const OlpContact* c = island->firstContact; c != nullptr; c = c->listLink) {
        int a = OlpPartitionActiveEnd(c->objectA, c->partA)
                    ? static_cast<uint16_t>(static_cast<OlpObj*>(c->objectA)->id)
                    : -1;
        int b = OlpPartitionActiveEnd(c->objectB, c->partB)
                    ? static_cast<uint16_t>(static_cast<OlpObj*>(c->objectB)->id)
                    : -1;
        std::printf("Contact (%d, %d), %d points\n", a, b, static_cast<int>(c->count));
    }
}
