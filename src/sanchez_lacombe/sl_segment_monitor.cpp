#include "sanchez_lacombe/sl_segment_monitor.h"

#include "common/segment_parameters.h"
#include "sanchez_lacombe/sl_density_root.h"
#include "sanchez_lacombe/sl_residual.h"

namespace keld::sanchez_lacombe {
namespace {

const host::RoutineId kModelName("POSL", "03");  // handed to the host's root routines
const segment::RefusalSite kRefusal{host::RoutineId("POSL", "01"), 2, 2, "POLYSL"};
constexpr std::string_view kNames[3] = {"SLTSTR", "SLPSTR", "SLRSTR"};

// The work array (offsets from W(1)): by component T*, P*, rho* in use, then
// r, v*, eps*; composition terms by position; the NC x NC blocks k_ij,
// eta_ij, the tables' temperature derivatives (one block that both tables
// write in mode 2, deta_ij/dT last; the model does not use it), eps*_ij, v*_ij;
// then PolymerParamSource by component as the call decides it.
struct SegmentWork {
    double *w;
    std::int64_t nc;

    double *t_star() const { return w; }
    double *p_star() const { return w + nc; }
    double *rho_star() const { return w + 2 * nc; }
    double *r() const { return w + 3 * nc; }
    double *v_star() const { return w + 4 * nc; }
    double *eps_star() const { return w + 5 * nc; }
    double *m_terms() const { return w + 6 * nc; }
    double *k() const { return w + 7 * nc; }
    double *eta() const { return w + 7 * nc + nc * nc; }
    double *slopes() const { return w + 7 * nc + 2 * nc * nc; }
    double *eps_matrix() const { return w + 7 * nc + 3 * nc * nc; }
    double *v_matrix() const { return w + 7 * nc + 4 * nc * nc; }
    double *sources() const { return w + 7 * nc + 5 * nc * nc; }
};

// T*, P*, rho* in use; a polymer missing any of its own has all three built
// from its segments.
void set_characteristics(const segment::Call &call, const SegmentParameters &par, const SegmentWork &w, double r,
                         segment::MissingCheck &check) {
    const double missing = call.segments.missing;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        if (call.polymer(i)) {
            const bool from_segments =
                par.t_star[i - 1] == missing || par.p_star[i - 1] == missing || par.rho_star[i - 1] == missing;
            if (from_segments) {
                const GivenSlCharacteristics c = sl_segment_characteristics_given(
                    par.t_star, par.p_star, par.rho_star, i, call.mwn[k], r, call.segments);
                check.require_average(c.check, i, kNames, {true, true, true});
                w.t_star()[i - 1] = c.t_star;
                w.p_star()[i - 1] = c.p_star;
                w.rho_star()[i - 1] = c.rho_star;
            }
            segment::set_source(call, i, from_segments);
        } else {
            segment::take_given_source(call, i);
        }
        check.require(kNames[0], i, w.t_star()[i - 1]);
        check.require(kNames[1], i, w.p_star()[i - 1]);
        check.require(kNames[2], i, w.rho_star()[i - 1]);
    }
}

// v* and eps* of the segments (for the cross averages; the marker where a
// segment lacks T* or P*), then r, v*, eps* of the listed components.
void set_component_values(const segment::Call &call, const SegmentParameters &par, const SegmentWork &w, double r) {
    const GivenSegments &g = call.segments;
    for (std::int64_t s = 0; s < g.ns; ++s) {
        const std::int64_t c = g.seg[s];
        const bool given = g.usable(par.t_star[c - 1]) && g.usable(par.p_star[c - 1]);
        w.v_star()[c - 1] = given ? terms::segment_volume(par.t_star[c - 1], par.p_star[c - 1], r) : g.missing;
        w.eps_star()[c - 1] = g.usable(par.t_star[c - 1]) ? terms::segment_energy(par.t_star[c - 1], r) : g.missing;
    }
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        const double t_star = w.t_star()[i - 1], p_star = w.p_star()[i - 1], rho_star = w.rho_star()[i - 1];
        w.r()[i - 1] = terms::segment_number(call.mwn[k], t_star, p_star, rho_star, r);
        w.v_star()[i - 1] = terms::segment_volume(t_star, p_star, r);
        w.eps_star()[i - 1] = terms::segment_energy(t_star, r);
    }
}

}  // namespace

void segment_monitor(segment::Call call, const SegmentParameters &par) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || call.n < 1) return;
    const host::Host &host = *found;
    const std::int64_t nc = call.nc;
    if (!segment::arguments_usable(host, call) || !par.t_star || !par.p_star || !par.rho_star || !par.k_table ||
        !par.eta_table || !(par.k_table_words >= 6 * nc * nc) || !(par.eta_table_words >= 6 * nc * nc)) {
        segment::refuse(call);
        return;
    }
    const SegmentWork w{call.w, nc};
    const double r = host.gas_constant();
    segment::clear_work(call);
    call.sources = w.sources();
    for (std::int64_t i = 0; i < nc; ++i) {
        w.t_star()[i] = par.t_star[i];
        w.p_star()[i] = par.p_star[i];
        w.rho_star()[i] = par.rho_star[i];
    }
    segment::true_mole_fractions(host, call);
    const std::int64_t mode = segment::table_mode(call);
    segment::binary_table(host, call, par.k_table, par.k_table_words, w.k(), w.slopes(), mode);
    segment::binary_table(host, call, par.eta_table, par.eta_table_words, w.eta(), w.slopes(), mode);
    if (segment::ideal_gas_exit(host, call)) return;

    segment::MissingCheck check(host.missing());
    set_characteristics(call, par, w, r, check);
    if (check.passed()) {
        set_component_values(call, par, w, r);
        // The model holds the cross parameters at their values at T: no temperature derivatives.
        segment::cross_matrix(call, segment::CrossMean::geometric, w.eps_star(), w.eps_star(), w.k(), nullptr, 1,
                              w.eps_matrix(), nullptr, kNames[0], check);
        segment::cross_matrix(call, segment::CrossMean::arithmetic, w.v_star(), w.v_star(), w.eta(), nullptr, 1,
                              w.v_matrix(), nullptr, kNames[1], check);
    }
    if (!check.passed()) return segment::refuse_missing(host, call, kRefusal, check);

    const Mixture mix{r, nc, call.n, call.idx, call.x, w.r(), w.eps_matrix(), w.v_matrix()};
    const MixtureAverages avg = mixture_averages(mix);
    const RootVolumes vol = root_volumes(avg, r, call.t, call.kvl);
    const double rt = r * call.t;
    const std::optional<RootResult> root = segment::density_root(
        host, call, {vol.close_packed, vol.critical, vol.dividing}, kModelName, false, 0.0, [&](double rho) {
            const ResidualValues a = residual(mix, avg, call.t, rho, {true, false, false}, nullptr);
            return PressureAndSlope{rt * rho * (1.0 + rho * a.a_rho),
                                    -rt * rho * rho * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho)};
        });
    if (!root) return segment::refuse(call);

    const Requests values = segment::value_requests(call);
    if (values.any()) {
        const ResidualSwitches sw{false, values.h.value || values.s.value, values.phi.value};
        const ResidualValues a = residual(mix, avg, call.t, root->rho, sw, w.m_terms());
        segment::write_properties(host, call, root->rho,
                                  {a.a, a.a_rho, a.a_t, values.phi.value ? w.m_terms() : nullptr});
    }
    segment::write_options(
        call, [&](std::int64_t k) { return w.r()[call.idx[k] - 1] / call.mwn[k]; }, w.r());
}

void segment_vector_monitor(const segment::Call &shared, const SegmentParameters &par, const double *p,
                            const double *mwn, const double *option_values) {
    segment::vector_form(shared, p, mwn, option_values, [&](const segment::Call &call) { segment_monitor(call, par); });
}

}  // namespace keld::sanchez_lacombe
