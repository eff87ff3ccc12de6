// The path finder's named strategies (private to the navigation): static
// functions with access to the path finder's state, entered into the
// strategy registries by name.
#pragma once

#include "ai/navigation/path_finder.h"

namespace Zelk {

struct CPathFinderStrategies
{
    // Checks.
    static bool SimpleStopCondition(CPathFinder& f);
    static bool SimpleCheck(CPathFinder& f);
    static bool ComplexCheck(CPathFinder& f);
    // Vertex finders.
    static CGraphNode* NearestVertex(CPathFinder& f, const CVec3& point, bool needsOut, bool needsIn);
    static CGraphNode* LocallyVisibleVertex(CPathFinder& f, const CVec3& point, bool needsOut, bool needsIn);
    static CGraphNode* NearestVertexOpt(CPathFinder& f, const CVec3& point, bool needsOut, bool needsIn);
    // Go tests.
    static bool VisibleGo(CPathFinder& f, const CVec3& point);
    static bool AlwaysGo(CPathFinder& f, const CVec3& point);
    static bool VisibleWithoutHoleGo(CPathFinder& f, const CVec3& point);
    static bool HoleCheck(CPathFinder& f, const CVec3& point);
    static bool NoCheck(CPathFinder& f, const CVec3& point);
    // Moves.
    static bool VisibleMove(CPathFinder& f, CPathMove& move, const CVec3& point);
    static bool InvisibleMove(CPathFinder& f, CPathMove& move, const CVec3& point);
    static bool VisibleAvoidDynMove(CPathFinder& f, CPathMove& move, const CVec3& point);
    static bool StopAndRelaunchPath(CPathFinder& f, CPathMove& move, const CVec3& point);

    // Helpers.
    /// True when a probe along either edge of the corridor towards the point finds no floor.
    static bool HasHole(CPathFinder& f, const CVec3& point);
    static bool DetectObstacles(CPathFinder& f, const CVec3& point);
    static CVec3 AvoidanceDirection(CPathFinder& f, const CVec3& point);
    static void SteerAlong(CPathFinder& f, CPathMove& move, const CVec3& direction);
    static float MaxSpeed(const CPathFinder& f);
    static float Width(const CPathFinder& f);
};

} // namespace Zelk
