// keld/equilibria/phase_evaluator.h - one phase of a mixture through a
// family's exported property monitor, as a simulator calls it.
//
// The phase-equilibrium layer knows nothing of any model: it calls the
// monitor of a registered family (cases/models/) for one phase at T, P and
// a composition and reads ln phi, V, and on request H and G. A PhaseEvaluator
// is bound once to a host, a family and the listed components; every call
// after that reuses its buffers (no heap allocation per call). Families whose
// monitor takes the common 27 arguments are called directly (fast path);
// every other family through its registry entry (generic path). The contract
// a family fills is documented in cases/models/models.h.
//
// Bases. The layer works on the true basis: mole fractions of molecules, a
// polymer molecule counted once with its number-average molecular weight MWN.
// The monitors take the host's apparent basis (a polymer counted in moles of
// its repeat unit of weight MW); the evaluator converts: Z_k = x_k r_k /
// sum_j x_j r_j with r_k = MWN_k / MW_k (1 for ordinary components). It
// returns ln phi on the true basis, so that ln f_k = ln x_k + ln phi_k + ln P
// is the fugacity of molecules k in every phase, and V, H, G per kmol of
// molecules.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/equilibria/status.h"

namespace keld::equilibria {

enum class PhaseKind : std::int64_t { vapour = 1, liquid = 2 };

// A reference host in use by the layer: installed as the current host before
// calls, its temperature tables applied whenever T changes (the host's duty),
// the monitors' message lines captured. One session per host at a time.
class HostSession {
  public:
    explicit HostSession(refhost::ReferenceHost &host);

    refhost::ReferenceHost &host() { return host_; }
    double gas_constant() const { return gas_constant_; }  // J/(kmol K), the host's
    // Before a monitor call at temperature t.
    void prepare(double t);
    // Monitor calls made through this session.
    long calls() const { return calls_; }
    void count_call() { ++calls_; }
    // The message lines printed since the last call of take_messages, at most
    // `limit` distinct ones; the rest are dropped.
    std::vector<std::string> take_messages(std::size_t limit = 8);

  private:
    refhost::ReferenceHost &host_;
    double gas_constant_;
    double applied_t_;
    long calls_ = 0;
};

struct Wanted {
    bool enthalpy = false;
    bool gibbs = false;
};

// What one call returned, per kmol of molecules.
struct PhasePoint {
    double v = not_a_number;  // molar volume, m3/kmol
    double z = not_a_number;  // compressibility P v / (R T)
    // Molar volume per kmol of the host's apparent basis (a polymer counted in
    // repeat units): the volume scale that tells a liquid from a vapour.
    double v_apparent = not_a_number;
    double h = not_a_number;  // enthalpy departure H - H_ig(T), J/kmol (when wanted)
    double g = not_a_number;  // Gibbs departure G - G_ig(T, P_ref), J/kmol (when wanted)
    bool root_found = false;  // KSTAT stayed 1 and the outputs are finite
    // A liquid carried to this pressure from higher ones where the monitor
    // gives no liquid root (see equilibria/low_pressure_liquid.h).
    bool carried = false;
};

class PhaseEvaluator {
  public:
    // `settings` carries a family's own call settings beyond the common ones
    // (see SystemOptions::settings); only the generic path reads them.
    PhaseEvaluator(HostSession &session, const refhost::ModelEntry &model,
                   std::vector<std::int64_t> components, std::int64_t data_set = 1, std::int64_t option = 0,
                   const refhost::StateRequest &settings = {});

    std::size_t size() const { return components_.size(); }
    std::span<const std::int64_t> components() const { return components_; }
    // r_k = MWN_k / MW_k of listed component k.
    double segment_ratio(std::size_t k) const { return ratio_[k]; }
    bool fast_path() const { return monitor27_ != nullptr; }
    const refhost::ModelEntry &model() const { return model_; }

    // One monitor call for true mole fractions x (size() values, sum 1) at T
    // (K) and P (Pa) in the phase `kind`; writes ln phi (true basis) per
    // component into ln_phi. When the requested root does not exist the host
    // may return the other kind of root; callers compare volumes.
    PhasePoint evaluate(double t, double p, const double *x, PhaseKind kind, double *ln_phi,
                        Wanted wanted = {});

    // Why the family's monitor refuses this listing for want of a parameter:
    // the monitor's own message lines (parameter, data set, component), or
    // empty when nothing is missing. Found by one call at 298.15 K and 1e5 Pa
    // on first use; a refusal of that call for any other reason (a density
    // root) says nothing and gives empty.
    const std::string &missing_parameters();

  private:
    HostSession &session_;
    const refhost::ModelEntry &model_;
    refhost::Monitor27Routine monitor27_;
    std::vector<std::int64_t> components_;
    std::vector<double> ratio_;
    std::int64_t data_set_, option_;
    std::int64_t diagnostics_ = refhost::ReferenceHost::default_diagnostic_level;
    bool probed_ = false;
    std::string missing_parameters_;
    // Buffers reused by every call.
    std::vector<double> z_, phi_, dphi_;
    refhost::StateRequest request_;
    refhost::StateResult result_;
};

}  // namespace keld::equilibria
