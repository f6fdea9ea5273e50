// The segment-based PC-SAFT monitor driven as a simulator drives it: the
// PC-SAFT parameters of the state's data set, its PCSKIJ coefficient table,
// the segment compositions of the polymers and the critical-property vectors
// handed over as arguments of KELD_PCSF01.
#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"
#include "models/segment_arguments.h"

namespace keld::refhost::families {
namespace {

// Every array of the call is the call's own: `kwork` is not needed.
void evaluate_pcsaft_segment(ReferenceHost &host, const StateRequest &s, StateResult &r, std::int64_t) {
    SegmentArguments a(host);
    a.list(host, s.components);
    const std::int64_t d = s.data_set;
    const std::vector<double> m = unary_slice(host, "PCSFTM", d), sigma = unary_slice(host, "PCSFTV", d),
                              eps = unary_slice(host, "PCSFTU", d), ratio = unary_slice(host, "PCSFTR", d),
                              table = table_slice(host, "PCSKIJ", d);
    const std::int64_t n = static_cast<std::int64_t>(s.components.size()), words = static_cast<std::int64_t>(table.size());
    const std::int64_t kspare = 0, iopt = 0, ioptc = 0, kpass = 0;
    const auto &f = s.flags;
    KELD_PCSF01(&s.temperature, &s.pressure, s.z.data(), &n, s.components.data(), a.work.data(), &kspare, &s.phase,
                &f[0], &f[1], &f[2], &f[3], &f[4], &s.data_set, &s.diagnostics, r.phi.data(), &r.h, &r.s, &r.g, &r.v,
                r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &s.option, a.mw.data(), a.tc.data(),
                a.pc.data(), m.data(), sigma.data(), eps.data(), ratio.data(), table.data(), a.source.data(), &a.nc,
                &a.ns, a.seg.data(), a.mole.data(), a.polymer.data(), &words, &iopt, &ioptc, a.option_vector.data(),
                &a.option_factor, &a.work_words, &kpass, &kpass, &a.option_out, a.x.data(), a.mwn.data(),
                a.option_values.data(), a.weight.data());
}

}  // namespace

ModelEntry pcsaft_segment() {
    ModelEntry entry{"pcsaft-segment",
                     "PC-SAFT with parameters, k_ij(T) table and segment compositions as arguments; values only "
                     "(KELD_PCSF01, initialised by KELD_ESPCSI)",
                     evaluate_in_first_work_area<evaluate_pcsaft_segment>,
                     KELD_ESPCSI,
                     {"PCSFTM", "PCSFTV", "PCSFTU", "PCSFTR", "PCSKIJ"},
                     false};
    entry.evaluate_in_work_area = evaluate_pcsaft_segment;
    return entry;
}

}  // namespace keld::refhost::families
