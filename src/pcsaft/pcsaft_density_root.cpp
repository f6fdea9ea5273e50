#include "pcsaft/pcsaft_density_root.h"

#include <algorithm>

#include "common/close_packing.h"
#include "contributions/pcsaft_constants.h"

namespace keld::pcsaft {
namespace {

const host::RoutineId kRoutine("PCSA", "FT");

// Packing fraction of a typical liquid (solvents near 0.35-0.45, melts near
// 0.45): a liquid search without a better start is offered this volume.
constexpr double kLiquidPackingFraction = 0.4;

// Below about 0.75 eps/k (less for short chains) PC-SAFT's P(V) may have a
// second loop at liquid densities; 0.8 of the largest cross energy of the
// listed components is the margin kept.
constexpr double kDenseLoopTemperature = 0.8;

bool dense_loops_possible(const terms::PairSums &sums, double t) { return t < kDenseLoopTemperature * sums.eps_max; }

// Polymer pseudo-critical values published, and the volumes for the host, with the segment diameters
// at T given by position.
RootVolumes volumes_with_diameters(const host::Host &host, const Mixture &mix, std::int64_t tc, std::int64_t pc,
                                   double t, std::int64_t kvl, const double *d_by_position) {
    return polymer_root_volumes(
        mix.n, mix.x, mix.mwn, t, kvl,
        [&](std::int64_t k) {
            const std::int64_t i = mix.idx[k];
            if (!host.is_polymer_or_oligomer(i)) return host.real(tc + i);
            const double t_critical = polymer_critical_temperature(mix.mwn[k]);
            host.publish(tc + i, t_critical);
            host.publish(pc + i, polymer_critical_pressure(mix.mwn[k]));
            return t_critical;
        },
        [&](std::int64_t k) {
            const double d = d_by_position[k];
            return mix.x[k] * mix.m[mix.idx[k] - 1] * d * d * d;
        });
}

}  // namespace

RootVolumes root_volumes(const host::Host &host, const Mixture &mix, std::int64_t tc, std::int64_t pc, double t,
                         std::int64_t kvl) {
    return polymer_root_volumes(
        mix.n, mix.x, mix.mwn, t, kvl,
        [&](std::int64_t k) {
            const std::int64_t i = mix.idx[k];
            if (!host.is_polymer_or_oligomer(i)) return host.real(tc + i);
            const double t_critical = polymer_critical_temperature(mix.mwn[k]);
            host.publish(tc + i, t_critical);
            host.publish(pc + i, polymer_critical_pressure(mix.mwn[k]));
            return t_critical;
        },
        [&](std::int64_t k) {
            const std::int64_t i = mix.idx[k];
            const double d = mix.sigma[i - 1] *
                             (1.0 - constants::kDiameterReduction *
                                        std::exp(-constants::kDiameterExponent * mix.eps[i - 1] / t)) *
                             constants::kAngstromToMetre * constants::kAvogadroPerKmolCubeRoot;
            return mix.x[k] * mix.m[i - 1] * d * d * d;
        });
}

RootResult density_root(const host::Host &host, const Mixture &mix, const DensityRootCall &call, double rho_start) {
    const terms::PairSums sums =
        mix.sums != nullptr ? *mix.sums
                            : terms::pair_sums(call.t, mix.nc, mix.n, mix.idx, mix.x, mix.m, mix.sigma, mix.eps_matrix,
                                               nullptr, nullptr);
    Mixture with_sums = mix;
    with_sums.sums = &sums;
    const Isotherm iso(call.t, mix.n, mix.idx, mix.x, mix.m, mix.sigma, mix.eps, mix.pos, sums, false);
    return density_root(host, with_sums, iso, call, rho_start);
}

RootResult density_root(const host::Host &host, const Mixture &mix, const Isotherm &iso, const DensityRootCall &call,
                        double rho_start) {
    const terms::PairSums sums =
        mix.sums != nullptr ? *mix.sums
                            : terms::pair_sums(call.t, mix.nc, mix.n, mix.idx, mix.x, mix.m, mix.sigma, mix.eps_matrix,
                                               nullptr, nullptr);
    const RootVolumes volumes =
        volumes_with_diameters(host, mix, call.tc_offset, call.pc_offset, call.t, call.kvl, mix.pos.d);
    const RootRequest request{call.t, call.p, call.kvl, call.kdiag, volumes.close_packed, volumes.critical,
                              volumes.dividing, kRoutine, mix.n == 1};
    RootPolicy policy;
    policy.move_off_close_packed = true;
    policy.unlisted_state_switches_to_liquid = true;
    const double rt = host.gas_constant() * call.t;
    const bool warm = rho_start > 0.0;
    if (!warm && call.kvl == 2) rho_start = kLiquidPackingFraction / volumes.close_packed;
    auto model = [&](double rho, bool) {
        const ResidualValues a = iso.density_derivatives(rho);
        return PressureAndSlope{rt * rho * (1.0 + rho * a.a_rho),
                                -rt * rho * rho * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho)};
    };
    RootResult result = solve_density_root(host, request, policy, model, rho_start);
    // Far below the triple point P(V) can have two dense loops; the liquid is the
    // densest root. A warm start comes from such a root at a nearby temperature.
    if (call.kvl == 2 && !warm && dense_loops_possible(sums, call.t)) {
        const double v_found = result.failed ? volumes.critical : 1.0 / result.rho;
        const double start = denser_liquid_start(model, call.p, volumes.close_packed, v_found);
        if (start > 0.0) {
            const int evaluations = result.evaluations;
            result = solve_density_root(host, request, policy, model, 1.0 / start);
            result.evaluations += evaluations;
        }
    }
    // That densest root may lie beyond close packing (toluene below about 120 K, polystyrene in toluene
    // at 150 K), as may the liquid-like root a vapour search hands over to.
    result = within_close_packing(host, request, policy, model, result);
    if (result.failed) *call.kstat = 0;
    return result;
}

}  // namespace keld::pcsaft
