// The camera's path spline.
#include "framework/splinepath.h"

#include "graphics/animation/spline.h"
#include "graphics/shared/skel/win/shellpath.h"

CSplinePath::~CSplinePath()
{
    Destroy();
}

bool CSplinePath::Load()
{
    Destroy();
    char* path = ShellMakeNativePath("models\\spindrel\\spline.ols");
    m_spline = SplineReadFile(path ? path : "models/spindrel/spline.ols");
    ShellFreePath(path);
    return true;
}

bool CSplinePath::Evaluate(float t, V3d* point, V3d* tangent) const
{
    return m_spline && SplineEvaluate(m_spline, kSplinePathEased, t, point, tangent);
}

void CSplinePath::Destroy()
{
    if (m_spline)
        SplineDestroy(m_spline);
    m_spline = nullptr;
}
