// Calls of the segment-based monitors as a simulator makes them: every argument gathered from the
// reference host's store for data set 1 (models/segment_arguments.h), the work array with a guard
// region behind it, and the settings a test varies (option, lengths, flags). Outputs start as
// kUnwritten so that a test sees which slots a call wrote.
#pragma once

#include <cstdint>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "models/segment_arguments.h"
#include "support/pcsaft_systems.h"

namespace keld::testing {

enum class SegmentFamily { pcsaft, saft, sanchez_lacombe };

struct SegmentSettings {
    std::int64_t kvl = 2;
    Flags flags{1, 1, 1, 1, 1};
    std::int64_t kopt = 0, iopt = 0, ioptc = 0;
    double optfac = 0.0;
    std::vector<double> optval;         // by position (option 3)
    std::int64_t work_shortfall = 0;    // NWORK below the documented length by this much
    std::int64_t table_shortfall = 0;   // table words below 6 NC^2 by this much
    std::int64_t bad_segment = 0;       // a segment-list entry replaced by this when non-zero
};

struct SegmentResult : MonitorResult {
    std::vector<double> x, source, optvec, work;
    double optout = kUnwritten;
    std::int64_t work_words = 0;  // the documented length (the guard region follows)
};

inline constexpr double kGuard = -3.25e33;
inline constexpr std::int64_t kGuardWords = 64;

inline SegmentResult call_segment(SegmentFamily family, refhost::ReferenceHost &host, double t, double p,
                                  const std::vector<double> &z, const std::vector<std::int64_t> &idx,
                                  const SegmentSettings &s = {}) {
    using namespace refhost::families;
    SegmentArguments a(host);
    a.list(host, idx);
    if (s.bad_segment != 0 && a.ns > 0) a.seg[0] = s.bad_segment;
    SegmentResult r;
    const std::int64_t n = static_cast<std::int64_t>(idx.size()), nc = a.nc;
    r.phi.assign(n, kUnwritten);
    r.dphi.assign(n, kUnwritten);
    r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUnwritten;
    r.optvec.assign(n, kUnwritten);
    r.work.assign(a.work_words + kGuardWords, kGuard);
    r.work_words = a.work_words;
    const std::int64_t nwork = a.work_words - s.work_shortfall;
    const std::int64_t words = 6 * nc * nc - s.table_shortfall;
    std::vector<double> optval = s.optval;
    optval.resize(n, 0.0);
    const std::int64_t kspare = 0, kds = 1, kdiag = 4, kpass = 0;
    const Flags &f = s.flags;
    auto at = [&](const char *name, std::int64_t d = 1) { return unary_slice(host, name, d); };
    switch (family) {
        case SegmentFamily::pcsaft: {
            const auto m = at("PCSFTM"), sigma = at("PCSFTV"), eps = at("PCSFTU"), ratio = at("PCSFTR");
            const auto table = table_slice(host, "PCSKIJ", 1);
            KELD_PCSF01(&t, &p, z.data(), &n, idx.data(), r.work.data(), &kspare, &s.kvl, &f.phi, &f.h, &f.s, &f.g,
                        &f.v, &kds, &kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                        &r.dv, &r.kstat, &s.kopt, a.mw.data(), a.tc.data(), a.pc.data(), m.data(), sigma.data(),
                        eps.data(), ratio.data(), table.data(), a.source.data(), &nc, &a.ns, a.seg.data(),
                        a.mole.data(), a.polymer.data(), &words, &s.iopt, &s.ioptc, r.optvec.data(), &s.optfac,
                        &nwork, &kpass, &kpass, &r.optout, a.x.data(), a.mwn.data(), optval.data(), a.weight.data());
            break;
        }
        case SegmentFamily::saft: {
            const auto m = at("SAFTM"), v00 = at("SAFTV"), u0 = at("SAFTU"), ratio = at("SAFTR"), e = at("SAFTE");
            const auto table = table_slice(host, "SFTKIJ", 1);
            KELD_SAFT01(&t, &p, z.data(), &n, idx.data(), r.work.data(), &kspare, &s.kvl, &f.phi, &f.h, &f.s, &f.g,
                        &f.v, &kds, &kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                        &r.dv, &r.kstat, &s.kopt, a.mw.data(), a.tc.data(), a.pc.data(), m.data(), v00.data(),
                        u0.data(), ratio.data(), e.data(), table.data(), a.source.data(), &nc, &a.ns, a.seg.data(),
                        a.mole.data(), a.polymer.data(), &words, &s.iopt, &s.ioptc, r.optvec.data(), &s.optfac,
                        &nwork, &kpass, &kpass, &r.optout, a.x.data(), a.mwn.data(), optval.data(), a.weight.data());
            break;
        }
        case SegmentFamily::sanchez_lacombe: {
            const auto ts = at("SLTSTR"), ps = at("SLPSTR"), rs = at("SLRSTR");
            const auto kt = combined_table(host, "SLKIJ", "SLKIJT", 1), et = combined_table(host, "SLETIJ", "SLETIT", 1);
            KELD_POSL01(&t, &p, z.data(), &n, idx.data(), r.work.data(), &kspare, &s.kvl, &f.phi, &f.h, &f.s, &f.g,
                        &f.v, &kds, &kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg,
                        &r.dv, &r.kstat, &s.kopt, a.mw.data(), ts.data(), ps.data(), rs.data(), kt.data(), et.data(),
                        a.source.data(), &nc, &a.ns, a.seg.data(), a.mole.data(), a.polymer.data(), &words, &words,
                        &s.iopt, &s.ioptc, r.optvec.data(), &s.optfac, &nwork, &kpass, &kpass, &r.optout, a.x.data(),
                        a.mwn.data(), optval.data(), a.weight.data());
            break;
        }
    }
    r.x = a.x;
    r.source = a.source;
    return r;
}

// The stored-parameter counterpart of each family.
inline MonitorFn stored_counterpart(SegmentFamily family) {
    switch (family) {
        case SegmentFamily::pcsaft: return KELD_ESPCSF;
        case SegmentFamily::saft: return KELD_PSAFM1;
        case SegmentFamily::sanchez_lacombe: return KELD_ESSLP;
    }
    return nullptr;
}

}  // namespace keld::testing
