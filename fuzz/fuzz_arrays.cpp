// libFuzzer harness of the exported routines of keld.h whose parameters,
// tables and work arrays come as arguments: the argument-driven SAFT monitor
// and its vector form, the segment-based PC-SAFT, SAFT and Sanchez-Lacombe
// monitors and vector forms, the work-array positions, the association
// routine, the associating PC-SAFT monitor and its vector form, and their
// gfortran aliases.
//
// Every array is built as a simulator would build it from the reference host
// (fuzz_host.h), sized exactly as the call's own counts say, and sits between
// guard words; then the input spoils counts, flags, lengths and entries. A call
// must not write outside its arrays, and must leave the host store as it was
// (save the words a monitor publishes for the host).
#include <cstdint>
#include <vector>

#include "fuzz_arrays.h"
#include "keld/keld.h"

namespace {

using namespace keld::fuzz;
// ---- SAFT with parameters as arguments (51 / 50 arguments) --------------------------------------------

template <class Routine>
void saft_arguments(Routine routine, bool vector, FuzzedDataProvider &in, FuzzHost &h, State &s) {
    const std::int64_t nc = h.host.component_count(), nds = h.host.data_set_count();
    const std::size_t n = len(s.n), c = static_cast<std::size_t>(nc);
    Real cid(2 * c);
    for (std::size_t k = 0; k < 2 * c; ++k) cid[k] = h.host.store()[h.host.offsets4(2) + k];
    Real m = unary(h, "SAFTM"), v = unary(h, "SAFTV"), u = unary(h, "SAFTU"), e = unary(h, "SAFTE"),
         mw = component(h, "MW"), tc = component(h, "TC"), mwn(n), x(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t i = s.idx[k];
        mwn[k] = i >= 1 && i <= nc ? h.host.number_average_mw(i) : 100.0;
        x[k] = s.z[k];
    }
    m[h.ps - 1] = 1e5 * (4.719 / 106.167), v[h.ps - 1] = 0.012681, u[h.ps - 1] = 248.79, e[h.ps - 1] = 10.0;
    Real kij(c * c * static_cast<std::size_t>(nds), 0.0), lij = kij;
    kij[(h.hex - 1) * c + h.tol - 1] = kij[(h.tol - 1) * c + h.hex - 1] = 0.01;
    spoil(in, {&m, &v, &u, &e, &mw, &tc, &mwn, &x, &kij});
    GuardedReal g_cid(cid), g_tc(tc), g_pc2(c), g_m(m), g_v(v), g_u(u), g_e(e), g_u0(c * c), g_mw(mw), g_mwn(mwn),
        g_x(x), g_tk(n), g_xmij(c * c), g_gij(n * n), g_gijd(n * n), g_gijdd(n * n), g_kij(kij), g_lij(lij);
    std::vector<GuardedReal> vec(9, GuardedReal(n));
    const std::size_t outputs = vector ? n : 1;
    GuardedReal phi(n), dphi(n), hh(outputs), ss(outputs), gg(outputs), vv(outputs), dh(outputs), ds(outputs),
        dg(outputs), dv(outputs);
    GuardedInt kstat(Int{1});
    if constexpr (requires { routine(&s.t, &s.p, s.z.data(), &s.n, s.idx.data(), &s.kvl, &s.flags[0], &s.flags[1],
                                     &s.flags[2], &s.flags[3], &s.flags[4], &s.kds, &s.kdiag, kstat.data(),
                                     g_cid.data(), g_tc.data(), g_pc2.data(), g_m.data(), g_v.data(), g_u.data(),
                                     g_e.data(), g_u0.data(), vec[0].data(), vec[1].data(), vec[2].data(),
                                     vec[3].data(), vec[4].data(), vec[5].data(), vec[6].data(), vec[7].data(),
                                     vec[8].data(), g_mw.data(), g_mwn.data(), g_x.data(), g_tk.data(),
                                     g_xmij.data(), g_gij.data(), g_gijd.data(), g_gijdd.data(), phi.data(),
                                     hh.data(), ss.data(), gg.data(), vv.data(), dphi.data(), dh.data(), ds.data(),
                                     dg.data(), dv.data(), g_kij.data(), g_lij.data()); }) {
        routine(&s.t, &s.p, s.z.data(), &s.n, s.idx.data(), &s.kvl, &s.flags[0], &s.flags[1], &s.flags[2],
                &s.flags[3], &s.flags[4], &s.kds, &s.kdiag, kstat.data(), g_cid.data(), g_tc.data(), g_pc2.data(),
                g_m.data(), g_v.data(), g_u.data(), g_e.data(), g_u0.data(), vec[0].data(), vec[1].data(),
                vec[2].data(), vec[3].data(), vec[4].data(), vec[5].data(), vec[6].data(), vec[7].data(),
                vec[8].data(), g_mw.data(), g_mwn.data(), g_x.data(), g_tk.data(), g_xmij.data(), g_gij.data(),
                g_gijd.data(), g_gijdd.data(), phi.data(), hh.data(), ss.data(), gg.data(), vv.data(), dphi.data(),
                dh.data(), ds.data(), dg.data(), dv.data(), g_kij.data(), g_lij.data());
    } else {
        routine(&s.t, s.pressures.data(), &s.n, s.idx.data(), &s.kvl, &s.flags[0], &s.flags[1], &s.flags[2],
                &s.flags[3], &s.flags[4], &s.kds, &s.kdiag, kstat.data(), g_cid.data(), g_tc.data(), g_pc2.data(),
                g_m.data(), g_v.data(), g_u.data(), g_e.data(), g_u0.data(), vec[0].data(), vec[1].data(),
                vec[2].data(), vec[3].data(), vec[4].data(), vec[5].data(), vec[6].data(), vec[7].data(),
                vec[8].data(), g_mw.data(), g_mwn.data(), g_x.data(), g_tk.data(), g_xmij.data(), g_gij.data(),
                g_gijd.data(), g_gijdd.data(), phi.data(), hh.data(), ss.data(), gg.data(), vv.data(), dphi.data(),
                dh.data(), ds.data(), dg.data(), dv.data(), g_kij.data(), g_lij.data());
    }
    check_all(g_cid, g_tc, g_pc2, g_m, g_v, g_u, g_e, g_u0, g_mw, g_mwn, g_x, g_tk, g_xmij, g_gij, g_gijd, g_gijdd,
              g_kij, g_lij, phi, dphi, hh, ss, gg, vv, dh, ds, dg, dv, kstat);
    for (const GuardedReal &w : vec) w.check();
}

// ---- segment-based monitors ---------------------------------------------------------------------------

enum class Segment { pcsaft, saft, sanchez_lacombe };

// Everything a segment-based call takes besides the state, sized by its NC and NS.
struct SegmentCall {
    std::int64_t nc = 0, ns = 0, kijwords = 0, etawords = 0, nwork = 0, iopt = 0, ioptc = 0, kpass = 0;
    double optfac = 1.0;
    GuardedReal w, mw, tc, pc, p1, p2, p3, p4, p5, kij, eta, source, segmol, segwt, optvec, optout, x, mwn, optval;
    GuardedInt seg, poly;

    SegmentCall(FuzzedDataProvider &in, FuzzHost &h, const State &s, Segment family) {
        const std::int64_t host_nc = h.host.component_count();
        nc = count(in, host_nc);
        ns = count(in, 1);
        const std::int64_t c = static_cast<std::int64_t>(len(nc));
        Real par[5];
        const char *names[3][5] = {{"PCSFTM", "PCSFTV", "PCSFTU", "PCSFTR", "PCSFTR"},
                                   {"SAFTM", "SAFTV", "SAFTU", "SAFTR", "SAFTE"},
                                   {"SLTSTR", "SLPSTR", "SLRSTR", "SLTSTR", "SLTSTR"}};
        for (int k = 0; k < 5; ++k) par[k] = by_component(unary(h, names[static_cast<int>(family)][k]), nc);
        Real mwv = by_component(component(h, "MW"), nc), tcv = by_component(component(h, "TC"), nc),
             pcv = by_component(component(h, "PC"), nc);
        Real table(6 * len2(nc, nc), 0.0), etav = table, segm(len2(nc, ns), 0.0), segw = segm;
        if (len(ns) > 0 && h.ps <= c) segm[h.ps - 1] = segw[h.ps - 1] = 1.0;
        Real mwnv(len(s.n)), optv(len(s.n), 1.0);
        for (std::size_t k = 0; k < mwnv.size(); ++k)
            mwnv[k] = s.idx[k] >= 1 && s.idx[k] <= host_nc ? h.host.number_average_mw(s.idx[k]) : 50.0;
        spoil(in, {&par[0], &par[1], &par[2], &par[3], &par[4], &mwv, &tcv, &table, &segm, &mwnv});
        Int segv(len(ns), h.sty), polyv(len(nc), 0);
        if (h.ps <= c) polyv[h.ps - 1] = 1;
        if (!segv.empty() && in.ConsumeBool()) segv[0] = small(in, -1, c + 1);
        const std::int64_t words = 6 * static_cast<std::int64_t>(len2(nc, nc));
        kijwords = in.ConsumeBool() ? words : small(in, -1, words);
        etawords = in.ConsumeBool() ? words : small(in, -1, words);
        const std::int64_t need = (5 * c + 25) * c + 1;
        nwork = in.ConsumeBool() ? need : small(in, -1, need);
        iopt = small(in, 0, 3);
        ioptc = small(in, 0, c + 1);
        optfac = in.ConsumeBool() ? 1.0 : hostile(in);
        w = GuardedReal(static_cast<std::size_t>(need));
        mw = GuardedReal(mwv), tc = GuardedReal(tcv), pc = GuardedReal(pcv);
        p1 = GuardedReal(par[0]), p2 = GuardedReal(par[1]), p3 = GuardedReal(par[2]), p4 = GuardedReal(par[3]),
        p5 = GuardedReal(par[4]);
        kij = GuardedReal(table), eta = GuardedReal(etav), source = GuardedReal(Real(len(nc), 0.0));
        segmol = GuardedReal(segm), segwt = GuardedReal(segw), seg = GuardedInt(segv), poly = GuardedInt(polyv);
        optvec = GuardedReal(len(s.n)), optout = GuardedReal(1), x = GuardedReal(len(s.n));
        mwn = GuardedReal(mwnv), optval = GuardedReal(optv);
    }
    void check() const {
        check_all(w, mw, tc, pc, p1, p2, p3, p4, p5, kij, eta, source, segmol, segwt, optvec, optout, x, mwn, optval,
                  seg, poly);
    }
};

// The ten output slots: scalars (full forms) or arrays of N (vector forms).
struct Outputs {
    GuardedReal phi, dphi, h, s, g, v, dh, ds, dg, dv;
    GuardedInt kstat{Int{1}};
    Outputs(std::size_t n, std::size_t scalar)
        : phi(n), dphi(n), h(scalar), s(scalar), g(scalar), v(scalar), dh(scalar), ds(scalar), dg(scalar),
          dv(scalar) {}
    void check() const { check_all(phi, dphi, h, s, g, v, dh, ds, dg, dv, kstat); }
};

#define KELD_FUZZ_HEAD(...)                                                                                        \
    &s.t, __VA_ARGS__, &s.n, s.idx.data(), a.w.data(), &s.kspare, &s.kvl, &s.flags[0], &s.flags[1], &s.flags[2],           \
        &s.flags[3], &s.flags[4], &s.kds, &s.kdiag, o.phi.data(), o.h.data(), o.s.data(), o.g.data(), o.v.data(),  \
        o.dphi.data(), o.dh.data(), o.ds.data(), o.dg.data(), o.dv.data(), o.kstat.data(), &s.kopt, a.mw.data()
#define KELD_FUZZ_TAIL &a.nc, &a.ns, a.seg.data(), a.segmol.data(), a.poly.data()
#define KELD_FUZZ_OPTIONS                                                                                          \
    &a.iopt, &a.ioptc, a.optvec.data(), &a.optfac, &a.nwork, &a.kpass, &a.kpass, a.optout.data(), a.x.data(),      \
        a.mwn.data(), a.optval.data(), a.segwt.data()

void segment(int which, FuzzedDataProvider &in, FuzzHost &h, State &s) {
    const Segment family = static_cast<Segment>(which / 4);
    const bool vector = which % 4 >= 2, alias = which % 2 == 1;
    SegmentCall a(in, h, s, family);
    Outputs o(len(s.n), vector ? len(s.n) : 1);
    const double *z = s.z.data(), *p = vector ? s.pressures.data() : &s.p;
    switch (family) {
    case Segment::pcsaft:
        if (!vector)
            (alias ? keld_pcsf01_ : KELD_PCSF01)(KELD_FUZZ_HEAD(p, z), a.tc.data(), a.pc.data(), a.p1.data(),
                                                 a.p2.data(), a.p3.data(), a.p4.data(), a.kij.data(), a.source.data(),
                                                 KELD_FUZZ_TAIL, &a.kijwords, KELD_FUZZ_OPTIONS);
        else
            (alias ? keld_pcsf00_ : KELD_PCSF00)(KELD_FUZZ_HEAD(p), a.tc.data(), a.pc.data(), a.p1.data(),
                                                 a.p2.data(), a.p3.data(), a.p4.data(), a.kij.data(), a.source.data(),
                                                 KELD_FUZZ_TAIL, &a.kijwords, a.optvec.data(), a.mwn.data(),
                                                 a.optval.data(), a.segwt.data());
        break;
    case Segment::saft:
        if (!vector)
            (alias ? keld_saft01_ : KELD_SAFT01)(KELD_FUZZ_HEAD(p, z), a.tc.data(), a.pc.data(), a.p1.data(),
                                                 a.p2.data(), a.p3.data(), a.p4.data(), a.p5.data(), a.kij.data(),
                                                 a.source.data(), KELD_FUZZ_TAIL, &a.kijwords, KELD_FUZZ_OPTIONS);
        else
            (alias ? keld_saft00_ : KELD_SAFT00)(KELD_FUZZ_HEAD(p), a.tc.data(), a.pc.data(), a.p1.data(),
                                                 a.p2.data(), a.p3.data(), a.p4.data(), a.p5.data(), a.kij.data(),
                                                 a.source.data(), KELD_FUZZ_TAIL, &a.kijwords, a.optvec.data(),
                                                 a.mwn.data(), a.optval.data(), a.segwt.data());
        break;
    case Segment::sanchez_lacombe:
        if (!vector)
            (alias ? keld_posl01_ : KELD_POSL01)(KELD_FUZZ_HEAD(p, z), a.p1.data(), a.p2.data(), a.p3.data(),
                                                 a.kij.data(), a.eta.data(), a.source.data(), KELD_FUZZ_TAIL,
                                                 &a.kijwords, &a.etawords, KELD_FUZZ_OPTIONS);
        else
            (alias ? keld_posl00_ : KELD_POSL00)(KELD_FUZZ_HEAD(p), a.p1.data(), a.p2.data(), a.p3.data(),
                                                 a.kij.data(), a.eta.data(), a.source.data(), KELD_FUZZ_TAIL,
                                                 &a.kijwords, &a.etawords, a.optvec.data(), a.mwn.data(),
                                                 a.optval.data(), a.segwt.data());
        break;
    }
    a.check();
    o.check();
    if (o.kstat[0] != 0 && o.kstat[0] != 1) fail("KSTAT neither kept nor cleared");
}

template <class Routine>
void work_positions(Routine routine, FuzzedDataProvider &in) {
    const std::int64_t nc = count(in, 5);
    std::vector<GuardedInt> k(36, GuardedInt(1));
    routine(k[0].data(), k[1].data(), k[2].data(), k[3].data(), k[4].data(), k[5].data(), k[6].data(), k[7].data(),
            k[8].data(), k[9].data(), k[10].data(), k[11].data(), k[12].data(), k[13].data(), k[14].data(),
            k[15].data(), k[16].data(), k[17].data(), k[18].data(), k[19].data(), k[20].data(), k[21].data(),
            k[22].data(), k[23].data(), k[24].data(), k[25].data(), k[26].data(), k[27].data(), k[28].data(),
            k[29].data(), k[30].data(), k[31].data(), k[32].data(), k[33].data(), k[34].data(), k[35].data(), &nc);
    for (const GuardedInt &g : k) g.check();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static FuzzHost h;
    FuzzedDataProvider in(data, size);
    const int routine = in.ConsumeIntegralInRange<int>(0, 23);
    if (std::getenv("KELD_FUZZ_VERBOSE")) std::fprintf(stderr, "routine %d\n", routine);
    const bool vector_form = routine == 2 || routine == 3 || (routine >= 8 && routine < 20 && (routine - 8) % 4 >= 2) ||
                             routine >= 22;
    State s = state(in, h, vector_form);
    const StoreSnapshot before(h);
    switch (routine) {
    case 0: saft_arguments(KELD_ESSAFT, false, in, h, s); break;
    case 1: saft_arguments(keld_essaft_, false, in, h, s); break;
    case 2: saft_arguments(KELD_ESSFTA, true, in, h, s); break;
    case 3: saft_arguments(keld_essfta_, true, in, h, s); break;
    case 4: work_positions(KELD_PCSFWK, in); break;
    case 5: work_positions(keld_pcsfwk_, in); break;
    case 6: association(false, in, h, s); break;
    case 7: association(true, in, h, s); break;
    default:
        if (routine < 20) segment(routine - 8, in, h, s);
        else associating_monitor(routine - 20, in, h, s);
        break;
    }
    before.verify();
    before.restore();
    return 0;
}
