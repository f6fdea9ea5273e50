// Published SAFT parameters of Huang and Radosz, reference-host set-ups built from them, and a call of
// the argument-driven monitor KELD_ESSAFT as a simulator makes it (every array its own, all 51
// arguments by pointer). Shared by the SAFT tests and the benchmarks.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"

namespace keld::testing {

// Huang and Radosz, Ind. Eng. Chem. Res. 29 (1990) 2284 (m, v00 in m3/kmol of segments, u0/k, e/k
// in K), from /work/shared/data/saft-hr; critical temperatures from the usual tables.
struct SaftFluid {
    std::string_view id;
    double mw, m, v00, u0, e, tc;
};
inline constexpr SaftFluid kMethaneHr{"C1", 16.043, 1.0, 0.021576, 190.29, 1.0, 190.56};
inline constexpr SaftFluid kPropaneHr{"C3", 44.097, 2.696, 0.013457, 193.03, 10.0, 369.83};
inline constexpr SaftFluid kHexaneHr{"NC6", 86.177, 4.724, 0.012475, 202.72, 10.0, 507.60};
inline constexpr SaftFluid kTolueneHr{"TOLUENE", 92.141, 4.373, 0.011789, 245.27, 10.0, 591.75};

// A stand-in styrene segment for polystyrene (no Huang-Radosz polystyrene set is at hand): the
// ethylbenzene parameters of the same table per unit of molecular weight (m/MW = 4.719/106.167).
struct SaftSegment {
    std::string_view id;
    double mw, r, v00, u0, e;
};
inline constexpr SaftSegment kStyreneHr{"STY", 104.152, 4.719 / 106.167, 0.012681, 248.79, 10.0};


inline void set_saft_parameters(refhost::ReferenceHost &host, std::int64_t i, const SaftFluid &f) {
    host.set_unary("SAFTM", i, f.m);
    host.set_unary("SAFTV", i, f.v00);
    host.set_unary("SAFTU", i, f.u0);
    host.set_unary("SAFTE", i, f.e);
}

inline std::int64_t add_saft_fluid(refhost::ReferenceHost &host, const SaftFluid &f) {
    const std::int64_t i = host.add_component(f.id, refhost::ComponentKind::ordinary, f.mw);
    set_saft_parameters(host, i, f);
    host.set_component_value("TC", i, f.tc);
    return i;
}

inline void set_saft_segment_parameters(refhost::ReferenceHost &host, std::int64_t i, const SaftSegment &s) {
    host.set_unary("SAFTR", i, s.r);
    host.set_unary("SAFTV", i, s.v00);
    host.set_unary("SAFTU", i, s.u0);
    host.set_unary("SAFTE", i, s.e);
}

inline std::int64_t add_saft_segment(refhost::ReferenceHost &host, const SaftSegment &s) {
    const std::int64_t i = host.add_component(s.id, refhost::ComponentKind::segment, s.mw);
    set_saft_segment_parameters(host, i, s);
    return i;
}

// Everything KELD_ESSAFT takes besides the state, as a host would keep it: the parameter vectors of
// data set 1 copied from the store, k_ij and l_ij of one data set, and work arrays for NC components.
// A polymer's segment number is MWN SAFTR.
struct SaftArguments {
    std::int64_t nc;
    std::vector<double> ids, tc, pc, m, v, u, e, u0ij, work, mw, mwn, x, tk, mij, g, kij, lij;

    explicit SaftArguments(const refhost::ReferenceHost &host)
        : nc(host.component_count()), ids(2 * nc), tc(nc), pc(nc), m(nc), v(nc), u(nc), e(nc),
          u0ij(nc * nc), work(9 * nc), mw(nc), mwn(nc), x(nc), tk(nc), mij(nc * nc), g(3 * nc * nc),
          kij(nc * nc), lij(nc * nc) {
        const auto store = host.store();
        for (std::int64_t i = 1; i <= nc; ++i) {
            ids[2 * i - 2] = store[host.offsets4(2) + 2 * i - 2];
            ids[2 * i - 1] = store[host.offsets4(2) + 2 * i - 1];
            tc[i - 1] = host.component_value("TC", i);
            mw[i - 1] = host.component_value("MW", i);
            m[i - 1] = host.unary("SAFTM", i);
            v[i - 1] = host.unary("SAFTV", i);
            u[i - 1] = host.unary("SAFTU", i);
            e[i - 1] = host.unary("SAFTE", i);
            if (host.is_polymer(i)) m[i - 1] = host.number_average_mw(i) * host.unary("SAFTR", i);
        }
    }
    void set_kij(std::int64_t i, std::int64_t j, double k) { kij[(j - 1) * nc + i - 1] = kij[(i - 1) * nc + j - 1] = k; }
    void set_lij(std::int64_t i, std::int64_t j, double l) { lij[(j - 1) * nc + i - 1] = lij[(i - 1) * nc + j - 1] = l; }

    // One call at T, P for apparent mole fractions z of idx (true basis through the installed host).
    MonitorResult call(refhost::ReferenceHost &host, double t, double p, const std::vector<double> &z,
                       const std::vector<std::int64_t> &idx, const CallOptions &a = {}) {
        const std::int64_t n = static_cast<std::int64_t>(idx.size());
        if (mwn.size() < idx.size()) mwn.resize(idx.size()), x.resize(idx.size());
        host.number_average_mws(1, n, idx.data(), mwn.data());
        host.apparent_to_true(n, idx.data(), mw.data(), z.data(), x.data());
        MonitorResult r;
        r.phi.assign(idx.size(), kUnwritten);
        r.dphi.assign(idx.size(), kUnwritten);
        r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUnwritten;
        double *w = work.data();
        const std::int64_t &f0 = a.flags.phi, &f1 = a.flags.h, &f2 = a.flags.s, &f3 = a.flags.g, &f4 = a.flags.v;
        KELD_ESSAFT(&t, &p, z.data(), &n, idx.data(), &a.kvl, &f0, &f1, &f2, &f3, &f4, &a.kds, &a.kdiag, &r.kstat,
                    ids.data(), tc.data(), pc.data(), m.data(), v.data(), u.data(), e.data(), u0ij.data(), w,
                    w + nc, w + 2 * nc, w + 3 * nc, w + 4 * nc, w + 5 * nc, w + 6 * nc, w + 7 * nc, w + 8 * nc,
                    mw.data(), mwn.data(), x.data(), tk.data(), mij.data(), g.data(), g.data() + nc * nc,
                    g.data() + 2 * nc * nc, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds,
                    &r.dg, &r.dv, kij.data(), lij.data());
        return r;
    }
};

}  // namespace keld::testing
