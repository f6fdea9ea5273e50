// Every exported property monitor of every family over a fixed grid of states, through the reference
// host, one line per call with every output in hexadecimal floating point: the record two builds are
// compared on (scripts/compare_values.py) when a change must keep the monitors' values.
//
//   build/release/bench/keld_values_dump before.txt      (or "-" / nothing for standard output)
//
// Grid: 150-600 K (8 temperatures), 1e2-5e7 Pa (9 pressures), vapour and liquid, six patterns of the
// request flags (each of 0, 1, 2, 3 occurs), every call a cold start (no density offered). Systems per
// family: a pure solvent, a solvent mixture and a polymer solution (tests/support, tests/robustness),
// SAFT methane beside them. Routines: KELD_ESSLP, ESPCSF, PSAFM1, ESSAFT, PCSF01, SAFT01, POSL01,
// PCSAF1, ES40, and for the mixtures the vector forms ESSLPA, ESPCSA, ESSFTB, ESSFTA, SAFT00, ES40A.
// Each line:
//   ROUTINE system T P KVL flags kstat=K eta=E eta_dt=D msgs=M phi=.. h=.. s=.. g=.. v=.. dphi=.. dh=..
//   ds=.. dg=.. dv=..
// The first six fields are the key. E, for reading, is the close-packed volume handed to the host's
// root routines over the root they converged on at T: the packing fraction for SAFT and PC-SAFT, the
// reduced density for Sanchez-Lacombe, b/V for the cubic; one per element for a vector form; "-"
// without a converged search. D is the same at the shifted temperature of the derivatives. M counts
// the message lines the call printed. An output the call did not write keeps the sentinel -12345, so
// that a changed write pattern shows.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cubic/cubic_fixture.h"
#include "keld/keld.h"
#include "keld/refhost.h"
#include "robustness/systems.h"
#include "support/pcsaf_systems.h"
#include "support/saft_systems.h"
#include "support/segment_calls.h"

namespace {

using namespace keld::testing;
using keld::refhost::ReferenceHost;

constexpr double kSentinel = -12345.0;
const double kTemperatures[] = {150.0, 200.0, 250.0, 300.0, 350.0, 400.0, 500.0, 600.0};
const double kPressures[] = {1e2, 1e3, 1e4, 1e5, 5e5, 1e6, 5e6, 2e7, 5e7};
const std::int64_t kFlagPatterns[][5] = {{3, 3, 3, 3, 3}, {1, 1, 1, 1, 1}, {2, 2, 2, 2, 2},
                                         {1, 0, 0, 0, 0}, {0, 0, 0, 0, 1}, {0, 1, 1, 1, 0}};

// The roots the host's routines converged on in one call, grouped: a group opens with a search at the
// call's temperature T (a vector form: one group per element) and takes the searches at the shifted
// temperature of the derivatives that follow. The last search at T and the last at T + dT of each
// group are the roots that call (or element) ended on (none when that search failed). A search handed
// a close-packed volume raised to V_cp/τ (the admissible-root search) belongs to the group of V_cp and
// is measured against V_cp.
class RootWatch {
public:
    explicit RootWatch(ReferenceHost &host) : host_(host) {
        active() = this;
        keld_host table = host.table();
        vapour_ = table.vapor_root;
        liquid_ = table.liquid_root;
        table.vapor_root = &callback<false>;
        table.liquid_root = &callback<true>;
        host.install(table);
    }
    ~RootWatch() {
        if (active() == this) active() = nullptr;
        if (ReferenceHost::current() == &host_) host_.install();
    }
    RootWatch(const RootWatch &) = delete;
    RootWatch &operator=(const RootWatch &) = delete;

    void start(double t) {
        t_ = t;
        groups_.clear();
    }
    // Close-packed over root volume of each group's last root at T (shifted: at T + dT); -1 for none.
    std::vector<double> packings(bool shifted) const {
        std::vector<double> out;
        for (const Group &g : groups_) out.push_back(shifted ? g.packing_dt : g.packing_t);
        return out;
    }

private:
    struct Group {
        double vcp_t = 0.0, packing_t = -1.0, vcp_dt = 0.0, packing_dt = -1.0;
    };
    static RootWatch *&active() {
        static RootWatch *watch = nullptr;
        return watch;
    }
    static bool same_close_packing(double vcp, double group_vcp) {
        const double raised = group_vcp / 0.74048;
        return vcp == group_vcp || std::fabs(vcp - raised) <= 1e-12 * raised;
    }
    void open(double t, double vcp) {
        const bool at_t = t == t_;
        if (at_t && (groups_.empty() || groups_.back().vcp_dt != 0.0 ||
                     !same_close_packing(vcp, groups_.back().vcp_t)))
            groups_.push_back({vcp});
        if (!at_t && groups_.empty()) groups_.push_back({});
        if (!at_t && groups_.back().vcp_dt == 0.0) groups_.back().vcp_dt = vcp;
    }
    // The end of a search: converged at v, or failed (no root).
    void ended(double t, double v, bool converged) {
        if (groups_.empty()) return;
        Group &g = groups_.back();
        (t == t_ ? g.packing_t : g.packing_dt) = converged && v > 0.0 ? (t == t_ ? g.vcp_t : g.vcp_dt) / v : -1.0;
    }
    template <bool liquid>
    static void callback(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                         const double *vdiv, const double *t, const double *p, double *v, double *p_calc,
                         double *dpdv, const char *id, const std::int64_t *diag) {
        RootWatch *w = active();
        if (!w) return;
        const double v_in = *v;
        if (*state == 4) w->open(*t, *vcp);
        (liquid ? w->liquid_ : w->vapour_)(state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv, id, diag);
        if (*state == 4 || *state == 5) w->ended(*t, v_in, *state == 4);
    }

    ReferenceHost &host_;
    keld_root_fn vapour_ = nullptr, liquid_ = nullptr;
    double t_ = 0.0;
    std::vector<Group> groups_;
};

// The outputs of one call, vectors by position (scalars have one element outside the vector forms).
struct Outputs {
    std::vector<double> phi, h, s, g, v, dphi, dh, ds, dg, dv;
    std::int64_t kstat = 1;

    Outputs(std::size_t n, bool vector_form) {
        const std::size_t scalars = vector_form ? n : 1;
        for (auto *x : {&phi, &dphi}) x->assign(n, kSentinel);
        for (auto *x : {&h, &s, &g, &v, &dh, &ds, &dg, &dv}) x->assign(scalars, kSentinel);
    }
};

struct State {
    double t, p;
    std::int64_t kvl;
    const std::int64_t *flags;
};

class Dump {
public:
    explicit Dump(std::FILE *out) : out_(out) {}

    // Runs `call` over the whole grid for one routine and system; `call` fills the outputs.
    void grid(const char *routine, const char *system, ReferenceHost &host,
              const std::function<void(const State &, Outputs &)> &call, std::size_t n, bool vector_form) {
        host.capture_messages();
        RootWatch watch(host);
        for (double t : kTemperatures)
            for (double p : kPressures)
                for (std::int64_t kvl : {1, 2})
                    for (const auto &flags : kFlagPatterns) {
                        Outputs o(n, vector_form);
                        host.clear_captured_messages();
                        watch.start(t);
                        call({t, p, kvl, flags}, o);
                        write(routine, system, {t, p, kvl, flags}, o, watch.packings(false),
                              watch.packings(true), host.captured_messages().size());
                    }
        ++grids_;
    }
    int grids() const { return grids_; }

private:
    void list(const char *name, const std::vector<double> &x) {
        std::fprintf(out_, " %s=", name);
        for (std::size_t k = 0; k < x.size(); ++k) std::fprintf(out_, k ? ",%a" : "%a", x[k]);
    }
    void packings(const char *name, const std::vector<double> &x) {
        std::fprintf(out_, " %s=", name);
        for (std::size_t k = 0; k < x.size(); ++k)
            x[k] > 0.0 ? std::fprintf(out_, k ? ",%.6f" : "%.6f", x[k]) : std::fprintf(out_, k ? ",-" : "-");
        if (x.empty()) std::fputc('-', out_);
    }
    void write(const char *routine, const char *system, const State &s, const Outputs &o,
               const std::vector<double> &eta, const std::vector<double> &eta_shifted, std::size_t messages) {
        const std::int64_t *f = s.flags;
        std::fprintf(out_, "%s %s %.17g %.17g %" PRId64 " %" PRId64 "%" PRId64 "%" PRId64 "%" PRId64 "%" PRId64
                           " kstat=%" PRId64,
                     routine, system, s.t, s.p, s.kvl, f[0], f[1], f[2], f[3], f[4], o.kstat);
        packings("eta", eta);
        packings("eta_dt", eta_shifted);
        std::fprintf(out_, " msgs=%zu", messages);
        list("phi", o.phi), list("h", o.h), list("s", o.s), list("g", o.g), list("v", o.v);
        list("dphi", o.dphi), list("dh", o.dh), list("ds", o.ds), list("dg", o.dg), list("dv", o.dv);
        std::fputc('\n', out_);
    }

    std::FILE *out_;
    int grids_ = 0;
};

// ---- systems ----------------------------------------------------------------------------------------

struct NamedSystem {
    const char *name;
    void (*build)(System &);
};

const NamedSystem kSolventSystems[] = {
    {"n-hexane", hexane}, {"n-hexane+toluene", hexane_toluene}, {"polystyrene+toluene", polystyrene_toluene}};
const NamedSystem kSaftSystems[] = {{"methane", saft_methane},
                                    {"n-hexane", saft_hexane},
                                    {"n-hexane+toluene", saft_hexane_toluene},
                                    {"polyethylene+n-hexane", saft_polyethylene_hexane}};

// ---- the 27-argument monitors and their vector forms -------------------------------------------------

void scalar_monitor(const State &st, MonitorFn fn, const System &s, Outputs &o) {
    const std::int64_t n = static_cast<std::int64_t>(s.idx.size()), kwork = 0, kspare = 0, kds = 1, kdiag = 4,
                       kopt = 0;
    const std::int64_t *f = st.flags;
    fn(&st.t, &st.p, s.z.data(), &n, s.idx.data(), &kwork, &kspare, &st.kvl, &f[0], &f[1], &f[2], &f[3], &f[4],
       &kds, &kdiag, o.phi.data(), o.h.data(), o.s.data(), o.g.data(), o.v.data(), o.dphi.data(), o.dh.data(),
       o.ds.data(), o.dg.data(), o.dv.data(), &o.kstat, &kopt);
}

void vector_monitor(const State &st, void (*fn)(KELD_VECTOR_ARGS), const System &s, Outputs &o) {
    const std::int64_t n = static_cast<std::int64_t>(s.idx.size()), kwork = 0, kspare = 0, kds = 1, kdiag = 4,
                       kopt = 0;
    const std::vector<double> p(s.idx.size(), st.p);
    const std::int64_t *f = st.flags;
    fn(&st.t, p.data(), &n, s.idx.data(), &kwork, &kspare, &st.kvl, &f[0], &f[1], &f[2], &f[3], &f[4], &kds, &kdiag,
       o.phi.data(), o.h.data(), o.s.data(), o.g.data(), o.v.data(), o.dphi.data(), o.dh.data(), o.ds.data(),
       o.dg.data(), o.dv.data(), &o.kstat, &kopt);
}

void stored_families(Dump &dump) {
    struct Routine {
        const char *name, *vector_name;
        MonitorFn scalar;
        void (*vector)(KELD_VECTOR_ARGS);
        bool saft;
    };
    const Routine routines[] = {{"KELD_ESSLP", "KELD_ESSLPA", KELD_ESSLP, KELD_ESSLPA, false},
                                {"KELD_ESPCSF", "KELD_ESPCSA", KELD_ESPCSF, KELD_ESPCSA, false},
                                {"KELD_PSAFM1", "KELD_ESSFTB", KELD_PSAFM1, KELD_ESSFTB, true}};
    for (const Routine &r : routines) {
        const auto &systems = r.saft ? std::vector<NamedSystem>(std::begin(kSaftSystems), std::end(kSaftSystems))
                                     : std::vector<NamedSystem>(std::begin(kSolventSystems), std::end(kSolventSystems));
        for (const NamedSystem &ns : systems) {
            System s;
            ns.build(s);
            s.host.install();
            dump.grid(r.name, ns.name, s.host, [&](const State &st, Outputs &o) { scalar_monitor(st, r.scalar, s, o); },
                      s.idx.size(), false);
            if (s.idx.size() > 1)
                dump.grid(r.vector_name, ns.name, s.host,
                          [&](const State &st, Outputs &o) { vector_monitor(st, r.vector, s, o); }, s.idx.size(),
                          true);
        }
    }
}

// ---- the argument-driven SAFT monitor and its vector form --------------------------------------------

void essaft_vector(const State &st, ReferenceHost &host, SaftArguments &a, const System &s, Outputs &o) {
    const std::int64_t n = static_cast<std::int64_t>(s.idx.size()), nc = a.nc, kds = 1, kdiag = 4;
    const std::vector<double> p(s.idx.size(), st.p);
    host.number_average_mws(1, n, s.idx.data(), a.mwn.data());
    const std::int64_t *f = st.flags;
    double *w = a.work.data();
    KELD_ESSFTA(&st.t, p.data(), &n, s.idx.data(), &st.kvl, &f[0], &f[1], &f[2], &f[3], &f[4], &kds, &kdiag,
                &o.kstat, a.ids.data(), a.tc.data(), a.pc.data(), a.m.data(), a.v.data(), a.u.data(), a.e.data(),
                a.u0ij.data(), w, w + nc, w + 2 * nc, w + 3 * nc, w + 4 * nc, w + 5 * nc, w + 6 * nc, w + 7 * nc,
                w + 8 * nc, a.mw.data(), a.mwn.data(), a.x.data(), a.tk.data(), a.mij.data(), a.g.data(),
                a.g.data() + nc * nc, a.g.data() + 2 * nc * nc, o.phi.data(), o.h.data(), o.s.data(), o.g.data(),
                o.v.data(), o.dphi.data(), o.dh.data(), o.ds.data(), o.dg.data(), o.dv.data(), a.kij.data(),
                a.lij.data());
}

void argument_saft(Dump &dump) {
    for (const NamedSystem &ns : kSaftSystems) {
        System s;
        ns.build(s);
        s.host.install();
        SaftArguments a(s.host);
        dump.grid("KELD_ESSAFT", ns.name, s.host,
                  [&](const State &st, Outputs &o) {
                      CallOptions opt;
                      opt.kvl = st.kvl;
                      opt.flags = {st.flags[0], st.flags[1], st.flags[2], st.flags[3], st.flags[4]};
                      const MonitorResult r = a.call(s.host, st.t, st.p, s.z, s.idx, opt);
                      o.phi = r.phi, o.dphi = r.dphi;
                      o.h = {r.h}, o.s = {r.s}, o.g = {r.g}, o.v = {r.v};
                      o.dh = {r.dh}, o.ds = {r.ds}, o.dg = {r.dg}, o.dv = {r.dv};
                      o.kstat = r.kstat;
                      for (auto *x : {&o.phi, &o.dphi, &o.h, &o.s, &o.g, &o.v, &o.dh, &o.ds, &o.dg, &o.dv})
                          for (double &y : *x)
                              if (y == kUnwritten) y = kSentinel;
                  },
                  s.idx.size(), false);
        if (s.idx.size() > 1)
            dump.grid("KELD_ESSFTA", ns.name, s.host,
                      [&](const State &st, Outputs &o) { essaft_vector(st, s.host, a, s, o); }, s.idx.size(), true);
    }
}

// ---- the segment-based monitors ----------------------------------------------------------------------

void segment_scalar(const State &st, SegmentFamily family, System &s, Outputs &o) {
    SegmentSettings settings;
    settings.kvl = st.kvl;
    settings.flags = {st.flags[0], st.flags[1], st.flags[2], st.flags[3], st.flags[4]};
    const SegmentResult r = call_segment(family, s.host, st.t, st.p, s.z, s.idx, settings);
    o.phi = r.phi, o.dphi = r.dphi;
    o.h = {r.h}, o.s = {r.s}, o.g = {r.g}, o.v = {r.v};
    o.dh = {r.dh}, o.ds = {r.ds}, o.dg = {r.dg}, o.dv = {r.dv};
    o.kstat = r.kstat;
    for (auto *x : {&o.phi, &o.dphi, &o.h, &o.s, &o.g, &o.v, &o.dh, &o.ds, &o.dg, &o.dv})
        for (double &y : *x)
            if (y == kUnwritten) y = kSentinel;
}

// The vector form of the segment-based SAFT monitor: the SAFT family's root search in its third form.
void saft00(const State &st, System &s, Outputs &o) {
    using namespace keld::refhost::families;
    SegmentArguments a(s.host);
    a.list(s.host, s.idx);
    const std::int64_t n = static_cast<std::int64_t>(s.idx.size()), nc = a.nc;
    const std::vector<double> p(s.idx.size(), st.p);
    std::vector<double> work(static_cast<std::size_t>(a.work_words), 0.0), optvec(s.idx.size(), 0.0),
        optval(s.idx.size(), 0.0);
    auto at = [&](const char *name) { return unary_slice(s.host, name, 1); };
    const auto m = at("SAFTM"), v00 = at("SAFTV"), u0 = at("SAFTU"), ratio = at("SAFTR"), e = at("SAFTE");
    const auto table = table_slice(s.host, "SFTKIJ", 1);
    const std::int64_t words = 6 * nc * nc, kspare = 0, kds = 1, kdiag = 4, kopt = 0;
    const std::int64_t *f = st.flags;
    KELD_SAFT00(&st.t, p.data(), &n, s.idx.data(), work.data(), &kspare, &st.kvl, &f[0], &f[1], &f[2], &f[3], &f[4],
                &kds, &kdiag, o.phi.data(), o.h.data(), o.s.data(), o.g.data(), o.v.data(), o.dphi.data(),
                o.dh.data(), o.ds.data(), o.dg.data(), o.dv.data(), &o.kstat, &kopt, a.mw.data(), a.tc.data(),
                a.pc.data(), m.data(), v00.data(), u0.data(), ratio.data(), e.data(), table.data(), a.source.data(),
                &nc, &a.ns, a.seg.data(), a.mole.data(), a.polymer.data(), &words, optvec.data(), a.mwn.data(),
                optval.data(), a.weight.data());
}

void segment_families(Dump &dump) {
    struct Routine {
        const char *name;
        SegmentFamily family;
        bool saft;
    };
    const Routine routines[] = {{"KELD_PCSF01", SegmentFamily::pcsaft, false},
                                {"KELD_SAFT01", SegmentFamily::saft, true},
                                {"KELD_POSL01", SegmentFamily::sanchez_lacombe, false}};
    for (const Routine &r : routines) {
        const auto &systems = r.saft ? std::vector<NamedSystem>(std::begin(kSaftSystems), std::end(kSaftSystems))
                                     : std::vector<NamedSystem>(std::begin(kSolventSystems), std::end(kSolventSystems));
        for (const NamedSystem &ns : systems) {
            System s;
            ns.build(s);
            s.host.install();
            dump.grid(r.name, ns.name, s.host,
                      [&](const State &st, Outputs &o) { segment_scalar(st, r.family, s, o); }, s.idx.size(), false);
            if (r.saft && s.idx.size() > 1)
                dump.grid("KELD_SAFT00", ns.name, s.host, [&](const State &st, Outputs &o) { saft00(st, s, o); },
                          s.idx.size(), true);
        }
    }
}

// ---- associating PC-SAFT ----------------------------------------------------------------------------

constexpr AssocFluid kStyreneUnit{"STYU", 104.152, 1.97889, 4.1072, 267.0, kNone, kNone, 0, kNone, kNone};
constexpr AssocFluid kHydroxylUnit{"OHU", 44.05, 1.20, 3.30, 250.0, 2300.0, 0.02, 2, kNone, kNone};

void associating(Dump &dump) {
    struct AssocCase {
        const char *name;
        PcsafCall (*build)(PcsafSystem &);
    };
    const AssocCase cases[] = {
        {"methanol",
         [](PcsafSystem &s) {
             PcsafCall c;
             c.idx = {s.add(kMethanol2B)};
             c.z = {1.0};
             return c;
         }},
        {"water4C+methanol",
         [](PcsafSystem &s) {
             PcsafCall c;
             c.idx = {s.add(kWater4C), s.add(kMethanol2B)};
             c.z = {0.5, 0.5};
             return c;
         }},
        {"copolymer+methanol",
         [](PcsafSystem &s) {
             const auto a = s.add_segment(kStyreneUnit), b = s.add_segment(kHydroxylUnit);
             const auto me = s.add(kMethanol2B);
             const auto p = s.add_polymer("COPOLY", kStyreneUnit.mw, {{a, 6000.0}, {b, 4000.0}});
             const double n_p = 0.05 / kStyreneUnit.mw, n_me = 0.95 / kMethanol2B.mw;
             PcsafCall c;
             c.idx = {me, p};
             c.z = {n_me / (n_p + n_me), n_p / (n_p + n_me)};
             return c;
         }},
    };
    for (const AssocCase &ac : cases) {
        PcsafSystem sys;
        const PcsafCall base = ac.build(sys);
        sys.host.install();
        dump.grid("KELD_PCSAF1", ac.name, sys.host,
                  [&](const State &st, Outputs &o) {
                      PcsafCall c = base;
                      c.t = st.t, c.p = st.p, c.kvl = st.kvl;
                      c.flags = {st.flags[0], st.flags[1], st.flags[2], st.flags[3], st.flags[4]};
                      const PcsafResult r = sys.call(c, 0, false);
                      o.phi = r.phi, o.dphi = r.dphi;
                      o.h = {r.h}, o.s = {r.s}, o.g = {r.g}, o.v = {r.v};
                      o.dh = {r.dh}, o.ds = {r.ds}, o.dg = {r.dg}, o.dv = {r.dv};
                      o.kstat = r.status;
                  },
                  base.idx.size(), false);
    }
}

// ---- the cubic with excess-Gibbs mixing ---------------------------------------------------------------

void cubic(Dump &dump) {
    struct CubicCase {
        const char *name;
        std::vector<std::int64_t> idx;
        std::vector<double> z;
        std::int64_t krule, kmodel;
        std::int64_t keosopt = 0;
    };
    // Components of the cubic test case: 1 acetone, 2 methanol, 3 n-hexane, 4 n-pentane, 5 toluene, 7 PS.
    // Every rule and every excess-Gibbs model at least once; methanol with its Mathias-Copeman constants.
    const CubicCase cases[] = {
        {"n-hexane", {3}, {1.0}, 1, 1},
        {"acetone+methanol+n-hexane/vdW", {1, 2, 3}, {0.3, 0.3, 0.4}, 1, 1},
        {"acetone+methanol+n-hexane/MHV2-UNIFAC", {1, 2, 3}, {0.3, 0.3, 0.4}, 4, 7},
        {"acetone+methanol+n-hexane/WS-NRTL", {1, 2, 3}, {0.3, 0.3, 0.4}, 2, 5},
        {"polystyrene+toluene/WS-RK", {7, 5}, {0.2, 0.8}, 2, 2},
        {"acetone+methanol+n-hexane/MHV1-ideal", {1, 2, 3}, {0.3, 0.3, 0.4}, 3, 1},
        {"acetone+methanol+n-hexane/MHV2-Wilson", {1, 2, 3}, {0.3, 0.3, 0.4}, 4, 3},
        {"acetone+methanol+n-hexane/WS-VanLaar", {1, 2, 3}, {0.3, 0.3, 0.4}, 2, 4},
        {"acetone+methanol+n-hexane/MHV1-UNIQUAC", {1, 2, 3}, {0.3, 0.3, 0.4}, 3, 6},
        {"polystyrene+toluene/MHV1-UNIQUAC", {7, 5}, {0.2, 0.8}, 3, 6},
        {"polystyrene+toluene/WS-UNIFAC", {7, 5}, {0.2, 0.8}, 2, 7},
        {"methanol/Mathias-Copeman", {2}, {1.0}, 1, 1, 2},
        {"acetone+methanol/MHV2-NRTL-Mathias-Copeman", {1, 2}, {0.4, 0.6}, 4, 5, 2},
    };
    keld::refhost::Case c = cubic_case();
    const double methanol_mathias_copeman[3] = {1.0, -0.3, 0.2};
    c.host->set_record("RKSMC", 2, methanol_mathias_copeman);
    for (const CubicCase &cc : cases) {
        auto scalar = [&](const State &st, Outputs &o) {
            const std::int64_t n = static_cast<std::int64_t>(cc.idx.size()), kwork = 0, kspare = 0, kds = 1,
                               kdiag = 4, keosopt = cc.keosopt, kpass = 0;
            const std::int64_t *f = st.flags;
            KELD_ES40(&st.t, &st.p, cc.z.data(), &n, cc.idx.data(), &kwork, &kspare, &st.kvl, &f[0], &f[1], &f[2],
                      &f[3], &f[4], &kds, &kdiag, &keosopt, &cc.kmodel, &cc.krule, o.phi.data(), o.h.data(),
                      o.s.data(), o.g.data(), o.v.data(), o.dphi.data(), o.dh.data(), o.ds.data(), o.dg.data(),
                      o.dv.data(), &o.kstat, &kpass);
        };
        dump.grid("KELD_ES40", cc.name, *c.host, scalar, cc.idx.size(), false);
        if (cc.idx.size() > 1) {
            auto vector = [&](const State &st, Outputs &o) {
                const std::int64_t n = static_cast<std::int64_t>(cc.idx.size()), kwork = 0, kspare = 0, kds = 1,
                                   kdiag = 4, keosopt = cc.keosopt, kpass = 0;
                const std::vector<double> p(cc.idx.size(), st.p);
                const std::int64_t *f = st.flags;
                KELD_ES40A(&st.t, p.data(), &n, cc.idx.data(), &kwork, &kspare, &st.kvl, &f[0], &f[1], &f[2],
                           &f[3], &f[4], &kds, &kdiag, &keosopt, o.phi.data(), o.h.data(), o.s.data(), o.g.data(),
                           o.v.data(), o.dphi.data(), o.dh.data(), o.ds.data(), o.dg.data(), o.dv.data(),
                           &cc.kmodel, &cc.krule, &o.kstat, &kpass);
            };
            dump.grid("KELD_ES40A", cc.name, *c.host, vector, cc.idx.size(), true);
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    const bool to_stdout = argc < 2 || std::strcmp(argv[1], "-") == 0;
    std::FILE *out = to_stdout ? stdout : std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    Dump dump(out);
    stored_families(dump);
    argument_saft(dump);
    segment_families(dump);
    associating(dump);
    cubic(dump);
    const bool written = std::fflush(out) == 0 && (to_stdout || std::fclose(out) == 0);
    std::fprintf(stderr, "keld_values_dump: %d grids of %zu calls\n", dump.grids(),
                 std::size(kTemperatures) * std::size(kPressures) * 2 * std::size(kFlagPatterns));
    return written ? 0 : 1;
}
