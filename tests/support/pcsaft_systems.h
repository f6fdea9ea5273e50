// Published PC-SAFT and Sanchez-Lacombe parameter sets, reference-host set-ups built from them, a call
// of a property monitor through its exported entry point as a simulator makes it, and a recorder of the
// host's density-root conversation. Shared by the PC-SAFT tests and the benchmarks.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/monitor_call.h"

namespace keld::testing {

// Gross and Sadowski, Ind. Eng. Chem. Res. 40 (2001) 1244, Table 2 (m, sigma in Angstrom, eps/k in K);
// critical temperatures and molecular weights from the usual tables. Polystyrene: Gross and Sadowski,
// Ind. Eng. Chem. Res. 41 (2002) 1084 (m/MW = 0.0190 mol/g, sigma 4.1072 A, eps/k 267.0 K).
struct PcsaftFluid {
    std::string_view id;
    double mw, m, sigma, eps, tc;
};
inline constexpr PcsaftFluid kMethane{"C1", 16.043, 1.0000, 3.7039, 150.03, 190.56};
inline constexpr PcsaftFluid kEthane{"C2", 30.070, 1.6069, 3.5206, 191.42, 305.32};
inline constexpr PcsaftFluid kPropane{"C3", 44.097, 2.0020, 3.6184, 208.11, 369.83};
inline constexpr PcsaftFluid kHexane{"NC6", 86.177, 3.0576, 3.7983, 236.77, 507.60};
inline constexpr PcsaftFluid kToluene{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69, 591.75};

struct PcsaftSegment {
    std::string_view id;
    double mw, r, sigma, eps;
};
inline constexpr PcsaftSegment kStyrene{"STY", 104.152, 0.0190, 4.1072, 267.0};

// Sanchez-Lacombe characteristic temperature (K), pressure (Pa) and density (kg/m3).
struct SlFluid {
    double t_star, p_star, rho_star;
};
inline constexpr SlFluid kHexaneSl{476.0, 298.0e6, 775.0};
inline constexpr SlFluid kTolueneSl{543.0, 402.0e6, 966.0};
inline constexpr SlFluid kPolystyreneSl{735.0, 357.0e6, 1105.0};

inline std::int64_t add_pcsaft_fluid(refhost::ReferenceHost &host, const PcsaftFluid &f) {
    const std::int64_t i = host.add_component(f.id, refhost::ComponentKind::ordinary, f.mw);
    host.set_unary("PCSFTM", i, f.m);
    host.set_unary("PCSFTV", i, f.sigma);
    host.set_unary("PCSFTU", i, f.eps);
    host.set_component_value("TC", i, f.tc);
    return i;
}

inline std::int64_t add_pcsaft_segment(refhost::ReferenceHost &host, const PcsaftSegment &s) {
    const std::int64_t i = host.add_component(s.id, refhost::ComponentKind::segment, s.mw);
    host.set_unary("PCSFTR", i, s.r);
    host.set_unary("PCSFTV", i, s.sigma);
    host.set_unary("PCSFTU", i, s.eps);
    return i;
}

// A polymer of number-average weight mwn made of one segment, whose apparent basis is moles of that
// segment; its own PC-SAFT parameters are left missing.
inline std::int64_t add_homopolymer(refhost::ReferenceHost &host, std::string_view id, std::int64_t segment,
                                    double segment_mw, double mwn) {
    const std::int64_t p = host.add_polymer(id, refhost::ComponentKind::polymer, segment_mw, mwn);
    const refhost::SegmentShare share{segment, 1.0};
    host.set_segment_composition(p, {&share, 1});
    return p;
}

inline void set_sl_parameters(refhost::ReferenceHost &host, std::int64_t i, const SlFluid &f) {
    host.set_unary("SLTSTR", i, f.t_star);
    host.set_unary("SLPSTR", i, f.p_star);
    host.set_unary("SLRSTR", i, f.rho_star);
}

struct Flags {
    std::int64_t phi = 3, h = 3, s = 3, g = 3, v = 3;
};

// Settings of a call besides T, P and the composition.
struct CallOptions {
    std::int64_t kvl = 2;
    Flags flags{};
    std::int64_t kds = 1, kdiag = 4, kwork = 0, kopt = 0;
};

inline constexpr double kUnwritten = -7.0e30;

// Calls a 27-argument monitor with every argument by pointer; outputs start as kUnwritten.
inline MonitorResult call_monitor(MonitorFn monitor, double t, double p, const std::vector<double> &z,
                                  const std::vector<std::int64_t> &idx, const CallOptions &a = {}) {
    MonitorResult r;
    const std::int64_t n = static_cast<std::int64_t>(idx.size()), kspare = 0;
    r.phi.assign(idx.size(), kUnwritten);
    r.dphi.assign(idx.size(), kUnwritten);
    r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUnwritten;
    monitor(&t, &p, z.data(), &n, idx.data(), &a.kwork, &kspare, &a.kvl, &a.flags.phi, &a.flags.h, &a.flags.s,
            &a.flags.g, &a.flags.v, &a.kds, &a.kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh,
            &r.ds, &r.dg, &r.dv, &r.kstat, &a.kopt);
    return r;
}

inline MonitorResult pcsaft(double t, double p, const std::vector<double> &z, const std::vector<std::int64_t> &idx,
                            const CallOptions &a = {}) {
    return call_monitor(KELD_ESPCSF, t, p, z, idx, a);
}

// Wraps the installed host's root routines: records every call and forwards it, or hands it to
// `override_with`, which then plays the host. One recorder at a time; construct it after the
// reference host's install().
class RootRecorder {
public:
    struct Step {
        std::int64_t state_in, state_out;
        double v_out, dpdv_in;
        double v_in = 0.0, p_calc_in = 0.0;  // the volume and model pressure the library answered with
        double t = 0.0, v_close_packed = 0.0;  // as handed to the routine
    };
    using Override = void (*)(std::int64_t *state, std::int64_t *mode, const double *vcp, double *v);

    explicit RootRecorder(refhost::ReferenceHost &host) : host_(host) {
        active() = this;
        keld_host table = host.table();
        vapour_ = table.vapor_root;
        liquid_ = table.liquid_root;
        table.vapor_root = &callback<false>;
        table.liquid_root = &callback<true>;
        host.install(table);
    }
    ~RootRecorder() {
        if (active() == this) active() = nullptr;
        if (refhost::ReferenceHost::current() == &host_) host_.install();
    }
    RootRecorder(const RootRecorder &) = delete;
    RootRecorder &operator=(const RootRecorder &) = delete;

    std::vector<Step> steps;
    Override override_with = nullptr;
    // When set, every answer asking for an evaluation (state 1..3) carries this mode word ...
    std::int64_t force_mode = 0;
    // ... and this value in the dP/dV cell.
    std::optional<double> poison_dpdv;

    // Model evaluations asked for (answers with state 1, 2 or 3).
    int evaluations() const {
        int count = 0;
        for (const Step &s : steps) count += (s.state_out >= 1 && s.state_out <= 3) ? 1 : 0;
        return count;
    }

private:
    static RootRecorder *&active() {
        static RootRecorder *recorder = nullptr;
        return recorder;
    }
    template <bool liquid>
    static void callback(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                         const double *vdiv, const double *t, const double *p, double *v, double *p_calc,
                         double *dpdv, const char *id, const std::int64_t *diag) {
        RootRecorder *r = active();
        if (!r) return;
        Step s{*state, 0, 0.0, *dpdv, *v, *p_calc, *t, *vcp};
        if (r->override_with)
            r->override_with(state, mode, vcp, v);
        else
            (liquid ? r->liquid_ : r->vapour_)(state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv, id, diag);
        if (*state >= 1 && *state <= 3) {
            if (r->force_mode != 0) *mode = r->force_mode;
            if (r->poison_dpdv) *dpdv = *r->poison_dpdv;
        }
        s.state_out = *state;
        s.v_out = *v;
        r->steps.push_back(s);
    }

    refhost::ReferenceHost &host_;
    keld_root_fn vapour_ = nullptr, liquid_ = nullptr;
};

}  // namespace keld::testing
