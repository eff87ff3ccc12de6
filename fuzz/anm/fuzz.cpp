// ".anm" files: AnimationStreamRead with scheme type 1 registered; an
// animation that reads is played forwards and backwards.
#include "graphics/animation/animinterpolator.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/tests/fuzzanimation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzAnimationEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (stream == nullptr) {
        return 0;
    }
    Animation* animation = nullptr;
    if (StreamFindChunk(stream, kChunkAnimation, nullptr, nullptr)) {
        animation = AnimationStreamRead(stream);
    }
    if (animation != nullptr) {
        AnimInterpolator* player =
            AnimInterpolatorCreate(AnimationCountNodes(animation), sizeof(HierInterpKey));
        if (player != nullptr && AnimInterpolatorSetCurrentAnim(player, animation)) {
            for (float dt : {0.01f, 0.3f, 1.7f, 1e6f}) {
                AnimInterpolatorAddTime(player, dt);
            }
            AnimInterpolatorSubTime(player, 0.5f);
            AnimInterpolatorSetCurrentTime(player, animation->duration * 0.5f);
            AnimInterpolatorAddTime(player, 0.25f);
        }
        AnimInterpolatorDestroy(player);
        AnimationDestroy(animation);
    }
    FuzzStreamClose(stream);
    return 0;
}
