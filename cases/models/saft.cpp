// The argument-driven SAFT monitor, driven as a simulator drives it: the
// library's position service KELD_SFTHLP says where the SAFT vectors and the
// monitor's work vectors lie in the store, and the host hands those slices to
// KELD_ESSAFT together with the parameters of the state's data set. The work
// vectors lie in the work area at KWORK; the critical vectors and the cross
// matrices are the store's words, shared by concurrent calls.
#include <cstdint>
#include <vector>

#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {
namespace {

constexpr double kDefaultEnergyCorrection = 10.0;  // e/k, K, as the stored-parameter monitor assumes

void evaluate_saft(ReferenceHost &host, const StateRequest &state, StateResult &r, std::int64_t kwork) {
    std::int64_t p[30] = {};
    const std::int64_t kspare = 0;
    KELD_SFTHLP(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8], &p[9], &p[10], &p[11], &p[12],
                &p[13], &p[14], &p[15], &p[16], &p[17], &p[18], &p[19], &p[20], &p[21], &p[22], &p[23], &p[24],
                &kwork, &kspare, &p[27], &p[28], &p[29]);
    double *store = host.store().data();
    auto at = [store](std::int64_t position) { return store + position - 1; };
    const std::int64_t nc = host.component_count(), nds = host.data_set_count();
    const std::int64_t n = static_cast<std::int64_t>(state.components.size());
    const std::int64_t *idx = state.components.data();
    const double missing = ReferenceHost::missing_value;

    // Segment parameters of the data set, copied: the monitor writes its defaults into them. A polymer
    // or oligomer without SAFTM has m = MWN SAFTR.
    const std::int64_t slice = (state.data_set - 1) * nc;
    std::vector<double> m(at(p[0] + slice), at(p[0] + slice) + nc), v(at(p[1] + slice), at(p[1] + slice) + nc),
        u(at(p[2] + slice), at(p[2] + slice) + nc);
    const double *ratio = at(p[27]);
    for (std::int64_t i = 1; i <= nc; ++i) {
        const bool polymer = host.is_polymer(i) || host.is_oligomer(i);
        if (polymer && m[i - 1] == missing && ratio[i - 1] != missing)
            m[i - 1] = host.number_average_mw(i) * ratio[i - 1];
    }
    std::vector<double> e(at(p[3]), at(p[3]) + nc);  // data set 1
    for (std::int64_t i : state.components)
        if (e[i - 1] == missing) e[i - 1] = kDefaultEnergyCorrection;
    // k_ij of every data set: the constant coefficients of the SFTKIJ table.
    std::vector<double> kij(static_cast<std::size_t>(nds * nc * nc));
    for (std::size_t pair = 0; pair < kij.size(); ++pair) kij[pair] = at(p[28])[6 * pair];
    const double *lij = at(host.param_offset("SFTLIJ") + 1);

    double *mwn = at(p[22]), *x = at(p[23]);
    host.number_average_mws(1, n, idx, mwn);
    host.apparent_to_true(n, idx, at(p[6]), state.z.data(), x);
    const auto &f = state.flags;
    KELD_ESSAFT(&state.temperature, &state.pressure, state.z.data(), &n, idx, &state.phase, &f[0], &f[1], &f[2],
                &f[3], &f[4], &state.data_set, &state.diagnostics, &r.status, at(p[7]), at(p[4]), at(p[5]), m.data(),
                v.data(), u.data(), e.data(), at(p[20]), at(p[8]), at(p[9]), at(p[10]), at(p[11]), at(p[12]), at(p[13]),
                at(p[14]), at(p[15]), at(p[16]), at(p[6]), mwn, x, at(p[24]), at(p[21]), at(p[17]), at(p[18]),
                at(p[19]), r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv,
                kij.data(), lij);
}

}  // namespace

ModelEntry saft() {
    ModelEntry entry{"saft",
                     "SAFT of Huang and Radosz with k_ij and l_ij, parameters handed over as arguments "
                     "(KELD_ESSAFT, initialised by KELD_ESSFTI)",
                     evaluate_in_first_work_area<evaluate_saft>,
                     KELD_ESSFTI,
                     {"SAFTM", "SAFTV", "SAFTU", "SAFTE", "SAFTR", "SFTKIJ", "SFTLIJ"}};
    entry.evaluate_in_work_area = evaluate_saft;
    return entry;
}

}  // namespace keld::refhost::families
