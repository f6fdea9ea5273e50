// The mixture of a phase-equilibrium calculation (see system.h).
#include "keld/equilibria/system.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace keld::equilibria {

std::string_view to_string(Status status) {
    switch (status) {
        case Status::converged:
            return "converged";
        case Status::single_phase:
            return "single phase";
        case Status::supercritical:
            return "no coexistence";
        case Status::no_solution:
            return "no solution";
        case Status::not_converged:
            return "not converged";
        case Status::root_failure:
            return "density root failed";
        case Status::invalid_input:
            return "invalid input";
        case Status::missing_parameter:
            return "missing parameter";
    }
    return "unknown";
}

System::System(refhost::ReferenceHost &host, std::string_view model, std::vector<std::int64_t> components,
               SystemOptions options)
    : session_(host), model_(refhost::find_model(model)), options_(std::move(options)) {
    if (model_ == nullptr) throw std::invalid_argument("unknown model '" + std::string(model) + "'");
    if (components.empty()) throw std::invalid_argument("a system needs at least one component");
    for (std::int64_t i : components) {
        if (i < 1 || i > host.component_count()) throw std::invalid_argument("component number out of range");
        if (std::count(components.begin(), components.end(), i) != 1)
            throw std::invalid_argument("component " + host.identifier(i) + " is listed twice");
        Component c;
        c.number = i;
        c.id = host.identifier(i);
        c.kind = host.kind(i);
        if (c.kind == refhost::ComponentKind::segment)
            throw std::invalid_argument("component " + c.id + " is a polymer segment, not a phase component");
        c.mw = host.component_value("MW", i);
        c.mwn = host.number_average_mw(i);
        c.is_volatile = c.kind == refhost::ComponentKind::ordinary &&
                        std::find(options_.non_volatile.begin(), options_.non_volatile.end(), c.id) ==
                            options_.non_volatile.end();
        if (c.is_volatile) volatile_indices_.push_back(components_.size());
        components_.push_back(std::move(c));
    }
    for (const std::string &id : options_.non_volatile) {
        if (index_of(id) == size())
            throw std::invalid_argument("non-volatile component " + id + " is not listed");
    }
    mixture_ = std::make_unique<PhaseEvaluator>(session_, *model_, components, options_.data_set,
                                                options_.option, options_.settings);
    if (!volatile_indices_.empty()) {
        std::vector<std::int64_t> listed;
        for (std::size_t k : volatile_indices_) listed.push_back(components_[k].number);
        volatiles_ = std::make_unique<PhaseEvaluator>(session_, *model_, listed, options_.data_set,
                                                      options_.option, options_.settings);
    }
    pure_.resize(components_.size());
}

System::System(refhost::Case &c, std::string_view model, std::vector<std::int64_t> components,
               SystemOptions options)
    : System(*c.host, model, std::move(components), std::move(options)) {
    case_ = &c;
}

System::~System() = default;

const PureModel &System::pure_model(std::size_t k) {
    if (pure_model_entries_.empty()) {
        pure_models_.resize(size());
        pure_model_entries_.resize(size());
    }
    std::unique_ptr<PureModel> &entry = pure_model_entries_.at(k);
    if (entry) return *entry;
    entry = std::make_unique<PureModel>();
    if (!options_.solve_on_model) {
        entry->refusal = "the system was asked to solve through the monitors only";
        return *entry;
    }
    const std::string family(model_->name);
    try {
        const ModelSettings settings = refhost::settings_of(options_.settings);
        if (case_ != nullptr) {
            pure_models_[k] = std::make_unique<Model>(refhost::model_from_case(
                *case_, family, options_.data_set, {components_[k].id}, options_.option, settings));
        } else {
            session_.prepare(298.15);
            const std::int64_t number = components_[k].number;
            pure_models_[k] = std::make_unique<Model>(
                model_from_host(family, options_.data_set, {&number, 1}, options_.option, settings));
        }
        session_.host().clear_captured_messages();
    } catch (const std::invalid_argument &e) {
        entry->refusal = e.what();
        return *entry;
    }
    entry->model = pure_models_[k].get();
    entry->critical = pure_critical_point(*entry->model);
    if (entry->critical.status == Status::converged) {
        const PureCoexistence c = pure_coexistence(*entry->model, 0.7 * entry->critical.t, nullptr, &entry->critical);
        if (c.status == Status::converged) entry->acentric = -std::log10(c.p / entry->critical.p) - 1.0;
    }
    return *entry;
}

const MixtureModel &System::mixture_model() {
    if (mixture_model_entry_) return *mixture_model_entry_;
    mixture_model_entry_ = std::make_unique<MixtureModel>();
    MixtureModel &entry = *mixture_model_entry_;
    if (!options_.solve_on_model) {
        entry.refusal = "the system was asked to solve through the monitors only";
        return entry;
    }
    const std::string family(model_->name);
    try {
        const ModelSettings settings = refhost::settings_of(options_.settings);
        if (case_ != nullptr) {
            std::vector<std::string> ids;
            for (const Component &c : components_) ids.push_back(c.id);
            mixture_model_ = std::make_unique<Model>(
                refhost::model_from_case(*case_, family, options_.data_set, ids, options_.option, settings));
        } else {
            session_.prepare(298.15);
            std::vector<std::int64_t> numbers;
            for (const Component &c : components_) numbers.push_back(c.number);
            mixture_model_ = std::make_unique<Model>(
                model_from_host(family, options_.data_set, numbers, options_.option, settings));
        }
        session_.host().clear_captured_messages();
    } catch (const std::invalid_argument &e) {
        entry.refusal = e.what();
        return entry;
    }
    entry.model = mixture_model_.get();
    return entry;
}

std::size_t System::index_of(std::string_view id) const {
    for (std::size_t k = 0; k < components_.size(); ++k) {
        if (components_[k].id == id) return k;
    }
    return components_.size();
}

PhaseEvaluator &System::pure(std::size_t k) {
    if (!pure_.at(k)) {
        pure_[k] = std::make_unique<PhaseEvaluator>(session_, *model_,
                                                    std::vector<std::int64_t>{components_[k].number},
                                                    options_.data_set, options_.option, options_.settings);
    }
    return *pure_[k];
}

void System::mole_from_mass(const double *w, double *x) const {
    double total = 0.0;
    for (std::size_t k = 0; k < size(); ++k) total += w[k] / components_[k].mwn;
    for (std::size_t k = 0; k < size(); ++k) x[k] = w[k] / components_[k].mwn / total;
}

void System::mass_from_mole(const double *x, double *w) const {
    double total = 0.0;
    for (std::size_t k = 0; k < size(); ++k) total += x[k] * components_[k].mwn;
    for (std::size_t k = 0; k < size(); ++k) w[k] = x[k] * components_[k].mwn / total;
}

void System::apparent_from_mole(const double *x, double *z) const {
    double total = 0.0;
    for (std::size_t k = 0; k < size(); ++k) total += x[k] * components_[k].mwn / components_[k].mw;
    for (std::size_t k = 0; k < size(); ++k) z[k] = x[k] * components_[k].mwn / components_[k].mw / total;
}

void System::mole_from_apparent(const double *z, double *x) const {
    double total = 0.0;
    for (std::size_t k = 0; k < size(); ++k) total += z[k] * components_[k].mw / components_[k].mwn;
    for (std::size_t k = 0; k < size(); ++k) x[k] = z[k] * components_[k].mw / components_[k].mwn / total;
}

}  // namespace keld::equilibria
