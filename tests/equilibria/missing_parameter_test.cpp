// A model that lacks a parameter makes every solver stop with its own status
// and the parameter named: never "no coexistence", never a failed root.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "keld/equilibria/activity.h"
#include "keld/equilibria/bubble_dew.h"
#include "keld/equilibria/flash.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/saturation.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::Outcome;
using equilibria::Status;
using equilibria::System;

TEST(MissingParameter, EverySolverNamesIt) {
    refhost::ReferenceHost host;
    const std::int64_t hexane = add_pcsaft_fluid(host, kHexane);
    // Toluene without its segment diameter, and a polystyrene built from
    // complete styrene segments.
    const std::int64_t toluene = host.add_component("TOLUENE", refhost::ComponentKind::ordinary, kToluene.mw);
    host.set_unary("PCSFTM", toluene, kToluene.m);
    host.set_unary("PCSFTU", toluene, kToluene.eps);
    const std::int64_t ps = add_homopolymer(host, "PS", add_pcsaft_segment(host, kStyrene), kStyrene.mw, 1e5);

    System binary(host, "pcsaft", {hexane, toluene});
    System solution(host, "pcsaft", {toluene, ps});
    const std::vector<double> half{0.5, 0.5};
    const std::vector<double> dilute{0.9996, 0.0004};
    const std::vector<double> w{0.7, 0.3};
    const std::vector<double> p_partial{2000.0, 0.0};
    struct Call {
        const char *name;
        std::function<Outcome()> run;
    };
    const Call calls[] = {
        {"saturation pressure", [&] { return Outcome(equilibria::saturation_pressure(binary, 1, 300.0)); }},
        {"saturation temperature", [&] { return Outcome(equilibria::saturation_temperature(binary, 1, 1e5)); }},
        {"vapour-pressure curve",
         [&] { return Outcome(equilibria::vapour_pressure_curve(binary, 1, 300.0, 350.0, 3).points.front()); }},
        {"bubble pressure", [&] { return Outcome(equilibria::bubble_pressure(binary, 300.0, half)); }},
        {"dew temperature", [&] { return Outcome(equilibria::dew_temperature(binary, 1e5, half)); }},
        {"stability", [&] { return Outcome(equilibria::stability(binary, 300.0, 1e4, half)); }},
        {"flash", [&] { return Outcome(equilibria::flash(binary, 300.0, 1e4, half)); }},
        {"solvent activity", [&] { return Outcome(equilibria::solvent_activity(solution, 298.15, w)); }},
        {"sorption", [&] { return Outcome(equilibria::SolventActivity(solution, 298.15).sorption(p_partial)); }},
        {"spinodal", [&] { return Outcome(equilibria::spinodal(solution, 298.15, 1e5)); }},
        {"binodal", [&] { return Outcome(equilibria::binodal(solution, 298.15, 1e5)); }},
        {"critical solution point",
         [&] { return Outcome(equilibria::critical_solution_point(solution, 1e5, 280.0, 320.0)); }},
        {"demixing trace", [&] { return Outcome(equilibria::trace_lle(solution, 1e5, 280.0, 320.0)); }},
    };
    for (const Call &c : calls) {
        SCOPED_TRACE(c.name);
        const Outcome o = c.run();
        EXPECT_EQ(o.status, Status::missing_parameter) << o.message;
        EXPECT_NE(o.message.find("PCSFTV (DATA SET 1) MISSING FOR COMPONENT TOLUENE"), std::string::npos)
            << o.message;
    }
    // n-hexane alone has every parameter: its vapour pressure is found.
    EXPECT_EQ(equilibria::saturation_pressure(binary, 0, 300.0).status, Status::converged);
}

}  // namespace
}  // namespace keld::testing
