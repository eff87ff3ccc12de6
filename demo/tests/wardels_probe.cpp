// wardels-probe: the demo program with a look inside, for the scripted-run
// tests. It runs exactly as "wardels" does (same application, data root,
// OLAI_* variables) and writes what the application holds to the file named
// by OLAI_PROBE_REPORT:
//
//   frame <n> vip <x> <z> escorts <d0> <d1> ...
//       after each frame: the VIP's character position and each escort
//       character's horizontal distance to it (world units)
//   escort <i> at <x> <z> target <x> <z> goal <g> slot <s> holding <0|1> watches <c...>
//       at the end, before the application terminates: each escort's
//       character position, the guard point its agent walks to, its path
//       finder's goal distance, its slot in the escort team (-1: none) and
//       the access-way clusters it watches
//   cluster <c> slot <s>
//       each cluster of the VIP's access-ways node and the slot covering it
//   hash <h>
//       a hash of the final state (positions and headings bit by bit, slots)
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ai/behaviours/soldier_brain.h"
#include "ai/behaviours/wardel_agent.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/path_finder.h"
#include "ai/runtime/entity.h"
#include "ai/testhost/state_hash.h"
#include "demo/wardelapplication.h"

namespace {

FILE* gReport = nullptr;
int gFrame = 0;

const V3d& PositionOf(const CWardelCharacter* character)
{
    return character->GetFrameMatrix()->pos;
}

/// The escort's AI entity: member `index` of the escort team (the members
/// join in escort order), or null.
Zelk::CEntity* EntityOf(const CWardelApplication& app, int32_t index)
{
    const Zelk::CTeam* team = app.GetEscortTeam();
    if (team == nullptr)
        return nullptr;
    auto member = team->GetMembers().Begin();
    for (int32_t i = 0; i < index && member.IsValid(); ++i)
        ++member;
    return member.Item();
}

void WriteFrame(const CWardelApplication& app)
{
    const CWardelCharacter* vip = app.GetVip();
    if (vip == nullptr)
        return;
    const V3d& at = PositionOf(vip);
    std::fprintf(gReport, "frame %d vip %.4f %.4f escorts", gFrame, double(at.x), double(at.z));
    for (int32_t i = 0; i < app.GetEscortCount(); ++i)
        if (const CWardelCharacter* escort = app.GetEscort(i)) {
            const V3d& e = PositionOf(escort);
            std::fprintf(gReport, " %.4f", std::hypot(double(e.x - at.x), double(e.z - at.z)));
        }
    std::fputc('\n', gReport);
}

void WriteEscort(const CWardelApplication& app, const Zelk::CWardelTeam& team, int32_t index)
{
    const CWardelCharacter* escort = app.GetEscort(index);
    const Zelk::CEntity* entity = EntityOf(app, index);
    if (escort == nullptr || entity == nullptr)
        return;
    const auto* brain = static_cast<const Zelk::CSoldierBrain*>(entity->GetBrain());
    const Zelk::CWardelAgent* agent = brain->GetEscortAgent();
    const auto* finder =
        static_cast<const Zelk::IPathFinder*>(brain->FindService(&Zelk::IPathFinder::s_classRecord));
    const V3d& at = PositionOf(escort);
    const Zelk::CVec3& target = agent->GetTarget();
    std::fprintf(gReport, "escort %d at %.4f %.4f target %.4f %.4f goal %.4f slot %d holding %d watches",
                 int(index), double(at.x), double(at.z), double(target.x), double(target.z),
                 double(finder != nullptr ? finder->GetDistGoal() : 0.0f), int(team.GetMemberSlot(index)),
                 agent->IsHolding() ? 1 : 0);
    const uint16_t* watched = team.GetWatchedList(index);
    for (int32_t k = 0; k < Zelk::kMaxAccessWayClusters && watched[k] != Zelk::kNoCluster; ++k)
        std::fprintf(gReport, " %d", int(watched[k]));
    std::fputc('\n', gReport);
}

void WriteEnd(const CWardelApplication& app)
{
    const auto* team = static_cast<const Zelk::CWardelTeam*>(app.GetEscortTeam());
    if (team == nullptr || app.GetVip() == nullptr)
        return;
    for (int32_t i = 0; i < app.GetEscortCount(); ++i)
        WriteEscort(app, *team, i);
    const Zelk::CGuardNodeRecord* record = team->GetCurrentRecord();
    for (int32_t c = 0; record != nullptr && c < Zelk::kMaxAccessWayClusters; ++c)
        if (record->clusters[c].InUse())
            std::fprintf(gReport, "cluster %d slot %d\n", int(c), int(team->GetSlotOfCluster(c)));

    Zelk::CStateHash hash;
    for (int32_t i = 0; i <= app.GetEscortCount(); ++i) {
        const CWardelCharacter* character = i < app.GetEscortCount() ? app.GetEscort(i) : app.GetVip();
        if (character == nullptr)
            continue;
        const Matrix* frame = character->GetFrameMatrix();
        hash.AddVec(Zelk::CVec3(frame->pos.x, frame->pos.y, frame->pos.z));
        hash.AddVec(Zelk::CVec3(frame->at.x, frame->at.y, frame->at.z));
    }
    for (int32_t i = 0; i < app.GetEscortCount(); ++i)
        hash.AddWord(uint32_t(team->GetMemberSlot(i)));
    std::fprintf(gReport, "hash %016" PRIx64 "\n", hash.Get());
}

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* parameter)
{
    CWardelApplication* app = CWardelApplication::GetApplication();
    if (gReport == nullptr && event == ShellEventInitialise)
        if (const char* path = std::getenv("OLAI_PROBE_REPORT"))
            gReport = std::fopen(path, "w");
    if (gReport != nullptr && event == ShellEventStopEngine) {
        WriteEnd(*app);
        std::fclose(gReport);
        gReport = nullptr;
    }
    const ShellEventResult result = app->OnEvent(event, parameter);
    if (gReport != nullptr && event == ShellEventIdle) {
        ++gFrame;
        WriteFrame(*app);
    }
    return result;
}
