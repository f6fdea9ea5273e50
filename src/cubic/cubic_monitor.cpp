#include "cubic/cubic_monitor.h"

#include <cmath>
#include <optional>

#include "common/basis.h"
#include "common/vector_form.h"
#include "cubic/cubic_defaults.h"
#include "cubic/cubic_density_root.h"
#include "cubic/cubic_flags.h"
#include "cubic/cubic_messages.h"
#include "cubic/cubic_properties.h"
#include "cubic/cubic_store.h"
#include "cubic/cubic_work.h"
#include "cubic/gibbs_model.h"
#include "cubic/mixing_rules.h"
#include "cubic/pure_constants.h"

namespace keld::cubic {
namespace {

std::int64_t subgroup_count(const host::Host &host) {
    const double ns = host.group_word(1);
    return ns >= 1.0 && ns < 1e6 ? static_cast<std::int64_t>(ns) : 0;
}

// k_ij of a named binary array for the listed pairs, symmetrised; 0 where not given.
void read_kij(const host::Host &host, const MonitorCall &c, const char *name, double *kij) {
    const std::int64_t offset = host.param_offset(name);
    const bool present = binary_block_in_store(host, offset, c.kds);
    auto at = [&](std::int64_t i, std::int64_t j) {
        if (!present) return 0.0;
        const double value = host.real(host.binary_pos(offset, c.kds, i, j));
        return host.is_missing(value) || !std::isfinite(value) ? 0.0 : value;
    };
    for (std::int64_t l = 0; l < c.n; ++l)
        for (std::int64_t k = 0; k < c.n; ++k)
            kij[k + c.n * l] = k == l ? 0.0 : 0.5 * (at(c.idx[k], c.idx[l]) + at(c.idx[l], c.idx[k]));
}

// The mixture step: b, D and their derivatives for the rule and model of the call.
bool mixture_step(const host::Host &host, const CubicCall &call, const host::RoutineId &name,
                  const PureConstants &pure, WorkArea &work, MixtureConstants &mix) {
    const MonitorCall &c = call.base;
    const std::int64_t n = c.n;
    mix.b_i = work.jets(n);
    mix.d_i = work.jets(n);
    double *kij = work.reals(n * n);
    if (!mix.b_i || !mix.d_i || !kij) return false;
    const RuleInputs in{n, pure.x, pure.b, pure.a, host.gas_constant(), Jet::temperature(c.t)};
    const Rule rule = rule_of(call.krule);
    if (rule == Rule::van_der_waals) {
        read_kij(host, c, names::kVdwKij, kij);
        return mixture_constants(rule, in, Jet(), nullptr, kij, mix);
    }
    Jet *ln_gamma = work.jets(n);
    Jet ge;
    if (!ln_gamma) return false;
    if (!excess_gibbs(host, call, name, static_cast<GibbsModel>(call.kmodel), pure, work, ln_gamma, ge)) return false;
    if (rule == Rule::wong_sandler) read_kij(host, c, names::kWongSandlerKij, kij);
    const bool ok = mixture_constants(rule, in, ge, ln_gamma, kij, mix);
    if (!ok)
        report_failure(host, call, name, failure::kMixture,
                       "6X,'NO MIXTURE CONSTANTS FROM THE MIXING RULE AT ',G10.3,'K'", {c.t});
    return ok;
}

void refuse(const CubicCall &call) {
    MonitorCall refused = call.base;
    const std::optional<host::Host> host = host::Host::current();
    refused.n = refused_positions(refused.n, host ? host->component_count() : 0);
    reject(refused);
}

}  // namespace

std::int64_t work_words(std::int64_t nc, std::int64_t ns) { return WorkArea::words(nc, ns); }

void monitor(const CubicCall &call) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    const host::Host &host = *found;
    const MonitorCall &c = call.base;
    if (c.n < 1) return;
    const host::RoutineId name = model_name(call.krule, call.kmodel);
    write_eos_log(host, c.rq);
    const std::int64_t nc = host.component_count();
    const std::int64_t words = WorkArea::words(nc, subgroup_count(host));
    if (!open_monitor_call(host, c, words)) return;
    if (uses_gibbs_model(rule_of(call.krule)) && (call.kmodel < 1 || call.kmodel > 7)) {
        report_failure(host, call, name, failure::kModelIndex,
                       "6X,'EXCESS GIBBS MODEL INDEX ',I6,' IS NOT ONE OF 1 TO 7'", {call.kmodel});
        refuse(call);
        return;
    }
    const std::optional<PureBlocks> blocks = PureBlocks::locate(host, c.kds);
    if (!blocks) {
        refuse(call);
        return;
    }
    complete_defaults(host, call, *blocks, name);

    WorkArea work(host.word(work_start(host, c)), words);
    const std::int64_t n = c.n;
    double *x = work.reals(n), *mwn = work.reals(n);
    PureConstants pure{n, x, mwn, work.reals(n), work.reals(n), work.reals(n), work.reals(n), work.reals(n),
                       work.jets(n)};
    double *alpha_scratch = work.reals(3 * n);
    if (work.exhausted() ||
        !convert_to_true_basis(host, n, c.idx, c.z, host.word(blocks->mw + 1), mwn, nullptr, x)) {
        refuse(call);
        return;
    }

    // Core step.
    host.set_eos_log(23, 0);
    *c.kstat = 0;
    if (!pure_constants(host, call, *blocks, pure, alpha_scratch)) {
        report_failure(host, call, name, failure::kAlpha,
                       "6X,'NO USABLE ALPHA FUNCTION OR CRITICAL CONSTANTS (DATA SET ',I3,')'", {c.kds});
        refuse(call);
        return;
    }
    MixtureConstants mix{};
    if (!mixture_step(host, call, name, pure, work, mix) || !(mix.b.v > 0.0) || !std::isfinite(mix.d.v)) {
        refuse(call);
        return;
    }
    const CubicRoot root =
        cubic_density_root(host, {c.t, c.p, n, c.kvl, c.kdiag, mix.b.v, mix.d.v, name});
    const PropertyState state{c.t, c.p, root.v, host.gas_constant(), host.reference_pressure(), n};
    write_properties(state, mix, c.rq, c.out);
    to_apparent_basis(c.rq, n, c.idx, c.z, x, host.word(blocks->mw + 1), mwn, 0.0, c.out);
    *c.kstat = root.converged ? 1 : 0;
}

void vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx, const CubicCall &shared) {
    static constexpr double kPure = 1.0;
    std::int64_t all = 1;
    run_vector_form(n, p, idx, shared.base.rq, shared.base.out, [&](double pk, std::int64_t i, const MonitorOutputs &one) {
        CubicCall call = shared;
        std::int64_t kret = 0;
        call.base.t = t;
        call.base.p = pk;
        call.base.z = &kPure;
        call.base.n = 1;
        call.base.idx = &i;
        call.base.out = one;
        call.base.kstat = &kret;
        monitor(call);
        if (kret != 1) all = 0;
    });
    if (n >= 1) *shared.base.kstat = all;
}

}  // namespace keld::cubic
