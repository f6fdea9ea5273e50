// Calls from several threads of the monitors whose arrays are arguments, each
// thread with arrays (or a work area) of its own and the host's arrays shared,
// as a simulator makes them: KELD_ESSAFT at the store positions KELD_SFTHLP
// hands out, the segment-based monitors, and the associating PC-SAFT monitor.
// Every call gives exactly the single-threaded result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "robustness/threads.h"
#include "segment/segment_systems.h"
#include "support/pcsaf_systems.h"
#include "support/saft_systems.h"

namespace keld::testing {
namespace {

// KELD_ESSAFT as a simulator drives it: the positions KELD_SFTHLP gives for the
// thread's work area, the SAFT vectors of the data set straight from the store
// (SAFTM, SAFTV, SAFTU, TC, the second critical vector and e/k are the host's
// words, shared by every call), and k_ij, l_ij of every data set from arrays
// the host keeps.
class SfthlpSaft {
public:
    SfthlpSaft(refhost::ReferenceHost &host, std::int64_t stride) : host_(host), stride_(stride) {
        const std::int64_t nc = host.component_count(), nds = host.data_set_count();
        kij_.assign(static_cast<std::size_t>(nds * nc * nc), 0.0);
        lij_.assign(kij_.size(), 0.0);
        for (std::int64_t d = 1; d <= nds; ++d)
            for (std::int64_t j = 1; j <= nc; ++j)
                for (std::int64_t i = 1; i <= nc; ++i) {
                    const std::size_t at = static_cast<std::size_t>((d - 1) * nc * nc + (j - 1) * nc + i - 1);
                    kij_[at] = host.binary_coefficient("SFTKIJ", i, j, 1, d);
                    lij_[at] = host.binary("SFTLIJ", i, j, d);
                }
    }

    MonitorResult call(int thread, double t, double p, const std::vector<double> &z,
                       const std::vector<std::int64_t> &idx, const CallOptions &o) const {
        std::int64_t q[30] = {};
        const std::int64_t kwork = thread * stride_, kspare = 0;
        KELD_SFTHLP(&q[0], &q[1], &q[2], &q[3], &q[4], &q[5], &q[6], &q[7], &q[8], &q[9], &q[10], &q[11], &q[12],
                    &q[13], &q[14], &q[15], &q[16], &q[17], &q[18], &q[19], &q[20], &q[21], &q[22], &q[23], &q[24],
                    &kwork, &kspare, &q[27], &q[28], &q[29]);
        double *store = host_.store().data();
        auto at = [store](std::int64_t position) { return store + position - 1; };
        const std::int64_t nc = host_.component_count(), slice = (o.kds - 1) * nc;
        const std::int64_t n = static_cast<std::int64_t>(idx.size());
        double *mwn = at(q[22]), *x = at(q[23]);
        host_.number_average_mws(1, n, idx.data(), mwn);
        host_.apparent_to_true(n, idx.data(), at(q[6]), z.data(), x);
        MonitorResult r;
        r.phi.assign(idx.size(), kUnwritten);
        r.dphi.assign(idx.size(), kUnwritten);
        r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUnwritten;
        const Flags &f = o.flags;
        KELD_ESSAFT(&t, &p, z.data(), &n, idx.data(), &o.kvl, &f.phi, &f.h, &f.s, &f.g, &f.v, &o.kds, &o.kdiag,
                    &r.kstat, at(q[7]), at(q[4]), at(q[5]), at(q[0] + slice), at(q[1] + slice), at(q[2] + slice),
                    at(q[3]), at(q[20]), at(q[8]), at(q[9]), at(q[10]), at(q[11]), at(q[12]), at(q[13]), at(q[14]),
                    at(q[15]), at(q[16]), at(q[6]), mwn, x, at(q[24]), at(q[21]), at(q[17]), at(q[18]), at(q[19]),
                    r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, kij_.data(),
                    lij_.data());
        return r;
    }

private:
    refhost::ReferenceHost &host_;
    std::int64_t stride_;
    std::vector<double> kij_, lij_;
};

// n-hexane, toluene and polyethylene (from its own parameters per unit of
// weight; its pseudo-critical values are written on every call) in two data
// sets whose segment energies and k_ij differ, so that what one data set's
// call leaves in a shared word is wrong for the other's.
struct SaftTwoDataSets {
    refhost::ReferenceHost host;
    std::int64_t hex, tol, pe;

    SaftTwoDataSets() {
        hex = add_saft_fluid(host, kHexaneHr);
        tol = add_saft_fluid(host, kTolueneHr);
        pe = host.add_polymer("PE", refhost::ComponentKind::polymer, 28.054, 5e4);
        host.set_data_set_count(2);
        for (std::int64_t d = 1; d <= 2; ++d) {
            const double scale = d == 1 ? 1.0 : 1.06;
            for (const auto &[i, f] : {std::pair{hex, kHexaneHr}, {tol, kTolueneHr}}) {
                host.set_unary("SAFTM", i, f.m, d);
                host.set_unary("SAFTV", i, f.v00, d);
                host.set_unary("SAFTU", i, scale * f.u0, d);
            }
            host.set_unary("SAFTM", pe, 5e4 * 0.0472427, d);
            host.set_unary("SAFTV", pe, 0.012, d);
            host.set_unary("SAFTU", pe, scale * 207.73, d);
            const double kij[] = {d == 1 ? 0.012 : 0.035};
            host.set_binary_coefficients("SFTKIJ", hex, tol, kij, d);
            host.set_binary_coefficients("SFTKIJ", tol, hex, kij, d);
            host.set_binary("SFTLIJ", hex, tol, d == 1 ? 0.0 : -0.02, d);
            host.set_binary("SFTLIJ", tol, hex, d == 1 ? 0.0 : -0.02, d);
        }
        host.set_unary("SAFTE", pe, 10.0);
        host.install();
    }
};

TEST(ThreadsArguments, SaftAtThePositionsOfThePositionServiceInTwoDataSets) {
    SaftTwoDataSets s;
    const std::int64_t stride = s.host.reserve_work_areas(kThreads);
    s.host.install();
    const SfthlpSaft saft(s.host, stride);
    struct State {
        double t, p;
        std::vector<double> z;
        std::vector<std::int64_t> idx;
        std::int64_t kvl, kds;
    };
    const std::vector<State> states = {
        {350.0, 1e5, {0.3, 0.7}, {s.hex, s.tol}, 2, 1},  {350.0, 1e5, {0.3, 0.7}, {s.hex, s.tol}, 2, 2},
        {450.0, 2e5, {0.6, 0.4}, {s.hex, s.tol}, 1, 1},  {450.0, 2e5, {0.6, 0.4}, {s.hex, s.tol}, 1, 2},
        {420.0, 1e6, {0.1, 0.9}, {s.pe, s.hex}, 2, 2},   {300.0, 1e5, {1.0}, {s.tol}, 2, 1},
    };
    std::vector<ThreadCall> calls;
    for (const State &st : states)
        calls.push_back([&saft, st](int thread) {
            CallOptions o;
            o.kvl = st.kvl;
            o.kds = st.kds;
            return saft.call(thread, st.t, st.p, st.z, st.idx, o);
        });
    for (const ThreadCall &c : calls) ASSERT_EQ(c(0).kstat, 1);
    EXPECT_EQ(wrong_results_on_threads(calls), kNoneWrong);
}

// A missing SAFTV that the first calls complete in the host's word, met by four
// threads at once on a fresh host: every call computes with the default and
// the default is reported once.
TEST(ThreadsArguments, FirstSaftCallsCompleteAMissingSegmentVolumeOnce) {
    std::int64_t wrong = 0;
    for (int round = 0; round < 12; ++round) {
        SaftTwoDataSets s;
        s.host.set_unary("SAFTV", s.tol, refhost::ReferenceHost::missing_value, 2);
        const std::int64_t stride = s.host.reserve_work_areas(kThreads);
        s.host.install();
        s.host.capture_messages();
        const SfthlpSaft saft(s.host, stride);
        CallOptions o;
        o.kds = 2;
        std::vector<MonitorResult> results(kThreads);
        on_threads(kThreads, 1, [&](int thread, int) {
            results[thread] = saft.call(thread, 350.0, 1e5, {0.3, 0.7}, {s.hex, s.tol}, o);
            return true;
        });
        const std::vector<std::string> lines = s.host.captured_messages();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string &l) { return l.find("SAFTV (DATA SET   2)") != std::string::npos; }),
                  1);
        EXPECT_EQ(s.host.unary("SAFTV", s.tol, 2), 0.012);
        const MonitorResult expected = saft.call(0, 350.0, 1e5, {0.3, 0.7}, {s.hex, s.tol}, o);
        ASSERT_EQ(expected.kstat, 1);
        for (const MonitorResult &r : results) wrong += same(r, expected) ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0);
}

// The segment-based monitors as a simulator calls them: the parameters, binary
// tables, segment compositions, critical vectors and the PolymerParamSource
// vector (which every call writes for its polymers) are the host's arrays,
// shared by all calls; the work array, the true mole fractions and the
// outputs are the thread's.
class SharedSegmentArguments {
public:
    explicit SharedSegmentArguments(refhost::ReferenceHost &host)
        : host_(host), a_(host), kij_(refhost::families::table_slice(host, "PCSKIJ", 1)),
          sftkij_(refhost::families::table_slice(host, "SFTKIJ", 1)),
          slkij_(refhost::families::combined_table(host, "SLKIJ", "SLKIJT", 1)),
          sleta_(refhost::families::combined_table(host, "SLETIJ", "SLETIT", 1)) {
        for (const char *name : {"PCSFTM", "PCSFTV", "PCSFTU", "PCSFTR", "SAFTM", "SAFTV", "SAFTU", "SAFTR", "SAFTE",
                                 "SLTSTR", "SLPSTR", "SLRSTR"})
            unary_.push_back(refhost::families::unary_slice(host, name, 1));
    }

    MonitorResult call(SegmentFamily family, double t, double p, const std::vector<double> &z,
                       const std::vector<std::int64_t> &idx) {
        using refhost::families::SegmentArguments;
        const std::int64_t n = static_cast<std::int64_t>(idx.size()), nc = a_.nc;
        std::vector<double> work(static_cast<std::size_t>(a_.work_words)), x(idx.size()), mwn(idx.size()),
            optvec(idx.size()), optval(idx.size());
        host_.number_average_mws(1, n, idx.data(), mwn.data());
        MonitorResult r;
        r.phi.assign(idx.size(), kUnwritten);
        r.dphi.assign(idx.size(), kUnwritten);
        r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUnwritten;
        const std::int64_t kvl = 2, one = 1, kds = 1, kdiag = 4, zero = 0, words = 6 * nc * nc;
        double optfac = 0.0, optout = 0.0;
        auto u = [&](int k) { return unary_[static_cast<std::size_t>(k)].data(); };
        switch (family) {
            case SegmentFamily::pcsaft:
                KELD_PCSF01(&t, &p, z.data(), &n, idx.data(), work.data(), &zero, &kvl, &one, &one, &one, &one, &one,
                            &kds, &kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                            &r.dv, &r.kstat, &zero, a_.mw.data(), a_.tc.data(), a_.pc.data(), u(0), u(1), u(2), u(3),
                            kij_.data(), a_.source.data(), &nc, &a_.ns, a_.seg.data(), a_.mole.data(),
                            a_.polymer.data(), &words, &zero, &zero, optvec.data(), &optfac, &a_.work_words, &zero,
                            &zero, &optout, x.data(), mwn.data(), optval.data(), a_.weight.data());
                break;
            case SegmentFamily::saft:
                KELD_SAFT01(&t, &p, z.data(), &n, idx.data(), work.data(), &zero, &kvl, &one, &one, &one, &one, &one,
                            &kds, &kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                            &r.dv, &r.kstat, &zero, a_.mw.data(), a_.tc.data(), a_.pc.data(), u(4), u(5), u(6), u(7),
                            u(8), sftkij_.data(), a_.source.data(), &nc, &a_.ns, a_.seg.data(), a_.mole.data(),
                            a_.polymer.data(), &words, &zero, &zero, optvec.data(), &optfac, &a_.work_words, &zero,
                            &zero, &optout, x.data(), mwn.data(), optval.data(), a_.weight.data());
                break;
            case SegmentFamily::sanchez_lacombe:
                KELD_POSL01(&t, &p, z.data(), &n, idx.data(), work.data(), &zero, &kvl, &one, &one, &one, &one, &one,
                            &kds, &kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                            &r.dv, &r.kstat, &zero, a_.mw.data(), u(9), u(10), u(11), slkij_.data(), sleta_.data(),
                            a_.source.data(), &nc, &a_.ns, a_.seg.data(), a_.mole.data(), a_.polymer.data(), &words,
                            &words, &zero, &zero, optvec.data(), &optfac, &a_.work_words, &zero, &zero, &optout,
                            x.data(), mwn.data(), optval.data(), a_.weight.data());
                break;
        }
        return r;
    }

private:
    refhost::ReferenceHost &host_;
    refhost::families::SegmentArguments a_;
    std::vector<double> kij_, sftkij_, slkij_, sleta_;
    std::vector<std::vector<double>> unary_;
};

TEST(ThreadsArguments, SegmentBasedMonitorsSharingTheHostsArrays) {
    SegmentSystems sys;
    SharedSegmentArguments shared(sys.host);
    struct State {
        SegmentFamily family;
        std::vector<std::int64_t> idx;
        std::vector<double> w;
        double t, p;
    };
    using enum SegmentFamily;
    const std::vector<State> states = {
        {pcsaft, {sys.tol, sys.ps}, {0.7, 0.3}, 350.0, 1e5},  {pcsaft, {sys.c6, sys.pes}, {0.8, 0.2}, 400.0, 1e5},
        {saft, {sys.tol, sys.ps}, {0.7, 0.3}, 350.0, 1e5},    {saft, {sys.c1, sys.c6}, {0.1, 0.9}, 300.0, 5e6},
        {sanchez_lacombe, {sys.tol, sys.ps}, {0.7, 0.3}, 350.0, 1e5},
        {sanchez_lacombe, {sys.tol, sys.psown}, {0.6, 0.4}, 380.0, 1e6},
    };
    std::vector<ThreadCall> calls;
    for (const State &st : states)
        calls.push_back([&shared, st, z = sys.by_mass(st.idx, st.w)](int) {
            return shared.call(st.family, st.t, st.p, z, st.idx);
        });
    for (const ThreadCall &c : calls) ASSERT_EQ(c(0).kstat, 1);
    EXPECT_EQ(wrong_results_on_threads(calls, kThreadRounds / 10), kNoneWrong);
}

// The associating PC-SAFT monitor with the host's argument arrays shared and a
// work area per thread: methanol, methanol + n-hexane, water (4C) + methanol.
TEST(ThreadsArguments, AssociatingPcsaftSharingTheHostsArrays) {
    PcsafSystem sys;
    const std::int64_t me = sys.add(kMethanol2B), hx = sys.add(kHexane0), w = sys.add(kWater4C);
    struct State {
        double t, p;
        std::vector<std::int64_t> idx;
        std::vector<double> z;
        std::int64_t kvl;
    };
    const std::vector<State> states = {{300.0, 1e5, {me}, {1.0}, 2},
                                       {400.0, 1e5, {me}, {1.0}, 1},
                                       {320.0, 1e5, {me, hx}, {0.4, 0.6}, 2},
                                       {350.0, 2e5, {w, me}, {0.7, 0.3}, 2}};
    std::vector<ThreadCall> calls;
    for (const State &st : states)
        calls.push_back([&sys, st](int) {
            MonitorResult r;
            r.phi.assign(st.idx.size(), kUnwritten);
            r.dphi.assign(st.idx.size(), kUnwritten);
            r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUnwritten;
            const std::int64_t n = static_cast<std::int64_t>(st.idx.size()), nc = sys.nc(), kds = 1, kdiag = 0,
                               unit = 77, method = 2;
            const std::int64_t flags[5] = {3, 3, 3, 3, 3}, options[3] = {0, 0, 0};
            const double tolerance = 1e-12;
            double rho = 0.0;
            std::vector<double> work(1, 0.0);
            auto invoke = [&](std::int64_t lwork) {
                KELD_PCSAF1(&st.t, &st.p, &n, &nc, &st.kvl, &flags[0], &flags[1], &flags[2], &flags[3], &flags[4],
                            &kdiag, options, &r.kstat, st.idx.data(), st.z.data(), sys.mw.data(), sys.tc.data(),
                            sys.pc.data(), &kds, sys.m.data(), sys.sigma.data(), sys.eps.data(), sys.types.data(),
                            sys.eps_ab.data(), sys.kappa_ab.data(), sys.dipole.data(), sys.dipolar_fraction.data(),
                            r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv,
                            sys.nseg.data(), &sys.lseg, sys.iseg.data(), sys.wseg.data(), sys.kij.data(),
                            sys.lij.data(), &tolerance, &method, &unit, &rho, &lwork, work.data(), nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
            };
            invoke(-1);
            work.assign(static_cast<std::size_t>(std::max(work[0], 1.0)), 0.0);
            invoke(static_cast<std::int64_t>(work.size()));
            return r;
        });
    for (const ThreadCall &c : calls) ASSERT_EQ(c(0).kstat, 1);
    EXPECT_EQ(wrong_results_on_threads(calls, kThreadRounds / 10), kNoneWrong);
}

}  // namespace
}  // namespace keld::testing
