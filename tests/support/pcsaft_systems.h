// Published PC-SAFT and Sanchez-Lacombe parameter sets, reference-host set-ups
// built from them, a one-line way to call a property monitor through its
// exported entry point as a simulator would, and a recorder that wraps the
// host's density-root routines. Shared by the PC-SAFT tests and the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/monitor_call.h"

namespace keld::testing {

// Gross and Sadowski, Ind. Eng. Chem. Res. 40 (2001) 1244, Table 2 (m, sigma in
// Angstrom, eps/k in K); critical temperatures and molecular weights from the
// usual tables. Polystyrene: Gross and Sadowski, Ind. Eng. Chem. Res. 41 (2002)
// 1084 (m/MW = 0.0190 mol/g, sigma 4.1072 A, eps/k 267.0 K).
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

// A polymer of number-average weight mwn made of one segment, whose apparent
// basis is moles of that segment; its own PC-SAFT parameters are left missing.
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

// Calls a 27-argument monitor exactly as a simulator would: every argument by
// pointer. Outputs start as `fill` so that unwritten slots can be told apart.
inline MonitorResult call_monitor(MonitorFn monitor, double t, double p, const std::vector<double> &z,
                                  const std::vector<std::int64_t> &idx, const CallOptions &a = {},
                                  double fill = -7.0e30) {
    MonitorResult r;
    const std::int64_t n = static_cast<std::int64_t>(idx.size());
    r.phi.assign(idx.size(), fill);
    r.dphi.assign(idx.size(), fill);
    r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = fill;
    const std::int64_t kspare = 0;
    monitor(&t, &p, z.data(), &n, idx.data(), &a.kwork, &kspare, &a.kvl, &a.flags.phi, &a.flags.h, &a.flags.s,
            &a.flags.g, &a.flags.v, &a.kds, &a.kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh,
            &r.ds, &r.dg, &r.dv, &r.kstat, &a.kopt);
    return r;
}

inline MonitorResult pcsaft(double t, double p, const std::vector<double> &z, const std::vector<std::int64_t> &idx,
                            const CallOptions &a = {}) {
    return call_monitor(KELD_ESPCSF, t, p, z, idx, a);
}

// Wraps the installed host's root routines: records every call and forwards
// it (or hands it to `override`, when set, which then plays the host). One
// recorder at a time; install() after the reference host's install().
class RootRecorder {
public:
    struct Step {
        bool liquid;
        std::int64_t state_in, state_out, mode_out;
        double t, p, v_close_packed, v_critical, v_dividing, v_out, dpdv_in;
    };
    using Override = void (*)(bool liquid, std::int64_t *state, std::int64_t *mode, const double *vcp,
                              const double *vc, const double *vdiv, const double *t, const double *p, double *v,
                              double *p_calc, double *dpdv);

    explicit RootRecorder(refhost::ReferenceHost &host) : host_(host) {
        active() = this;
        keld_host table = host.table();
        vapour_ = table.vapor_root;
        liquid_ = table.liquid_root;
        table.vapor_root = &vapour_cb;
        table.liquid_root = &liquid_cb;
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
    // When set, every answer with state 1..3 is passed back with this mode word.
    std::int64_t force_mode = 0;
    // When set, the dP/dV cell is overwritten with this value after each answer.
    double poison_dpdv = 0.0;
    bool poison = false;

    // Model evaluations asked for (answers with state 1, 2 or 3).
    int evaluations() const {
        int count = 0;
        for (const Step &s : steps) count += (s.state_out >= 1 && s.state_out <= 3) ? 1 : 0;
        return count;
    }
    std::vector<double> temperatures() const {
        std::vector<double> ts;
        for (const Step &s : steps)
            if (ts.empty() || ts.back() != s.t) ts.push_back(s.t);
        return ts;
    }

private:
    static RootRecorder *&active() {
        static RootRecorder *recorder = nullptr;
        return recorder;
    }
    static void forward(bool liquid, std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                        const double *vdiv, const double *t, const double *p, double *v, double *p_calc, double *dpdv,
                        const char *id, const std::int64_t *diag) {
        RootRecorder *r = active();
        if (!r) return;
        Step s{liquid, *state, 0, 0, *t, *p, *vcp, *vc, *vdiv, 0.0, *dpdv};
        if (r->override_with)
            r->override_with(liquid, state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv);
        else
            (liquid ? r->liquid_ : r->vapour_)(state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv, id, diag);
        if (*state >= 1 && *state <= 3) {
            if (r->force_mode != 0) *mode = r->force_mode;
            if (r->poison) *dpdv = r->poison_dpdv;
        }
        s.state_out = *state;
        s.mode_out = *mode;
        s.v_out = *v;
        r->steps.push_back(s);
    }
    static void vapour_cb(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                          const double *vdiv, const double *t, const double *p, double *v, double *p_calc,
                          double *dpdv, const char *id, const std::int64_t *diag) {
        forward(false, state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv, id, diag);
    }
    static void liquid_cb(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                          const double *vdiv, const double *t, const double *p, double *v, double *p_calc,
                          double *dpdv, const char *id, const std::int64_t *diag) {
        forward(true, state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv, id, diag);
    }

    refhost::ReferenceHost &host_;
    keld_root_fn vapour_ = nullptr, liquid_ = nullptr;
};

}  // namespace keld::testing
