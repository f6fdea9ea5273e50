// KELD_PCSAF5 through its C arguments: the work-size query, the same results as the internal entry
// point, the gfortran alias, and no writes without a host.
#include <gtest/gtest.h>

#include <limits>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/assoc_systems.h"

namespace keld::testing {
namespace {

struct Call {
    assoc::Mixture mix;
    std::int64_t ncp, nc, ld, nv, requests = 1, option = 0, single = 0, method = 2, diag = 0, unit = 6, model = 0,
                                   start = 0, mxv = 16, nvar = -1, lxa = 4, ifail = -7;
    double t, rho, b = 0.0, tolerance = 1e-10, a = 0, ar = 0, ar2 = 0, at = 0;
    std::vector<double> ax, del, delr, delr2, delt, xa;
    std::vector<std::int64_t> no, isite;

    explicit Call(AssocSystem &sys, double density) : mix(sys.mixture(density)) {
        ncp = mix.ncp, nc = mix.nc, ld = mix.segments.ld, nv = mix.nv, t = mix.t, rho = mix.rho;
        ax.assign(ncp, 0.0), xa.assign(lxa * ncp, 0.0), no.assign(mxv, 0), isite.assign(mxv, 0);
        for (auto *m : {&del, &delr, &delr2, &delt}) m->assign(nv * nv, 0.0);
    }
    void operator()(double *work, std::int64_t lwork) {
        KELD_PCSAF5(&t, &rho, &ncp, &nc, mix.idx, mix.x, mix.m, mix.sigma, mix.marker, mix.d, mix.t_dd,
                    mix.segments.count, &ld, mix.segments.component, mix.segments.weight, mix.segments.fraction,
                    mix.types, mix.covolume, &b, &nv, mix.list, mix.energy, mix.volume, mix.z.data(), nullptr,
                    &requests, &requests, &requests, &requests, &option, &single, &tolerance, &method, &diag, &unit,
                    &model, &start, &a, &ar, &ar2, &at, ax.data(), del.data(), delr.data(), delr2.data(),
                    delt.data(), &mxv, &nvar, no.data(), isite.data(), &lxa, xa.data(), &ifail, work, &lwork);
    }
};

TEST(AssociationExport, SameResultsAsTheInternalEntryPoint) {
    refhost::ReferenceHost reference;
    reference.add_component("HOST", refhost::ComponentKind::ordinary, 1.0);
    reference.install();
    AssocSystem sys;
    sys.list({sys.add(kWater4C), sys.add(kMethanol)}, {0.4, 0.6});
    const AssocRun internal = run_association(*host::Host::current(), sys, 35.0);

    Call call(sys, 35.0);
    double size = 0.0;
    call(&size, -1);
    EXPECT_EQ(call.ifail, 0);
    EXPECT_GT(size, 0.0);
    std::vector<double> work(static_cast<std::size_t>(size));
    call(work.data(), static_cast<std::int64_t>(work.size()));
    EXPECT_EQ(call.ifail, 0);
    EXPECT_EQ(call.nvar, 6);
    for (auto [exported, expected] : {std::pair{call.a, internal.r.a}, {call.ar, internal.r.a_rho},
                                      {call.ar2, internal.r.a_rho2}, {call.at, internal.r.a_t},
                                      {call.ax[1], internal.a_x[1]}, {call.del[3], internal.delta[3]}})
        EXPECT_EQ(exported, expected);
    EXPECT_EQ(call.no[5], 2);     // the last unknown: methanol's second site
    EXPECT_EQ(call.isite[5], 2);
    EXPECT_EQ(call.xa[3], internal.site_fractions[3]);
    EXPECT_EQ(reinterpret_cast<void *>(&keld_pcsaf5_), reinterpret_cast<void *>(&KELD_PCSAF5));

    call.lxa = 0;  // no room for the site table: not written, the rest as before
    call.xa.assign(call.xa.size(), -1.0);
    call(work.data(), static_cast<std::int64_t>(work.size()));
    EXPECT_EQ(call.xa[0], -1.0);
    EXPECT_EQ(call.ifail, 0);

    const std::int64_t beyond[2] = {1, call.nc + 1000000};  // sizes nothing, reads no type beyond NC
    call.mix.idx = beyond;
    size = -1.0;
    call(&size, -1);
    EXPECT_EQ(size, 0.0);
    EXPECT_EQ(call.ifail, 1);

    // An association list or component count no problem can have is refused before any length is
    // formed from it (6 NV^2 strength words used to overflow): the query answers 0 words, the call
    // reads nothing of the list.
    call.mix.idx = sys.mixture(35.0).idx;
    const std::int64_t nv = call.nv, nc = call.nc;
    for (const std::int64_t count : {std::int64_t{1000001}, std::int64_t{1} << 40,
                                     std::numeric_limits<std::int64_t>::max()}) {
        for (std::int64_t *which : {&call.nv, &call.nc}) {
            *which = count;
            size = -1.0;
            call(&size, -1);
            EXPECT_EQ(size, 0.0) << count;
            EXPECT_EQ(call.ifail, 1) << count;
            call.ifail = -7;
            call(work.data(), static_cast<std::int64_t>(work.size()));
            EXPECT_EQ(call.ifail, 1) << count;
            call.nv = nv, call.nc = nc;
        }
    }

    keld_host_install(nullptr);
    call.ifail = -7;
    call(work.data(), static_cast<std::int64_t>(work.size()));
    EXPECT_EQ(call.ifail, -7);
}

}  // namespace
}  // namespace keld::testing
