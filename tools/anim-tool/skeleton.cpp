#include "tools/anim-tool/skeleton.h"

#include <fstream>
#include <locale>
#include <sstream>

#include "graphics/animation/hierarchy.h"

namespace {

bool HasLaterSibling(const Skeleton& skeleton, size_t i)
{
    for (size_t j = i + 1; j < skeleton.bones.size(); ++j) {
        if (skeleton.bones[j].parent == skeleton.bones[i].parent) {
            return true;
        }
    }
    return false;
}

bool HasChildren(const Skeleton& skeleton, size_t i)
{
    return i + 1 < skeleton.bones.size() && skeleton.bones[i + 1].parent == static_cast<int32_t>(i);
}

/// Depth-first order: each bone's parent is the previous bone or one of its
/// ancestors, so that every subtree is contiguous.
bool IsDepthFirst(const Skeleton& skeleton, size_t i)
{
    const int32_t parent = skeleton.bones[i].parent;
    for (int32_t a = static_cast<int32_t>(i) - 1; a >= 0; a = skeleton.bones[a].parent) {
        if (a == parent) {
            return true;
        }
    }
    return parent == -1 && i == 0;
}

} // namespace

int32_t SkeletonFind(const Skeleton& skeleton, const std::string& name)
{
    for (size_t i = 0; i < skeleton.bones.size(); ++i) {
        if (skeleton.bones[i].name == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

bool SkeletonRead(const std::string& path, Skeleton* skeleton, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    skeleton->bones.clear();
    std::string line;
    for (int32_t number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        SkeletonBone bone;
        std::string parent;
        if (!(fields >> bone.name)) {
            continue;
        }
        const std::string where = path + ":" + std::to_string(number) + ": ";
        std::string extra;
        if (!(fields >> parent >> bone.offset.x >> bone.offset.y >> bone.offset.z) || (fields >> extra)) {
            *error = where + "expected <name> <parent> <x> <y> <z>";
            return false;
        }
        if (SkeletonFind(*skeleton, bone.name) >= 0) {
            *error = where + "bone " + bone.name + " named twice";
            return false;
        }
        bone.parent = parent == "-" ? -1 : SkeletonFind(*skeleton, parent);
        if (parent != "-" && bone.parent < 0) {
            *error = where + "unknown parent " + parent;
            return false;
        }
        skeleton->bones.push_back(bone);
        if (!IsDepthFirst(*skeleton, skeleton->bones.size() - 1)) {
            *error = where + "bone " + bone.name + " breaks the depth-first order";
            return false;
        }
    }
    if (skeleton->bones.empty()) {
        *error = path + ": no bones";
        return false;
    }
    return true;
}

std::vector<uint32_t> SkeletonNodeFlags(const Skeleton& skeleton)
{
    std::vector<uint32_t> flags;
    for (size_t i = 0; i < skeleton.bones.size(); ++i) {
        const bool sibling = HasLaterSibling(skeleton, i);
        if (HasChildren(skeleton, i)) {
            flags.push_back(sibling ? kHierarchyPush : 0u);
        } else {
            flags.push_back(sibling ? kHierarchyPush | kHierarchyPop : kHierarchyPop);
        }
    }
    return flags;
}
