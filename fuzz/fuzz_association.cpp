// The association routine and the associating PC-SAFT monitors in the harness
// of the routines whose parameters come as arguments (fuzz_arrays.cpp): arrays
// gathered from the reference host's methanol, n-hexane, toluene and
// polystyrene (by its styrene segment), sized by the call's own counts and
// guarded, then spoiled by the input.
#include <cmath>
#include <cstdint>
#include <vector>

#include "fuzz_arrays.h"
#include "keld/keld.h"

namespace keld::fuzz {
namespace {

// The work length a call asks for (LWORK = -1), or a hostile one below it;
// the work array always has the length the call is told.
std::int64_t work_length(FuzzedDataProvider &in, double asked) {
    const std::int64_t needed = asked >= 1.0 && asked <= 4.0e6 ? static_cast<std::int64_t>(asked) : 1;
    return in.ConsumeBool() ? needed : in.ConsumeIntegralInRange<std::int64_t>(-2, needed);
}

// Parameters by component as the associating monitors take them.
struct Components {
    Real sigma, eps, m, mw, eps_ab, kappa_ab;
    Int types;
    Components(const FuzzHost &h, std::int64_t nc) {
        sigma = by_component(unary(h, "PCSFTV"), nc), eps = by_component(unary(h, "PCSFTU"), nc);
        m = by_component(unary(h, "PCSFTM"), nc), mw = by_component(component(h, "MW"), nc);
        types.assign(len(nc), 0);
        eps_ab.assign(len(nc), 0.0), kappa_ab.assign(len(nc), 0.0);
        if (h.meoh <= nc) types[h.meoh - 1] = 2, eps_ab[h.meoh - 1] = 2899.5, kappa_ab[h.meoh - 1] = 0.035176;
        if (h.sty <= nc) m[h.sty - 1] = 0.0190 * 104.152;
        if (h.ps <= nc) m[h.ps - 1] = 0.0190 * 1e5, sigma[h.ps - 1] = 4.1072, eps[h.ps - 1] = 267.0;
    }
};

std::int64_t site_type(FuzzedDataProvider &in, std::int64_t plausible) {
    static const std::int64_t codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 20, 21, 121, 1211, -3};
    return in.ConsumeIntegralInRange<int>(0, 5) == 0 ? codes[in.ConsumeIntegralInRange<int>(0, 14)] : plausible;
}

}  // namespace

void association(bool alias, FuzzedDataProvider &in, FuzzHost &h, State &s) {
    const std::int64_t nc = count(in, h.host.component_count()), ncp = s.n;
    const std::size_t c = len(nc), n = len(ncp);
    Components p(h, nc);
    Real x = s.z, m(n), d(c), tdd(c), covolume(c, 0.03), crule(c * c, 0.0), zpack(4, 0.0);
    for (std::size_t i = 0; i < c; ++i) {
        const double e = std::exp(-3.0 * p.eps[i] / s.t);
        d[i] = 0.08444643735037098 * p.sigma[i] * (1.0 - 0.12 * e);
        tdd[i] = -0.010133572482044518 * p.sigma[i] * (3.0 * p.eps[i] / s.t) * e;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t i = s.idx[k];
        m[k] = i >= 1 && i <= nc ? p.m[i - 1] : 1.0;
        for (int j = 0; j < 4; ++j) zpack[j] += 0.5235987756 * x[k] * m[k] * std::pow(i >= 1 && i <= nc ? d[i - 1] : 0.3, j);
    }
    Int nseg(c, 0), iseg(c, h.sty), iasl;
    Real wseg(c, 0.0), fseg(c, 0.0), epsa, vola;
    if (h.ps <= nc) nseg[h.ps - 1] = 1, wseg[h.ps - 1] = 1e5 / 104.152, fseg[h.ps - 1] = 1.0;
    for (std::size_t i = 0; i < c; ++i) p.types[i] = site_type(in, p.types[i]);
    if (h.meoh <= nc) iasl.push_back(h.meoh);
    const std::int64_t nv = count(in, static_cast<std::int64_t>(iasl.size()));
    iasl.resize(len(nv), h.meoh);
    epsa.assign(len2(nv, nv), 2899.5), vola.assign(len2(nv, nv), 0.035176);
    spoil(in, {&x, &m, &d, &tdd, &epsa, &vola, &zpack, &p.eps_ab, &wseg, &fseg});
    const double rho = in.ConsumeBool() ? in.ConsumeFloatingPointInRange<double>(0.0, 30.0) : hostile(in);
    const double bmix = 0.03, tolerance = in.ConsumeBool() ? 1e-10 : hostile(in);
    const std::int64_t lseg = count(in, 1), requests[4] = {small(in, 0, 1), small(in, 0, 1), small(in, 0, 1),
                                                           small(in, 0, 1)};
    const std::int64_t iopt = in.ConsumeBool() ? 20 : small(in, 0, 1), single = small(in, 0, 1),
                       method = small(in, 0, 2), unit = 99, model = small(in, 0, 1), start = small(in, 0, 2);
    const std::int64_t mxv = count(in, 4 * static_cast<std::int64_t>(n) + 4), lxa = count(in, 4);
    if (len(lseg) != 1) nseg.assign(c, 0), iseg.assign(len2(lseg, nc), h.sty), wseg.assign(iseg.size(), 0.0),
                        fseg.assign(iseg.size(), 0.0);
    GuardedInt g_idx(s.idx), g_nseg(nseg), g_iseg(iseg), g_type(p.types), g_iasl(iasl), g_nvar(1), g_no(len(mxv)),
        g_isite(len(mxv)), g_ifail(1);
    GuardedReal g_x(x), g_m(m), g_sigma(p.sigma), g_mark(p.eps_ab), g_d(d), g_tdd(tdd), g_wseg(wseg), g_fseg(fseg),
        g_b(covolume), g_epsa(epsa), g_vola(vola), g_z(zpack), g_crule(crule), g_a(1), g_ar(1), g_ar2(1), g_at(1),
        g_ax(n), g_del(len2(nv, nv)), g_delr(len2(nv, nv)), g_delr2(len2(nv, nv)), g_delt(len2(nv, nv)),
        g_xa(len2(lxa, ncp));
    auto run = [&](double *work, std::int64_t lwork) {
        (alias ? keld_pcsaf5_ : KELD_PCSAF5)(
            &s.t, &rho, &ncp, &nc, g_idx.data(), g_x.data(), g_m.data(), g_sigma.data(), g_mark.data(), g_d.data(),
            g_tdd.data(), g_nseg.data(), &lseg, g_iseg.data(), g_wseg.data(), g_fseg.data(), g_type.data(), g_b.data(),
            &bmix, &nv, g_iasl.data(), g_epsa.data(), g_vola.data(), g_z.data(), in.ConsumeBool() ? g_crule.data() : nullptr,
            &requests[0], &requests[1], &requests[2], &requests[3], &iopt, &single, &tolerance, &method, &s.kdiag,
            &unit, &model, &start, g_a.data(), g_ar.data(), g_ar2.data(), g_at.data(), g_ax.data(), g_del.data(),
            g_delr.data(), g_delr2.data(), g_delt.data(), &mxv, g_nvar.data(), g_no.data(), g_isite.data(), &lxa,
            g_xa.data(), g_ifail.data(), work, &lwork);
    };
    GuardedReal query(1);
    run(query.data(), -1);
    query.check();
    const std::int64_t lwork = work_length(in, query[0]);
    GuardedReal work(static_cast<std::size_t>(std::max<std::int64_t>(lwork, 1)));
    run(work.data(), lwork);
    check_all(work, g_idx, g_nseg, g_iseg, g_type, g_iasl, g_nvar, g_no, g_isite, g_ifail, g_x, g_m, g_sigma, g_mark,
              g_d, g_tdd, g_wseg, g_fseg, g_b, g_epsa, g_vola, g_z, g_crule, g_a, g_ar, g_ar2, g_at, g_ax, g_del,
              g_delr, g_delr2, g_delt, g_xa);
}

void associating_monitor(int which, FuzzedDataProvider &in, FuzzHost &h, State &s) {
    const bool vector = which >= 2, alias = which % 2 == 1;
    const std::int64_t nc = count(in, h.host.component_count());
    const std::size_t c = len(nc), n = len(s.n), scalar = vector ? n : 1;
    Components p(h, nc);
    Real tc = by_component(component(h, "TC"), nc), pc = by_component(component(h, "PC"), nc);
    Real eps_ab(c * c, kMissing), kappa_ab(c * c, kMissing), dipole(c, 0.0), xp(c, 0.0);
    for (std::size_t i = 0; i < c; ++i) eps_ab[i * c + i] = p.eps_ab[i], kappa_ab[i * c + i] = p.kappa_ab[i];
    if (h.meoh <= nc) dipole[h.meoh - 1] = 1.7, xp[h.meoh - 1] = 0.3;
    for (std::size_t i = 0; i < c; ++i) p.types[i] = site_type(in, p.types[i]);
    const std::int64_t lseg = count(in, 1);
    Int nseg(c, 0), iseg(len2(lseg, nc), h.sty);
    Real wseg(iseg.size(), 0.0), kij(6 * c * c, 0.0), lij(4 * c * c, 0.0);
    if (h.ps <= nc && len(lseg) >= 1) nseg[h.ps - 1] = 1, wseg[(h.ps - 1) * len(lseg)] = 1e5;
    if (h.ps <= nc) p.sigma[h.ps - 1] = kMissing, p.eps[h.ps - 1] = kMissing;
    spoil(in, {&p.m, &p.sigma, &p.eps, &p.mw, &tc, &pc, &eps_ab, &kappa_ab, &dipole, &xp, &wseg, &kij});
    const std::int64_t kopt[3] = {0, in.ConsumeBool() ? 10 : small(in, 0, 1), small(in, 0, 1) ? 20 : small(in, 0, 11)};
    const double tolerance = in.ConsumeBool() ? 1e-10 : hostile(in);
    const std::int64_t method = small(in, 0, 2), unit = 99;
    GuardedInt kstat(Int{1}), g_idx(s.idx), g_type(p.types), g_nseg(nseg), g_iseg(iseg);
    GuardedReal g_z(s.z), g_mw(p.mw), g_tc(tc), g_pc(pc), g_m(p.m), g_sig(p.sigma), g_eps(p.eps), g_eab(eps_ab),
        g_kab(kappa_ab), g_mu(dipole), g_xp(xp), g_wseg(wseg), g_kij(kij), g_lij(lij), phi(n), hh(scalar),
        ss(scalar), gg(scalar), vv(scalar), dphi(n), dh(scalar), ds(scalar), dg(scalar), dv(scalar),
        rho(Real(scalar, in.ConsumeBool() ? 0.0 : hostile(in)));
    const std::int64_t *nseg_arg = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : g_nseg.data();
    auto run = [&](double *work, std::int64_t lwork) {
        if (!vector)
            (alias ? keld_pcsaf1_ : KELD_PCSAF1)(
                &s.t, &s.p, &s.n, &nc, &s.kvl, &s.flags[0], &s.flags[1], &s.flags[2], &s.flags[3], &s.flags[4],
                &s.kdiag, kopt, kstat.data(), g_idx.data(), g_z.data(), g_mw.data(), g_tc.data(), g_pc.data(), &s.kds,
                g_m.data(), g_sig.data(), g_eps.data(), g_type.data(), g_eab.data(), g_kab.data(), g_mu.data(),
                g_xp.data(), phi.data(), hh.data(), ss.data(), gg.data(), vv.data(), dphi.data(), dh.data(), ds.data(),
                dg.data(), dv.data(), nseg_arg, &lseg, g_iseg.data(), g_wseg.data(), g_kij.data(), g_lij.data(),
                &tolerance, &method, &unit, rho.data(), &lwork, work, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr);
        else
            (alias ? keld_pcsaf0_ : KELD_PCSAF0)(
                &s.t, s.pressures.data(), &s.n, &nc, &s.kvl, &s.flags[0], &s.flags[1], &s.flags[2], &s.flags[3],
                &s.flags[4], &s.kdiag, kopt, kstat.data(), g_idx.data(), g_mw.data(), g_tc.data(), g_pc.data(), &s.kds,
                g_m.data(), g_sig.data(), g_eps.data(), g_type.data(), g_eab.data(), g_kab.data(), g_mu.data(),
                g_xp.data(), phi.data(), hh.data(), ss.data(), gg.data(), vv.data(), dphi.data(), dh.data(), ds.data(),
                dg.data(), dv.data(), nseg_arg, &lseg, g_iseg.data(), g_wseg.data(), g_kij.data(), g_lij.data(),
                &tolerance, &method, &unit, rho.data(), &lwork, work, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr);
    };
    GuardedReal query(1);
    run(query.data(), -1);
    query.check();
    const std::int64_t lwork = work_length(in, query[0]);
    GuardedReal work(static_cast<std::size_t>(std::max<std::int64_t>(lwork, 1)));
    run(work.data(), lwork);
    check_all(work, kstat, g_idx, g_type, g_nseg, g_iseg, g_z, g_mw, g_tc, g_pc, g_m, g_sig, g_eps, g_eab, g_kab, g_mu,
              g_xp, g_wseg, g_kij, g_lij, phi, hh, ss, gg, vv, dphi, dh, ds, dg, dv, rho);
    if (kstat[0] != 0 && kstat[0] != 1) fail("KSTAT neither 0 nor 1");
}

}  // namespace keld::fuzz
