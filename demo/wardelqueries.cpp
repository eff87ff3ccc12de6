#include "demo/wardelqueries.h"

#include "ai/runtime/entity.h"
#include "demo/wardelcharacter.h"
#include "framework/characterprofile.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"

namespace {

bool SamePoint(const float* a, const float* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

V3d ToV3d(const float* p)
{
    return V3d{p[0], p[1], p[2]};
}

/// The physics world's option: mode 1 leaves the registered objects out.
bool SkipDynamic(int mode)
{
    return mode == 1;
}

CWardelCharacter* CharacterOf(void* entity)
{
    if (entity == nullptr)
        return nullptr;
    auto* character = static_cast<CAiCharacter*>(static_cast<Zelk::CEntity*>(entity)->GetUserData());
    return static_cast<CWardelCharacter*>(character);
}

void ClearInputs(CWardelCharacter& character)
{
    character.SetForwardInput(0.0f);
    character.SetTurnInput(0.0f);
}

} // namespace

float PhysicsWorldRayCast(const float* from, const float* to, const void*, int mode, float length,
                          float* normal)
{
    const CPhysicsWorld* world = Framework().physicsWorld;
    V3d hitNormal{0.0f, 0.0f, 0.0f};
    float fraction = 0.0f;
    const V3d a = ToV3d(from), b = ToV3d(to);
    // Both outputs given: the physics world keeps the nearest hit.
    const bool hit = !SamePoint(from, to) && world != nullptr &&
                     world->TestSegment(&a, &b, SkipDynamic(mode), &fraction, &hitNormal, nullptr) != 0;
    if (normal != nullptr) {
        normal[0] = hit ? hitNormal.x : 0.0f;
        normal[1] = hit ? hitNormal.y : 0.0f;
        normal[2] = hit ? hitNormal.z : 0.0f;
    }
    return hit ? fraction * length : length;
}

int PhysicsWorldSegmentClear(const float* from, const float* to, const void*, int mode)
{
    const CPhysicsWorld* world = Framework().physicsWorld;
    if (SamePoint(from, to) || world == nullptr)
        return 1;
    const V3d a = ToV3d(from), b = ToV3d(to);
    return world->TestSegment(&a, &b, SkipDynamic(mode), nullptr, nullptr, nullptr) != 0 ? 0 : 1;
}

int PhysicsWorldCanGo(const float* from, const float* to, float radius, const void*, int mode)
{
    const CPhysicsWorld* world = Framework().physicsWorld;
    if (SamePoint(from, to) || world == nullptr)
        return 1;
    const V3d a = ToV3d(from), b = ToV3d(to);
    return world->TestCorridor(&a, &b, radius, SkipDynamic(mode)) ? 0 : 1;
}

void CharacterPlaceHook(const Zelk::CVec3* point, void* entity)
{
    CWardelCharacter* character = CharacterOf(entity);
    if (character == nullptr || point == nullptr)
        return;
    const CCharacterProfile* profile = character->GetProfile();
    const float half = profile != nullptr ? 0.5f * profile->height : 0.0f;
    character->SetPosition(V3d{point->x, point->y - half, point->z});
    ClearInputs(*character);
}

void CharacterTurnHook(const Zelk::CVec3*, const Zelk::CVec3* second, void* entity)
{
    CWardelCharacter* character = CharacterOf(entity);
    if (character == nullptr || second == nullptr)
        return;
    character->SetHeading(second->y);
    ClearInputs(*character);
}

int KeepEveryPoint(const Zelk::CVec3*)
{
    return 1;
}
