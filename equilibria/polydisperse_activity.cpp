// The solvents' activity over a polydisperse polymer solution, as one liquid
// and, below the feed's cloud point, as the two liquids it splits into (see
// polydisperse.h).
#include <cmath>
#include <optional>

#include "numerics.h"
#include "polydisperse_terms.h"

namespace keld::equilibria {
namespace {

// ln f (Pa) of each component a in the liquid of amounts n at T, P; nullopt without a liquid root.
std::optional<std::vector<double>> liquid_ln_f(const Model &m, double t, double p, std::span<const double> n) {
    const std::optional<Properties> props = properties_at_pressure(m, t, p, n, Phase::liquid, {false, nullptr});
    if (!props) return std::nullopt;
    double total = 0.0;
    for (double a : n) total += a;
    std::vector<double> ln_f(n.size());
    for (std::size_t i = 0; i < n.size(); ++i) ln_f[i] = std::log(n[i] / total * p) + props->ln_phi[i];
    return ln_f;
}

}  // namespace

PolydisperseActivity polydisperse_activity(const PolydisperseSystem &system, double t, double p, double w,
                                           const TemperatureRange &range) {
    PolydisperseActivity r;
    if (!(t > 0.0 && p > 0.0 && w > 0.0 && w < 1.0)) {
        r.status = Status::invalid_input;
        r.message = "a solvent activity needs T > 0, P > 0 and 0 < w < 1";
        return r;
    }
    const Model &m = system.model();
    const std::size_t solvents = system.solvents();
    r.t = t;
    r.p = p;
    r.w = w;
    // The pure liquid solvents at T and P: the reference of the activities.
    std::vector<double> ln_f_pure(solvents);
    for (std::size_t a = 0; a < solvents; ++a) {
        std::vector<double> pure(system.size(), 0.0);
        pure[a] = 1.0;
        const std::optional<Properties> props = properties_at_pressure(m, t, p, pure, Phase::liquid, {false, nullptr});
        if (!props || !std::isfinite(props->ln_phi[a])) {
            r.status = Status::no_solution;
            r.message = "no liquid of pure " + m.components()[a].name + " at T = " + detail::format_number(t) +
                        " K, P = " + detail::format_number(p) + " Pa";
            return r;
        }
        ln_f_pure[a] = std::log(p) + props->ln_phi[a];
    }
    const std::vector<double> z = system.feed(w);
    const std::optional<std::vector<double>> feed = liquid_ln_f(m, t, p, z);
    if (!feed) {
        r.status = Status::no_solution;
        r.message = "no liquid root of the feed at T = " + detail::format_number(t) + " K";
        return r;
    }
    for (std::size_t a = 0; a < solvents; ++a) r.one_liquid.push_back(std::exp((*feed)[a] - ln_f_pure[a]));
    r.equilibrium.assign(solvents, not_a_number);
    const CloudPoint cloud = cloud_point(system, p, w, range);
    // Without a cloud point nothing is claimed: no critical point in the range may also mean one outside
    // the feeds the search covers, with demixing all the same.
    if (cloud.status != Status::converged) {
        r.status = Status::not_converged;
        r.message = "whether the feed splits is not settled (its cloud point: " + cloud.message + ")";
        return r;
    }
    r.cloud_t = cloud.t;
    if ((t - cloud.t) * (range.lower_branch ? -1.0 : 1.0) >= 0.0) {
        r.status = Status::converged;
        r.equilibrium = r.one_liquid;
        return r;
    }
    const Fractionation f = fractionate(system, t, p, w, range);
    if (f.status != Status::converged) {
        r.status = Status::not_converged;
        r.message = "beyond the cloud point (" + detail::format_number(cloud.t) + " K) the two liquids were not found: " +
                    f.message;
        return r;
    }
    r.demixed = true;
    r.w_lean = f.lean.w_polymer;
    r.w_rich = f.rich.w_polymer;
    for (std::size_t a = 0; a < solvents; ++a) r.equilibrium[a] = std::exp(f.lean.ln_f[a] - ln_f_pure[a]);
    r.status = Status::converged;
    r.residual = f.residual;
    return r;
}

}  // namespace keld::equilibria
