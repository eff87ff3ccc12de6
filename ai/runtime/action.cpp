#include "ai/runtime/action.h"

namespace Zelk {

namespace {

template <class T> CAction* CreateAction()
{
    // operator new yields null when the allocator fails; the constructor clears the flag.
    return new T;
}

} // namespace

CActionRecord CActionCrouch::s_classRecord("CActionCrouch", &CreateAction<CActionCrouch>);
CActionRecord CActionShoot::s_classRecord("CActionShoot", &CreateAction<CActionShoot>);
CActionRecord CActionSpeed::s_classRecord("CActionSpeed", &CreateAction<CActionSpeed>);
CActionRecord CActionTorsoRotate::s_classRecord("CActionTorsoRotate", &CreateAction<CActionTorsoRotate>);
CActionRecord CActionRotate::s_classRecord("CActionRotate", &CreateAction<CActionRotate>);
CActionRecord CActionAcceleration::s_classRecord("CActionAcceleration", &CreateAction<CActionAcceleration>);
CActionRecord CActionSteering::s_classRecord("CActionSteering", &CreateAction<CActionSteering>);
CActionRecord CActionJump::s_classRecord("CActionJump", &CreateAction<CActionJump>);
CActionRecord CActionHeadRotate::s_classRecord("CActionHeadRotate", &CreateAction<CActionHeadRotate>);
CActionRecord CActionActivate::s_classRecord("CActionActivate", &CreateAction<CActionActivate>);

CAction* CAction::Assign(const CAction& other)
{
    if (other.GetClassRecord() == GetClassRecord()) {
        CopyValues(other);
        m_isSet = true;
    }
    return this;
}

CActionSet::CActionSet()
{
    int32_t count = CActionRecord::GetCount();
    if (count <= 0) {
        return;
    }
    m_slots = static_cast<CAction**>(AiAlloc(sizeof(CAction*) * count));
    if (!m_slots) {
        return;
    }
    m_slotCount = count;
    for (int32_t i = 0; i < count; ++i) {
        m_slots[i] = nullptr;
    }
}

CActionSet::~CActionSet()
{
    for (int32_t i = 0; i < m_slotCount; ++i) {
        delete m_slots[i];
    }
    AiFree(m_slots);
}

CActionSet* CActionSet::Merge(const CActionSet& other)
{
    for (int32_t i = 0; i < m_slotCount && i < other.m_slotCount; ++i) {
        const CAction* theirs = other.m_slots[i];
        if (theirs && theirs->IsSet() && m_slots[i]) {
            m_slots[i]->Assign(*theirs);
            m_slots[i]->SetIsSet(true);
        }
    }
    return this;
}

CAction* CActionSet::CreateAction(const CActionRecord* record)
{
    if (!record || record->GetIndex() < 0 || record->GetIndex() >= m_slotCount || !record->GetCreator()) {
        return nullptr;
    }
    CAction* action = record->GetCreator()();
    if (!action) {
        return nullptr;
    }
    // A filled slot's action is replaced: delete it rather than leak it.
    delete m_slots[record->GetIndex()];
    m_slots[record->GetIndex()] = action;
    return action;
}

CAction* CActionSet::GetAction(const CActionRecord* record) const
{
    if (!record || record->GetIndex() < 0 || record->GetIndex() >= m_slotCount) {
        return nullptr;
    }
    return m_slots[record->GetIndex()];
}

void CActionSet::Reset()
{
    for (int32_t i = 0; i < m_slotCount; ++i) {
        if (m_slots[i]) {
            m_slots[i]->SetIsSet(false);
        }
    }
}

} // namespace Zelk
