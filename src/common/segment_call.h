// The frame the segment-based monitors share (PC-SAFT, SAFT and
// Sanchez-Lacombe with parameters, binary tables and segment compositions
// handed over as arguments): the arguments they have in common, their checks,
// the host's composition and binary-table services, the density root, the
// property assembly at the root, the options and the vector form. The
// families supply their parameters and their residual model.
//
// These monitors return property values only: the temperature-derivative
// slots are written on the ideal-gas exit of a pure component alone.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/close_packing.h"
#include "common/density_root.h"
#include "common/flags.h"
#include "common/messages.h"
#include "common/outputs.h"
#include "common/polymer_root_volumes.h"
#include "common/segment_average.h"
#include "common/segment_average_given.h"
#include "host/host.h"

namespace keld::segment {

// The arguments every segment-based monitor receives (positions differ by
// family; the exports map them).
struct Call {
    double t, p;
    const double *z;  // apparent mole fractions by position
    std::int64_t n;
    const std::int64_t *idx;
    double *w;                 // work array
    std::int64_t w_words;      // its length in words
    std::int64_t kvl;
    std::int64_t flags[5];     // KPHI, KH, KS, KG, KV as passed
    Requests rq;               // the same, decoded
    std::int64_t kds, kdiag;
    MonitorOutputs out;
    std::int64_t *kstat;
    std::int64_t kopt;
    const double *mw;          // by component
    double *source;            // PolymerParamSource by component, in/out (the host's words, written only)
    double *sources = nullptr; // the same as this call decides it, by component (in the work array)
    std::int64_t nc;           // leading dimension of every by-component array and matrix
    GivenSegments segments;    // ld, ns, list and fraction matrices (floor and marker set by the frame)
    const std::int64_t *polymer_flags;  // by component
    bool polymer_if_nonzero;   // the flag marks a polymer when non-zero (else when 1)
    std::int64_t option, option_component;
    double *option_vector;         // by position, out (option 1)
    const double *option_factor;   // scalar (option 3)
    double *option_scalar;         // out
    double *x;                     // true mole fractions by position, out
    const double *mwn;             // by position
    const double *option_values;   // by position (option 3)

    bool polymer(std::int64_t i) const {
        return polymer_if_nonzero ? polymer_flags[i - 1] != 0 : polymer_flags[i - 1] == 1;
    }
};

// The largest component count a segment-based call accepts: above it a
// problem's NC^2-sized layouts would leave 64-bit arithmetic.
inline constexpr std::int64_t kMaxComponents = std::int64_t{1} << 24;

// Words of the work array a segment-based monitor clears on entry and may
// use: (5 NC + 25) NC + 1; 0 for a count outside 1..kMaxComponents (a call
// with such a count is refused, and its length is never formed).
inline std::int64_t work_words(std::int64_t nc) {
    return nc >= 1 && nc <= kMaxComponents ? (5 * nc + 25) * nc + 1 : 0;
}

// The checks made before anything is written: N, NC, the component numbers,
// T and P, the work array and its length, the segment composition, the
// molecular weights and compositions of the listed components, the requested
// output slots, the option's arguments and the host's services. False: the
// call cannot be honoured (the caller refuses it). Also completes
// call.segments with the host's segment-fraction floor and missing marker.
bool arguments_usable(const host::Host &host, Call &call);

// The answer to a call that cannot be honoured: every requested output
// (values and derivatives) and the option outputs NaN, KSTAT 0.
void refuse(const Call &call);

// Step 1: clears the work array's first work_words(NC) words.
void clear_work(const Call &call);

// Step 2: true mole fractions through the host's PolyVolumeApparentToTrue.
void true_mole_fractions(const host::Host &host, const Call &call);

// Step 3: k_ij of every pair and, in mode 2, dk_ij/dT from a six-coefficient
// table through the host's PolyBinaryTable4; mode 1 leaves dkdt zero.
std::int64_t table_mode(const Call &call);  // 2 when KH >= 1 or KS >= 1
void binary_table(const host::Host &host, const Call &call, const double *table, std::int64_t table_words,
                  double *k, double *dkdt, std::int64_t mode);

// Step 4: one component below 5.5e-5 Pa gets the ideal-gas departures (values
// and derivatives) scaled by MW/MWN. True when the exit was taken.
bool ideal_gas_exit(const host::Host &host, const Call &call);

// A parameter a monitor is about to compute with that is missing.
class MissingCheck {
public:
    explicit MissingCheck(double marker) : marker_(marker) {}
    // True when `value` (parameter `name` of component `component`) is usable.
    bool require(std::string_view name, std::int64_t component, double value) {
        if (std::isfinite(value) && value != marker_) return true;
        if (!found_) name_ = name, component_ = component;
        found_ = true;
        return false;
    }
    // The outcome of an average over a polymer's segments: refused when it
    // weighed in no segment (the polymer's own `names[0]` counts as missing)
    // or swallowed a missing segment value of a quantity in use.
    bool require_average(const GivenAverageCheck &avg, std::int64_t polymer, const std::string_view (&names)[3],
                         const bool (&used)[3]) {
        if (avg.weighed == 0) return require(names[0], polymer, marker_);
        bool ok = true;
        for (int m = 0; m < 3; ++m)
            if (used[m] && avg.missing[m] != 0) ok = require(names[m], avg.missing[m], marker_) && ok;
        return ok;
    }
    bool passed() const { return !found_; }
    std::string_view name() const { return name_; }
    std::int64_t component() const { return component_; }

private:
    double marker_;
    bool found_ = false;
    std::string_view name_;
    std::int64_t component_ = 0;
};

// Where listed component i's parameters come from, as the call decided
// (`from_segments` for a polymer; read as given for any other component):
// kept in the call's own block and written into the host's SOURCE word, which
// concurrent calls may share and write too (so it is never read back).
inline void set_source(const Call &call, std::int64_t i, bool from_segments) {
    const double source = from_segments ? param_source::from_segments : param_source::own;
    call.sources[i - 1] = source;
    host::publish_word(&call.source[i - 1], source);
}
inline void take_given_source(const Call &call, std::int64_t i) { call.sources[i - 1] = call.source[i - 1]; }

// Without a binary parameter, the pair (i, j) meets through the segments of a
// polymer whose parameters were averaged from them when its partner is not
// such a polymer (PolymerParamSource pairs (1, 0), (1, 2) and mirrored):
// that polymer's component number, or 0 when the plain rule holds.
inline std::int64_t segment_built_partner(const double *source, std::int64_t i, std::int64_t j) {
    return static_cast<std::int64_t>(cross_without_binary(
        source[i - 1], source[j - 1], i, j, [] { return 0.0; },
        [](std::int64_t, std::int64_t polymer) { return static_cast<double>(polymer); }));
}

// Where a refusal is announced: routine identifier, check class and number,
// model name of the header line.
struct RefusalSite {
    host::RoutineId routine;
    std::int64_t check_class, number;
    std::string_view model_name;
};

// Refuses the call and, when the host's check lets it through, says
//   EQUATION OF STATE MODEL <model> HAS MISSING PARAMETERS:
//   <NAME> (DATA SET  d) MISSING FOR COMPONENT <id>   (or FOR SEGMENT)
void refuse_missing(const host::Host &host, const Call &call, const RefusalSite &site, const MissingCheck &check);

// The pseudo-critical entries of the work array (the copies of the two
// vectors given by component): polymers get the correlations in their MWN
// written there, other components are read from there.
struct CriticalCopies {
    double *tc, *pc;
};

// Volumes for the host's root routines of the SAFT-type families: V_cp from
// x_k m_k d_k^3 (packed_term(k)), V_c and V_div from the pseudo-critical data.
template <class PackedTerm>
RootVolumes polymer_volumes(const Call &call, const CriticalCopies &crit, double t, PackedTerm &&packed_term) {
    return polymer_root_volumes(
        call.n, call.x, call.mwn, t, call.kvl,
        [&](std::int64_t k) {
            const std::int64_t i = call.idx[k];
            if (!call.polymer(i)) return crit.tc[i - 1];
            crit.tc[i - 1] = polymer_critical_temperature(call.mwn[k]);
            crit.pc[i - 1] = polymer_critical_pressure(call.mwn[k]);
            return crit.tc[i - 1];
        },
        packed_term);
}

// The model's density at a trial volume: 1/V, or 1e-35/T when 1/V is smaller.
inline double trial_density(double rho, double t) { return rho < 1e-35 ? 1e-35 / t : rho; }

// Step 7: the density root through the host's routines with the model's
// pressure and dP/dV (`model(rho)` returns PressureAndSlope). KSTAT is
// cleared when the host reports failure; nothing is returned when the host
// never asked for a volume (the caller refuses the call). With
// `close_packing`, a hard-sphere-based family's site of the
// infeasible-conditions message, a root at or beyond close packing is
// replaced by the admissible one (common/close_packing.h), and a state
// without one is refused with that message.
template <class Model>
std::optional<RootResult> density_root(const host::Host &host, const Call &call, const RootVolumes &vol,
                                       const host::RoutineId &model_name, bool move_off_close_packed,
                                       double rho_start, Model &&model, const RefusalSite *close_packing = nullptr) {
    const RootRequest request{call.t, call.p, call.kvl, call.kdiag, vol.close_packed, vol.critical, vol.dividing,
                              model_name, call.n == 1};
    RootPolicy policy;
    policy.move_off_close_packed = move_off_close_packed;
    policy.private_slope_cell = true;  // calls on different work arrays may run at the same time
    auto at = [&](double rho, bool) { return model(trial_density(rho, call.t)); };
    RootResult r = solve_density_root(host, request, policy, at, rho_start);
    if (close_packing) r = within_close_packing(host, request, policy, at, r);
    if (r.failed) *call.kstat = 0;
    if (r.evaluations == 0) return std::nullopt;
    if (r.beyond_close_packing) {
        messages::infeasible_conditions(host, {close_packing->routine, close_packing->check_class,
                                               close_packing->number, call.kdiag},
                                        close_packing->model_name, call.kds, call.t, call.p, call.n, call.idx,
                                        call.z);
        return std::nullopt;
    }
    r.rho = trial_density(r.rho, call.t);
    return r;
}

// What the model gives at the root: ã, ∂ã/∂ρ, ∂ã/∂T (with every temperature
// dependence the family carries) and, when ln φ is wanted, ∂ã/∂x_k by
// position (null otherwise).
struct ResidualAtRoot {
    double a, a_rho, a_t;
    const double *dadx;
};

// Step 8: P_calc, Z, the departures, V and ln φ at the root, converted to the
// host's basis (liquid: ln φ - ln(P/P_calc); + ln(x/Z) where both are
// positive; V, H, S, G times sum Z MW/MWN) and written where the flag is 1
// or 3. The derivative slots are not touched.
void write_properties(const host::Host &host, const Call &call, double rho, const ResidualAtRoot &res);

// Requests seen by the model path: values for flags 1 and 3, no derivatives.
Requests value_requests(const Call &call);

// Step 9. Option 1: element i of the option vector is `named_per_weight(k)`
// where IDX(i) is the option's component, else chain_by_component[IDX(i)] /
// MWN(i). Option 3 with KPHI >= 1: the option scalar is factor x value(i) /
// MWN(i) for the position i of the option's component. The option scalar is
// 0 in every other case.
template <class NamedPerWeight>
void write_options(const Call &call, NamedPerWeight &&named_per_weight, const double *chain_by_component) {
    double scalar = 0.0;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        const bool named = i == call.option_component;
        if (call.option == 1)
            call.option_vector[k] = named ? named_per_weight(k) : chain_by_component[i - 1] / call.mwn[k];
        if (call.option == 3 && call.flags[0] >= 1 && named)
            scalar = *call.option_factor * call.option_values[k] / call.mwn[k];
    }
    *call.option_scalar = scalar;
}

// The vector form: for position i, the pure component IDX(i) at p[i] (Z = 1,
// N = 1, option 0, MWN = mwn[i], option value option_values[i]) through the
// family's `monitor(call)`; each value whose flag is 1 or 3 is copied into
// element i of PHI, H, S, G, V. Derivatives are never copied. The work array
// is taken to hold work_words(NC) words.
template <class Monitor>
void vector_form(const Call &shared, const double *p, const double *mwn, const double *option_values,
                 Monitor &&monitor) {
    static constexpr double kPure = 1.0;
    const Requests values = value_requests(shared);
    const MonitorOutputs &o = shared.out;
    if (shared.n < 1 || !p || !mwn || !shared.idx) return;
    if ((values.phi.value && !o.phi) || (values.h.value && !o.h) || (values.s.value && !o.s) ||
        (values.g.value && !o.g) || (values.v.value && !o.v)) {
        if (shared.kstat) *shared.kstat = 0;
        return;
    }
    for (std::int64_t k = 0; k < shared.n; ++k) {
        double phi = 0, h = 0, s = 0, g = 0, v = 0, dphi = 0, dh = 0, ds = 0, dg = 0, dv = 0, x = 0, scalar = 0;
        Call call = shared;
        call.p = p[k];
        call.z = &kPure;
        call.n = 1;
        call.idx = shared.idx + k;
        call.w_words = work_words(shared.nc);
        call.out = MonitorOutputs{&phi, &h, &s, &g, &v, &dphi, &dh, &ds, &dg, &dv};
        call.option = 0;
        call.option_component = 0;
        call.option_scalar = &scalar;
        call.x = &x;
        call.mwn = mwn + k;
        call.option_values = option_values ? option_values + k : nullptr;
        monitor(call);
        if (values.phi.value) shared.out.phi[k] = phi;
        if (values.h.value) shared.out.h[k] = h;
        if (values.s.value) shared.out.s[k] = s;
        if (values.g.value) shared.out.g[k] = g;
        if (values.v.value) shared.out.v[k] = v;
    }
}

}  // namespace keld::segment
