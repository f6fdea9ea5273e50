// Preparation of the associating PC-SAFT model's parameters in the host store: the binary
// temperature tables handed to the host (KELD_ESPSAI) and the fit of missing segment number,
// diameter and energy of ordinary components to pseudo-data from their correlations
// (KELD_ESPSAHI).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "host/host.h"
#include "pcsaft_assoc/pure_correlations.h"

namespace keld::pcsaf {

// HostTempParam for the k_ij table (six coefficients, form 5) and the l_ij table (four
// coefficients, form 3) of every data set; a table the host does not locate is skipped.
void hand_over_binary_tables(std::int64_t data_sets);

// Fills missing PCSFTM, PCSFTV, PCSFTU of ordinary components in every data set.
void fit_missing_parameters(std::int64_t data_sets);

inline constexpr std::int64_t kMaxFitPoints = 8;
inline constexpr std::int64_t kVapourPoints = 5;

// The pseudo-data of one component: points 0..n_vapour-1 are vapour-pressure points (target 1,
// the fugacity-coefficient ratio liquid/vapour at P = exp(ln_psat)), the rest liquid-volume points
// (target the volume, m3/kmol, at `pressure`).
struct PseudoData {
    std::int64_t n = 0, n_vapour = 0;
    std::array<double, kMaxFitPoints> t{}, target{}, weight{}, pressure{};
};

// What a component's correlations and constants are, as read from the host (missing: NaN).
struct ComponentCorrelations {
    double mw, tc, pc, tb;
    bool has_vapour_pressure = false;
    std::array<double, 7> vapour_pressure{};
    LiquidVolumeSource liquid;
    double standard_volume;  // m3/kmol at 60 F, from the standard volume or the specific gravity
};

ComponentCorrelations read_correlations(const host::Host &host, std::int64_t component);
PseudoData pseudo_data(const ComponentCorrelations &c);

// The outcome of one component's fit (for tools that show what was done).
struct FitOutcome {
    enum class Kind { unchanged, noble_gas, no_data, fitted, refused } kind = Kind::unchanged;
    PseudoData data;
    std::array<bool, 3> fitted{};      // m, sigma, eps/k
    std::array<double, 3> values{};    // the parameters after the fit (m, sigma, eps/k)
    std::int64_t status = -1, retry_status = -1;  // solver status of the first call and the retry
    std::array<double, kMaxFitPoints> model{};   // model values at the result
};

// One component of one data set, as fit_missing_parameters treats it (writes the store).
FitOutcome fit_component(const host::Host &host, std::int64_t data_set, std::int64_t component);

}  // namespace keld::pcsaf
