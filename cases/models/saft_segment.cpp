// The segment-based SAFT monitor driven as a simulator drives it: the SAFT
// parameters (SAFTM, SAFTV, SAFTU of the state's data set; SAFTR and the
// energy corrections SAFTE of data set 1, as the other SAFT monitors read
// them), the SFTKIJ coefficient table and the segment compositions as
// arguments of KELD_SAFT01. A listed component without SAFTE gets the
// default of its formula from KELD_SETEPS.
#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"
#include "models/segment_arguments.h"

namespace keld::refhost::families {
namespace {

// Every array of the call is the call's own: `kwork` is not needed.
void evaluate_saft_segment(ReferenceHost &host, const StateRequest &s, StateResult &r, std::int64_t) {
    SegmentArguments a(host);
    a.list(host, s.components);
    const std::int64_t d = s.data_set;
    const std::vector<double> m = unary_slice(host, "SAFTM", d), v00 = unary_slice(host, "SAFTV", d),
                              u0 = unary_slice(host, "SAFTU", d), ratio = unary_slice(host, "SAFTR", 1),
                              table = table_slice(host, "SFTKIJ", d);
    std::vector<double> e = unary_slice(host, "SAFTE", 1);
    std::vector<std::int64_t> without_e;
    for (std::int64_t i : s.components)
        if (e[i - 1] == ReferenceHost::missing_value) without_e.push_back(i);
    const std::int64_t n_without = static_cast<std::int64_t>(without_e.size()), kspare = 0;
    if (n_without > 0) KELD_SETEPS(&n_without, without_e.data(), &kspare, e.data());

    const std::int64_t n = static_cast<std::int64_t>(s.components.size()), words = static_cast<std::int64_t>(table.size());
    const std::int64_t iopt = 0, ioptc = 0, kpass = 0;
    const auto &f = s.flags;
    KELD_SAFT01(&s.temperature, &s.pressure, s.z.data(), &n, s.components.data(), a.work.data(), &kspare, &s.phase,
                &f[0], &f[1], &f[2], &f[3], &f[4], &s.data_set, &s.diagnostics, r.phi.data(), &r.h, &r.s, &r.g, &r.v,
                r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &s.option, a.mw.data(), a.tc.data(),
                a.pc.data(), m.data(), v00.data(), u0.data(), ratio.data(), e.data(), table.data(), a.source.data(),
                &a.nc, &a.ns, a.seg.data(), a.mole.data(), a.polymer.data(), &words, &iopt, &ioptc,
                a.option_vector.data(), &a.option_factor, &a.work_words, &kpass, &kpass, &a.option_out, a.x.data(),
                a.mwn.data(), a.option_values.data(), a.weight.data());
}

}  // namespace

ModelEntry saft_segment() {
    ModelEntry entry{"saft-segment",
                     "SAFT of Huang and Radosz with parameters, k_ij(T) table and segment compositions as arguments; "
                     "values only (KELD_SAFT01, initialised by KELD_ESSFTI)",
                     evaluate_in_first_work_area<evaluate_saft_segment>,
                     KELD_ESSFTI,
                     {"SAFTM", "SAFTV", "SAFTU", "SAFTE", "SAFTR", "SFTKIJ"},
                     false};
    entry.evaluate_in_work_area = evaluate_saft_segment;
    return entry;
}

}  // namespace keld::refhost::families
