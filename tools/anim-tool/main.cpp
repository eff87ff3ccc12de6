// anim-tool: writes and inspects keyframe animations and splines.
//
//   anim-tool clips SKELETON OUTDIR [--units-per-metre N]
//       writes one ".anm" per animation key of the character profiles
//       (walk.anm, run.anm, idle.anm, ...) for the text skeleton, its
//       translations in N units a metre (1 by default)
//   anim-tool spline POINTS OUT.ols
//       writes a spline file from a text list of points ("x y z" a line;
//       "closed" makes a loop, "name NAME" names the spline)
//   anim-tool dump FILE.anm
//       prints the animation's head and every key
//   anim-tool play FILE.anm --skeleton SKELETON --time T
//       poses the skeleton at T seconds and prints each bone's position

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/spline.h"
#include "tools/anim-tool/clips.h"
#include "tools/anim-tool/skeleton.h"
#include "tools/cli/tool_cli.h"
#include "tools/cli/tool_engine.h"

namespace {

/// The spline and hierarchy animation plug-ins.
bool AttachPlugins()
{
    return SplinePluginAttach() && HierarchyPluginAttach();
}

int Fail(const std::string& what)
{
    return ToolEngineFail("anim-tool", what);
}

bool LoadSkeleton(const std::string& path, Skeleton* skeleton)
{
    std::string error;
    if (!SkeletonRead(path, skeleton, &error)) {
        std::fprintf(stderr, "anim-tool: %s\n", error.c_str());
        return false;
    }
    return true;
}

int Clips(const std::string& skeletonPath, const std::string& outDir, float unitsPerMetre)
{
    Skeleton skeleton;
    if (!LoadSkeleton(skeletonPath, &skeleton)) {
        return 1;
    }
    std::error_code ignored;
    std::filesystem::create_directories(outDir, ignored);
    for (const Clip& clip : ClipList()) {
        Animation* animation = ClipBuild(skeleton, clip.motion, unitsPerMetre);
        const std::string path = (std::filesystem::path(outDir) / clip.file).string();
        const bool ok = animation != nullptr && AnimationWriteFile(animation, path.c_str());
        AnimationDestroy(animation);
        if (!ok) {
            return Fail("cannot write " + path);
        }
    }
    std::printf("%zu clips written to %s\n", ClipList().size(), outDir.c_str());
    return 0;
}

int SplineCommand(const std::string& pointsPath, const std::string& outPath)
{
    std::ifstream in(pointsPath);
    if (!in) {
        std::fprintf(stderr, "anim-tool: cannot open %s\n", pointsPath.c_str());
        return 1;
    }
    std::vector<V3d> points;
    uint32_t type = kSplineOpen;
    std::string name;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        std::string first;
        if (!(fields >> first)) {
            continue;
        }
        if (first == "closed") {
            type = kSplineClosed;
        } else if (first == "name") {
            fields >> name;
        } else {
            std::istringstream all(line);
            all.imbue(std::locale::classic());
            V3d p;
            if (!(all >> p.x >> p.y >> p.z)) {
                std::fprintf(stderr, "anim-tool: %s:%d: expected x y z\n", pointsPath.c_str(), number);
                return 1;
            }
            points.push_back(p);
        }
    }
    if (name.size() > 31) {
        std::fprintf(stderr, "anim-tool: spline name longer than 31 characters\n");
        return 1;
    }
    Spline* spline = SplineCreate(static_cast<int32_t>(points.size()), type, points.data());
    if (spline == nullptr) {
        return Fail("cannot make a spline of " + std::to_string(points.size()) + " points");
    }
    std::snprintf(spline->name, sizeof(spline->name), "%s", name.c_str());
    const bool ok = SplineWriteFile(spline, outPath.c_str());
    SplineDestroy(spline);
    return ok ? 0 : Fail("cannot write " + outPath);
}

int Dump(const std::string& path)
{
    Animation* animation = AnimationReadFile(path.c_str());
    if (animation == nullptr) {
        return Fail("cannot read " + path);
    }
    std::printf("scheme %d keys %d flags %u duration %.9g nodes %d\n", animation->scheme->typeId,
                animation->keyCount, animation->flags, double(animation->duration),
                AnimationCountNodes(animation));
    const auto* keys = static_cast<const HierKey*>(animation->keys);
    for (int32_t i = 0; i < animation->keyCount; ++i) {
        const HierKey& k = keys[i];
        std::printf("key %d previous %d time %.9g rotation %.9g %.9g %.9g %.9g translation %.9g %.9g %.9g\n",
                    i, k.previous != nullptr ? static_cast<int>(k.previous - keys) : -1, double(k.time),
                    double(k.rotation.x), double(k.rotation.y), double(k.rotation.z), double(k.rotation.w),
                    double(k.translation.x), double(k.translation.y), double(k.translation.z));
    }
    AnimationDestroy(animation);
    return 0;
}

int Play(const std::string& path, const std::string& skeletonPath, float time)
{
    Skeleton skeleton;
    if (!LoadSkeleton(skeletonPath, &skeleton)) {
        return 1;
    }
    Animation* animation = AnimationReadFile(path.c_str());
    if (animation == nullptr) {
        return Fail("cannot read " + path);
    }
    const std::vector<uint32_t> flags = SkeletonNodeFlags(skeleton);
    std::vector<int32_t> ids;
    for (size_t i = 0; i < skeleton.bones.size(); ++i) {
        ids.push_back(static_cast<int32_t>(i));
    }
    Hierarchy* hierarchy = HierarchyCreate(static_cast<int32_t>(flags.size()), flags.data(), ids.data(),
                                           kHierarchyLocalSpace, sizeof(HierInterpKey));
    const bool ok =
        hierarchy != nullptr && AnimInterpolatorSetCurrentAnim(hierarchy->interpolator, animation) &&
        AnimInterpolatorSetCurrentTime(hierarchy->interpolator, time) && HierarchyUpdateMatrices(hierarchy);
    if (ok) {
        const Matrix* matrices = HierarchyGetMatrixArray(hierarchy);
        for (size_t i = 0; i < skeleton.bones.size(); ++i) {
            std::printf("%zu %s %.6f %.6f %.6f\n", i, skeleton.bones[i].name.c_str(),
                        double(matrices[i].pos.x), double(matrices[i].pos.y), double(matrices[i].pos.z));
        }
    }
    HierarchyDestroy(hierarchy);
    AnimationDestroy(animation);
    return ok ? 0 : Fail("the animation does not fit the skeleton");
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app{"Writes and inspects keyframe animations (.anm) and splines (.ols)."};
    app.require_subcommand(1);
    std::string skeleton, outDir, points, out, file;
    float time = 0.0f;
    float unitsPerMetre = 1.0f;

    ToolCli::App* clips =
        app.add_subcommand("clips", "write one .anm per animation key of the character profiles");
    clips->add_option("skeleton", skeleton, "text skeleton")->required()->check(ToolCli::ExistingFile);
    clips->add_option("outdir", outDir, "output folder")->required();
    clips
        ->add_option("--units-per-metre", unitsPerMetre,
                     "model units in a metre (translations scaled; default 1)")
        ->check(ToolCli::FiniteRange(1.0e-3, 1.0e6));

    ToolCli::App* spline = app.add_subcommand("spline", "write a spline file from a text list of points");
    spline->add_option("points", points, "points text")->required()->check(ToolCli::ExistingFile);
    spline->add_option("out", out, "output .ols file")->required();

    ToolCli::App* dump = app.add_subcommand("dump", "print an animation's head and keys");
    dump->add_option("file", file, ".anm file")->required()->check(ToolCli::ExistingFile);

    ToolCli::App* play =
        app.add_subcommand("play", "pose a skeleton at a time and print each bone's position");
    play->add_option("file", file, ".anm file")->required()->check(ToolCli::ExistingFile);
    play->add_option("--skeleton", skeleton, "text skeleton")->required()->check(ToolCli::ExistingFile);
    play->add_option("--time", time, "seconds")->required()->check(ToolCli::FiniteRange(0.0, 1.0e6));

    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;
    if (!ToolEngineStart(AttachPlugins)) {
        return Fail("the engine did not start");
    }
    int result = 1;
    if (*clips) {
        result = Clips(skeleton, outDir, unitsPerMetre);
    } else if (*spline) {
        result = SplineCommand(points, out);
    } else if (*dump) {
        result = Dump(file);
    } else if (*play) {
        result = Play(file, skeleton, time);
    }
    ToolEngineStop();
    return result;
}
