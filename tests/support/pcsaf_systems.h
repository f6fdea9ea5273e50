// Systems for the associating PC-SAFT monitor (KELD_PCSAF1): published parameters, the argument arrays
// by component number as a host hands them over, and a call through the exported entry point on the
// reference host (which supplies identifiers, messages, root routines and binary parameters).
// Shared by the monitor's tests and the benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"

namespace keld::testing {

// PC-SAFT parameters with association (Gross and Sadowski, Ind. Eng. Chem. Res. 41 (2002) 5510: 2B
// methanol; Rehner and Gross, J. Chem. Eng. Data 65 (2020) 5698: water 2B and 4C), plain
// PC-SAFT ones (Gross and Sadowski 2001) and critical data (PSRK revision IV table).
struct AssocFluid {
    const char *id;
    double mw, m, sigma, eps, eps_ab, kappa_ab;
    std::int64_t type;  // 0 none, 2 = 2B, 4 = 4C
    double tc, pc;
};
inline constexpr double kNone = 1.0e35;  // the reference host's missing value
inline constexpr AssocFluid kMethanol2B{"MEOH", 32.042, 1.5255, 3.23, 188.9, 2899.5, 0.035176, 2, 512.6, 8.097e6};
inline constexpr AssocFluid kWater4C{"H2O4C",  18.01528, 1.8668282082622842, 2.395032022200541, 169.7751872692369,
                                     1772.0393059972052, 0.13373757842938191, 4, 647.3, 22.05e6};
inline constexpr AssocFluid kWater2BRg{"H2O2B", 18.01528, 1.0, 2.937523956051823, 272.02757407828676,
                                      3125.3202766200056, 0.04448012165716923, 2, 647.3, 22.05e6};
inline constexpr AssocFluid kHexane0{"NC6", 86.177, 3.0576, 3.7983, 236.77, kNone, kNone, 0, 507.6, 3.025e6};
inline constexpr AssocFluid kToluene0{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69, kNone, kNone, 0, 591.75, 4.108e6};
inline constexpr AssocFluid kMethane0{"C1", 16.043, 1.0, 3.7039, 150.03, kNone, kNone, 0, 190.56, 4.599e6};

struct PcsafResult {
    std::vector<double> phi, dphi;
    double h = 0, s = 0, g = 0, v = 0, dh = 0, ds = 0, dg = 0, dv = 0, rho = 0;
    std::int64_t status = -7;
    std::vector<std::string> messages;
};

struct PcsafCall {
    double t = 298.15, p = 1.0e5;
    std::vector<std::int64_t> idx;
    std::vector<double> z;
    std::int64_t kvl = 2;
    std::array<std::int64_t, 5> flags{1, 1, 1, 1, 1};
    std::int64_t kdiag = 0;
    std::array<std::int64_t, 3> options{0, 0, 0};
    double rho = 0.0;  // in: the density of the evaluate-only mode
    double tolerance = 1.0e-12;
    std::int64_t method = 2;
    std::int64_t nc = 0;  // NC passed: 0 for the system's capacity
};

inline constexpr double kUntouched = -12345.0;

// Room for kCapacity components: the arrays are sized once (NC = kCapacity), components are added in
// order (numbers from 1), and those never added are never listed.
class PcsafSystem {
public:
    static constexpr std::int64_t kCapacity = 8;
    refhost::ReferenceHost host;
    std::vector<double> mw, tc, pc, m, sigma, eps, eps_ab, kappa_ab, dipole, dipolar_fraction, kij, lij, wseg;
    std::vector<std::int64_t> types, nseg, iseg;
    std::int64_t lseg = 3;  // segment types per polymer at most

    PcsafSystem() {
        host.capture_messages();
        for (auto *v : {&mw, &tc, &pc, &m, &sigma, &eps, &dipole, &dipolar_fraction}) v->assign(kCapacity, kNone);
        eps_ab.assign(kCapacity * kCapacity, kNone);
        kappa_ab.assign(kCapacity * kCapacity, kNone);
        kij.assign(6 * kCapacity * kCapacity, 0.0);
        lij.assign(4 * kCapacity * kCapacity, 0.0);
        types.assign(kCapacity, 0);
        nseg.assign(kCapacity, 0);
        iseg.assign(lseg * kCapacity, 1);
        wseg.assign(lseg * kCapacity, 0.0);
    }

    std::int64_t nc() const { return kCapacity; }

    std::int64_t add(const AssocFluid &f, refhost::ComponentKind kind = refhost::ComponentKind::ordinary) {
        const std::int64_t c = host.add_component(f.id, kind, f.mw);
        mw[c - 1] = f.mw;
        tc[c - 1] = f.tc;
        pc[c - 1] = f.pc;
        m[c - 1] = f.m;
        sigma[c - 1] = f.sigma;
        eps[c - 1] = f.eps;
        types[c - 1] = f.type;
        at(eps_ab, c, c) = f.eps_ab;
        at(kappa_ab, c, c) = f.kappa_ab;
        host.install();
        return c;
    }
    // A segment component: one unit of the polymer with its own parameters.
    std::int64_t add_segment(const AssocFluid &f) { return add(f, refhost::ComponentKind::segment); }
    // A polymer described by its segments: (segment component, kg of it per kmol of polymer).
    std::int64_t add_polymer(const char *id, double apparent_mw,
                             std::vector<std::pair<std::int64_t, double>> segments) {
        const std::int64_t c = add({id, apparent_mw, kNone, kNone, kNone, kNone, kNone, 0, kNone, kNone},
                                   refhost::ComponentKind::polymer);
        nseg[c - 1] = static_cast<std::int64_t>(segments.size());  // at most lseg
        for (std::size_t s = 0; s < segments.size(); ++s) {
            iseg[(c - 1) * lseg + static_cast<std::int64_t>(s)] = segments[s].first;
            wseg[(c - 1) * lseg + static_cast<std::int64_t>(s)] = segments[s].second;
        }
        return c;
    }
    void set_dipole(std::int64_t c, double debye, double fraction) {
        dipole[c - 1] = debye;
        dipolar_fraction[c - 1] = fraction;
    }
    void set_kij(std::int64_t i, std::int64_t j, std::array<double, 6> c) {
        for (int k = 0; k < 6; ++k) kij[((j - 1) * nc() + (i - 1)) * 6 + k] = kij[((i - 1) * nc() + (j - 1)) * 6 + k] = c[k];
    }
    void set_lij(std::int64_t i, std::int64_t j, std::array<double, 4> c) {
        for (int k = 0; k < 4; ++k) lij[((j - 1) * nc() + (i - 1)) * 4 + k] = lij[((i - 1) * nc() + (j - 1)) * 4 + k] = c[k];
    }
    double &at(std::vector<double> &matrix, std::int64_t i, std::int64_t j) { return matrix[(j - 1) * nc() + (i - 1)]; }

    // Words the call needs (LWORK = -1).
    std::int64_t work_needed(const PcsafCall &c) {
        std::vector<double> work(1, 0.0);
        invoke(c, -1, work);
        return static_cast<std::int64_t>(work[0]);
    }

    // With install = false the table installed now is kept (a test's wrapped root routines).
    PcsafResult call(const PcsafCall &c, std::int64_t lwork = 0, bool install = true) {
        if (install) host.install();
        host.clear_captured_messages();
        const std::int64_t words = lwork > 0 ? lwork : work_needed(c);
        std::vector<double> work(static_cast<std::size_t>(std::max<std::int64_t>(words, 1)), 7.0);
        PcsafResult r = invoke(c, words, work);
        r.messages = host.captured_messages();
        return r;
    }

private:
    PcsafResult invoke(const PcsafCall &c, std::int64_t lwork, std::vector<double> &work) {
        PcsafResult r;
        const std::int64_t n = static_cast<std::int64_t>(c.idx.size()), ncomp = c.nc != 0 ? c.nc : nc(), kds = 1;
        r.phi.assign(c.idx.size(), kUntouched);
        r.dphi.assign(c.idx.size(), kUntouched);
        r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUntouched;
        r.rho = c.rho;
        const std::int64_t unit = 77;  // the association solver's lines go nowhere
        const auto &f = c.flags;
        KELD_PCSAF1(&c.t, &c.p, &n, &ncomp, &c.kvl, &f[0], &f[1], &f[2], &f[3], &f[4], &c.kdiag, c.options.data(),
                    &r.status, c.idx.data(), c.z.data(), mw.data(), tc.data(), pc.data(), &kds, m.data(),
                    sigma.data(), eps.data(), types.data(), eps_ab.data(), kappa_ab.data(), dipole.data(),
                    dipolar_fraction.data(), r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                    &r.dv, nseg.data(), &lseg, iseg.data(), wseg.data(), kij.data(), lij.data(), &c.tolerance,
                    &c.method, &unit, &r.rho, &lwork, work.data(), nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr);
        return r;
    }
};

}  // namespace keld::testing
