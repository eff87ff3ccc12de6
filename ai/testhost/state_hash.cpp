#include "ai/testhost/state_hash.h"

#include <cstring>

namespace Zelk {

void CStateHash::AddWord(uint32_t word)
{
    for (int i = 0; i < 4; ++i) {
        m_hash ^= (word >> (8 * i)) & 0xFFu;
        m_hash *= 1099511628211ull;
    }
}

void CStateHash::AddFloat(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    AddWord(bits);
}

void CStateHash::AddVec(const CVec3& v)
{
    AddFloat(v.x);
    AddFloat(v.y);
    AddFloat(v.z);
}

} // namespace Zelk
