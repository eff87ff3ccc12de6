#include "ai/runtime/runtime_state.h"

namespace Zelk {

void AiDestroyAllWorldsAndEntities()
{
}

} // namespace Zelk
