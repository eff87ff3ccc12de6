// physics-sim: runs the physics engine headless on scenes made in code.
//
//   physics-sim shapes [--svg file]   volume table and a fan of line tests
//   physics-sim hull <N>              the hull of a random cloud of N points
//   physics-sim distance              a table of pairs measured by GJK or axes
//   physics-sim broadphase <N>        N moving boxes through the far field, then
//                                     as bodies through the manager's activation
//   physics-sim contacts <scene> [--svg file]  the contacts of a scene
//   physics-sim solve <case>          a one-island solver case beside closed form
//   physics-sim run <scenario> [--svg f] [--csv f] [--solver scalar|sse] [--layout n]
//                                     a named scene stepped through a whole context
//                                     (ragdoll-drop, ragdoll-heap, world-drop: see
//                                     their files, which make their context
//                                     themselves and take no --layout); --moves,
//                                     --velocity-moves set the solver's move limits
//   physics-sim dump <file>           the physics chunks of a stream file
//   physics-sim corpus <folder>       the hull builder's fuzz seeds
//   physics-sim corpus --grid <folder> the grid data block's fuzz seeds
#include "tools/cli/tool_cli.h"

#include <cstdio>

#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/scenelibrary.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/solver/harness/harness.h"
#include "physics/refpair/refpair.h"
#include "tools/physics-sim/activation.h"
#include "tools/physics-sim/broadphase.h"
#include "tools/physics-sim/contacts.h"
#include "tools/physics-sim/distance.h"
#include "tools/physics-sim/dump.h"
#include "tools/physics-sim/gridcorpus.h"
#include "tools/physics-sim/hull.h"
#include "tools/physics-sim/ragdolldrop.h"
#include "tools/physics-sim/scenario.h"
#include "tools/physics-sim/shapes.h"
#include "tools/physics-sim/worlddrop.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Headless runs of the physics engine"};
    app.require_subcommand(1);
    std::string svgPath;
    ToolCli::App* shapes =
        app.add_subcommand("shapes", "bounds, mass and support features of every volume type");
    shapes->add_option("--svg", svgPath, "write a fan of line tests against rounded shapes to this SVG file");
    uint32_t hullCount = 200;
    ToolCli::App* hull = app.add_subcommand("hull", "counts, validity and mass of a random cloud's hull");
    hull->add_option("count", hullCount, "number of points")->required()->check(ToolCli::Range(1u, 100000u));
    ToolCli::App* distance =
        app.add_subcommand("distance", "a table of volume pairs measured by GJK or separating axes");
    uint32_t boxCount = 500;
    ToolCli::App* broadphase = app.add_subcommand(
        "broadphase", "moving boxes through the far field and the activation against brute force");
    broadphase->add_option("count", boxCount, "number of boxes")
        ->required()
        ->check(ToolCli::Range(2u, 20000u));
    std::string scene;
    std::string contactSvg;
    ToolCli::App* contacts = app.add_subcommand("contacts", "the contact records of a scene made in code");
    contacts->add_option("scene", scene, "box-on-plane, box-on-box, sphere-on-mesh or hulls-on-terrain")
        ->required()
        ->check(ToolCli::IsMember({"box-on-plane", "box-on-box", "sphere-on-mesh", "hulls-on-terrain"}));
    contacts->add_option("--svg", contactSvg, "write a side view to this SVG file");
    std::string solveCase;
    ToolCli::App* solve =
        app.add_subcommand("solve", "a one-island solver case measured beside its closed form");
    solve->add_option("case", solveCase, "free-fall, box-rest, pendulum, slope, bounce or hinge")
        ->required()
        ->check(ToolCli::IsMember({"free-fall", "box-rest", "pendulum", "slope", "bounce", "hinge"}));
    std::string scenario, runSvg, runCsv, solverPath;
    ScenarioOptions runOptions;
    ToolCli::App* run = app.add_subcommand("run", "a named scene stepped through a whole context");
    std::vector<std::string> scenarioNames = ScenarioNames();
    scenarioNames.push_back(kRagdollDropName);
    scenarioNames.push_back(kWorldDropName);
    scenarioNames.push_back(kRagdollHeapName);
    run->add_option("scenario", scenario,
                    "box-drop, stack3, stack10, stack20, pyramid, pendulum, fast-sphere, slope, bounce, "
                    "ragdoll-drop, ragdoll-heap or world-drop")
        ->required()
        ->check(ToolCli::IsMember(scenarioNames));
    run->add_option("--svg", runSvg, "plot the heights over time to this SVG file");
    run->add_option("--csv", runCsv, "write the height trace to this CSV file");
    run->add_option("--solver", solverPath, "solver kernels: scalar or sse")
        ->check(ToolCli::IsMember({"scalar", "sse"}));
    run->add_option("--layout", runOptions.layout,
                    "working-memory layout flags (context parameter 0; not for ragdoll-drop, ragdoll-heap or "
                    "world-drop)");
    run->add_option("--steps", runOptions.steps, "steps to run (default: the scenario's)")
        ->check(ToolCli::Range(1, 100000));
    run->add_option("--block-rows", runOptions.blockRows,
                    "row groups per island block (larger islands are split; default: the context's)")
        ->check(ToolCli::Range(1, 100000));
    run->add_option("--moves", runOptions.positionMoves,
                    "move limit of the position pass (default: the scenario's; the context's is 100)")
        ->check(ToolCli::Range(1u, 100000u));
    run->add_option("--velocity-moves", runOptions.velocityMoves,
                    "move limit of the velocity pass (default: the scenario's; the context's is 300)")
        ->check(ToolCli::Range(1u, 100000u));
    std::string corpusFolder;
    ToolCli::App* corpus =
        app.add_subcommand("corpus", "write the seed corpus of the physics_hull fuzz target");
    corpus->add_option("folder", corpusFolder, "an existing folder")->required();
    bool gridCorpus = false;
    corpus->add_flag("--grid", gridCorpus, "write the physics_grid target's seeds instead");
    std::string dumpPath;
    ToolCli::App* dump = app.add_subcommand("dump", "the physics definitions and objects of a stream file");
    dump->add_option("file", dumpPath, "a stream file holding chunks 0x907 to 0x90C")->required();
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }
    // The engine runs on its recording device double: nothing is drawn. The
    // scene library, collision trees, edge data and bodies on atomics serve
    // the test world.
    if (!EngineTestInit() || !WorldLibraryAttach() || !CollisionPluginAttach() || OlpRefPairRegister() != 1 ||
        OlpRefPairRegisterGeometry() != 1 || OlpBodyPluginAttach() != 1 || !EngineTestOpen() ||
        !EngineStart()) {
        std::fprintf(stderr, "physics-sim: the engine did not start\n");
        return 1;
    }
    int result = 0;
    if (shapes->parsed()) {
        result = RunShapes(svgPath);
    } else if (hull->parsed()) {
        result = RunHull(hullCount);
    } else if (distance->parsed()) {
        result = RunDistance();
    } else if (broadphase->parsed()) {
        result = RunBroadphase(boxCount);
        result = RunActivation(boxCount) != 0 ? 1 : result;
    } else if (contacts->parsed()) {
        result = RunContacts(scene, contactSvg);
    } else if (solve->parsed()) {
        HarnessReport report = RunSolverCase(solveCase);
        std::fputs(report.text.c_str(), stdout);
        result = report.passed ? 0 : 1;
    } else if (run->parsed()) {
        runOptions.mode = solverPath == "scalar" ? 1 : solverPath == "sse" ? 2 : 0;
        const bool ownContext =
            scenario == kRagdollDropName || scenario == kRagdollHeapName || scenario == kWorldDropName;
        if (ownContext && run->count("--layout") > 0) {
            // These scenes make their context themselves, without the layout.
            std::fprintf(stderr, "physics-sim: %s makes its context itself and takes no --layout\n",
                         scenario.c_str());
            result = 2;
        } else if (scenario == kRagdollDropName) {
            result = RunRagdollDropCommand(runOptions, runSvg, runCsv);
        } else if (scenario == kRagdollHeapName) {
            result = RunRagdollHeapCommand(runOptions);
        } else if (scenario == kWorldDropName) {
            result = RunWorldDropCommand(runOptions, runSvg, runCsv);
        } else {
            result = RunScenarioCommand(scenario, runOptions, runSvg, runCsv);
        }
    } else if (dump->parsed()) {
        result = RunDump(dumpPath);
    } else if (corpus->parsed()) {
        result = gridCorpus ? WriteGridCorpus(corpusFolder) : WriteHullCorpus(corpusFolder);
    }
    EngineTestShutdown();
    return result;
}
