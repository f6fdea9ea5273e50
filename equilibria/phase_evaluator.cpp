// Calls of one family's property monitor for one phase (see phase_evaluator.h).
#include "keld/equilibria/phase_evaluator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace keld::equilibria {

HostSession::HostSession(refhost::ReferenceHost &host)
    : host_(host), gas_constant_(host.property_global(3)), applied_t_(not_a_number) {
    host_.install();
    host_.capture_messages();
    host_.clear_captured_messages();
}

void HostSession::prepare(double t) {
    if (refhost::ReferenceHost::current() != &host_) {
        host_.install();
        host_.capture_messages();
        applied_t_ = not_a_number;
    }
    if (!(t == applied_t_)) {
        host_.apply_temperature_tables(t);
        applied_t_ = t;
    }
}

std::vector<std::string> HostSession::take_messages(std::size_t limit) {
    std::vector<std::string> lines;
    for (const std::string &line : host_.captured_messages()) {
        if (lines.size() >= limit) break;
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    host_.clear_captured_messages();
    return lines;
}

PhaseEvaluator::PhaseEvaluator(HostSession &session, const refhost::ModelEntry &model,
                               std::vector<std::int64_t> components, std::int64_t data_set,
                               std::int64_t option, const refhost::StateRequest &settings)
    : session_(session),
      model_(model),
      monitor27_(model.monitor27),
      components_(std::move(components)),
      data_set_(data_set),
      option_(option) {
    refhost::ReferenceHost &host = session_.host();
    if (components_.empty()) throw std::invalid_argument("a phase needs at least one component");
    for (std::int64_t i : components_) {
        if (i < 1 || i > host.component_count()) throw std::invalid_argument("component number out of range");
        ratio_.push_back(host.number_average_mw(i) / host.component_value("MW", i));
    }
    if (data_set < 1 || data_set > host.data_set_count())
        throw std::invalid_argument("data set out of range");
    const std::size_t n = components_.size();
    z_.assign(n, 0.0);
    phi_.assign(n, 0.0);
    dphi_.assign(n, 0.0);
    request_ = settings;
    request_.label.clear();
    request_.model = std::string(model.name);
    request_.components = components_;
    request_.z.assign(n, 0.0);
    request_.data_set = data_set_;
    request_.diagnostics = diagnostics_;
    request_.option = option_;
    result_.phi.assign(n, 0.0);
    result_.dphi.assign(n, 0.0);
}

PhasePoint PhaseEvaluator::evaluate(double t, double p, const double *x, PhaseKind kind, double *ln_phi,
                                    Wanted wanted) {
    const std::size_t n = components_.size();
    double apparent_per_true = 0.0;  // sum_k x_k r_k: apparent kmol per kmol of molecules
    for (std::size_t k = 0; k < n; ++k) apparent_per_true += x[k] * ratio_[k];
    for (std::size_t k = 0; k < n; ++k) z_[k] = x[k] * ratio_[k] / apparent_per_true;

    session_.prepare(t);
    session_.count_call();
    const std::int64_t kvl = static_cast<std::int64_t>(kind);
    const std::int64_t kphi = 1, kh = wanted.enthalpy ? 1 : 0, ks = 0, kg = wanted.gibbs ? 1 : 0, kv = 1;
    double h = not_a_number, g = not_a_number, v = not_a_number;
    std::int64_t kstat = 1;
    const double *phi = phi_.data();
    if (monitor27_ != nullptr) {
        const std::int64_t count = static_cast<std::int64_t>(n), kwork = 0, kspare = 0;
        double s, dh, ds, dg, dv;
        monitor27_(&t, &p, z_.data(), &count, components_.data(), &kwork, &kspare, &kvl, &kphi, &kh, &ks, &kg,
                   &kv, &data_set_, &diagnostics_, phi_.data(), &h, &s, &g, &v, dphi_.data(), &dh, &ds, &dg,
                   &dv, &kstat, &option_);
    } else {
        request_.temperature = t;
        request_.pressure = p;
        std::copy(z_.begin(), z_.end(), request_.z.begin());
        request_.phase = kvl;
        request_.flags = {kphi, kh, ks, kg, kv};
        std::fill(result_.phi.begin(), result_.phi.end(), not_a_number);
        std::fill(result_.dphi.begin(), result_.dphi.end(), not_a_number);
        result_.h = result_.s = result_.g = result_.v = not_a_number;
        result_.dh = result_.ds = result_.dg = result_.dv = not_a_number;
        result_.status = 1;
        model_.evaluate(session_.host(), request_, result_);
        kstat = result_.status;
        h = result_.h;
        g = result_.g;
        v = result_.v;
        phi = result_.phi.data();
    }

    PhasePoint point;
    bool finite = std::isfinite(v) && v > 0.0;
    const double shift = -std::log(apparent_per_true);
    for (std::size_t k = 0; k < n; ++k) {
        // Back to the true basis: the monitor added ln(x_k / Z_k) where Z_k > 0.
        ln_phi[k] = phi[k] + (z_[k] > 0.0 ? std::log(ratio_[k]) + shift : 0.0);
        finite = finite && std::isfinite(ln_phi[k]);
    }
    point.v = v * apparent_per_true;
    point.v_apparent = v;
    point.z = p * point.v / (session_.gas_constant() * t);
    if (wanted.enthalpy) point.h = h * apparent_per_true;
    if (wanted.gibbs) point.g = g * apparent_per_true;
    point.root_found = kstat == 1 && finite;
    return point;
}

const std::string &PhaseEvaluator::missing_parameters() {
    if (probed_) return missing_parameters_;
    probed_ = true;
    // The probe's own lines are dropped again; those printed before it stay.
    refhost::ReferenceHost &host = session_.host();
    session_.prepare(298.15);
    const std::size_t before = host.captured_messages().size();
    std::vector<double> x(size(), 1.0 / static_cast<double>(size())), ln_phi(size());
    const PhasePoint point = evaluate(298.15, 1e5, x.data(), PhaseKind::liquid, ln_phi.data());
    const std::vector<std::string> lines(host.captured_messages().begin() + static_cast<std::ptrdiff_t>(before),
                                         host.captured_messages().end());
    host.truncate_captured_messages(before);
    if (!point.root_found) {
        refhost::StateResult refused;
        refused.messages = lines;
        missing_parameters_ = refhost::missing_parameter_lines(refused);
    }
    return missing_parameters_;
}

}  // namespace keld::equilibria
