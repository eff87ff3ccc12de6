// Writes the seed corpora of the anm, spline and hierarchy_frame fuzz targets
// with the animation library's writers, and malformed variants of them: bad
// versions, truncation, lying counts, bad previous-key offsets and node flags
// that overflow the matrix stack.
// Usage: animation_seed <fuzz directory>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/animation/animationids.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/tests/fuzzanimation.h"
#include "graphics/core/framelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/streambytes.h"
#include "tools/common/toolfiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& bytes, size_t offset, uint32_t value)
{
    if (offset + 4 <= bytes.size()) {
        std::memcpy(bytes.data() + offset, &value, 4);
    }
}

bool Save(const std::string& path, const Bytes& bytes)
{
    const bool ok = ToolWriteFile(path, bytes.data(), bytes.size());
    if (!ok) {
        std::fprintf(stderr, "animation_seed: cannot write %s\n", path.c_str());
    }
    return ok;
}

/// Three nodes over one second, a chain turning about y and rising.
Animation* Clip()
{
    constexpr int32_t kNodes = 3;
    constexpr int32_t kSteps = 4;
    Animation* animation = AnimationCreate(kHierKeyTypeId, kNodes * (kSteps + 1), 0, 1.0f);
    auto* keys = static_cast<HierKey*>(animation->keys);
    int32_t k = 0;
    for (int32_t step = 0; step <= kSteps; ++step) {
        for (int32_t node = 0; node < kNodes; ++node, ++k) {
            const float t = static_cast<float>(step) / kSteps;
            const V3d axis = {0, 1, 0};
            Quaternion q = {0, 0, 0, 1};
            QuaternionRotate(&q, &axis, 30.0f * t * static_cast<float>(node + 1), kQuaternionReplace);
            keys[k] = {step == 0 ? nullptr : &keys[k - kNodes], t, q, {0, t * static_cast<float>(node), 1}};
        }
    }
    return animation;
}

bool WriteAnm(const std::string& dir)
{
    Animation* animation = Clip();
    const Bytes good =
        StreamWrittenBytes([animation](Stream* s) { return AnimationStreamWrite(animation, s) != nullptr; });
    AnimationDestroy(animation);
    const size_t keys = 12 + 20;
    auto previous = [](int32_t i) { return 12 + 20 + 36 * static_cast<size_t>(i) + 32; };
    Bytes version = good, count = good, huge = good, offset = good, order = good, self = good;
    Put(version, 12, 257);
    Put(count, 20, 16);
    Put(huge, 20, 0x7FFFFFF);
    Put(offset, previous(7), 37);
    Put(order, previous(10), 36 * 3);
    Put(self, previous(4), 36 * 4);
    bool ok = Save(dir + "/clip.anm", good) && Save(dir + "/bad-version.anm", version) &&
              Save(dir + "/count-lies.anm", count) && Save(dir + "/count-huge.anm", huge) &&
              Save(dir + "/offset-not-a-key.anm", offset) && Save(dir + "/keys-out-of-order.anm", order) &&
              Save(dir + "/offset-self.anm", self);
    ok = ok && Save(dir + "/truncated.anm", Bytes(good.begin(), good.begin() + keys + 36 * 5 + 17));
    return ok;
}

bool WriteSpline(const std::string& dir)
{
    const V3d points[5] = {{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 2}, {6, -1, 2}};
    bool ok = true;
    for (uint32_t type : {kSplineOpen, kSplineClosed}) {
        Spline* spline = SplineCreate(5, type, points);
        std::memset(spline->name, 'p', sizeof(spline->name)); // no terminator
        const Bytes good =
            StreamWrittenBytes([spline](Stream* s) { return SplineStreamWrite(spline, s) != nullptr; });
        SplineDestroy(spline);
        const std::string name = dir + (type == kSplineOpen ? "/open" : "/closed");
        Bytes count = good, tooFew = good, badType = good;
        Put(count, 12 + 32, 0x40000000);
        Put(tooFew, 12 + 32, 2);
        Put(badType, 12 + 36, 3);
        ok = ok && Save(name + ".ols", good) && Save(name + "-count-lies.ols", count) &&
             Save(name + "-too-few.ols", tooFew) && Save(name + "-bad-type.ols", badType) &&
             Save(name + "-truncated.ols", Bytes(good.begin(), good.begin() + 12 + 40 + 20));
    }
    return ok;
}

/// A frame list of `frames` frames in a chain with a hierarchy of as many
/// nodes on the root; flags gives node i's flags.
Bytes FrameListWithHierarchy(int32_t frames, const std::function<uint32_t(int32_t)>& flags)
{
    std::vector<Frame*> chain;
    std::vector<uint32_t> nodeFlags;
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < frames; ++i) {
        chain.push_back(FrameCreate());
        FrameSetNodeId(chain.back(), 100 + i);
        if (i > 0) {
            FrameAddChild(chain[i - 1], chain[i]);
        }
        nodeFlags.push_back(flags(i));
        ids.push_back(100 + i);
    }
    Hierarchy* hierarchy = HierarchyCreate(frames, nodeFlags.data(), ids.data(), 0, sizeof(HierInterpKey));
    FrameSetHierarchy(chain[0], hierarchy);
    FrameList list{};
    FrameListInitialize(&list, chain[0]);
    const Bytes bytes =
        StreamWrittenBytes([&list](Stream* s) { return FrameListStreamWrite(&list, s) != nullptr; });
    FrameListDeinitialize(&list);
    FrameDestroyHierarchy(chain[0]);
    return bytes;
}

/// The offset of the hierarchy extension's body (after its 12-byte header).
size_t HierarchyBody(const Bytes& bytes)
{
    for (size_t i = 0; i + 16 <= bytes.size(); ++i) {
        uint32_t type;
        uint32_t version;
        std::memcpy(&type, bytes.data() + i, 4);
        std::memcpy(&version, bytes.data() + i + 12, 4);
        if (type == kPluginIdHierarchy && version == 256) {
            return i + 12;
        }
    }
    return 0;
}

bool WriteHierarchyFrames(const std::string& dir)
{
    // Node flags of a branching tree: R0 A2 C1 B1 repeated down a chain.
    const Bytes tree = FrameListWithHierarchy(4, [](int32_t i) {
        const uint32_t flags[4] = {0, kHierarchyPush, kHierarchyPop, kHierarchyPop};
        return flags[i];
    });
    const Bytes chain = FrameListWithHierarchy(40, [](int32_t i) { return i == 39 ? kHierarchyPop : 0u; });
    const size_t body = HierarchyBody(chain);
    if (HierarchyBody(tree) == 0 || body == 0) {
        std::fprintf(stderr, "animation_seed: no hierarchy extension found\n");
        return false;
    }
    Bytes version = tree, count = tree, overflow = chain, underflow = chain;
    Put(version, HierarchyBody(tree), 255);
    Put(count, HierarchyBody(tree) + 8, 1000);
    for (int32_t i = 0; i < 33; ++i) {
        Put(overflow, body + 20 + 12 * static_cast<size_t>(i) + 8, kHierarchyPush);
    }
    Put(underflow, body + 20 + 12 * 3 + 8, kHierarchyPop);
    return Save(dir + "/tree.bin", tree) && Save(dir + "/chain.bin", chain) &&
           Save(dir + "/bad-version.bin", version) && Save(dir + "/count-lies.bin", count) &&
           Save(dir + "/stack-overflow.bin", overflow) && Save(dir + "/stack-underflow.bin", underflow) &&
           Save(dir + "/truncated.bin",
                Bytes(tree.begin(), tree.begin() + static_cast<long>(tree.size()) - 7));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: animation_seed <fuzz directory>\n");
        return 2;
    }
    if (!FuzzAnimationEngineStart()) {
        std::fprintf(stderr, "animation_seed: the engine did not start\n");
        return 1;
    }
    const std::string fuzz = argv[1];
    const bool ok = WriteAnm(fuzz + "/anm/corpus") && WriteSpline(fuzz + "/spline/corpus") &&
                    WriteHierarchyFrames(fuzz + "/hierarchy_frame/corpus");
    return ok ? 0 : 1;
}
