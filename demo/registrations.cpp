#include "demo/registrations.h"

#include <initializer_list>

#include "demo/defaultactionclass.h"
#include "demo/defaultentityclass.h"

namespace Zelk {

namespace {

CEntity* CreateDefaultEntity(const char* name, void* character)
{
    return new CDefaultEntityClass(name, character);
}

CActionSet* CreateDefaultActionClass()
{
    return new CDefaultActionClass;
}

} // namespace

CEntityClassRecord CDefaultEntityClass::s_classRecord("CDefaultEntityClass", &CreateDefaultEntity);
CActionClassRecord CDefaultActionClass::s_classRecord("CDefaultActionClass", &CreateDefaultActionClass);

} // namespace Zelk

bool CheckDemoClassesRegistered()
{
    return Zelk::CDefaultEntityClass::s_classRecord.GetIndex() >= 0 &&
           Zelk::CDefaultActionClass::s_classRecord.GetIndex() >= 0;
}

bool CheckDataManagerClassesRegistered()
{
    for (const char* name : {"CScriptManager", "CPointMapper", "CPathWayManager", "CNeuralNetManager"}) {
        const Zelk::CGlobalServiceClassRecord* record = Zelk::CGlobalServiceClassRecord::Find(name);
        if (record == nullptr || record->GetIndex() < 0)
            return false;
    }
    return true;
}
