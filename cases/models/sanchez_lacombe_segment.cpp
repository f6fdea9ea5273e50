// The segment-based Sanchez-Lacombe monitor driven as a simulator drives it:
// T*, P*, rho* of the state's data set, k_ij and eta_ij each as one
// six-coefficient table (a pair's SLKIJT / SLETIT table where it has a
// temperature term, else its constant SLKIJ / SLETIJ) and the segment
// compositions as arguments of KELD_POSL01.
#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"
#include "models/segment_arguments.h"

namespace keld::refhost::families {
namespace {

// Every array of the call is the call's own: `kwork` is not needed.
void evaluate_sl_segment(ReferenceHost &host, const StateRequest &s, StateResult &r, std::int64_t) {
    SegmentArguments a(host);
    a.list(host, s.components);
    const std::int64_t d = s.data_set;
    const std::vector<double> t_star = unary_slice(host, "SLTSTR", d), p_star = unary_slice(host, "SLPSTR", d),
                              rho_star = unary_slice(host, "SLRSTR", d),
                              k_table = combined_table(host, "SLKIJ", "SLKIJT", d),
                              eta_table = combined_table(host, "SLETIJ", "SLETIT", d);
    const std::int64_t n = static_cast<std::int64_t>(s.components.size());
    const std::int64_t words = static_cast<std::int64_t>(k_table.size());
    const std::int64_t kspare = 0, iopt = 0, ioptc = 0, kpass = 0;
    const auto &f = s.flags;
    KELD_POSL01(&s.temperature, &s.pressure, s.z.data(), &n, s.components.data(), a.work.data(), &kspare, &s.phase,
                &f[0], &f[1], &f[2], &f[3], &f[4], &s.data_set, &s.diagnostics, r.phi.data(), &r.h, &r.s, &r.g, &r.v,
                r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &s.option, a.mw.data(), t_star.data(),
                p_star.data(), rho_star.data(), k_table.data(), eta_table.data(), a.source.data(), &a.nc, &a.ns,
                a.seg.data(), a.mole.data(), a.polymer.data(), &words, &words, &iopt, &ioptc, a.option_vector.data(),
                &a.option_factor, &a.work_words, &kpass, &kpass, &a.option_out, a.x.data(), a.mwn.data(),
                a.option_values.data(), a.weight.data());
}

}  // namespace

ModelEntry sanchez_lacombe_segment() {
    ModelEntry entry{"sanchez-lacombe-segment",
                     "Sanchez-Lacombe with parameters, k_ij(T) and eta_ij(T) tables and segment compositions as "
                     "arguments; values only (KELD_POSL01, initialised by KELD_ESPSLI)",
                     evaluate_in_first_work_area<evaluate_sl_segment>,
                     KELD_ESPSLI,
                     {"SLTSTR", "SLPSTR", "SLRSTR", "SLKIJ", "SLETIJ"},
                     false};
    entry.evaluate_in_work_area = evaluate_sl_segment;
    return entry;
}

}  // namespace keld::refhost::families
