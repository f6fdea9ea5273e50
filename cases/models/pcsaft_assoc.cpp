// PC-SAFT with association and a dipolar term: KELD_PCSAF1 with every argument array gathered from the
// reference host's store, as a simulator prepares the call; status = KSTAT. The monitor returns no
// temperature derivatives above the ideal-gas exit, and the tools say so.
//
// What this host hands over (by component number, data set of the state):
//   MW, TC, PC; PCSFTM, PCSFTV, PCSFTU; PCSATY (0 when missing), eps^AB and kappa^AB with PCSAEP /
//   PCSAKP on the diagonal and PCSAEX / PCSAKX off it; PCSAMU, PCSAXP; PCSKIJ (six coefficients) and the
//   first four coefficients of PCSLIJ.
//   A segment component without PCSFTM gets m = PCSFTR MW per unit.
//   A polymer or oligomer whose own PCSFTV or PCSFTU is missing is described by its segments: its
//   segment types are the segments of its composition, WSEG = (weight fraction) MWN; its m is its own
//   PCSFTM, else PCSFTR MWN, else left to the monitor (the sum over its segments). Any other polymer is
//   one molecule with its own parameters, m = PCSFTM or PCSFTR MWN.
#include <algorithm>
#include <array>
#include <iomanip>
#include <sstream>
#include <vector>

#include "keld/keld.h"
#include "models/models.h"
#include "models/pcsaft_assoc_arguments.h"
#include "models/monitor27.h"

namespace keld::refhost::families {
namespace {

constexpr double kMissing = ReferenceHost::missing_value;

bool given(double v) { return v != kMissing; }

}  // namespace

PcSaftAssocArguments gather_pcsaft_assoc(ReferenceHost &host, const StateRequest &state) {
    const std::int64_t nc = host.component_count(), d = state.data_set;
    PcSaftAssocArguments a;
    a.nc = nc;
    for (auto *v : {&a.mw, &a.tc, &a.pc, &a.m, &a.sigma, &a.eps, &a.dipole, &a.xp}) v->assign(nc, kMissing);
    a.types.assign(nc, 0);
    a.nseg.assign(nc, 0);
    a.eps_ab.assign(nc * nc, kMissing);
    a.kappa_ab.assign(nc * nc, kMissing);
    a.kij.assign(6 * nc * nc, 0.0);
    a.lij.assign(4 * nc * nc, 0.0);
    for (std::int64_t c = 1; c <= nc; ++c) {
        const std::size_t i = static_cast<std::size_t>(c - 1);
        a.mw[i] = host.component_value("MW", c);
        a.tc[i] = host.component_value("TC", c);
        a.pc[i] = host.component_value("PC", c);
        a.m[i] = host.unary("PCSFTM", c, d);
        a.sigma[i] = host.unary("PCSFTV", c, d);
        a.eps[i] = host.unary("PCSFTU", c, d);
        const double type = host.unary("PCSATY", c, d);
        a.types[i] = given(type) ? static_cast<std::int64_t>(type) : 0;
        a.dipole[i] = host.unary("PCSAMU", c, d);
        a.xp[i] = host.unary("PCSAXP", c, d);
        const double r = host.unary("PCSFTR", c, d);
        if (host.is_segment(c) && !given(a.m[i]) && given(r)) a.m[i] = r * a.mw[i];
        for (std::int64_t j = 1; j <= nc; ++j) {
            const std::size_t at = static_cast<std::size_t>((j - 1) * nc + (c - 1));
            a.eps_ab[at] = c == j ? host.unary("PCSAEP", c, d) : host.binary("PCSAEX", c, j, d);
            a.kappa_ab[at] = c == j ? host.unary("PCSAKP", c, d) : host.binary("PCSAKX", c, j, d);
            for (std::int64_t k = 0; k < 6; ++k) a.kij[6 * at + k] = host.binary_coefficient("PCSKIJ", c, j, k + 1, d);
            for (std::int64_t k = 0; k < 4; ++k) a.lij[4 * at + k] = host.binary_coefficient("PCSLIJ", c, j, k + 1, d);
        }
    }

    // Polymers of the state: described by their segments, or one molecule with their own parameters.
    const std::int64_t list = host.locate(ReferenceHost::segment_list_handle);
    const std::int64_t ns = list > 0 ? host.store_integer(list) : 0;
    std::vector<double> fractions(static_cast<std::size_t>(std::max<std::int64_t>(ns, 1)));
    std::vector<std::vector<std::pair<std::int64_t, double>>> segments(static_cast<std::size_t>(nc));
    for (std::int64_t c : state.components) {
        if (!host.is_polymer(c) && !host.is_oligomer(c)) continue;
        const std::size_t i = static_cast<std::size_t>(c - 1);
        const double mwn = host.number_average_mw(c);
        const double r = host.unary("PCSFTR", c, d);
        if (!given(a.m[i]) && given(r)) a.m[i] = r * mwn;
        if (given(a.sigma[i]) && given(a.eps[i])) continue;
        host.segment_weight_fractions(1, c, fractions.data());
        double total = 0.0;
        for (std::int64_t k = 0; k < ns; ++k) total += fractions[static_cast<std::size_t>(k)];
        for (std::int64_t k = 0; k < ns && total > 0.0; ++k) {
            const double w = fractions[static_cast<std::size_t>(k)];
            if (w > 0.0) segments[i].emplace_back(host.store_integer(list + k + 1), w / total * mwn);
        }
        a.lseg = std::max<std::int64_t>(a.lseg, static_cast<std::int64_t>(segments[i].size()));
    }
    a.iseg.assign(a.lseg * nc, 1);
    a.wseg.assign(a.lseg * nc, 0.0);
    for (std::int64_t c = 1; c <= nc; ++c) {
        const auto &list_c = segments[static_cast<std::size_t>(c - 1)];
        a.nseg[c - 1] = static_cast<std::int64_t>(list_c.size());
        for (std::size_t s = 0; s < list_c.size(); ++s) {
            a.iseg[(c - 1) * a.lseg + static_cast<std::int64_t>(s)] = list_c[s].first;
            a.wseg[(c - 1) * a.lseg + static_cast<std::int64_t>(s)] = list_c[s].second;
        }
    }
    return a;
}

namespace {

// Every array of the call, the work array included, is the call's own: `kwork` is not needed.
void evaluate_pcsaft_assoc(ReferenceHost &host, const StateRequest &state, StateResult &r, std::int64_t) {
    PcSaftAssocArguments a = gather_pcsaft_assoc(host, state);
    // The association solver's diagnostic lines go to a unit this host discards.
    const std::int64_t n = static_cast<std::int64_t>(state.components.size()), unit = 99;
    const double tolerance = 1.0e-10;
    const std::int64_t method = 2;
    double rho = 0.0;
    std::vector<double> work(1, 0.0);
    const auto &f = state.flags;
    auto call = [&](std::int64_t lwork) {
        KELD_PCSAF1(&state.temperature, &state.pressure, &n, &a.nc, &state.phase, &f[0], &f[1], &f[2], &f[3], &f[4],
                    &state.diagnostics, state.association_options.data(), &r.status, state.components.data(),
                    state.z.data(), a.mw.data(), a.tc.data(), a.pc.data(), &state.data_set, a.m.data(),
                    a.sigma.data(), a.eps.data(), a.types.data(), a.eps_ab.data(), a.kappa_ab.data(),
                    a.dipole.data(), a.xp.data(), r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds,
                    &r.dg, &r.dv, a.nseg.data(), &a.lseg, a.iseg.data(), a.wseg.data(), a.kij.data(), a.lij.data(),
                    &tolerance, &method, &unit, &rho, &lwork, work.data(), nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr);
    };
    call(-1);
    work.assign(static_cast<std::size_t>(std::max(work[0], 1.0)), 0.0);
    call(static_cast<std::int64_t>(work.size()));
}

// KELD_ESPSAI, then KELD_ESPSAHI; one message line per component whose segment number, diameter or
// energy was missing before: what it holds now and where that came from.
void initialise_pcsaft_assoc(const std::int64_t *nds) {
    ReferenceHost *host = ReferenceHost::current();
    const char *names[3] = {"PCSFTM", "PCSFTV", "PCSFTU"};
    std::vector<std::array<bool, 3>> missing_before;
    const std::int64_t nc = host ? host->component_count() : 0, sets = host ? std::min(*nds, host->data_set_count()) : 0;
    for (std::int64_t d = 1; d <= sets; ++d)
        for (std::int64_t i = 1; i <= nc; ++i)
            missing_before.push_back({!given(host->unary(names[0], i, d)), !given(host->unary(names[1], i, d)),
                                      !given(host->unary(names[2], i, d))});
    KELD_ESPSAI(nds);
    KELD_ESPSAHI(nds);
    std::size_t at = 0;
    for (std::int64_t d = 1; d <= sets; ++d) {
        for (std::int64_t i = 1; i <= nc; ++i) {
            const std::array<bool, 3> before = missing_before[at++];
            if (!(before[0] || before[1] || before[2]) || host->is_polymer(i) || host->is_oligomer(i)) continue;
            const double m = host->unary(names[0], i, d), sigma = host->unary(names[1], i, d),
                         eps = host->unary(names[2], i, d);
            std::ostringstream line;
            line << host->identifier(i) << " (set " << d << "): ";
            if (!given(m) || !given(sigma) || !given(eps)) {
                line << "PC-SAFT m, sigma, eps/k missing, no Psat data to fit";
            } else {
                const bool noble = before[0] && eps == 122.32 && sigma == 3.484;
                line << std::setprecision(5) << "m " << m << " sigma " << sigma << " A eps/k " << eps << " K, "
                     << (noble ? "noble gas" : "fitted to Psat, V_L");
            }
            host->write_message_line(1, line.str());
            host->print_message(1);
        }
    }
}

}  // namespace

ModelEntry pcsaft_assoc() {
    ModelEntry entry{"pcsaft-assoc",
                     "PC-SAFT with association sites and Jog-Chapman dipoles, copolymers by segments (KELD_PCSAF1, "
                     "missing m, sigma, eps/k fitted by KELD_ESPSAHI)",
                     evaluate_in_first_work_area<evaluate_pcsaft_assoc>,
                     initialise_pcsaft_assoc,
                     {"PCSFTM", "PCSFTV", "PCSFTU", "PCSFTR", "PCSKIJ", "PCSLIJ", "PCSATY", "PCSAEP", "PCSAKP",
                      "PCSAEX", "PCSAKX", "PCSAMU", "PCSAXP"}};
    entry.temperature_derivatives = false;
    entry.evaluate_in_work_area = evaluate_pcsaft_assoc;
    return entry;
}

}  // namespace keld::refhost::families
