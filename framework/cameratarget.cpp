#include "framework/cameratarget.h"

#include "framework/cameramanager.h"
#include "framework/framework.h"

CCameraTarget::~CCameraTarget()
{
    // The camera reads its target every frame: it must never hold one that is gone.
    CCameraManager* cameras = Framework().cameraManager;
    if (cameras && cameras->GetTarget() == this)
        cameras->SetTarget(nullptr);
}
