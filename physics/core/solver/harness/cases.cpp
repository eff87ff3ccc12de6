// The harness's named cases: each measures a run beside its closed form.
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "physics/core/solver/harness/harness.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr float kPi = 3.14159265f;

void Line(HarnessReport* r, bool ok, const char* format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    r->text += buffer;
    r->text += ok ? "  ok\n" : "  FAILED\n";
    r->passed = r->passed && ok;
}

V3d Position(const SolverHarness& h, const HarnessBody* b)
{
    return h.arrays.pose[b->dyn->index].pos;
}

V3d Velocity(const SolverHarness& h, const HarnessBody* b)
{
    return h.arrays.velocity[b->dyn->index].linear;
}

void Prepare(SolverHarness* h, int32_t mode)
{
    if (mode != 0) {
        h->settings.mode = mode;
        h->kernels = OlpSolverKernelsForMode(mode);
    }
}

void FreeFall(HarnessReport* r, int32_t mode)
{
    SolverHarness h(2);
    Prepare(&h, mode);
    HarnessBody* b = h.AddSphere(0.5f, 1.0f, {0, 0, 100.0f});
    float step = h.settings.step, worst = 0.0f;
    for (int n = 1; n <= 120; ++n) {
        h.Step();
        double expected = 100.0 - 10.0 * step * step * n * (n + 1) / 2.0;
        worst = std::fmax(worst, static_cast<float>(std::fabs(Position(h, b).z - expected) / expected));
    }
    Line(r, worst < 1e-5f,
         "free fall: 120 steps, largest relative error %.2e (closed form y0 - g h^2 n(n+1)/2)", worst);
}

void BoxRest(HarnessReport* r, int32_t mode)
{
    SolverHarness h(2);
    Prepare(&h, mode);
    h.AddGround(0.5f, 0.0f);
    HarnessBody* b = h.AddBox({0.5f, 0.5f, 0.5f}, 1.0f, {0, 0, 2.0f});
    double start = 10.0 * 2.0, highest = start;
    float deepest = 0.0f;
    for (int n = 0; n < 300; ++n) {
        h.Step();
        V3d v = Velocity(h, b);
        double energy = 10.0 * Position(h, b).z + 0.5 * Dot(v, v);
        highest = std::fmax(highest, energy);
        if (n > 120) {
            deepest = std::fmax(deepest, 0.5f - Position(h, b).z);
        }
    }
    float z = Position(h, b).z, speed = Length(Velocity(h, b));
    Line(r, std::fabs(z - 0.5f) <= 0.02f, "box rest: height %.4f m (closed form 0.5)", z);
    Line(r, deepest < 0.01f && speed < 0.01f, "box rest: penetration %.4f m, speed %.4f m/s at step 300",
         deepest, speed);
    Line(r, highest <= start * 1.01, "box rest: highest energy %.3f J/kg (start %.3f)", highest, start);
}

void Pendulum(HarnessReport* r, int32_t mode)
{
    SolverHarness h(2);
    Prepare(&h, mode);
    float length = 1.0f, radius = 0.1f, angle = 10.0f * kPi / 180.0f;
    V3d pivot = {0, 0, 2.0f};
    V3d start = pivot + V3d{length * std::sin(angle), 0, -length * std::cos(angle)};
    HarnessBody* bob = h.AddSphere(radius, 1.0f, start);
    OlpJointDef* def = OlpJointDefCreate();
    V3d local = pivot - start;
    OlpJointFrameSetPosition(&def->frames[0], &local);
    OlpJointFrameSetPosition(&def->frames[1], &pivot);
    h.AddJoint(def, bob, nullptr);
    OlpJointDefRelease(def);
    double previousX = Position(h, bob).x, first = -1.0, last = -1.0;
    int crossings = 0;
    for (int n = 1; n <= 60 * 12; ++n) {
        h.Step();
        double x = Position(h, bob).x;
        if (previousX > 0.0 && x <= 0.0) {
            double t = (n - 1 + previousX / (previousX - x)) * h.settings.step;
            first = first < 0.0 ? t : first;
            last = t;
            ++crossings;
        }
        previousX = x;
    }
    double period = crossings > 1 ? (last - first) / (crossings - 1) : 0.0;
    double expected = 2.0 * kPi * std::sqrt((length * length + 0.4 * radius * radius) / (10.0 * length));
    Line(r, std::fabs(period - expected) <= 0.01 * expected,
         "pendulum: period %.4f s, closed form 2 pi sqrt((L^2 + 0.4 r^2) / (g L)) = %.4f s", period,
         expected);
}

void Slope(HarnessReport* r, int32_t mode)
{
    float theta = 30.0f * kPi / 180.0f;
    for (float mu : {0.2f, 0.7f}) {
        SolverHarness h(2);
        Prepare(&h, mode);
        // The plane stays level; gravity is tilted by the slope's angle.
        h.settings.gravity = {10.0f * std::sin(theta), 0, -10.0f * std::cos(theta)};
        h.AddGround(mu, 0.0f);
        HarnessBody* b = h.AddBox({0.5f, 0.5f, 0.5f}, 1.0f, {0, 0, 0.5f});
        h.SetCoefficients(b, mu, 0.0f);
        float x1 = 0.0f, v1 = 0.0f;
        for (int n = 1; n <= 150; ++n) {
            h.Step();
            if (n == 30) {
                x1 = Position(h, b).x;
                v1 = Velocity(h, b).x;
            }
        }
        float x2 = Position(h, b).x, v2 = Velocity(h, b).x;
        if (mu < 0.5f) {
            float measured = (v2 - v1) / (120.0f * h.settings.step);
            float expected = 10.0f * (std::sin(theta) - mu * std::cos(theta));
            Line(r, std::fabs(measured - expected) <= 0.03f * expected,
                 "slope 30 deg, mu %.1f: a %.4f m/s^2, closed form g (sin - mu cos) = %.4f", mu, measured,
                 expected);
        } else {
            Line(r, std::fabs(x2 - x1) < 0.001f, "slope 30 deg, mu %.1f: moved %.5f m in 2 s (held: < 0.001)",
                 mu, x2 - x1);
        }
    }
}

void Bounce(HarnessReport* r, int32_t mode)
{
    SolverHarness h(2);
    Prepare(&h, mode);
    h.AddGround(0.0f, 0.8f);
    HarnessBody* b = h.AddSphere(0.25f, 1.0f, {0, 0, 2.25f});
    h.SetCoefficients(b, 0.0f, 0.8f);
    bool rising = false;
    float peak = 0.0f;
    for (int n = 0; n < 240; ++n) {
        h.Step();
        float vz = Velocity(h, b).z;
        rising = rising || vz > 1.0f;
        if (rising && Position(h, b).z - 0.25f > peak) {
            peak = Position(h, b).z - 0.25f;
        }
        if (rising && vz < 0.0f) {
            break;
        }
    }
    Line(r, std::fabs(peak - 1.28f) <= 0.05f * 1.28f,
         "bounce 0.8 from 2 m: rebound %.4f m, closed form 1.28 m", peak);
}

void Hinge(HarnessReport* r, int32_t mode)
{
    SolverHarness h(2);
    Prepare(&h, mode);
    V3d pivot = {0, 0, 2.0f}, start = {0.5f, 0, 2.0f};
    HarnessBody* bar = h.AddBox({0.5f, 0.05f, 0.05f}, 1.0f, start);
    OlpJointDef* def = OlpJointDefCreate();
    OlpJointDefSetFlags(def, 62);
    // The hinge axis is the joint frame's first axis: turned onto y.
    Quaternion q = {0, 0, std::sin(kPi / 4.0f), std::cos(kPi / 4.0f)};
    V3d local = pivot - start;
    OlpJointFrameSetPosition(&def->frames[0], &local);
    OlpJointFrameSetOrientation(&def->frames[0], &q);
    OlpJointFrameSetPosition(&def->frames[1], &pivot);
    OlpJointFrameSetOrientation(&def->frames[1], &q);
    h.AddJoint(def, bar, nullptr);
    OlpJointDefRelease(def);
    // A push about another axis too: the hinge must keep its axis.
    h.arrays.velocity[bar->dyn->index].angular = {0.5f, 0, 0.5f};
    float worst = 0.0f;
    for (int n = 0; n < 240; ++n) {
        h.Step();
        V3d axis = h.arrays.pose[bar->dyn->index].up;
        worst = std::fmax(worst, std::acos(std::fmin(1.0f, std::fabs(axis.y))));
    }
    Line(r, worst <= 0.01f, "hinge (flags 62): axis off by at most %.5f rad (held: <= 0.01)", worst);
}

} // namespace

bool BuildSolverIsland(SolverHarness* h, const std::string& name, int settle)
{
    if (name == "pyramid") {
        h->AddGround(0.5f, 0.0f);
        for (int row = 0; row < 10; ++row) {
            for (int k = 0; k < 10 - row; ++k) {
                float x = static_cast<float>(k) * 1.0f + 0.5f * static_cast<float>(row);
                HarnessBody* b = h->AddBox({0.5f, 0.5f, 0.5f}, 1.0f, {x, 0, 0.5f + static_cast<float>(row)});
                h->SetCoefficients(b, 0.5f, 0.0f);
            }
        }
    } else if (name == "chain") {
        // Hanging straight down from (0, 0, 10), links 0.3 m apart.
        HarnessBody* previous = nullptr;
        for (int k = 0; k < 20; ++k) {
            V3d at = {0, 0, 10.0f - 0.3f * static_cast<float>(k + 1)};
            HarnessBody* b = h->AddSphere(0.1f, 1.0f, at);
            OlpJointDef* def = OlpJointDefCreate();
            V3d up = {0, 0, 0.15f};
            V3d pivot = previous != nullptr ? V3d{0, 0, -0.15f} : V3d{0, 0, 9.85f};
            OlpJointFrameSetPosition(&def->frames[0], &up);
            OlpJointFrameSetPosition(&def->frames[1], &pivot);
            h->AddJoint(def, b, previous);
            OlpJointDefRelease(def);
            previous = b;
        }
        h->arrays.velocity[previous->dyn->index].linear = {0, 2.0f, 0};
    } else {
        return false;
    }
    for (int n = 0; n < settle; ++n) {
        h->Step();
    }
    h->Collide();
    return true;
}

HarnessReport RunSolverCase(const std::string& name, int32_t mode)
{
    HarnessReport report;
    if (name == "free-fall") {
        FreeFall(&report, mode);
    } else if (name == "box-rest") {
        BoxRest(&report, mode);
    } else if (name == "pendulum") {
        Pendulum(&report, mode);
    } else if (name == "slope") {
        Slope(&report, mode);
    } else if (name == "bounce") {
        Bounce(&report, mode);
    } else if (name == "hinge") {
        Hinge(&report, mode);
    } else {
        report.text = "unknown case\n";
        report.passed = false;
    }
    return report;
}
