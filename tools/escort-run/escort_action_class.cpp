#include "tools/escort-run/escort_action_class.h"

namespace Zelk {

namespace {

CActionSet* Create()
{
    return new CEscortActionClass;
}

} // namespace

CActionClassRecord CEscortActionClass::s_classRecord("CEscortActionClass", &Create);

CEscortActionClass::CEscortActionClass()
{
    CreateAction(&CActionTorsoRotate::s_classRecord);
    CreateAction(&CActionShoot::s_classRecord);
    CreateAction(&CActionCrouch::s_classRecord);
}

} // namespace Zelk
