// keld/equilibria/system.h - the mixture a phase-equilibrium calculation is
// about: a host, a model family, the listed components and which of them can
// enter a vapour.
//
// Polymers and oligomers are non-volatile: they never enter a vapour phase, by
// construction (the vapour is evaluated with the volatile components listed
// only), not by a small fugacity. Other components can be declared
// non-volatile too. Compositions are true mole fractions (see
// phase_evaluator.h) unless a name says otherwise; helpers convert from and to
// weight fractions and the host's apparent mole fractions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "keld/equilibria/phase_evaluator.h"
#include "keld/equilibria/pure_model.h"

namespace keld::equilibria {

struct Component {
    std::int64_t number = 0;  // host component number (IDX)
    std::string id;
    refhost::ComponentKind kind = refhost::ComponentKind::ordinary;
    double mw = 0;   // molecular weight on the apparent basis, kg/kmol
    double mwn = 0;  // molecular weight of one molecule (number average), kg/kmol
    bool is_volatile = true;
};

struct SystemOptions {
    std::int64_t data_set = 1;
    std::int64_t option = 0;                // KOPT of the monitor calls
    std::vector<std::string> non_volatile;  // identifiers kept out of vapours besides polymers
    // A family's own call settings, taken from this request (e.g. the cubic's
    // mixing rule, excess-Gibbs model and alpha); its T, P, composition,
    // phase, flags, data set and option are not used.
    refhost::StateRequest settings;
    // Solve what the family's Helmholtz-energy model can give on it (pure
    // saturation); false: through the monitors only.
    bool solve_on_model = true;
};

// A listed component alone on the Helmholtz-energy model, with its solved
// critical point (status not converged when the model has none to give).
struct PureModel {
    const Model *model = nullptr;  // null: the family has no model here (`refusal` says why)
    std::string refusal;
    PureCritical critical;
    // From the vapour pressure at 0.7 T_c (NaN where that fails): the
    // corresponding-states starts of mixture points use it.
    double acentric = not_a_number;
};

// Every listed component on the family's model, built on first use: only
// when every component is volatile (no polymer), as the model's mixture
// points need a vapour of the full listing.
struct MixtureModel {
    const Model *model = nullptr;  // null: no model here (`refusal` says why)
    std::string refusal;
};

class System {
  public:
    // `model` is a registered family name ("pcsaft", ...); `components` host
    // component numbers (no segments). Throws std::invalid_argument for an
    // unknown model, a component out of range or listed twice, or a segment.
    System(refhost::ReferenceHost &host, std::string_view model, std::vector<std::int64_t> components,
           SystemOptions options = {});
    // The same from a case: its host, and its models as the case builds them
    // (every family with a model, the associating PC-SAFT one included).
    System(refhost::Case &c, std::string_view model, std::vector<std::int64_t> components,
           SystemOptions options = {});
    ~System();
    System(const System &) = delete;
    System &operator=(const System &) = delete;

    std::size_t size() const { return components_.size(); }
    const Component &component(std::size_t k) const { return components_[k]; }
    // Listed position of the component with this identifier, or size().
    std::size_t index_of(std::string_view id) const;
    const refhost::ModelEntry &model() const { return *model_; }
    const SystemOptions &options() const { return options_; }
    HostSession &session() { return session_; }
    double gas_constant() const { return session_.gas_constant(); }

    PhaseEvaluator &mixture() { return *mixture_; }  // every listed component
    // The volatile components only, for vapours; null when none is volatile.
    PhaseEvaluator *volatiles() { return volatiles_.get(); }
    const PhaseEvaluator *volatiles() const { return volatiles_.get(); }
    const std::vector<std::size_t> &volatile_indices() const { return volatile_indices_; }
    bool all_volatile() const { return volatile_indices_.size() == components_.size(); }
    PhaseEvaluator &pure(std::size_t k);
    // Listed component k on the family's model as its monitor reads the
    // host, built on first use (with its critical point); the model is null
    // for a family without one (the segment-based monitors).
    const PureModel &pure_model(std::size_t k);
    // Every listed component on the family's model, built on first use; its
    // model is null (and `refusal` says why) where the family has none or the
    // system solves through the monitors only.
    const MixtureModel &mixture_model();

    // Composition bases (arrays of size() values).
    void mole_from_mass(const double *w, double *x) const;
    void mass_from_mole(const double *x, double *w) const;
    void apparent_from_mole(const double *x, double *z) const;
    void mole_from_apparent(const double *z, double *x) const;

  private:
    HostSession session_;
    const refhost::ModelEntry *model_;
    SystemOptions options_;
    std::vector<Component> components_;
    std::vector<std::size_t> volatile_indices_;
    std::unique_ptr<PhaseEvaluator> mixture_, volatiles_;
    std::vector<std::unique_ptr<PhaseEvaluator>> pure_;
    refhost::Case *case_ = nullptr;
    std::vector<std::unique_ptr<Model>> pure_models_;
    std::vector<std::unique_ptr<PureModel>> pure_model_entries_;
    std::unique_ptr<Model> mixture_model_;
    std::unique_ptr<MixtureModel> mixture_model_entry_;
};

}  // namespace keld::equilibria
